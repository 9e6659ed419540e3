#pragma once
#include "platform/win/wnd.h"
class CFrameWnd : public CWnd {};
