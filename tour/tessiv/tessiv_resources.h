// The tour maker's own resources (its dialog, the strip's menu and cursor),
// looked up under a ModuleScope of this module.
#pragma once

#include "platform/win/resources.h"

// The module, with its resources (re)registered: tests clear every module
// between cases, so each call makes sure they are there.
win::ResourceModule& TessivResources();

// The dialog "Create Virtual Tour" (102), its icon and button pictures.
void AddTourMakerDialog(win::ResourceModule& module);
