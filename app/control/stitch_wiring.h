// Connects the stitch driver to the automatic control-point search. The
// program does this once at start-up; tests that drive the manager alone
// leave the search out or install a double of their own.
#pragma once

void InstallStitchServices();
