// The camera-information share library kept beside the program. Bringing it
// up to date belongs to the share library itself; until it is linked there
// is nothing to update and the answer is 0.
#pragma once

int UpdateAppDirLib(int mode);
