// The main program's configuration record behind the settings file
// "fendrake.cfg". The settings-file reader and the configuration dialog fill
// it in; the manager only creates it with its defaults and hands it out.
#pragma once

struct AppConfig {
    bool screenSaverHint = true;  // show the screen-saver tips window
    bool modified = false;        // to be written back at exit
};
