// The stitch bar docked at the left of the main frame (dialog resource 103).
// The stitch bar issue fills in its controls and actions; the main frame
// creates, docks and registers it.
#pragma once

#include "platform/win/control_bars.h"

class CStitchBar : public CDialogBar {
public:
    void InitControls() {}
};
