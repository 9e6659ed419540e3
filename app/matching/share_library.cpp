#include "app/matching/share_library.h"

int UpdateAppDirLib(int mode)
{
    (void)mode;
    return 0;
}
