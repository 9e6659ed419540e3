#include "app/matching/exif_summary.h"

#include "platform/imgcore/exif_info.h"

namespace {

bool HasText(const char* text) { return text && *text; }

}  // namespace

bool ExifSummary::Add(const ExifInfo* exif)
{
    ++imageCount;
    if (!exif || !HasText(exif->GetMake()) || !HasText(exif->GetModel())) {
        ++noExifCount;
        return false;
    }
    const std::string key = std::string(exif->GetMake()) + ":" + exif->GetModel();
    if (modelIds.find(key) == modelIds.end()) modelIds[key] = ++modelCount;
    const float focal = exif->m_focalLength;
    // lastFocal starts below 0, so the first Exif image never counts as a change.
    if (sameFocal && lastFocal >= 0.0f && focal != lastFocal) sameFocal = 0;
    lastFocal = focal;
    if (minFocal >= focal) minFocal = focal;
    if (maxFocal < focal) maxFocal = focal;
    return true;
}

int ExifSummary::GetState()
{
    if (modelCount == 0)
        state = 0;
    else if (modelCount >= 2)
        state = 1;
    else if (noExifCount > 0)
        state = sameFocal ? 3 : 2;
    else
        state = sameFocal ? 5 : 4;
    return state;
}
