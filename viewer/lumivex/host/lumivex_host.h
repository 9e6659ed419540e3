// The container host: a top-level runtime window that creates the viewer
// control from the stand-in registry by its ProgID, hands it FileName,
// Speed and ViewMode as persisted properties and keeps it filling its
// client area. The host program and the tests use the same class.
#pragma once

#include "platform/olecontrol/ole_control.h"

#include <string>
#include <vector>

struct LumivexHostOptions {
    std::string fileName;
    int speed = 0;
    int viewMode = 0;  // 0 world-map view, 1 perspective view
    int width = 600, height = 400;
};

// Parses "[-s speed] [-m w|p] [-w width] [-h height] FileName"; false with
// `error` set for a bad or missing argument.
bool ParseLumivexHostArgs(const std::vector<std::string>& args, LumivexHostOptions& options, std::string& error);

class CLumivexHostWnd : public CWnd {
public:
    CLumivexHostWnd() = default;
    ~CLumivexHostWnd() override;

    // Registers the module when its ProgID is missing from the registry,
    // creates the window and the control in it. False (an ERROR line) when
    // either cannot be made.
    bool Open(const LumivexHostOptions& options);
    COleControl* Control() const { return m_control; }

protected:
    void OnSize(UINT type, int cx, int cy) override;
    void OnDestroy() override;

private:
    COleControl* m_control = nullptr;  // owned
};
