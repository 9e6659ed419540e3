// The manager's small services to the program's windows: the overlap
// dialog, the pair overlaps and blend sides, panorama numbering and file
// names, the hand-off to the viewer program, re-converting an image into a
// panorama, the leveling rotation, run-time distortion correction of every
// loaded image, and resetting the computed stitch.
#include "app/control/super_manager.h"

#include "app/control/image_chain.h"
#include "app/control/stitch_pair.h"
#include "app/matching/distortion_record.h"
#include "app/matching/lens_correction.h"
#include "app/matching/utilities.h"
#include "app/panorama/rect_map_view.h"
#include "app/shell/fendrake_app.h"
#include "app/shell/kestova_doc.h"
#include "app/shell/main_frame.h"
#include "app/shell/pellicot.h"
#include "app/views/image_loaders.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "imaging/list.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/win/dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "platform/xformkit/transform_3d.h"
#include "platform/xformkit/transform_euler.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The world map refuses equator widths past 2^24 samples (float positions
// along a row stop telling samples apart there).
constexpr double kMaxEquatorWidth = 16777216.0;

// The decimal number at the end of `text` raised by one, carrying leftwards
// ("09" -> "10", "99" -> "100"); false when `text` does not end in a digit.
bool RaiseTrailingNumber(std::string& text)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.back()))) return false;
    size_t i = text.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(text[i - 1]))) {
        --i;
        if (text[i] != '9') {
            ++text[i];
            return true;
        }
        text[i] = '0';
    }
    text.insert(i, 1, '1');
    return true;
}

WorldMap* FrontViewMap()
{
    auto* view = static_cast<CRectMapView*>(CRectMapView::Views().GetData(0));
    auto* doc = view ? dynamic_cast<CKestovaDoc*>(view->GetDocument()) : nullptr;
    return doc ? doc->GetWorldMap() : nullptr;
}

void ShowPanoramaRefusal(const char* text)
{
    AfxMessageBox(text, MB_OK);
}

}  // namespace

void SuperManager::SetFrameImageHooks(FrameLoader loader, FrameRatio ratio)
{
    m_frameLoader = loader;
    m_frameRatio = ratio;
}

// ---- Overlap dialog ---------------------------------------------------------------

bool SuperManager::ToggleOverlapDialog()
{
    if (m_overlapDialog) {
        CloseOverlapDialog(false);
        return false;
    }
    if (!m_group || m_group->GetNumbOfImages() < 2) return false;
    CDialog* dialog = m_overlapHooks.create ? m_overlapHooks.create() : nullptr;
    if (!dialog) {
        Logger::log("ERROR SuperManager::ToggleOverlapDialog: the overlap dialog cannot be created", 1);
        return false;
    }
    m_overlapDialog = dialog;
    // Top at the middle of the tray frame, lifted so that the bottom stays
    // above the full-screen client height less a menu.
    RECT own{};
    dialog->GetWindowRect(&own);
    int top = own.top;
    if (m_tray && ::IsWindow(m_tray->m_hWnd)) {
        RECT tray{};
        m_tray->GetWindowRect(&tray);
        top = (tray.top + tray.bottom) / 2;
    }
    const int height = own.bottom - own.top;
    const int limit = GetSystemMetrics(SM_CYFULLSCREEN) - GetSystemMetrics(SM_CYMENU);
    if (top + height > limit) top = limit - height;
    dialog->SetWindowPos(nullptr, own.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    m_flags |= kFlagOverlapMarked;
    return true;
}

void SuperManager::RefreshOverlapDialog()
{
    if (!m_overlapDialog) return;
    if (m_overlapHooks.fillPairList && !m_overlapHooks.fillPairList(m_overlapDialog)) ToggleOverlapDialog();
    m_flags |= kFlagOverlapMarked;
}

// ---- Pairs and frames -------------------------------------------------------------

void SuperManager::SetPairOverlap(int i, float overlap)
{
    if (i >= 0) {
        if (m_chain) m_chain->SetPairOverlap(i, overlap);
        return;
    }
    Neighbor::GetPairAlignInitSetting()->overlapH = overlap;
    if (m_chain) m_chain->UpdateDefaultOverlaps();
}

void SuperManager::GetPairOverlap(int i, float* horizontal, float* vertical) const
{
    if (!m_chain) {
        const PAIR_ALIGN_INIT_SETTING* setting = Neighbor::GetPairAlignInitSetting();
        if (horizontal) *horizontal = setting->overlapH;
        if (vertical) *vertical = setting->overlapV;
        return;
    }
    m_chain->GetPairOverlap(i, horizontal, vertical);
}

void SuperManager::AdjustImagePair(ImageFrame* a, ImageFrame* b)
{
    if (!a || !b) return;
    Neighbor* forward = a->AddNeighbor(b);
    Neighbor* back = b->FindNeighbor(a);
    if (!forward || !back) return;
    forward->SetMakerState(false);
    back->SetMakerState(false);
    auto hasMergedLink = [](ImageFrame* frame) {
        List* links = frame->GetNeighbor();
        for (int k = 0; k < links->m_count; ++k)
            if (static_cast<Neighbor*>(links->GetData(k))->IsMerged()) return true;
        return false;
    };
    if (!hasMergedLink(a)) a->SetNotMerged();
    if (!hasMergedLink(b)) b->SetNotMerged();
    OpenPairWindow(a, b, false, false);
}

void SuperManager::ResetAutoColorTables()
{
    if (!m_group) return;
    for (int i = 0; i < m_group->GetNumbOfImages(); ++i) m_group->GetImageFrame(i)->ResetAotoColorTab();
}

const char* SuperManager::GetFirstImageName() const
{
    ImageFrame* first = m_group ? m_group->GetImageFrame(0) : nullptr;
    return first ? first->GetName() : nullptr;
}

bool SuperManager::HasStitchedPairs() const
{
    return m_chain && m_chain->CountMergedPairs() > 0 && !IsBusy();
}

// ---- Panorama names and the viewer ------------------------------------------------

int SuperManager::FormatPanoramaNumber(char* out, size_t size) const
{
    const int n = std::snprintf(out, size, "%d", m_panoramaNumber);
    return n < 0 ? 0 : n;
}

const char* SuperManager::GetPanoramaFileName() const
{
    return m_lastPanoramaFileName.empty() ? nullptr : m_lastPanoramaFileName.c_str();
}

void SuperManager::SetPanoramaFileName(const char* path)
{
    if (path) m_lastPanoramaFileName = path;
}

void SuperManager::SuggestPanoramaFileName(std::string& folder, std::string& name, const char* path) const
{
    if (!path) {
        const char* source = GetPanoramaFileName();
        const char* project = GetProjectName(false);
        if (!source && project && std::strcmp(project, "Untitled.kzp") != 0) source = GetProjectName(true);
        if (!source) source = GetFirstImageName();
        if (!source) source = GetProjectName(true);
        ExtractFolder(source, folder);
        name = "panorama";
        return;
    }
    ExtractFolder(path, folder);
    const std::string whole = GetName(path);
    const size_t dot = whole.rfind('.');
    if (dot == std::string::npos) {
        name = whole;
        if (!RaiseTrailingNumber(name)) name += "1";
        return;
    }
    std::string stem = whole.substr(0, dot);
    if (!RaiseTrailingNumber(stem)) stem += "0";
    name = stem + whole.substr(dot);
}

void SuperManager::ViewInViewer(CView*)
{
    WorldMap* map = FrontViewMap();
    const char* name = map ? map->GetName() : nullptr;
    const size_t length = name ? std::strlen(name) : 0;
    if (length <= 4) {
        AfxMessageBox("Please first save panorama to .jpg or .tif file format.", MB_OK);
        return;
    }
    if (std::strcmp(name + length - 4, ".mov") == 0) {
        ShellExecute(nullptr, "open", name, nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    const std::string viewer = win::ProgramPath(CFendrakeApp::GetProgramDir() + "\\Vistrel.exe");
    const std::string quoted = std::string("\"") + name + "\"";
    ShellExecute(nullptr, "open", viewer.c_str(), quoted.c_str(), nullptr, SW_SHOWNORMAL);
}

bool SuperManager::ReconvertToPanorama(Image* image)
{
    if (!image || image->GetWidth() <= 0 || image->GetHeight() <= 0) {
        Logger::log("ERROR SuperManager::ReconvertToPanorama: no image", 1);
        return false;
    }
    if (!m_reconvertDialog) {
        Logger::log("ERROR SuperManager::ReconvertToPanorama: the re-convert dialog is not available", 1);
        return false;
    }
    const int original = image->GetWidth();
    const int h = image->GetHeight();
    float angle = 0.0f, offset = 0.0f;
    bool fullCircle = false;
    if (!m_reconvertDialog(original, h, &angle, &offset, &fullCircle)) return false;
    // The map needs an even width: the last column is left out meanwhile.
    const int w = original & ~1;
    if (w != original) image->SetWidth(w);
    auto refuse = [&](const char* text) {
        if (text) ShowPanoramaRefusal(text);
        image->SetWidth(original);
        return false;
    };
    const char* tooMuch =
        "Angular width is too big, or vertical offset is too much, or this is not a rectilinear panorama image?";
    // An angle outside (0, 360] or not a number, or one so small that the
    // map would be wider than a map can be, is refused like a bad offset.
    if (!std::isfinite(angle) || !std::isfinite(offset) || angle <= 0.0f || angle > 360.0f) return refuse(tooMuch);
    const double exact = std::floor(static_cast<double>(w) * 360.0 / angle + 0.5);
    if (!(exact <= kMaxEquatorWidth)) return refuse(tooMuch);
    // Rounded up to the multiple of 4 the map keeps (an even width is not
    // enough: the map would drop two columns).
    const int e = (static_cast<int>(exact) + 3) / 4 * 4;
    const int rows = e / 2 + 1;
    const double degreesPerSample = 360.0 / e;
    const int column = (e - w) / 2;
    const double shift = std::trunc(-offset / degreesPerSample + 0.5);
    if (rows < h) return refuse("Angular width seems too big, or this is not a rectilinear panorama image?");
    const double row = (rows - h) / 2 + shift;
    if (row < 0.0 || row + h - 1 >= rows) return refuse(tooMuch);

    // The map takes the picture's pixels as they are, and a first sample of 0
    // means "no data" in a map: a photograph's pixels are all data.
    Utilities::RaiseZeroPixels(image);
    auto* map = new WorldMap();
    if (!map->TransferFromImage(image, e, column, static_cast<int>(row), 0)) {
        Logger::log("ERROR SuperManager::ReconvertToPanorama: the image cannot go into a map of width %d", 1, e);
        map->Release();
        return refuse(nullptr);
    }
    AddWorldMapWindow(map);
    if (angle == 360.0f || fullCircle) map->NotifyViewers(10003, 1);
    map->NotifyViewers(10008, 1);
    map->Release();  // the window list keeps its own reference
    return true;
}

// ---- Settings and dialogs ---------------------------------------------------------

void SuperManager::CloseScreenSaverTip(bool destroy)
{
    if (!m_screenSaverTip) return;
    if (destroy && ::IsWindow(m_screenSaverTip->m_hWnd)) m_screenSaverTip->DestroyWindow();
    m_screenSaverTip = nullptr;
}

// ---- Leveling rotation ------------------------------------------------------------

void SuperManager::AddLevelingRotation(const float rotation[3])
{
    Utilities::ComposeRotVec(m_levelingRotation, rotation);
}

bool SuperManager::GetLevelingAngles(float* pan, float* tilt, float* roll) const
{
    const float* v = m_levelingRotation;
    float uvr[3] = {0.0f, 0.0f, 0.0f};
    const bool leveled = v[0] != 0.0f || v[1] != 0.0f || v[2] != 0.0f;
    if (leveled) CTransformEuler::I3RtoUVR(v, uvr);
    if (pan) *pan = uvr[0];
    if (tilt) *tilt = uvr[1];
    if (roll) *roll = uvr[2];
    return leveled;
}

bool SuperManager::ComputeLevelingMatrix(float m[9]) const
{
    float pan = 0.0f, tilt = 0.0f, roll = 0.0f;
    if (!GetLevelingAngles(&pan, &tilt, &roll)) {
        for (int i = 0; i < 9; ++i) m[i] = i % 4 == 0 ? 1.0f : 0.0f;
        return false;
    }
    CTransform3D::CalcMatrixRotZYX(-roll, tilt, -pan, m);
    return true;
}

// ---- Distortion correction and reset ------------------------------------------------

int SuperManager::SetDistortionCorrection(bool on, bool* changed)
{
    if (changed) *changed = false;
    // The pair stitching's loader and focal ratio, unless a test put doubles in.
    FrameLoader load = m_frameLoader ? m_frameLoader : &LoadFrameImage;
    FrameRatio ratio = m_frameRatio ? m_frameRatio : &FrameFocalRatio;
    ImageGroup* group = m_group.get();
    const int count = group ? group->GetNumbOfImages() : 0;
    bool any = false;
    if (!on) {
        m_flags &= ~kFlagDistortionOn;
        for (int i = 0; i < count; ++i) {
            ImageFrame* frame = group->GetImageFrame(i);
            if (!frame->IsDistortionCorrected()) continue;
            if (!frame->GetImage()) {
                frame->SetDistortionState(false);
                continue;
            }
            frame->SetImage(nullptr, true);
            // The loader clears the mark, flag 0x10 being off now.
            if (!load(frame, true)) frame->SetDistortionState(false);
            any = true;
        }
    } else {
        m_flags |= kFlagDistortionOn;
        DistortionRecord* record = m_distortion.get();
        for (int i = 0; record && i < count; ++i) {
            ImageFrame* frame = group->GetImageFrame(i);
            Image* image = frame->GetImage();
            if (frame->IsDistortionCorrected()) {
                if (!image) frame->SetDistortionState(false);
                continue;
            }
            if (!image) continue;
            CorrectLensDistortion(&record->a, image, false, ratio(frame));
            frame->SetDistortionState(true);
            any = true;
        }
    }
    if (!any) return 1;
    if (m_chain) {
        ResetPairStates(m_chain, true, true, 0, -1, false);
        if (changed) *changed = true;
    }
    if (group->HasRectWorldMap()) {
        group->GetRectWorldMap(false)->NotifyViewers(19, 0);
        group->SetRectWorldMap(nullptr);
    }
    return 1;
}

bool SuperManager::ResetStitching(bool clearAutoMarkers)
{
    if (!m_chain || !m_group || m_group->GetNumbOfImages() < 2) return true;
    ClosePairWindow(false);
    AfxMessageBox("This operation will remove all computed info!", MB_OK);
    ResetPairStates(m_chain, true, true, 0, -1, clearAutoMarkers);
    if (m_tray) m_tray->RepaintAll();
    m_flags &= ~kFlagBlendStage;
    if (m_group->HasRectWorldMap()) {
        WorldMap* map = m_group->GetRectWorldMap(false);
        map->NotifyViewers(10007, 0);
        map->NotifyViewers(19, 0);
        m_group->SetRectWorldMap(nullptr);
    }
    ResetLevelingRotation();
    return true;
}
