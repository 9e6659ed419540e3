// The stitching core's per-direction object of a link: the automatic marker
// set of that direction and the intensity pairs measured along the pair's
// seam. Links make it through GetPairInfoInterface and release it by delete.
// It owns Marker sets, so it lives beside them rather than in the core's
// stand-in (platform/panocore), which would otherwise include this library.
#pragma once

class Marker;
struct CBlendPolygons;

class IPairInfo {
public:
    // Release: deletes the object and the marker set it holds.
    virtual ~IPairInfo() = default;

    // The marker set held (the argument selects the set; 0 is the only one),
    // null when none.
    virtual Marker* GetMarker(int which) = 0;
    // Deletes the set held and keeps `markers` (ownership passes; null empties).
    virtual void SetMarker(Marker* markers) = 0;
    // Intensity pairs: entries of six floats, the three channel values in
    // this direction's own frame, then the three in the other frame. Null
    // and count 0 when none.
    virtual float* GetIntensityPairs(int& count) = 0;
    // Copies `count` entries (null or 0 empties the list).
    virtual void SetIntensityPairs(const float* entries, int count) = 0;
    // The seam-blending side of this direction, owned from here on and freed
    // through `release` (the blending library hands its own function over,
    // the object cannot link it). Replacing or destroying frees the earlier
    // record; null empties.
    virtual void SetBlendPolygons(CBlendPolygons* sides, void (*release)(CBlendPolygons*)) = 0;
    virtual CBlendPolygons* GetBlendPolygons() = 0;

protected:
    IPairInfo() = default;
    IPairInfo(const IPairInfo&) = delete;
    IPairInfo& operator=(const IPairInfo&) = delete;
};

// A new object without markers or intensity pairs; the caller owns it.
IPairInfo* GetPairInfoInterface();
// How many of these objects are alive (leak checks of their holders).
int GetPairInfoCount();
