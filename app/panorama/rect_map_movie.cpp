// Saving the panorama view's picture (or its selection) as a QuickTime VR
// panorama movie: the "mov" branch of the save command opens the QuickTime
// save dialog, whose "Save" comes back here. The movie writer cuts the
// picture into 32-pixel strips, so the width saved is brought to a
// multiple of 32 where the view can.
#include "app/control/super_manager.h"
#include "app/panorama/quicktime_save_dlg.h"
#include "app/panorama/rect_map_view.h"
#include "core/file_records.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/wnd.h"
#include "worldmap/quicktime_save.h"
#include "worldmap/world_map.h"

#include <cstdio>
#include <memory>

namespace {

CRectMapView::MovieWriter g_movieWriter = nullptr;

int WriteMovie(Image** images, RECT* rect, QUORVANE_FileInfo* info)
{
    return (g_movieWriter ? g_movieWriter : &SaveQuickTime)(images, rect, info);
}

// Whole 32-pixel blocks nearest to `width` pixels, at least one.
int StripBlocks(int width)
{
    const int blocks = width / 32 + (width % 32 > 15 ? 1 : 0);
    return blocks < 1 ? 1 : blocks;
}

void ShowSaveError(int state)
{
    char message[64];
    std::snprintf(message, sizeof message, "Error saving image: saveState=%d\n", state);
    AfxMessageBox(message);
}

}  // namespace

void CRectMapView::SetMovieWriter(MovieWriter writer) { g_movieWriter = writer; }

void CRectMapView::RunQuickTimeSaveDialog(const std::string& path, const RECT& selection, int equatorWidth,
                                          bool trueSize, float zoom)
{
    CQuickTimeSaveDlg dialog(this);
    dialog.SetOwner(this, trueSize);
    dialog.SetFileName(path.c_str());
    const int width = selection.right - selection.left + 1;
    const int height = selection.bottom - selection.top + 1;
    if (trueSize) {
        dialog.SetSource(width, height, equatorWidth);
    } else {
        const int scaledEquator = (static_cast<int>(equatorWidth * zoom) + 3) & ~3;
        const float actualZoom = equatorWidth > 0 ? static_cast<float>(scaledEquator) / equatorWidth : 0.0f;
        Image* screen = GetScreen();
        const bool whole = screen && width >= screen->GetWidth();
        const int shownWidth = whole ? scaledEquator + 1
                                     : static_cast<int>((selection.right - selection.left) * actualZoom) + 1;
        const int shownHeight = static_cast<int>((selection.bottom - selection.top) * actualZoom) + 1;
        dialog.SetSource(shownWidth, shownHeight, scaledEquator);
    }
    dialog.DoModal();
}

void CRectMapView::SaveQuickTimeMovie(CQuickTimeSaveDlg* dialog, bool trueSize)
{
    Logger::log("Enter CRectMapView::SaveQuickTimeMovie(): trueSize=%d", 3, trueSize ? 1 : 0);
    WorldMap* map = GetWorldMap();
    Image* screen = GetScreen();
    if (!dialog || !map || !screen) {
        Logger::log("ERROR CRectMapView::SaveQuickTimeMovie: no panorama or no settings", 1);
        return;
    }
    std::unique_ptr<char[]> path(dialog->CopyFileName());
    MovieSettings settings;
    uint32_t viewerWidth = 0, viewerHeight = 0;
    dialog->GetViewerSize(&viewerWidth, &viewerHeight);
    settings.fieldOfView = static_cast<int32_t>(dialog->GetFieldOfView());
    settings.viewerWidth = static_cast<int32_t>(viewerWidth);
    settings.viewerHeight = static_cast<int32_t>(viewerHeight);
    dialog->GetCodecQuality(&settings.codecCode, &settings.qualityCode);
    settings.widthDegrees = dialog->GetWidthDegrees();
    QUORVANE_FileInfo info;
    info.path = path.get();
    info.extra = &settings;

    const RECT sel = *GetSelectionRect();
    BeginWaitCursor();
    float zoomX = 1.0f, zoomY = 1.0f;
    GetCurrentZoom(zoomX, zoomY);
    const int span = sel.right - sel.left;  // width - 1
    Image* scaled = nullptr;
    Image* source = screen;
    RECT rect = sel;
    int state = 0;
    bool recrop = false;
    // The picture scaled so that its width comes to `blocks` strips.
    // The factor maps pixel centres: a picture of w columns becomes
    // (w - 1) x factor + 1 columns, `blocks` x 32 for the width.
    auto scaleTo = [&](int blocks, int divisor) {
        const float factor = (static_cast<float>(blocks * 32 - 1) + 0.1f) / static_cast<float>(divisor);
        const int height = sel.bottom - sel.top + 1;
        const int outWidth = static_cast<int>(span * factor) + 1;
        const int outHeight = static_cast<int>((height - 1) * factor) + 1;
        scaled = screen->ZoomImage(sel.left, sel.top, span + 1, height, static_cast<float>(outWidth) / (span + 1),
                                   static_cast<float>(outHeight) / height);
        if (!scaled) return false;
        source = scaled;
        rect = RECT{0, 0, scaled->GetWidth() - 1, scaled->GetHeight() - 1};
        return true;
    };
    int W = 0, column = 0, row = 0, mapType = 0;
    RECT whole = sel;
    map->GetMapInfo(&whole, W, column, row, mapType);
    if (span < 1 || sel.bottom < sel.top) {
        Logger::log("ERROR CRectMapView::SaveQuickTimeMovie: a selection %d pixels wide holds no movie", 1, span + 1);
        state = -1;
    } else if (!trueSize) {
        const int scaledEquator = (static_cast<int>(W * zoomX) + 3) & ~3;
        const int shown = static_cast<int>(span * zoomX) + 1;
        if (scaledEquator <= 0 || W <= 0) {
            Logger::log("ERROR CRectMapView::SaveQuickTimeMovie: nothing to save at zoom %f", 1, zoomX);
            state = -1;
        } else if (!scaleTo(StripBlocks(shown), span)) {
            state = -2;
        }
    } else {
        const int width = span + 1;
        const int extra = width % 32;
        if (extra != 0) {
            if (screen->GetWidth() < width + extra) {
                // Too narrow to widen: scale to the nearest whole strips.
                if (!scaleTo(StripBlocks(width), width - 1)) state = -2;
            } else {
                // The widened strip reaches past a crop in force: the movie
                // is cut from the whole panorama, cropped again afterwards.
                if (m_mode & cropped) {
                    OnCrop();
                    recrop = true;
                    screen = GetScreen();
                    source = screen;
                }
                if (!screen || screen->GetWidth() < width + extra) {
                    Logger::log("ERROR CRectMapView::SaveQuickTimeMovie: the whole panorama could not be composed", 1);
                    state = -2;
                }
                // Widen by the remainder: half on the left (not past column 0),
                // the rest on the right (what passes the last column goes left).
                const int last = screen ? screen->GetWidth() - 1 : 0;
                rect.left = sel.left - extra / 2;
                if (rect.left < 0) rect.left = 0;
                rect.right = sel.right + (extra - (sel.left - rect.left));
                if (rect.right > last) {
                    rect.left -= rect.right - last;
                    rect.right = last;
                    if (rect.left < 0) rect.left = 0;
                }
            }
        }
    }
    if (state == 0) {
        Image* images[2] = {source, nullptr};
        Logger::log("SaveQuickTimeMovie(): rect=(%d %d %d %d)", 3, static_cast<int>(rect.left),
                    static_cast<int>(rect.top), static_cast<int>(rect.right), static_cast<int>(rect.bottom));
        state = WriteMovie(images, &rect, &info);
        Logger::log("SaveQuickTimeMovie(): after SaveQuickTime: %d", 3, state);
    } else {
        ShowSaveError(state);
    }
    if (scaled) ReleaseImage(scaled);
    if (recrop) OnCrop();
    if (state == 0) {
        m_savePath = path.get();
        if (SuperManager* manager = GetSuperManager()) manager->SetPanoramaFileName(path.get());
    }
    EndWaitCursor();
    Logger::log("Leave CRectMapView::SaveQuickTimeMovie()", 3);
}
