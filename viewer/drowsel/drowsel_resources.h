// The saver's resources: the configuration, help and about dialogs, the
// string table entry that names the program as a screen saver, and the
// blank cursor of the full-screen window. Registered once by the program
// (and by the tests) in the application's module.
#pragma once

#include "platform/win/win_defs.h"

namespace drowsel {

inline constexpr UINT IDD_ABOUTBOX = 100;
inline constexpr UINT IDD_CONFIG = 102;
inline constexpr UINT IDD_CONFIG_HELP = 131;
inline constexpr UINT IDC_IMAGE_PATH = 1000;
inline constexpr UINT IDC_BROWSE = 1008;
inline constexpr UINT IDC_SPEED = 1009;
inline constexpr UINT IDC_HEIGHT = 1010;
inline constexpr UINT IDC_HEIGHT_VALUE = 1011;
inline constexpr UINT IDC_ADD_TO_ALBUM = 1012;
inline constexpr UINT IDC_PERIOD = 1013;
inline constexpr UINT IDC_HOME_LINK = 1015;
inline constexpr UINT IDC_HELP_BUTTON = 4;
inline constexpr UINT IDM_ABOUTBOX = 16;
inline constexpr UINT IDS_DESCRIPTION = 1;

void RegisterResources();
// The about dialog's version text (a build setting) and the maker's home page.
const char* VersionText();
const char* HomePage();

}  // namespace drowsel
