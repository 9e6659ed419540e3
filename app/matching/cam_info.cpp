#include "app/matching/cam_info.h"

#include "platform/imgcore/exif_info.h"
#include "platform/utilkit/fl2_apperture.h"
#include "platform/win/wnd.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

void Assign(std::string& field, const char* text) { field = text ? text : ""; }

// Length of the name part the stitch panel shows: the part before the first
// "." when it is 3 to 14 characters long, else the first word under the same
// rule, else the whole name; never more than 12 characters.
size_t SummaryNameLength(const std::string& name)
{
    auto fits = [](size_t n) { return n >= 3 && n < 15; };
    size_t n = name.find('.');
    if (n == std::string::npos) n = name.size();
    if (!fits(n)) {
        n = name.find(' ');
        if (n == std::string::npos) n = name.size();
        if (!fits(n)) n = name.size();
    }
    return std::min<size_t>(n, 12);
}

bool Refuse(const std::string& message)
{
    AfxMessageBox(message.c_str(), MB_OK);
    return false;
}

// The texts come from files and Exif data: they are arguments, never formats.
std::string Format(const char* format, const char* a, const char* b)
{
    const int n = std::snprintf(nullptr, 0, format, a, b);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    std::snprintf(out.data(), out.size() + 1, format, a, b);
    return out;
}

std::string Format(const char* format, double a, double b)
{
    const int n = std::snprintf(nullptr, 0, format, a, b);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    std::snprintf(out.data(), out.size() + 1, format, a, b);
    return out;
}

}  // namespace

void CamInfo::Reset()
{
    *this = CamInfo();
    exifWd2Ht = 0.75f;
}

void CamInfo::SetName(const char* text) { Assign(name, text); }
void CamInfo::SetComment(const char* text) { Assign(comment, text); }
void CamInfo::SetExifMake(const char* text) { Assign(exifMake, text); }
void CamInfo::SetExifModel(const char* text) { Assign(exifModel, text); }

void CamInfo::SetExternalLens(const char* text)
{
    Assign(externalLensName, text);
    externalLens = 1;
}

void CamInfo::SetFocalLength(float mm)
{
    focalLength = mm;
    hasFocalLength = 1;
}

void CamInfo::SetCorrection(const DistortionRecord* correction, bool withDistortion, bool withColor)
{
    if (!correction) return;
    if (withDistortion) {
        distortion[0] = correction->a;
        distortion[1] = correction->b;
        distortion[2] = correction->c;
        distortion[3] = correction->d;
        hasDistortion = 1;
    }
    if (withColor) {
        std::copy(std::begin(correction->colourRegistration), std::end(correction->colourRegistration),
                  colorRegistration);
        hasColorRegistration = 1;
    }
}

float CamInfo::GetApertureAngle() const { return FL2Apperture::FL2ApperturePortrait_35mm(focalLength); }

bool CamInfo::GetCorrectionParams(DistortionRecord* out) const
{
    if (!out) return false;
    if (hasDistortion) {
        out->a = distortion[0];
        out->b = distortion[1];
        out->c = distortion[2];
        out->d = distortion[3];
        out->exifFocalLength = exifFocalLength;
    }
    if (hasColorRegistration)
        std::copy(std::begin(colorRegistration), std::end(colorRegistration), out->colourRegistration);
    return hasDistortion || hasColorRegistration;
}

void CamInfo::GetSummaryText(char* dst, size_t size) const
{
    if (!dst || size == 0) return;
    std::string text;
    if (!name.empty()) {
        text.assign(name, 0, SummaryNameLength(name));
        text += ":";
        if (!exifMake.empty()) text += "\n" + exifMake + "\n" + exifModel;
        if (externalLens) text += externalLensName;
        if (hasDistortion) text += "\nDistortion";
        if (hasColorRegistration) text += "\nAberration";
        text += "\n";
    }
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

void CamInfo::ComputeKind()
{
    if (calMethod != 0 && !exifMake.empty())
        kind = hasFocalLength ? 5 : 3;
    else if (hasFocalLength)
        kind = 2;
    else
        kind = (hasDistortion || hasColorRegistration) ? 1 : 0;
}

bool CamInfo::CheckUpdateAllowed(const ExifInfo* exif, bool withExternalLens) const
{
    const char* imageMake = exif ? exif->GetMake() : nullptr;
    if (imageMake && !*imageMake) imageMake = nullptr;
    if (exifMake.empty()) {
        if (imageMake)
            return Refuse("Cannot update camera info file: it does not contain exif info while the calibrating "
                          "image does!");
    } else {
        if (!imageMake)
            return Refuse("Cannot update camera info file: it contains exif info while the calibrating image does "
                          "not!");
        if (exifMake != imageMake)
            return Refuse(Format("Cannot update camera info file: its camera make (%s) \nis different from (%s) of "
                                 "the calibrating image!",
                                 exifMake.c_str(), imageMake));
        const char* imageModel = exif->GetModel() ? exif->GetModel() : "";
        if (exifModel != imageModel)
            return Refuse(Format("Cannot update camera info file: its camera model (%s) \nis different from (%s) "
                                 "of the calibrating image!",
                                 exifModel.c_str(), imageModel));
        if (exif->m_focalLength != exifFocalLength)
            return Refuse(Format("Cannot update camera info file: its image focoal length (%f) \nis different "
                                 "from (%f) of the calibrating image!",
                                 static_cast<double>(exifFocalLength), static_cast<double>(exif->m_focalLength)));
    }
    if ((externalLens != 0) == withExternalLens) return true;
    if (!withExternalLens)
        return Refuse("Cannot update camera info file: it used external lens \n but the calibrating image does "
                      "not!");
    return Refuse("Cannot update camera info file: it did not use external lens \n but the calibrating image does!");
}
