#include "viewer/vistrel/vistrel_doc.h"

#include "core/logger.h"
#include "platform/win/gdi.h"
#include "platform/win/wnd.h"
#include "viewer/engine/panorama_reader.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kImageExtensions[] = {"jpg", "JPG", "bmp", "BMP", "gif", "GIF", "tif", "TIF"};

}  // namespace

VistrelFileKind ClassifyVistrelPath(const char* path)
{
    const size_t length = path ? std::strlen(path) : 0;
    if (length < 4 || path[length - 4] != '.') return VistrelFileKind::Image;
    const char* extension = path + length - 3;
    if (std::strcmp(extension, "qxl") == 0 || std::strcmp(extension, "QXL") == 0) return VistrelFileKind::Pointer;
    for (const char* known : kImageExtensions)
        if (std::strcmp(extension, known) == 0) return VistrelFileKind::Image;
    return VistrelFileKind::Unsupported;
}

bool ReadFirstLine(const char* path, std::string& line)
{
    line.clear();
    FILE* file = path ? std::fopen(path, "r") : nullptr;
    if (!file) return false;
    for (int c; (c = std::fgetc(file)) != EOF && c != '\n';) line.push_back(static_cast<char>(c));
    std::fclose(file);
    // A pointer file written on Windows ends its line with CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

CVistrelDoc::~CVistrelDoc()
{
    ReplaceContents(nullptr, nullptr, false);
}

BOOL CVistrelDoc::OnOpenDocument(const char* path)
{
    switch (ClassifyVistrelPath(path)) {
    case VistrelFileKind::Pointer: return OpenPointerFile(path);
    case VistrelFileKind::Unsupported:
        AfxMessageBox("Unsuported file extension.");
        return FALSE;
    case VistrelFileKind::Image: break;
    }
    return OpenImageFile(path);
}

BOOL CVistrelDoc::OpenPointerFile(const char* path)
{
    std::string target;
    if (!ReadFirstLine(path, target)) {
        Logger::log("ERROR CVistrelDoc::OnOpenDocument cannot read %s", 1, path);
        return FALSE;
    }
    WorldMapBase* map = nullptr;
    const int result = viewengine::LoadImageWMapBase(target.c_str(), nullptr, &map, true);
    if (result != viewengine::kReadPanorama || !map) {
        if (map) map->Release();
        Logger::log("ERROR CVistrelDoc::OnOpenDocument %s names no panorama (%s: %d)", 1, path, target.c_str(), result);
        return FALSE;
    }
    ReplaceContents(map, nullptr, false);
    return TRUE;
}

BOOL CVistrelDoc::OpenImageFile(const char* path)
{
    Image* newImage = nullptr;
    WorldMapBase* map = nullptr;
    const int result = viewengine::LoadImageWMapBase(path, &newImage, &map, true);
    if (result == viewengine::kReadPanorama && map) {
        if (newImage) ReleaseImage(newImage);
        ReplaceContents(map, nullptr, false);
        return TRUE;
    }
    if (map) map->Release();
    if (!newImage) {
        Logger::log("ERROR CVistrelDoc::OnOpenDocument cannot read %s (%d)", 1, path, result);
        return FALSE;
    }
    ReplaceContents(nullptr, newImage, result == viewengine::kReadFaceStrip);
    return TRUE;
}

// Takes over the caller's references.
void CVistrelDoc::ReplaceContents(WorldMapBase* map, Image* newImage, bool faceStrip)
{
    if (worldMap) worldMap->Release();
    if (image) ReleaseImage(image);
    worldMap = map;
    image = newImage;
    isFaceStrip = faceStrip;
}

COleServerItem* CVistrelDoc::OnGetEmbeddedItem()
{
    return new CVistrelSrvrItem(this);
}

BOOL CVistrelSrvrItem::OnGetExtent(int aspect, CSize& size)
{
    if (aspect != DVASPECT_CONTENT) return FALSE;
    size = CSize(3000, 3000);
    return TRUE;
}

BOOL CVistrelSrvrItem::OnDraw(CDC* dc, CSize&)
{
    if (!dc) return FALSE;
    dc->SetMapMode(MM_ANISOTROPIC);
    dc->SetWindowExt(3000, 3000);
    return TRUE;
}
