// The viewer's resources written in code: the document string, menus,
// toolbars, command texts, the help and about dialogs and the cursors.
#pragma once

void RegisterVistrelResources();
