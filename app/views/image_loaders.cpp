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
#include "platform/utilkit/debug_display.h"
#include "projectgraph/curvekit/two_d_curves.h"
#include "platform/win/wnd.h"

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

bool OpenBlankImageWindow(int width, int height, const char* name)
{
    if (!name || !*name || FindImageDoc(name)) return false;
    auto* image = new Image();
    if (width <= 0 || height <= 0 || image->BmpInit(width, height, 3) != 0) {
        Logger::log("ERROR OpenBlankImageWindow cannot make a %d x %d image", 1, width, height);
        delete image;
        return false;
    }
    const bool opened = OpenImageWindow(image, name);  // the window takes its own reference
    ReleaseImage(image);
    return opened;
}

void ShowImageInWindow(Image* image, const RECT* rect, int x, int y, const char* name)
{
    if (CImageDoc* doc = FindImageDoc(name)) doc->CopyImageRegion(image, rect, x, y);
}

long DispatchDebugRequest(int request, void* arguments)
{
    if (!arguments) return 0;
    switch (request) {
    case 1: {
        const auto* r = static_cast<const DebugBlankWindowRecord*>(arguments);
        return OpenBlankImageWindow(r->width, r->height, r->name) ? 1 : 0;
    }
    case 2: {
        const auto* r = static_cast<const DebugShowRegionRecord*>(arguments);
        ShowImageInWindow(r->image, r->rect, r->x, r->y, r->name);
        return 0;
    }
    case 3: {
        const auto* r = static_cast<const DebugMarkerGroupRecord*>(arguments);
        CImageDoc* doc = FindImageDoc(r->name);
        if (!doc) return 0;
        MarkerGroup* group = doc->AddMarkerGroup(r->id, r->x, r->y);
        group->DeleteMarker(-1);
        return reinterpret_cast<long>(static_cast<Marker*>(group));
    }
    case 4: {
        const auto* r = static_cast<const DebugGroupIdRecord*>(arguments);
        CImageDoc* doc = FindImageDoc(r->name);
        MarkerGroup* group = doc ? doc->FindMarkerGroup(r->id) : nullptr;
        return reinterpret_cast<long>(static_cast<Marker*>(group));
    }
    case 5: {
        const auto* r = static_cast<const DebugGroupIdRecord*>(arguments);
        if (CImageDoc* doc = FindImageDoc(r->name)) doc->RemoveMarkerGroup(r->id);
        return 0;
    }
    case 6: {
        CImageDoc* doc = FindImageDoc(static_cast<const char*>(arguments));
        return doc ? reinterpret_cast<long>(doc->GetCurves()) : 0;
    }
    case 7: {
        const auto* r = static_cast<const DebugDeleteCurvesRecord*>(arguments);
        CImageDoc* doc = FindImageDoc(r->name);
        if (doc && doc->PeekCurves()) {
            doc->PeekCurves()->DeleteCurves(r->start, r->end);
            doc->UpdateAllViews(nullptr);
        }
        return 0;
    }
    default:
        return 0;
    }
}

namespace {

// Each callback runs on the caller's thread (usually a stitching worker):
// it packs its arguments on its own stack and has the user-interface thread
// perform the request, waiting for the answer.
long SendDebugRequest(int request, void* record)
{
    CWnd* main = AfxGetMainWnd();
    if (!main || !main->GetSafeHwnd()) {
        Logger::log("ERROR SendDebugRequest: no main window for request %d", 1, request);
        return 0;
    }
    return static_cast<long>(main->SendMessage(0x814D, static_cast<WPARAM>(request), reinterpret_cast<LPARAM>(record)));
}

Marker* SendCreateMarkerGroup(int id, const char* window, int x, int y)
{
    DebugMarkerGroupRecord record{id, window, x, y};
    return reinterpret_cast<Marker*>(SendDebugRequest(3, &record));
}

Marker* SendGetMarkerGroup(int id, const char* window)
{
    DebugGroupIdRecord record{id, window};
    return reinterpret_cast<Marker*>(SendDebugRequest(4, &record));
}

int SendDeleteMarkerGroup(int id, const char* window)
{
    DebugGroupIdRecord record{id, window};
    return static_cast<int>(SendDebugRequest(5, &record));
}

TwoDCurves* SendGet2DCurvs(const char* window)
{
    return reinterpret_cast<TwoDCurves*>(SendDebugRequest(6, const_cast<char*>(window)));
}

int SendDeleteCurves(int start, int end, const char* window)
{
    DebugDeleteCurvesRecord record{start, end, window};
    return static_cast<int>(SendDebugRequest(7, &record));
}

}  // namespace

void RegisterDebugCallbacks()
{
    SetCreateMarkerGroup(&SendCreateMarkerGroup);
    SetGetMarkerGroup(&SendGetMarkerGroup);
    SetDeleteMarkerGroup(&SendDeleteMarkerGroup);
    SetGet2DCurvs(&SendGet2DCurvs);
    SetDeleteCurves(&SendDeleteCurves);
    SetGetStitchParam(&GetCurrentStitchSettings);
}

void OpenDebugWin() {}
