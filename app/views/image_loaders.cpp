#include "app/views/image_loaders.h"

#include "app/control/super_manager.h"
#include "app/shell/fendrake_app.h"
#include "app/views/image_doc.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "platform/win/win_app.h"
#include "tour/tessiv/i_tessiv.h"
#include "worldmap/image_file.h"
#include "worldmap/world_map.h"

#include <cstring>

int LoadImage(const char* path, Image** out)
{
    Logger::log("enter LoadImage(): %s", 3, path ? path : "");
    if (out) *out = nullptr;
    if (!path || !out) {
        Logger::log("ERROR LoadImage: no path or no output", 1);
        return 0;
    }
    SuperManager* manager = GetSuperManager();
    if (manager && manager->HasWorldMapNamed(path)) {
        Logger::log("leave LoadImage(): status=%d", 3, 0);
        return 0;
    }
    Image* image = nullptr;
    WorldMap* map = nullptr;
    const int status = LoadImageWMap(path, &image, &map, true);
    if (status == 2 && map) {
        if (manager) {
            manager->AddWorldMapWindow(map);
            if (map->GetMapRect()->left == 0) map->NotifyViewers(10003, 1);
            map->NotifyViewers(10008, 1);
        }
        ReleaseImage(image);
        map->Release();
    } else if (status == 1 && image) {
        *out = image;
        if (map) map->Release();
    } else {
        ReleaseImage(image);
        if (map) map->Release();
    }
    Logger::log("leave LoadImage(): status=%d", 3, status);
    return status;
}

Image* LoadThumbnail(const char* path, int size)
{
    return path ? LoadImageThumbNail(path, size) : nullptr;
}

Image* LoadThumbnailInfo(const char* path, int size, TessivPanoramaValues& values)
{
    if (!path) return nullptr;
    return LoadImageThumbNail(path, size, values.kind, values.fullWidth, values.fullHeight, values.equatorWidth,
                              values.column, values.row);
}

Image* MakeStampImage(Image* image)
{
    SuperManager* manager = GetSuperManager();
    return image ? Image::CreateStampImage(image, manager ? manager->GetStampSize() : 196) : nullptr;
}

CImageDoc* FindImageDoc(const char* name)
{
    auto* app = dynamic_cast<CFendrakeApp*>(AfxGetApp());
    if (!app || !app->GetImageTemplate() || !name) return nullptr;
    for (CDocument* doc : app->GetImageTemplate()->GetDocuments())
        if (auto* image = dynamic_cast<CImageDoc*>(doc); image && image->GetName() == name) return image;
    return nullptr;
}

bool OpenImageWindow(Image* image, const char* name)
{
    if (!name || !*name || FindImageDoc(name)) return false;
    auto* app = dynamic_cast<CFendrakeApp*>(AfxGetApp());
    CDocTemplate* docs = app ? app->GetImageTemplate() : nullptr;
    if (!docs) return false;
    auto* doc = dynamic_cast<CImageDoc*>(docs->CreateNewDocument());
    CFrameWnd* frame = doc ? docs->CreateNewFrame(doc, nullptr) : nullptr;
    if (!frame) {
        AfxMessageBox(61700, MB_ICONEXCLAMATION);
        delete doc;
        return false;
    }
    doc->SetImageAndName(image, name);
    docs->InitialUpdateFrame(frame, doc, TRUE);
    return true;
}

long DispatchDebugRequest(int request, void* arguments)
{
    (void)request;
    (void)arguments;
    return 0;
}
