#include "app/matching/cam_info_checks.h"

#include "app/matching/cam_info.h"
#include "app/matching/exif_summary.h"
#include "core/logger.h"
#include "platform/win/wnd.h"

#include <cstdio>

namespace {

// The key "make:model" of the first camera identity the summary saw (id 1).
std::string FirstIdentity(const ExifSummary& summary)
{
    for (const auto& [key, id] : summary.modelIds)
        if (id == 1) return key;
    return {};
}

std::string Format1(const char* format, float value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<double>(value));
    return text;
}

void Choose(FocalSourceChoice* out, int choice, uint8_t e0, uint8_t e1, uint8_t e2)
{
    out->choice = choice;
    out->enabled[0] = e0;
    out->enabled[1] = e1;
    out->enabled[2] = e2;
    out->enabledCount = e0 + e1 + e2;
}

}  // namespace

std::string ExifSummaryText(const ExifSummary* summary)
{
    if (!summary) {
        Logger::log("ERROR ExifSummaryText: no summary", 1);
        return {};
    }
    if (summary->state == 0) {
        if (summary->imageCount < 1) return "No image in Pellicot!";
        return "No Exif info in all images: make sure proper selection of Camera Info file or focal length!";
    }
    std::string text = "Camera model: " + FirstIdentity(*summary) + "\n";
    switch (summary->state) {
    case 1: text += "Camera model# > 1?: please verify image set!"; break;
    case 2: text += "Some images have no Exif info (the rest have different focal lengths): will not use Exif info!"; break;
    case 3:
        text += "Some image(s) have no Exif info (the rest have same focal length=" + Format1("%.1f", summary->minFocal) +
                "): will not use Exif info!";
        break;
    case 4: {
        char range[80];
        std::snprintf(range, sizeof range, "%.1f-%.1f", static_cast<double>(summary->minFocal),
                      static_cast<double>(summary->maxFocal));
        text += std::string("Images have different focal lengths: ") + range;
        break;
    }
    case 5: text += "Images have same focal length: " + Format1("%.1f", summary->minFocal); break;
    default: break;
    }
    return text;
}

int CheckCamInfoAgainstSet(const CamInfo* info, const ExifSummary* summary, bool useExif)
{
    if (!summary) {
        Logger::log("ERROR CheckCamInfoAgainstSet: no Exif summary", 1);
        return 1;
    }
    if (summary->imageCount == 0 || !useExif) return 1;
    if (summary->state == 1) {
        AfxMessageBox("Cannot use any camInfo file!\nImages are from multiple camera models!");
        return -1;
    }
    if (summary->state == 2) {
        AfxMessageBox("Cannot use any camInfo file!\nImages have different focal lengths and some do not have exif!");
        return -1;
    }
    if (summary->state == 0 || !info || info->exifMake.empty()) return 1;
    const std::string images = FirstIdentity(*summary);
    const std::string record = info->exifMake + ":" + info->exifModel;
    if (record == images) return 1;
    char text[1024];
    std::snprintf(text, sizeof text,
                  "Cannot use selected Camera Info file: due to its\nCamera Model (%s) mismatch with images (%s).\n"
                  "Please select a matching file",
                  record.c_str(), images.c_str());
    AfxMessageBox(text);
    return 0;
}

int ChooseFocalSource(const CamInfo* info, const ExifSummary* summary, FocalSourceChoice* out, bool useExif)
{
    FocalSourceChoice local;
    if (!out) out = &local;
    if (!summary) {
        Logger::log("ERROR ChooseFocalSource: no Exif summary", 1);
        Choose(out, 0, 1, 1, 1);
        return out->choice;
    }
    const int state = summary->state;
    if (summary->imageCount == 0)
        Choose(out, 3, 0, 0, 0);
    else if (useExif && state == 4 && info && info->exifFocalLength <= 0.0f)
        Choose(out, 1, 0, 1, 0);
    else if (useExif && (state == 4 || state == 5) && (!info || info->exifFocalLength > 0.0f))
        Choose(out, 3, 0, 0, 0);
    else if (useExif && (state == 1 || state == 2))
        Choose(out, 1, 0, 1, 0);
    else if (!info)
        Choose(out, 0, 1, 1, 1);
    else if (info->hasFocalLength)
        Choose(out, 2, 0, 0, 1);
    else
        Choose(out, 0, 1, 0, 0);
    return out->choice;
}

bool CanUseCamInfoForSet(const ExifSummary* summary, bool useExif)
{
    if (!summary || summary->imageCount == 0 || !useExif) return true;
    return summary->state != 1 && summary->state != 2;
}

bool HasExifFocalForSet(const ExifSummary* summary, bool useExif)
{
    return summary && useExif && summary->imageCount >= 3 && (summary->state == 4 || summary->state == 5);
}

bool PreferExifFocal(const CamInfo* info, const ExifSummary* summary, bool useExif)
{
    if (!summary) return false;
    if (summary->imageCount == 0) return true;
    if (!useExif || summary->state != 5) return false;
    if (!info) return true;
    return !info->hasFocalLength;
}
