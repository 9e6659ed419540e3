// The main program's configuration record behind the settings file
// "fendrake.cfg": the camera-information file to load at start, the initial
// focal length, the blend options and the screen-saver tip. The manager owns
// the one record; the settings file and the Initial Configuration dialog
// fill it in, and it is written back at exit only when something changed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct AppConfig {
    void SetModified() { modified = 1; }
    bool IsModified() const { return modified != 0; }
    // Null or empty clears the name. True when the record changed.
    bool SetCamInfoFile(const char* name);
    const char* GetCamInfoFile() const { return camInfoFile.empty() ? nullptr : camInfoFile.c_str(); }

    // Fields, in the record's order.
    uint8_t modified = 0;
    uint8_t cameraType = 1;  // 1 written "f", 0 "d"; nothing else reads it
    uint8_t autoBalance = 1;
    uint8_t screenSaverHint = 1;  // show the screen-saver tips window
    std::string camInfoFile;      // empty: none
    float focalLength = 35.0f;    // mm, 35-mm equivalent, used when the images do not tell it
    int32_t focalMode = 0;        // coded as the stitch settings' focal type
    int32_t blendWidth = 20;      // percent
    int32_t blendMethod = 1;      // 0 elastic, 1 fixed blend width
};

// The settings file's lines into the record (unknown lines are skipped and
// out-of-range values keep the field's value); the record never becomes
// modified by reading.
void ReadConfigLines(FILE* file, AppConfig& config);
// The six kinds of lines of the settings file, in their order.
void WriteConfigLines(FILE* file, const AppConfig& config);
