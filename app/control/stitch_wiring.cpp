#include "app/control/stitch_wiring.h"

#include "app/control/stitch_driver.h"
#include "app/matching/auto_markers.h"

namespace {

// A run of the application always searches consecutive pairs with Hollet and
// without the matcher's own RANSAC.
bool ChainNeedsMarkers(ImageChain* chain)
{
    return NeedAutoMarkers(chain, true);
}

int SearchChain(ImageChain* chain, uint8_t reductionCode, const DistortionRecord* correction)
{
    AutoMarkerRequest* request = GetAutoMarkerRequest();
    request->frames = chain;
    request->downscaleCode = reductionCode;
    request->correction = correction;
    request->sequential = 1;
    request->useMatcherRansac = 0;
    request->result = 0;
    return RunAutoMarkerRequest();
}

}  // namespace

void InstallStitchServices()
{
    StitchMatching matching;
    matching.needAutoMarkers = &ChainNeedsMarkers;
    matching.run = &SearchChain;
    SetStitchMatching(matching);
}
