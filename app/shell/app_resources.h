// The program's resources written in code: dialogs, the main menu and
// toolbar, the string table, icons, cursors and the splash picture,
// registered in the application's resource module at start-up.
#pragma once

void RegisterAppResources();

// The image tray's toolbar, menus, tips and cursors (RegisterAppResources
// calls it).
void RegisterTrayResources();
