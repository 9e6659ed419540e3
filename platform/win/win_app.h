#pragma once
#include "platform/win/wnd.h"
class CWinApp;
CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
