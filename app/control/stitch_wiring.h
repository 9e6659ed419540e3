// Connects the stitch driver to the automatic control-point search and the
// manager's services to the pair stitching's image loader. The program does
// this once at start-up; tests that drive the manager alone leave the hooks
// empty or install doubles of their own.
#pragma once

void InstallStitchServices();
