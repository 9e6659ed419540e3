#include "worldmap/quicktime_save.h"

#include "platform/quicktime/qtml.h"
#include "core/logger.h"
#include "platform/win/dynamic_library.h"
#include "platform/win/message_box_sink.h"

namespace {

// Message boxes come from Mapdeck's own resources, whoever calls the save.
constexpr const char* kModule = "Mapdeck";
constexpr unsigned kButtonOk = 0;  // MB_OK

using MovieWriter = int (*)(Image**, RECT*, QUORVANE_FileInfo*);

// Cinvora's entries by ordinal (index 0 is ordinal 1).
constexpr const char* kWriterNames[3] = {"WriteQT_PanoMovie", "WriteQT_CubicMovie", "WriteQT_ObjectMovie"};

void Show(unsigned id)
{
    win::ShowModuleMessageBox(kModule, id, MapdeckString(id), kButtonOk);
}

int SaveMovie(int ordinal, Image** images, RECT* rect, QUORVANE_FileInfo* info)
{
    if (InitializeQTML(0) != noErr) {
        Show(IDS_QT_CANNOT_SAVE_MOV);
        return kSaveQtNoQuickTime;
    }
    HMODULE cinvora = LoadLibraryA("Cinvora.dll");
    if (!cinvora) {
        Logger::log("ERROR SaveQuickTime: Cinvora.dll cannot be loaded", 1);
        Show(IDS_QT_CANNOT_LOAD_WRITER);
        return kSaveQtNoWriter;
    }
    auto writer = reinterpret_cast<MovieWriter>(GetProcAddress(cinvora, kWriterNames[ordinal - 1]));
    if (!writer) {
        Logger::log("ERROR SaveQuickTime: Cinvora.dll has no %s", 1, kWriterNames[ordinal - 1]);
        FreeLibrary(cinvora);
        Show(IDS_QT_CANNOT_SAVE_MOV);
        return kSaveQtNoWriter;
    }
    const int result = writer(images, rect, info);
    FreeLibrary(cinvora);
    if (result != 0) {
        Logger::log("ERROR SaveQuickTime: %s returned %d", 1, kWriterNames[ordinal - 1], result);
        Show(IDS_QT_CANNOT_SAVE_MOV);
    }
    return result;
}

}  // namespace

const char* MapdeckString(unsigned id)
{
    switch (id) {
    case IDS_QT_CANNOT_SAVE_MOV:
        return "Cannot save to MOV file: You need to download and install QuickTime 5 or later from "
               "http://www.apple.com/quicktime/download/ and choose the \"Recommended\" option in the "
               "installation step \"Choose Installation Option\", so that the VR authoring components "
               "are included.";
    case IDS_QT_CANNOT_LOAD_WRITER:
        return "Can't load Cinvora.dll: check if it was moved accidently!";
    default:
        return "";
    }
}

int SaveQuickTime(Image** images, RECT* rect, QUORVANE_FileInfo* info)
{
    return SaveMovie(1, images, rect, info);
}

int SaveQuickTimeCubicVR(Image** images, RECT* rect, QUORVANE_FileInfo* info)
{
    return SaveMovie(2, images, rect, info);
}

int SaveQuickTimeObjectVR(QUORVANE_FileInfo* info)
{
    return SaveMovie(3, nullptr, nullptr, info);
}
