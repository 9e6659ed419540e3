// The camera-information record: one camera/lens combination with its
// calibrated focal length, lens distortion and colour registration, and the
// Exif identity of the images it was calibrated from. The manager holds the
// record in use; the stitch settings, the stitch panel and the
// camera-information files (cam_info_file.h) read and write it.
#pragma once

#include "app/matching/distortion_record.h"

#include <cstddef>
#include <cstdint>
#include <string>

class ExifInfo;

// Texts are owned copies; an empty text stands for "none" (the getters
// answer null for it), so that a record never holds a dangling or shared text.
struct CamInfo {
    CamInfo() = default;

    // Back to an empty record (every field zero or none) with the side ratio
    // of 4:3 images. Every load starts with it.
    void Reset();

    // A null or empty text clears the field.
    void SetName(const char* text);
    void SetComment(const char* text);
    void SetExifMake(const char* text);
    void SetExifModel(const char* text);
    // Also marks the record as made with an external lens.
    void SetExternalLens(const char* text);
    const char* GetName() const { return Text(name); }
    const char* GetComment() const { return Text(comment); }
    const char* GetExifMake() const { return Text(exifMake); }
    const char* GetExifModel() const { return Text(exifModel); }
    const char* GetExternalLensName() const { return Text(externalLensName); }

    void SetFocalLength(float mm);
    // The block's Exif focal length is not copied.
    void SetCorrection(const DistortionRecord* correction, bool withDistortion, bool withColor);
    float GetFocalLength() const { return focalLength; }
    // Full portrait angle of the 35-mm frame for the focal length, radians.
    float GetApertureAngle() const;
    // Pointers into the record; null when the matching flag is clear.
    const float* GetDistortion() const { return hasDistortion ? distortion : nullptr; }
    const float* GetColorRegistration() const { return hasColorRegistration ? colorRegistration : nullptr; }
    // The last three colour-registration values alone.
    const float* GetColorRegistration3() const { return hasColorRegistration ? colorRegistration + 3 : nullptr; }
    // Writes a..d and the Exif focal length when the record has distortion,
    // the colour values when it has colour registration; the rest of `out`
    // stays as it was. True when either was written.
    bool GetCorrectionParams(DistortionRecord* out) const;

    // The short text of the stitch panel, cut to fit `size` bytes with its
    // terminating zero; "" without a name.
    void GetSummaryText(char* dst, size_t size) const;
    // The summary class 0..5 of a loaded record.
    void ComputeKind();

    // Loading and saving (cam_info_file.cpp). `description`, when given, gets
    // a readable line per key read.
    bool LoadFile(const char* fileName, std::string* description);
    bool ReadFromFolder(const char* fileName, bool fromShareLibrary, std::string* description);
    bool ReadFile(const char* path, std::string* description);
    bool ReadLegacyFile(const char* fileName, std::string* description);
    // Rewrites the record's own file in the camera-info folder.
    bool Save() const;
    // Whether the record may take a focal length calibrated from an image
    // with this Exif record; a refusal is shown in a message box.
    bool CheckUpdateAllowed(const ExifInfo* exif, bool externalLens) const;

    // Fields, in the record's order.
    std::string name;  // the file name the record was loaded from
    float version = 0.0f;
    std::string comment;
    int32_t calMethod = 0;  // 0 not stated, 1 the separate calibration tool, 2 any other way
    uint8_t externalLens = 0;
    std::string externalLensName;
    float exifWd2Ht = 0.0f;  // shorter side / longer side of the calibration images
    std::string exifMake;
    std::string exifModel;
    float exifFocalLength = 0.0f;  // mm
    float exifCropFactor = 0.0f;
    int32_t exifCfSrc = 0;
    float focalLength = 0.0f;  // mm, 35-mm equivalent; 0 not calibrated
    float distortion[4] = {};
    float colorRegistration[6] = {};
    uint8_t hasDistortion = 0;
    uint8_t hasColorRegistration = 0;
    uint8_t hasFocalLength = 0;
    int32_t kind = 0;

private:
    static const char* Text(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }
};
