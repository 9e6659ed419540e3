// Resources of the pair views (registered by the application at start-up).
#pragma once

#include "platform/win/win_defs.h"

constexpr UINT kOverlapToolBarResource = 264;

void RegisterPairViewResources();
