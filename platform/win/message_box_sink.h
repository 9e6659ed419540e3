// Message boxes that a library shows from its own string table (for example
// the world-map library's QuickTime save messages). Every box goes to one
// replaceable sink: the desktop shell shows it, tests record it, and without
// a sink the text is logged and the box answers OK.
#pragma once

#include <functional>
#include <string>

namespace win {

struct ModuleMessageBox {
    std::string module;    // the library whose resources hold the text
    unsigned textId = 0;   // string-table id of the text
    std::string text;
    unsigned type = 0;     // MB_* flags (0: OK button only)
};

// Receives each box and returns the button pressed (1 = OK).
using MessageBoxSink = std::function<int(const ModuleMessageBox&)>;

// Installs a sink (null restores the default) and returns the previous one.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

// Shows a box through the sink; returns the button pressed.
int ShowModuleMessageBox(const char* module, unsigned textId, const char* text, unsigned type);

}  // namespace win
