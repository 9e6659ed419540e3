#include "app/matching/cam_info_file.h"

#include "app/matching/cam_info.h"
#include "app/matching/distortion_record.h"
#include "app/shell/fendrake_app.h"
#include "platform/imgcore/exif_info.h"
#include "platform/utilkit/fl2_apperture.h"
#include "platform/utilkit/log_base.h"
#include "core/logger.h"
#include "platform/win/file_system.h"
#include "platform/win/wnd.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr size_t kDistortionOffset = 13;  // strlen("[distortion] ")
constexpr size_t kColorOffset = 21;       // strlen("[color registration] ")

std::string CommonAppDataFolder(const char* subPath)
{
    std::string folder;
    LogBase::GetCommonAppDataDir(subPath, folder);
    return folder;
}

// ---- Lines --------------------------------------------------------------

void DropLineEnd(std::string& text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
}

// The value after "]": the rest of the line without its line end.
std::string RestOfLine(const std::string& line, size_t keyEnd)
{
    std::string rest = line.substr(keyEnd + 1);
    DropLineEnd(rest);
    return rest;
}

std::string SkipBlanks(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

// The writer puts one blank between key and value; only that one goes.
std::string DropSeparator(const std::string& text) { return !text.empty() && text[0] == ' ' ? text.substr(1) : text; }

void Describe(std::string* description, const char* label, const std::string& value, const char* unit = "")
{
    if (description) *description += std::string(label) + value + unit + "\n";
}

// Up to `count` numbers separated by blanks; how many were read.
int ParseNumbers(const std::string& text, int count, float* values)
{
    int read = 0;
    size_t at = 0;
    while (read < count) {
        at = text.find_first_not_of(' ', at);
        if (at == std::string::npos) break;
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        values[read++] = static_cast<float>(std::atof(text.substr(at, end - at).c_str()));
        at = end;
    }
    return read;
}

// The numbers of a row: the text `offset` bytes into the line (a line too
// short for it is a row without numbers); a legacy row is unscrambled first.
std::string RowText(const std::string& line, size_t offset, bool legacy)
{
    if (line.size() < offset) return std::string();
    std::string text = line.substr(offset);
    if (legacy) {
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (!text.empty() && text.back() == '\r') text.pop_back();
        UnscrambleRow(text.data(), text.size());
    }
    DropLineEnd(text);
    return text;
}

void ReadDistortionRow(CamInfo& info, const std::string& line, bool legacy, std::string* description)
{
    float values[4] = {};
    const int read = ParseNumbers(RowText(line, kDistortionOffset, legacy), 4, values);
    for (int i = 0; i < read; ++i) info.distortion[i] = values[i];
    const float sum = values[0] + values[1] + values[2] + values[3];
    // A row summing to almost nothing is no correction at all.
    const bool absent = sum <= 0.1f;
    if (!absent && read == 4 && sum != 1.0f) {
        const float scale = 1.0f / sum;
        for (float& v : info.distortion) v *= scale;
    }
    info.hasDistortion = (read == 4 && !absent) ? 1 : 0;
    Describe(description, "Distortion Correction: ", info.hasDistortion ? "Yes" : "No");
}

void ReadColorRow(CamInfo& info, const std::string& line, bool legacy, std::string* description)
{
    float values[6] = {};
    const int read = ParseNumbers(RowText(line, kColorOffset, legacy), 6, values);
    for (int i = 0; i < read; ++i) info.colorRegistration[i] = values[i];
    info.hasColorRegistration = read == 6 ? 1 : 0;
    Describe(description, "Chromatic Aberration Correction: ", info.hasColorRegistration ? "Yes" : "No");
}

// ---- Writing ------------------------------------------------------------

// Texts from users and Exif data may hold line breaks, which the reader
// would take as new keys: they are written as blanks.
void WriteText(FILE* file, const char* key, const char* text)
{
    std::string value = text ? text : "";
    for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
    std::fputs(key, file);
    std::fputs(value.c_str(), file);
    std::fputs("\n", file);
}

void WriteHeader(FILE* file, bool madeByTool, const char* comment, const char* externalLens)
{
    char time[100] = {};
    LogBase::makeTimeString(time, sizeof time, true);
    WriteText(file, "[DateCreated] ", time);
    std::fputs(madeByTool ? "[CalMethod] Optarvo\n" : "[CalMethod] Runtime\n", file);
    if (comment) WriteText(file, "[Comment] ", comment);
    if (externalLens)
        WriteText(file, "[ExternalLens] ", externalLens);
    else
        std::fputs("[ExternalLens] No\n", file);
}

// Shorter side over longer side; 0 for an image without a size.
float SideRatio(int width, int height)
{
    const int longer = width <= height ? height : width;
    if (longer <= 0) return 0.0f;
    return width <= height ? static_cast<float>(width) / static_cast<float>(height)
                           : static_cast<float>(height) / static_cast<float>(width);
}

void WriteExif(FILE* file, const char* make, const char* model, float ratio, float focal, float cropFactor,
               int cropFactorSource)
{
    WriteText(file, "[exifCameraMake] ", make);
    if (model) WriteText(file, "[exifCameraModel] ", model);
    std::fprintf(file, "[exifImageWd2Ht] %f\n", static_cast<double>(ratio));
    std::fprintf(file, "[exifFocalLength] %f\n", static_cast<double>(focal));
    std::fprintf(file, "[exifCropFactor] %f\n", static_cast<double>(cropFactor));
    std::fprintf(file, "[exifCfSrc] %d\n", cropFactorSource);
}

void WriteRows(FILE* file, const DistortionRecord& correction, bool withDistortion, bool withColor)
{
    if (withDistortion)
        std::fprintf(file, "[distortion] %f %f %f %f\n", static_cast<double>(correction.a),
                     static_cast<double>(correction.b), static_cast<double>(correction.c),
                     static_cast<double>(correction.d));
    if (withColor) {
        const float* c = correction.colourRegistration;
        std::fprintf(file, "[color registration] %f %f %f %f %f %f\n", static_cast<double>(c[0]),
                     static_cast<double>(c[1]), static_cast<double>(c[2]), static_cast<double>(c[3]),
                     static_cast<double>(c[4]), static_cast<double>(c[5]));
    }
}

void SwapBits04(char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const unsigned bit0 = b & 0x01u, bit4 = (b >> 4) & 0x01u;
        text[i] = static_cast<char>((b & ~0x11u) | (bit0 << 4) | bit4);
    }
}

void SwapTriples(char* text, size_t length)
{
    for (size_t i = 0; i < length / 3; ++i) std::swap(text[3 * i], text[3 * i + 2]);
}

void SwapPairs(char* text, size_t length)
{
    for (size_t i = 0; i < length / 2; ++i) std::swap(text[2 * i], text[2 * i + 1]);
}

// ---- Folders ------------------------------------------------------------

std::string CurrentDirectory()
{
    char buffer[4096] = {};
    const DWORD n = GetCurrentDirectory(sizeof buffer, buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : win::CurrentFolder();
}

// The current folder is this layer's own, so a tree walk may change it; it
// is put back however the walk ends.
class CurrentFolderGuard {
public:
    CurrentFolderGuard() : m_saved(CurrentDirectory()) {}
    ~CurrentFolderGuard() { SetCurrentDirectory(m_saved.c_str()); }
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

private:
    std::string m_saved;
};

bool IsDotName(const char* name) { return name[0] == '.'; }
bool IsFolder(const WIN32_FIND_DATA& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
std::string Join(const std::string& folder, const char* name) { return folder + "\\" + name; }

bool DeleteTree(const std::string& folder, bool keepFolder)
{
    bool ok = true;
    {
        CurrentFolderGuard guard;
        if (!SetCurrentDirectory(folder.c_str())) {
            // Nothing to delete where there is no folder; one that exists but
            // cannot be entered is a failure.
            return GetFileAttributes(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
        }
        WIN32_FIND_DATA data{};
        HANDLE find = FindFirstFile("*.*", &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (IsFolder(data)) {
                    if (IsDotName(data.cFileName)) continue;
                    ok = DeleteTree(Join(folder, data.cFileName), false);
                } else {
                    const std::string path = Join(folder, data.cFileName);
                    ok = SetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL) && DeleteFile(path.c_str());
                }
            } while (ok && FindNextFile(find, &data));
            FindClose(find);
        }
    }
    if (!ok) {
        Logger::log("ERROR DeleteFolderTree: cannot remove everything in %s", 1, folder.c_str());
        return false;
    }
    if (keepFolder) return true;
    SetFileAttributes(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectory(folder.c_str()) != FALSE;
}

bool CopyTree(const std::string& source, const std::string& destination, bool topLevel)
{
    CurrentFolderGuard guard;
    if (!SetCurrentDirectory(source.c_str())) {
        AfxMessageBox(("Cannot get folder:\n" + source).c_str(), MB_OK);
        return false;
    }
    WIN32_FIND_DATA data{};
    HANDLE find = FindFirstFile("*.*", &data);
    bool any = false;
    bool ok = true;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const char* name = data.cFileName;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            any = true;
            if (IsFolder(data)) {
                if (IsDotName(name)) continue;
                const std::string target = Join(destination, name);
                if (GetFileAttributes(target.c_str()) == INVALID_FILE_ATTRIBUTES)
                    CreateDirectory(target.c_str(), nullptr);
                if (!CopyTree(Join(source, name), target, false)) ok = false;
            } else {
                const std::string target = Join(destination, name);
                // An existing file is kept, never overwritten.
                if (GetFileAttributes(target.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
                if (!CopyFile(Join(source, name).c_str(), target.c_str(), TRUE)) {
                    Logger::log("ERROR CopyFolderTree: cannot copy %s to %s", 1, name, target.c_str());
                    ok = false;
                }
            }
        } while (FindNextFile(find, &data));
        FindClose(find);
    }
    if (!any && topLevel) {
        AfxMessageBox(("Empty folder:\n" + source).c_str(), MB_OK);
        return false;
    }
    return ok;
}

}  // namespace

// ---- Folders and lines ------------------------------------------------------

std::string CamInfoFolder() { return CommonAppDataFolder("\\Quorvane\\CameraInfo"); }
std::string CamInfoShareLibFolder() { return CommonAppDataFolder("\\Quorvane\\CameraInfoShareLib"); }
std::string LegacyCamInfoFolder() { return CFendrakeApp::GetProgramDir() + "\\CameraInfo\\"; }

bool ReadTextLine(FILE* file, std::string& line)
{
    line.clear();
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !line.empty();
}

void ScrambleRow(char* text, size_t length)
{
    SwapPairs(text, length);
    SwapTriples(text, length);
    SwapBits04(text, length);
}

void UnscrambleRow(char* text, size_t length)
{
    SwapBits04(text, length);
    SwapTriples(text, length);
    SwapPairs(text, length);
}

bool DeleteFolderTree(const char* folder, bool keepFolder)
{
    if (!folder || !*folder) return false;
    return DeleteTree(folder, keepFolder);
}

bool CopyFolderTree(const char* source, const char* destination)
{
    if (!source || !destination) return false;
    return CopyTree(source, destination, true);
}

// ---- Writers ----------------------------------------------------------------

bool WriteCamInfo(FILE* file, bool madeByTool, const char* comment, const char* externalLens, const ExifInfo* exif,
                  const DistortionRecord* correction, bool withDistortion, bool withColor, float focalLength,
                  float version)
{
    if (!file) return false;
    if (version >= 0.0f) std::fprintf(file, "[Version] %.1f\n", static_cast<double>(version));
    WriteHeader(file, madeByTool, comment, externalLens);
    if (exif && exif->GetMake()) {
        const float focal = correction ? correction->exifFocalLength : exif->m_focalLength;
        WriteExif(file, exif->GetMake(), exif->GetModel(), SideRatio(exif->m_width, exif->m_height), focal,
                  exif->m_cropFactor, exif->m_cropFactorSource);
    }
    if (correction) WriteRows(file, *correction, withDistortion, withColor);
    if (focalLength > 0.0f) std::fprintf(file, "[focal length] %f mm\n", static_cast<double>(focalLength));
    return true;
}

FILE* OpenCamInfoForWrite(const char* fileName)
{
    if (!fileName || !*fileName) return nullptr;
    const std::string path = Join(CamInfoFolder(), fileName);
    FILE* file = win::OpenFile(path, "w");
    if (!file) {
        const std::string message = "Can't open file for saving: " + path;
        AfxMessageBox(message.c_str(), MB_OK);
    }
    return file;
}

bool SaveCamInfo(const char* fileName, bool madeByTool, const char* comment, const char* externalLens,
                 const ExifInfo* exif, const DistortionRecord* correction, bool withDistortion, bool withColor,
                 float focalLength, float version)
{
    FILE* file = OpenCamInfoForWrite(fileName);
    if (!file) return false;
    const bool ok = WriteCamInfo(file, madeByTool, comment, externalLens, exif, correction, withDistortion,
                                 withColor, focalLength, version);
    return std::fclose(file) == 0 && ok;
}

bool CamInfo::Save() const
{
    if (name.empty()) return false;
    FILE* file = OpenCamInfoForWrite(name.c_str());
    if (!file) return false;
    WriteHeader(file, calMethod == 1, GetComment(), externalLens ? externalLensName.c_str() : nullptr);
    if (!exifMake.empty())
        WriteExif(file, exifMake.c_str(), GetExifModel(), exifWd2Ht, exifFocalLength, exifCropFactor, exifCfSrc);
    DistortionRecord correction;
    if (GetCorrectionParams(&correction)) WriteRows(file, correction, hasDistortion, hasColorRegistration);
    // Only a calibrated focal length is written: a "0 mm" key would read back
    // as a calibration.
    if (hasFocalLength) std::fprintf(file, "[focal length] %f mm\n", static_cast<double>(focalLength));
    return std::fclose(file) == 0;
}

// ---- Readers ----------------------------------------------------------------

bool CamInfo::LoadFile(const char* fileName, std::string* description)
{
    Reset();
    if (!fileName || !*fileName) return false;
    SetName(fileName);
    const size_t n = std::strlen(fileName);
    const char* tail = n >= 4 ? fileName + n - 4 : "";
    bool ok;
    if (std::strcmp(tail, ".txt") == 0)
        ok = ReadLegacyFile(fileName, description);
    else
        ok = ReadFromFolder(fileName, std::strcmp(tail, "nfo_") == 0, description);
    if (ok)
        ComputeKind();
    else
        kind = 0;
    return ok;
}

bool CamInfo::ReadFromFolder(const char* fileName, bool fromShareLibrary, std::string* description)
{
    if (!fileName) return false;
    const std::string folder = fromShareLibrary ? CamInfoShareLibFolder() : CamInfoFolder();
    return ReadFile(Join(folder, fileName).c_str(), description);
}

bool CamInfo::ReadFile(const char* path, std::string* description)
{
    if (!path) return false;
    FILE* file = win::OpenFile(path, "r");
    if (!file) {
        Logger::log("ERROR CamInfo::ReadFile: cannot open %s", 1, path);
        return false;
    }
    calMethod = 0;
    hasDistortion = 0;
    hasColorRegistration = 0;
    std::string line;
    while (ReadTextLine(file, line)) {
        const size_t close = line.find(']');
        if (close == std::string::npos) continue;
        const std::string key = line.substr(0, close);
        const std::string rest = RestOfLine(line, close);
        if (key == "[Version") {
            version = static_cast<float>(std::atof(rest.c_str()));
            Describe(description, "Version: ", SkipBlanks(rest));
        } else if (key == "[DateCreated") {
            Describe(description, "Date Created: ", SkipBlanks(rest));
        } else if (key == "[CalMethod") {
            calMethod = SkipBlanks(rest) == "Optarvo" ? 1 : 2;
        } else if (key == "[Comment") {
            SetComment(DropSeparator(rest).c_str());
            Describe(description, "Comment: ", DropSeparator(rest));
        } else if (key == "[ExternalLens") {
            const std::string lens = SkipBlanks(rest);
            if (lens == "No") {
                externalLens = 0;
                externalLensName.clear();
            } else {
                SetExternalLens(lens.c_str());
            }
            Describe(description, "External Lens: ", lens);
        } else if (key == "[exifCameraMake") {
            SetExifMake(SkipBlanks(rest).c_str());
            Describe(description, "Camera Make: ", SkipBlanks(rest));
        } else if (key == "[exifCameraModel") {
            SetExifModel(SkipBlanks(rest).c_str());
            Describe(description, "Camera Model: ", SkipBlanks(rest));
        } else if (key == "[exifImageWd2Ht") {
            exifWd2Ht = static_cast<float>(std::atof(rest.c_str()));
        } else if (key == "[exifFocalLength") {
            exifFocalLength = static_cast<float>(std::atof(rest.c_str()));
            Describe(description, "Exif Focal Length: ", SkipBlanks(rest), "mm");
        } else if (key == "[exifCropFactor") {
            exifCropFactor = static_cast<float>(std::atof(rest.c_str()));
            Describe(description, "Exif Crop Factor: ", SkipBlanks(rest));
        } else if (key == "[exifCfSrc") {
            exifCfSrc = static_cast<int32_t>(std::atof(rest.c_str()));
        } else if (key == "[distortion") {
            ReadDistortionRow(*this, line, false, description);
        } else if (key == "[color registration") {
            ReadColorRow(*this, line, false, description);
        } else if (key == "[focal length") {
            const std::string value = SkipBlanks(rest.substr(0, rest.find("mm")));
            SetFocalLength(static_cast<float>(std::atof(value.c_str())));
            Describe(description, "Focal Length: ", value.substr(0, value.find_last_not_of(' ') + 1), "mm");
        }
    }
    std::fclose(file);
    return true;
}

bool CamInfo::ReadLegacyFile(const char* fileName, std::string* description)
{
    if (!fileName) return false;
    const std::string path = LegacyCamInfoFolder() + fileName;
    FILE* file = win::OpenFile(path, "r");
    if (!file) {
        Logger::log("ERROR CamInfo::ReadLegacyFile: cannot open %s", 1, path.c_str());
        return false;
    }
    std::string line;
    while (ReadTextLine(file, line)) {
        if (line.compare(0, 8, "[version") == 0) {
            // Only the wizard's own version is understood; the reading ends
            // at any other, keeping what came before.
            const size_t close = line.find(']');
            const std::string rest = SkipBlanks(RestOfLine(line, close == std::string::npos ? 7 : close));
            if (rest.substr(0, rest.find(' ')) != "1.0.0") break;
            Describe(description, "Version: ", rest);
            continue;
        }
        const size_t close = line.find(']');
        if (close == std::string::npos) continue;
        const std::string key = line.substr(0, close);
        const std::string rest = RestOfLine(line, close);
        if (key == "[camera") {
            Describe(description, "Camera: ", SkipBlanks(rest));
        } else if (key == "[wide angle lens") {
            Describe(description, "Wide Angle Lens: ", SkipBlanks(rest));
        } else if (key == "[focal length") {
            const std::string value = SkipBlanks(rest.substr(0, rest.find("mm")));
            SetFocalLength(FL_legacyTo35mm(static_cast<float>(std::atof(value.c_str()))));
            Describe(description, "Focal Length: ", value, "mm");
        } else if (key == "[distortion") {
            ReadDistortionRow(*this, line, true, description);
        } else if (key == "[color registration") {
            ReadColorRow(*this, line, true, description);
        }
    }
    std::fclose(file);
    return true;
}
