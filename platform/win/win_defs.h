// Scalar types, handles and numeric constants of the windowing layer, as the
// application code and the runtime in platform/win exchange them. The
// numbers are those the suite's code passes literally (message 0x814C,
// end-of-scroll code 8, style 0x50002800), so they keep their usual values.
#pragma once

#include "core/win_types.h"

#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using LONG = int32_t;
using BOOL = int;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using UINT_PTR = uintptr_t;
using INT_PTR = intptr_t;
using DWORD_PTR = uintptr_t;
using COLORREF = uint32_t;
using DROPEFFECT = DWORD;

#ifndef TRUE
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
#endif

// Opaque handles: distinct pointer types so that they cannot be mixed up.
// Their values are registry keys of the runtime, never addresses.
struct HWND__;
using HWND = HWND__*;
struct HMENU__;
using HMENU = HMENU__*;
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
using HICON = HCURSOR;
struct HGLOBAL__;
using HGLOBAL = HGLOBAL__*;
struct HDROP__;
using HDROP = HDROP__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HKEY__;
using HKEY = HKEY__*;
struct HBITMAP__;
using HBITMAP = HBITMAP__*;
struct _TREEITEM;
using HTREEITEM = _TREEITEM*;

constexpr WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr WORD MAKEWORD(unsigned lo, unsigned hi) { return static_cast<WORD>((lo & 0xFFu) | ((hi & 0xFFu) << 8)); }
constexpr DWORD MAKELONG(unsigned lo, unsigned hi) { return (lo & 0xFFFFu) | ((hi & 0xFFFFu) << 16); }
constexpr WPARAM MAKEWPARAM(unsigned lo, unsigned hi) { return MAKELONG(lo, hi); }
constexpr LPARAM MAKELPARAM(unsigned lo, unsigned hi) { return static_cast<LPARAM>(MAKELONG(lo, hi)); }
// Signed 16-bit coordinates packed in an LPARAM (mouse messages).
constexpr int GET_X_LPARAM(LPARAM lp) { return static_cast<int16_t>(lp & 0xFFFF); }
constexpr int GET_Y_LPARAM(LPARAM lp) { return static_cast<int16_t>((lp >> 16) & 0xFFFF); }
constexpr LPARAM MAKEPOINTLPARAM(int x, int y) { return MAKELPARAM(static_cast<uint16_t>(x), static_cast<uint16_t>(y)); }

// ---- Window messages -------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_PARENTNOTIFY = 0x0210;
constexpr UINT WM_MDIACTIVATE = 0x0222;
constexpr UINT WM_DROPFILES = 0x0233;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;
// Sent by the runtime's idle processing to frames and bars: refresh the
// enabled and checked state of toolbar buttons and dialog-bar controls.
constexpr UINT WM_IDLEUPDATECMDUI = 0x0363;
// Sent by frames to their views once the document is attached.
constexpr UINT WM_INITIALUPDATE = 0x0364;

// Mouse key state (wParam of mouse messages).
constexpr UINT MK_LBUTTON = 0x0001;
constexpr UINT MK_RBUTTON = 0x0002;
constexpr UINT MK_SHIFT = 0x0004;
constexpr UINT MK_CONTROL = 0x0008;

// Virtual keys used by the runtime's keyboard handling (the mouse buttons
// count as keys in the key state).
constexpr UINT VK_LBUTTON = 0x01;
constexpr UINT VK_RBUTTON = 0x02;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_DELETE = 0x2E;

// WM_SIZE types.
constexpr UINT SIZE_RESTORED = 0;
constexpr UINT SIZE_MINIMIZED = 1;
constexpr UINT SIZE_MAXIMIZED = 2;

// WM_ACTIVATE states.
constexpr UINT WA_INACTIVE = 0;
constexpr UINT WA_ACTIVE = 1;

// ---- Window styles ---------------------------------------------------------
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_ACCEPTFILES = 0x00000010;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_MDICHILD = 0x00000040;

// Button styles.
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_CHECKBOX = 0x2;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_RADIOBUTTON = 0x4;
constexpr DWORD BS_3STATE = 0x5;
constexpr DWORD BS_AUTO3STATE = 0x6;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_OWNERDRAW = 0xB;
constexpr DWORD BS_TYPEMASK = 0xF;
constexpr DWORD BS_BITMAP = 0x80;
constexpr DWORD BS_NOTIFY = 0x4000;

// Static styles.
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_RIGHT = 0x2;
constexpr DWORD SS_ICON = 0x3;
constexpr DWORD SS_BLACKFRAME = 0x7;
constexpr DWORD SS_OWNERDRAW = 0xD;
constexpr DWORD SS_BITMAP = 0xE;
constexpr DWORD SS_ETCHEDFRAME = 0x12;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD SS_NOTIFY = 0x100;

// Edit styles.
constexpr DWORD ES_LEFT = 0x0;
constexpr DWORD ES_MULTILINE = 0x4;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD ES_READONLY = 0x800;
constexpr DWORD ES_NUMBER = 0x2000;

// Combo box styles.
constexpr DWORD CBS_SIMPLE = 0x1;
constexpr DWORD CBS_DROPDOWN = 0x2;
constexpr DWORD CBS_DROPDOWNLIST = 0x3;
constexpr DWORD CBS_SORT = 0x100;

// List box styles.
constexpr DWORD LBS_NOTIFY = 0x1;
constexpr DWORD LBS_SORT = 0x2;
constexpr DWORD LBS_MULTIPLESEL = 0x8;
constexpr DWORD LBS_EXTENDEDSEL = 0x800;

// Trackbar (slider) styles.
constexpr DWORD TBS_AUTOTICKS = 0x1;
constexpr DWORD TBS_VERT = 0x2;
constexpr DWORD TBS_HORZ = 0x0;

// Tree view styles.
constexpr DWORD TVS_HASBUTTONS = 0x1;
constexpr DWORD TVS_HASLINES = 0x2;
constexpr DWORD TVS_LINESATROOT = 0x4;
constexpr DWORD TVS_SHOWSELALWAYS = 0x20;

// Dialog styles.
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD DS_CENTER = 0x800;

// ---- Control messages ------------------------------------------------------
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_GETSTATE = 0x00F2;
constexpr UINT BM_SETSTATE = 0x00F3;
constexpr UINT BM_SETSTYLE = 0x00F4;
constexpr UINT BM_CLICK = 0x00F5;
constexpr UINT BM_GETIMAGE = 0x00F6;
constexpr UINT BM_SETIMAGE = 0x00F7;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;
constexpr UINT BST_INDETERMINATE = 2;
constexpr UINT BST_PUSHED = 4;
constexpr UINT BST_FOCUS = 8;

constexpr UINT STM_SETIMAGE = 0x0172;
constexpr UINT STM_GETIMAGE = 0x0173;
constexpr UINT IMAGE_BITMAP = 0;

constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_SETREADONLY = 0x00CF;
constexpr UINT EM_LIMITTEXT = 0x00C5;

constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_INSERTSTRING = 0x0181;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETSEL = 0x0185;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETSEL = 0x0187;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_GETTOPINDEX = 0x018E;
constexpr UINT LB_GETSELCOUNT = 0x0190;
constexpr UINT LB_GETSELITEMS = 0x0191;
constexpr UINT LB_SETTOPINDEX = 0x0197;
constexpr UINT LB_GETITEMDATA = 0x0199;
constexpr UINT LB_SETITEMDATA = 0x019A;
constexpr UINT LB_SETCARETINDEX = 0x019E;
constexpr UINT LB_GETCARETINDEX = 0x019F;
constexpr UINT LB_FINDSTRINGEXACT = 0x01A2;
constexpr int LB_ERR = -1;

constexpr UINT CB_GETEDITSEL = 0x0140;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRING = 0x014C;
constexpr UINT CB_SELECTSTRING = 0x014D;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_SHOWDROPDOWN = 0x014F;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr UINT CB_GETDROPPEDSTATE = 0x0157;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr int CB_ERR = -1;

constexpr UINT TBM_GETPOS = WM_USER;
constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;
constexpr UINT TBM_SETTICFREQ = WM_USER + 20;
constexpr UINT TBM_GETTIC = WM_USER + 3;
constexpr UINT TBM_SETTIC = WM_USER + 4;
constexpr UINT TBM_GETNUMTICS = WM_USER + 16;
constexpr UINT TBM_CLEARTICS = WM_USER + 9;
constexpr UINT TBM_SETPOS = WM_USER + 5;
constexpr UINT TBM_SETRANGE = WM_USER + 6;
constexpr UINT TBM_SETRANGEMIN = WM_USER + 7;
constexpr UINT TBM_SETRANGEMAX = WM_USER + 8;
constexpr UINT TBM_SETPAGESIZE = WM_USER + 21;
constexpr UINT TBM_GETPAGESIZE = WM_USER + 22;
constexpr UINT TBM_SETLINESIZE = WM_USER + 23;
constexpr UINT TBM_GETLINESIZE = WM_USER + 24;

constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
constexpr UINT PBM_DELTAPOS = WM_USER + 3;
constexpr UINT PBM_SETSTEP = WM_USER + 4;
constexpr UINT PBM_STEPIT = WM_USER + 5;
constexpr UINT PBM_SETRANGE32 = WM_USER + 6;
constexpr UINT PBM_GETRANGE = WM_USER + 7;
constexpr UINT PBM_GETPOS = WM_USER + 8;

// ---- Notification codes ----------------------------------------------------
// WM_COMMAND codes: 0 is a menu or toolbar command.
constexpr UINT BN_CLICKED = 0;
constexpr UINT BN_DOUBLECLICKED = 5;
constexpr UINT STN_CLICKED = 0;
constexpr UINT STN_DBLCLK = 1;
constexpr UINT EN_SETFOCUS = 0x0100;
constexpr UINT EN_KILLFOCUS = 0x0200;
constexpr UINT EN_CHANGE = 0x0300;
constexpr UINT LBN_SELCHANGE = 1;
constexpr UINT LBN_DBLCLK = 2;
constexpr UINT LBN_SETFOCUS = 4;
constexpr UINT LBN_KILLFOCUS = 5;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT CBN_DBLCLK = 2;
constexpr UINT CBN_SETFOCUS = 3;
constexpr UINT CBN_KILLFOCUS = 4;
constexpr UINT CBN_EDITCHANGE = 5;
constexpr UINT CBN_EDITUPDATE = 6;
constexpr UINT CBN_DROPDOWN = 7;
constexpr UINT CBN_CLOSEUP = 8;
constexpr UINT CBN_SELENDOK = 9;
constexpr UINT CBN_SELENDCANCEL = 10;

// WM_NOTIFY header and codes (negative codes as unsigned).
struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
constexpr UINT NM_CLICK = static_cast<UINT>(-2);
constexpr UINT NM_DBLCLK = static_cast<UINT>(-3);
constexpr UINT NM_RCLICK = static_cast<UINT>(-5);
constexpr UINT TVN_SELCHANGING = static_cast<UINT>(-401);
constexpr UINT TVN_SELCHANGED = static_cast<UINT>(-402);
constexpr UINT TVN_ITEMEXPANDING = static_cast<UINT>(-405);
constexpr UINT TVN_ITEMEXPANDED = static_cast<UINT>(-406);
constexpr UINT TVN_DELETEITEM = static_cast<UINT>(-409);
constexpr UINT TTN_NEEDTEXTA = static_cast<UINT>(-520);
constexpr UINT TTN_NEEDTEXTW = static_cast<UINT>(-530);

// Scroll codes of WM_HSCROLL / WM_VSCROLL (also the slider's).
constexpr UINT SB_LINEUP = 0;
constexpr UINT SB_LINELEFT = 0;
constexpr UINT SB_LINEDOWN = 1;
constexpr UINT SB_LINERIGHT = 1;
constexpr UINT SB_PAGEUP = 2;
constexpr UINT SB_PAGELEFT = 2;
constexpr UINT SB_PAGEDOWN = 3;
constexpr UINT SB_PAGERIGHT = 3;
constexpr UINT SB_THUMBPOSITION = 4;
constexpr UINT SB_THUMBTRACK = 5;
constexpr UINT SB_TOP = 6;
constexpr UINT SB_LEFT = 6;
constexpr UINT SB_BOTTOM = 7;
constexpr UINT SB_RIGHT = 7;
constexpr UINT SB_ENDSCROLL = 8;
constexpr UINT TB_LINEUP = 0;
constexpr UINT TB_LINEDOWN = 1;
constexpr UINT TB_PAGEUP = 2;
constexpr UINT TB_PAGEDOWN = 3;
constexpr UINT TB_THUMBPOSITION = 4;
constexpr UINT TB_THUMBTRACK = 5;
constexpr UINT TB_TOP = 6;
constexpr UINT TB_BOTTOM = 7;
constexpr UINT TB_ENDTRACK = 8;
// Which bar: window scroll bars and scroll-bar controls.
constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
constexpr int SB_CTL = 2;
constexpr int SB_BOTH = 3;

struct SCROLLINFO {
    UINT cbSize;
    UINT fMask;
    int nMin;
    int nMax;
    UINT nPage;
    int nPos;
    int nTrackPos;
};
constexpr UINT SIF_RANGE = 0x1;
constexpr UINT SIF_PAGE = 0x2;
constexpr UINT SIF_POS = 0x4;
constexpr UINT SIF_DISABLENOSCROLL = 0x8;
constexpr UINT SIF_TRACKPOS = 0x10;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

// ---- ShowWindow / SetWindowPos ---------------------------------------------
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
// Insert-after values of SetWindowPos.
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(1);
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(-1);
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(-2);

// GetWindow relations.
constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;

// RedrawWindow flags.
constexpr UINT RDW_INVALIDATE = 0x0001;
constexpr UINT RDW_ERASE = 0x0004;
constexpr UINT RDW_ALLCHILDREN = 0x0080;
constexpr UINT RDW_UPDATENOW = 0x0100;

// ---- Dialog results, message boxes -----------------------------------------
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_TYPEMASK = 0xF;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_DEFBUTTON2 = 0x100;

// ---- Menus -------------------------------------------------------------------
constexpr UINT MF_STRING = 0x0;
constexpr UINT MF_BYCOMMAND = 0x0;
constexpr UINT MF_ENABLED = 0x0;
constexpr UINT MF_UNCHECKED = 0x0;
constexpr UINT MF_GRAYED = 0x1;
constexpr UINT MF_DISABLED = 0x2;
constexpr UINT MF_CHECKED = 0x8;
constexpr UINT MF_POPUP = 0x10;
constexpr UINT MF_BYPOSITION = 0x400;
constexpr UINT MF_SEPARATOR = 0x800;
constexpr UINT TPM_LEFTALIGN = 0x0;
constexpr UINT TPM_CENTERALIGN = 0x4;
constexpr UINT TPM_RIGHTALIGN = 0x8;
constexpr UINT TPM_TOPALIGN = 0x0;
constexpr UINT TPM_BOTTOMALIGN = 0x20;
constexpr UINT TPM_LEFTBUTTON = 0x0;
constexpr UINT TPM_RIGHTBUTTON = 0x2;
constexpr UINT TPM_RETURNCMD = 0x100;

// ---- Standard command and window ids ----------------------------------------
constexpr UINT ID_FILE_NEW = 0xE100;
constexpr UINT ID_FILE_OPEN = 0xE101;
constexpr UINT ID_FILE_CLOSE = 0xE102;
constexpr UINT ID_FILE_SAVE = 0xE103;
constexpr UINT ID_FILE_SAVE_AS = 0xE104;
constexpr UINT ID_FILE_PAGE_SETUP = 0xE105;
constexpr UINT ID_FILE_PRINT_SETUP = 0xE106;
constexpr UINT ID_FILE_PRINT = 0xE107;
constexpr UINT ID_FILE_MRU_FILE1 = 0xE110;
constexpr UINT ID_FILE_MRU_LAST = 0xE11F;
constexpr UINT ID_APP_ABOUT = 0xE140;
constexpr UINT ID_APP_EXIT = 0xE141;
constexpr UINT ID_HELP_INDEX = 0xE142;
constexpr UINT ID_HELP_FINDER = 0xE143;
constexpr UINT ID_HELP_USING = 0xE144;
constexpr UINT ID_CONTEXT_HELP = 0xE145;
constexpr UINT ID_HELP = 0xE146;
constexpr UINT ID_DEFAULT_HELP = 0xE147;
constexpr UINT ID_SEPARATOR = 0;
constexpr UINT ID_INDICATOR_CAPS = 0xE701;
constexpr UINT ID_INDICATOR_NUM = 0xE702;
constexpr UINT ID_INDICATOR_SCRL = 0xE703;
// Child ids of a frame's standard parts.
constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;
constexpr UINT AFX_IDW_TOOLBAR = 0xE800;
constexpr UINT AFX_IDW_STATUS_BAR = 0xE801;
constexpr UINT AFX_IDW_DOCKBAR_TOP = 0xE81B;
constexpr UINT AFX_IDW_DOCKBAR_LEFT = 0xE81C;
constexpr UINT AFX_IDW_DOCKBAR_RIGHT = 0xE81D;
constexpr UINT AFX_IDW_DOCKBAR_BOTTOM = 0xE81E;
constexpr UINT AFX_IDW_MDICLIENT = 0xE81F;

// ---- System metrics and colours ---------------------------------------------
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;

constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_3DFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_3DSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;

// Parameters of window creation, as the WM_CREATE handler sees them.
struct CREATESTRUCT {
    void* lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    const char* lpszName;
    const char* lpszClass;
    DWORD dwExStyle;
};
using LPCREATESTRUCT = CREATESTRUCT*;

// ---- Owner drawing ------------------------------------------------------------
class CDC;
constexpr UINT ODT_MENU = 1;
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODT_COMBOBOX = 3;
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODT_STATIC = 5;
constexpr UINT ODA_DRAWENTIRE = 0x1;
constexpr UINT ODA_SELECT = 0x2;
constexpr UINT ODA_FOCUS = 0x4;
constexpr UINT ODS_SELECTED = 0x1;
constexpr UINT ODS_GRAYED = 0x2;
constexpr UINT ODS_DISABLED = 0x4;
constexpr UINT ODS_CHECKED = 0x8;
constexpr UINT ODS_FOCUS = 0x10;

// The device context travels as a pointer to the runtime's CDC, which the
// owner draws with; rcItem is in the item's own client coordinates.
struct DRAWITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;
    CDC* hDC;
    RECT rcItem;
    DWORD_PTR itemData;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;

// ---- Drag and drop, clipboard ---------------------------------------------------
constexpr DROPEFFECT DROPEFFECT_NONE = 0;
constexpr DROPEFFECT DROPEFFECT_COPY = 1;
constexpr DROPEFFECT DROPEFFECT_MOVE = 2;
constexpr DROPEFFECT DROPEFFECT_LINK = 4;
using CLIPFORMAT = WORD;
constexpr UINT CF_TEXT = 1;
constexpr UINT CF_BITMAP = 2;
constexpr UINT CF_DIB = 8;
constexpr UINT CF_HDROP = 15;

constexpr UINT GMEM_FIXED = 0x0;
constexpr UINT GMEM_MOVEABLE = 0x2;
constexpr UINT GMEM_ZEROINIT = 0x40;
constexpr UINT GMEM_SHARE = 0x2000;
constexpr UINT GMEM_DDESHARE = 0x2000;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// ---- Cursors ----------------------------------------------------------------------
// Standard cursor ids (LoadStandardCursor); resource cursors use their own ids.
constexpr UINT IDC_ARROW = 32512;
constexpr UINT IDC_IBEAM = 32513;
constexpr UINT IDC_WAIT = 32514;
constexpr UINT IDC_CROSS = 32515;
constexpr UINT IDC_SIZEALL = 32646;
constexpr UINT IDC_NO = 32648;
constexpr UINT IDC_HAND = 32649;

// ---- Threads ------------------------------------------------------------------------
constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr DWORD CREATE_SUSPENDED = 0x4;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// ---- Help, registry, shell --------------------------------------------------------
constexpr UINT HELP_CONTEXT = 0x1;
constexpr UINT HELP_QUIT = 0x2;
constexpr UINT HELP_INDEX = 0x3;
constexpr UINT HELP_FINDER = 0xB;
constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_QUERY_VALUE = 0x1;
constexpr DWORD REG_SZ = 1;

// ---- Screen-saver windows: system keys and commands, the middle button,
// activation of the application.
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT MK_MBUTTON = 0x0010;
constexpr UINT SC_CLOSE = 0xF060;
constexpr UINT SC_SCREENSAVE = 0xF140;
