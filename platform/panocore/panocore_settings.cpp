#include "platform/panocore/panocore_settings.h"

namespace {

// Process-wide, set from the user-interface thread before a stitch or blend
// run starts and only read while it runs.
struct Settings {
    int divLineBlendWidth = 20;
    int mccTu0 = 1200;
    bool fixMag = false;
    bool fixAperture = false;
    float apertureDeg = 0.0f;
    int markerWAlign = 0;
};

Settings& settings()
{
    static Settings s;
    return s;
}

}  // namespace

void SetDivLineBlendWidth(int pixels) { settings().divLineBlendWidth = pixels; }
int GetDivLineBlendWidth() { return settings().divLineBlendWidth; }
int GetMCCTu0() { return settings().mccTu0; }
void SetMCCTu0(int pixels) { settings().mccTu0 = pixels; }
bool IsFixMag() { return settings().fixMag; }
bool IsFixAperture() { return settings().fixAperture; }
float GetApertureDeg() { return settings().apertureDeg; }
int IsMarkerWAlign() { return settings().markerWAlign; }

void SetWarpFitSettings(bool fixMag, bool fixAperture, float apertureDeg, int markerWAlign)
{
    Settings& s = settings();
    s.fixMag = fixMag;
    s.fixAperture = fixAperture;
    s.apertureDeg = apertureDeg;
    s.markerWAlign = markerWAlign;
}
