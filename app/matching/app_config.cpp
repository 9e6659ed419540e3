#include "app/matching/app_config.h"

#include "app/matching/cam_info_file.h"
#include "core/logger.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Values outside these ranges would flow into tangents and pixel widths.
constexpr float kMinFocal = 3.0f;
constexpr float kMaxFocal = 150.0f;
constexpr int kMinBlendWidth = 0;
constexpr int kMaxBlendWidth = 50;

// The tokens after the key, delimited by blanks and line ends.
class Tokens {
public:
    explicit Tokens(char* rest) : m_at(rest) {}
    const char* Next()
    {
        if (!m_at) return nullptr;
        m_at += std::strspn(m_at, kDelimiters);
        if (!*m_at) return nullptr;
        char* token = m_at;
        m_at += std::strcspn(m_at, kDelimiters);
        if (*m_at) *m_at++ = '\0';
        return token;
    }

private:
    static constexpr const char* kDelimiters = " \n";
    char* m_at;
};

void ReadCamInfoFile(char* rest, AppConfig& config)
{
    // The path keeps its inner blanks; one blank before it goes.
    if (*rest == ' ') ++rest;
    rest[std::strcspn(rest, "\n")] = '\0';
    if (*rest) config.SetCamInfoFile(rest);
}

void ReadFocal(Tokens& tokens, AppConfig& config)
{
    const char* focal = tokens.Next();
    if (!focal) return;
    tokens.Next();  // the mode written after it is not read back
    const float value = static_cast<float>(std::atof(focal));
    if (value >= kMinFocal && value <= kMaxFocal)
        config.focalLength = value;
    else
        Logger::log("ERROR SuperManager::LoadConfigFile: focal length %s out of range, %f kept", 1, focal,
                    static_cast<double>(config.focalLength));
    // Whatever the file says, the images' Exif data decide first.
    config.focalMode = 3;
}

void ReadBlend(Tokens& tokens, AppConfig& config)
{
    const char* balance = tokens.Next();
    if (!balance) return;
    config.autoBalance = balance[0] == 'y' ? 1 : 0;
    const char* width = tokens.Next();
    if (!width) return;
    const int value = std::atoi(width);
    if (value >= kMinBlendWidth && value <= kMaxBlendWidth)
        config.blendWidth = value;
    else
        Logger::log("ERROR SuperManager::LoadConfigFile: blend width %s out of range, %d kept", 1, width,
                    config.blendWidth);
}

void ReadLine(char* line, AppConfig& config)
{
    char* key = line + std::strspn(line, " ");
    const size_t keyLength = std::strcspn(key, " ");
    if (keyLength == 0) return;
    // A key followed directly by the line end is no key.
    if (key[keyLength] != ' ') return;
    key[keyLength] = '\0';
    char* rest = key + keyLength + 1;
    if (std::strcmp(key, "[CamInfoFile]") == 0) {
        ReadCamInfoFile(rest, config);
        return;
    }
    Tokens tokens(rest);
    if (std::strcmp(key, "[CameraType]") == 0) {
        if (const char* type = tokens.Next()) config.cameraType = type[0] == 'd' ? 0 : 1;
    } else if (std::strcmp(key, "[Focal]") == 0) {
        ReadFocal(tokens, config);
    } else if (std::strcmp(key, "[Blend]") == 0) {
        ReadBlend(tokens, config);
    } else if (std::strcmp(key, "[BlendMethod]") == 0) {
        if (const char* method = tokens.Next()) config.blendMethod = std::atoi(method);
    } else if (std::strcmp(key, "[ScrSaverHint]") == 0) {
        if (const char* hint = tokens.Next()) config.screenSaverHint = hint[0] == 'y' ? 1 : 0;
    }
}

}  // namespace

bool AppConfig::SetCamInfoFile(const char* name)
{
    if (!name || !*name) {
        if (camInfoFile.empty()) return false;
        camInfoFile.clear();
        return true;
    }
    if (camInfoFile == name) return false;
    camInfoFile = name;
    return true;
}

void ReadConfigLines(FILE* file, AppConfig& config)
{
    std::string text;
    while (ReadTextLine(file, text)) {
        std::vector<char> line(text.begin(), text.end());
        line.push_back('\0');
        ReadLine(line.data(), config);
    }
}

void WriteConfigLines(FILE* file, const AppConfig& config)
{
    if (!config.camInfoFile.empty()) {
        std::fputs("[CamInfoFile] ", file);
        std::fputs(config.camInfoFile.c_str(), file);
        std::fputs("\n", file);
    }
    std::fputs(config.cameraType == 1 ? "[CameraType] f\n" : "[CameraType] d\n", file);
    std::fprintf(file, "[Focal] %f %d\n", static_cast<double>(config.focalLength), config.focalMode);
    std::fprintf(file, "[Blend] %c %d\n", config.autoBalance ? 'y' : 'n', config.blendWidth);
    std::fprintf(file, "[BlendMethod] %d\n", config.blendMethod);
    std::fprintf(file, "[ScrSaverHint] %c %d\n", config.screenSaverHint ? 'y' : 'n', 1);
}
