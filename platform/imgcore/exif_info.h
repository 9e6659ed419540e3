// Exif record of one photograph and its reader. Image frames read it on demand
// for the focal length of a stitch; the camera-information checks, the Exif
// dialog and the image view read the camera identity and exposure values.
#pragma once

#include <cstdint>
#include <string>

class ExifInfo {
public:
    ExifInfo() = default;

    // Back to the state of a file without Exif data.
    void Reset();

    // Camera make and model, null when the file did not name them (a record
    // without a make counts as no record for its callers).
    const char* GetMake() const { return m_hasMake ? m_make.c_str() : nullptr; }
    const char* GetModel() const { return m_hasModel ? m_model.c_str() : nullptr; }
    void SetMake(const char* make);
    void SetModel(const char* model);

    // Fields, in this order; callers read them directly. The third word is
    // the one the stitching code tests before it trusts the record.
    int32_t m_width = 0;          // pixel columns as the Exif directory states them, else the image's own
    int32_t m_height = 0;         // pixel rows, likewise
    int32_t m_hasExif = 0;        // nonzero when an Exif directory was read
    float m_focalLength = 0.0f;   // lens focal length in millimetres, 0 unknown
    float m_focalLength35 = 0.0f; // 35-mm film equivalent in millimetres, 0 unknown
    float m_cropFactor = 0.0f;    // focal length 35-mm equivalent / real focal length, 0 unknown
    int32_t m_cropFactorSource = 0;  // 0 none, 1 from the 35-mm focal length tag,
                                     // 2 from the focal-plane resolution and the image size
    float m_fNumber = 0.0f;
    float m_exposureTime = 0.0f;  // seconds, 0 unknown
    int32_t m_exposureBias = 0;   // in steps of 1/3 EV, rounded to the nearest step
    float m_exposureBiasEv = 0.0f;
    int32_t m_isoSpeed = 0;       // 0 unknown
    int32_t m_whiteBalance = -1;  // Exif code: 0 auto, 1 manual; -1 not stated
    int32_t m_orientation = 0;    // Exif code 1..8, 0 not stated
    char m_dateTime[20] = {};     // "YYYY:MM:DD HH:MM:SS" when taken (else when written), "" unknown

private:
    std::string m_make;
    std::string m_model;
    bool m_hasMake = false;
    bool m_hasModel = false;
};

// Reads the Exif data of a JPEG file (the "Exif" APP1 segment) or of a TIFF
// file (its first directory and the Exif directory it points to).
class ExtractExif {
public:
    // Fills `info` from the file at `path`. True when an Exif directory was
    // found; otherwise `info` is reset (only the image size may be filled) and
    // the result is false. Malformed data never reads outside the file.
    static bool Run(const char* path, ExifInfo& info);

    // The same on a TIFF-structured block held in memory (the payload of an
    // APP1 segment after "Exif\0\0", or a whole TIFF file).
    static bool ParseTiffBlock(const unsigned char* data, size_t size, ExifInfo& info);
};
