// Saving the panorama view's picture (or its selection) as JPEG or TIFF with
// the panorama descriptor, at full resolution or at the size shown.
#include "app/control/super_manager.h"
#include "app/panorama/rect_map_view.h"
#include "app/views/image_quality_dlg.h"
#include "core/file_records.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/utilkit/crash_dump.h"
#include "platform/win/file_dialog.h"
#include "platform/win/wnd.h"
#include "worldmap/image_file.h"
#include "worldmap/tiff_writer.h"
#include "worldmap/world_map.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

CRectMapView::ImageWriter g_jpegWriter = nullptr;
CRectMapView::ImageWriter g_tiffWriter = nullptr;

int WriteJpegFile(Image* image, RECT* rect, QUORVANE_FileInfo* info)
{
    return (g_jpegWriter ? g_jpegWriter : &SaveJpeg)(image, rect, info);
}

int WriteTiffFile(Image* image, RECT* rect, QUORVANE_FileInfo* info)
{
    return (g_tiffWriter ? g_tiffWriter : &SaveImageAsTiff)(image, rect, info);
}

std::string LowerExtension(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace

void CRectMapView::SetImageWriters(ImageWriter jpeg, ImageWriter tiff)
{
    g_jpegWriter = jpeg;
    g_tiffWriter = tiff;
}

void CRectMapView::OnFileSaveRWMAs()
{
    Logger::log("Enter CRectMapView::OnFileSaveRWMAs()", 3);
    SaveRWM(true);
    Logger::log("Leave CRectMapView::OnFileSaveRWMAs()", 3);
}

void CRectMapView::OnSaveRWMAtDspSize()
{
    Logger::log("Enter CRectMapView::OnSaveRWMAtDspSize()", 3);
    SaveRWM(false);
    Logger::log("Leave CRectMapView::OnSaveRWMAtDspSize()", 3);
}

void CRectMapView::SaveRWM(bool trueSize)
{
    Logger::log("Enter CRectMapView::SaveRWM()", 3);
    CrashDump::MapSEtoCE();
    Logger::log("CRectMapView::SaveRWM(): after MapSEtoCE()", 3);
    Logger::log("Enter CRectMapView::SaveRWM(): trueSize=%d", 3, trueSize ? 1 : 0);
    Image* scaled = nullptr;  // the screen-size copy, released however the save ends
    try {
        CrashDump::RunGuarded([&] {
            WorldMap* map = GetWorldMap();
            Image* screen = GetScreen();
            if (!map || !screen) {
                Logger::log("ERROR CRectMapView::SaveRWM: no panorama to save", 1);
                return;
            }
            float zoomX = 1.0f, zoomY = 1.0f;
            GetCurrentZoom(zoomX, zoomY);
            if (zoomX == 1.0f && zoomY == 1.0f) trueSize = true;

            std::string folder, suggested;
            SuperManager* manager = GetSuperManager();
            if (manager) manager->SuggestPanoramaFileName(folder, suggested, map->GetName());
            const size_t dot = suggested.rfind('.');
            const std::string initialName = dot == std::string::npos ? suggested : suggested.substr(0, dot);
            CFileDialog dialog(FALSE, "jpg", initialName.c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                               "World Map File (*.jpg)|*.jpg|World Map File (*.tif)|*.tif|QuickTime (*.mov)|*.mov||",
                               this);
            dialog.m_ofn.lpstrTitle = "Save Panorama Image";
            dialog.m_ofn.lpstrInitialDir = folder.c_str();
            if (dialog.DoModal() != IDOK) return;

            const std::string path = dialog.GetPathName();
            const std::string ext = LowerExtension(path);
            RECT sel = *GetSelectionRect();
            Logger::log("SaveRWM(): ext=%s; rect=(%d %d %d %d)", 3, ext.c_str(), static_cast<int>(sel.left),
                        static_cast<int>(sel.top), static_cast<int>(sel.right), static_cast<int>(sel.bottom));

            WMapRecord record;
            int W = 0, column = 0, row = 0, mapType = 0;
            map->GetMapInfo(&sel, W, column, row, mapType);
            Logger::log("SaveRWM(): fullSize=%d", 3, W);
            record.equatorWidth = W;
            record.column = column;
            record.row = row;
            record.mapType = mapType;
            const bool wholeWidth = sel.right - sel.left + 1 >= screen->GetWidth();
            record.fullCircle = (m_mode & fullCircle) != 0 && wholeWidth ? 1 : 0;
            Logger::log("SaveRWM(): fileName=%s", 3, path.c_str());

            if (ext == "mov") {
                RunQuickTimeSaveDialog(path, sel, W, trueSize, zoomX);
                return;
            }
            if (ext != "jpg" && ext != "tif") {
                // Movies are written by the QuickTime save dialog; any other
                // extension writes nothing.
                if (ext != "mov") Logger::log("ERROR CRectMapView::SaveRWM: unknown extension \"%s\"", 1, ext.c_str());
                return;
            }

            Image* source = screen;
            RECT rect = sel;
            if (!trueSize) {
                // The equator width shown, rounded up to a multiple of 4.
                const int eqSample = (static_cast<int>(W * zoomX) + 3) & ~3;
                if (eqSample <= 0 || W <= 0) {
                    Logger::log("ERROR CRectMapView::SaveRWM: nothing to save at zoom %f", 1, zoomX);
                    AfxMessageBox(("Error saving image: saveState=" + std::to_string(-1) + "\n").c_str());
                    return;
                }
                const float actualZoom = static_cast<float>(eqSample) / static_cast<float>(W);
                record.equatorWidth = eqSample;
                record.column = static_cast<int>(record.column * actualZoom + 0.5f);
                record.row = static_cast<int>(record.row * actualZoom + 0.5f);
                Logger::log("SaveRWM(): eqSample=%d actualZoom=%f", 3, eqSample, actualZoom);
                scaled = screen->ZoomImage(sel.left, sel.top, sel.right - sel.left + 1, sel.bottom - sel.top + 1,
                                           actualZoom, actualZoom);
                if (!scaled) {
                    Logger::log("ERROR CRectMapView::SaveRWM: cannot scale the selection", 1);
                    AfxMessageBox("Error saving image: saveState=-1\n");
                    return;
                }
                source = scaled;
                rect = RECT{0, 0, scaled->GetWidth() - 1, scaled->GetHeight() - 1};
                Logger::log("SaveRWM(): rect1=(%d %d %d %d)", 3, 0, 0, static_cast<int>(rect.right),
                            static_cast<int>(rect.bottom));
            }

            FileExtraData extra;
            extra.length = WMapRecord::kLongSize;
            record.Write(extra.bytes);
            QUORVANE_FileInfo info;
            info.path = path.c_str();
            info.extra = &extra;

            int saveState = 0;
            if (ext == "tif") {
                BeginWaitCursor();
                Logger::log("SaveRWM(): before SaveImageAsTiff", 3);
                saveState = WriteTiffFile(source, &rect, &info);
                Logger::log("SaveRWM(): after SaveImageAsTiff: saveState=%d", 3, saveState);
                EndWaitCursor();
            } else {
                CImageQualityDlg quality(this);
                if (quality.DoModal() != IDOK) return;
                info.options = quality.GetOptions();
                BeginWaitCursor();
                Logger::log("SaveRWM(): before SaveJpeg", 3);
                saveState = WriteJpegFile(source, &rect, &info);
                Logger::log("SaveRWM(): after SaveJpeg: saveState=%d", 3, saveState);
                EndWaitCursor();
            }
            if (saveState == 0) {
                map->SetName(path.c_str());
                UpdateTitle();
            } else {
                char message[64];
                std::snprintf(message, sizeof message, "Error saving image: saveState=%d\n", saveState);
                AfxMessageBox(message);
            }
            Logger::log("SaveRWM(): before superManager()", 3);
            // The manager keeps the saved path itself (its suggestion takes the
            // folder from it), and only after a successful save.
            if (saveState == 0 && manager) manager->SetPanoramaFileName(path.c_str());
        });
    } catch (const CrashDump& crash) {
        EndWaitCursor();
        Logger::log("ERROR CRectMapView::SaveRWM: the save failed: %s", 1, crash.Getpep()->message.c_str());
        CrashDump::GenerateDump(crash.Getpep(), "Fendrake_save");
    }
    if (scaled) {
        ReleaseImage(scaled);
        Logger::log("SaveRWM(): after Release()", 3);
    }
    Logger::log("Leave CRectMapView::SaveRWM()", 3);
}
