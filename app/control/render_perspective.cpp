// The manager's perspective render: the merged frames blended into a flat
// picture through a viewport (Cubekit's CMapBlend), frames loaded smaller
// than the picture needs reloaded one at a time at a sufficient size.
#include "app/control/blend_rules.h"
#include "app/control/progress_dlg.h"
#include "app/control/stitch_pair.h"
#include "app/control/super_manager.h"
#include "app/shell/main_frame.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/cubekit/map_blend.h"
#include "platform/mergekit/fill_bg.h"
#include "platform/panocore/img_info.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

void ClearPane59000()
{
    if (auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd())) main->SetPaneText59000("");
}

TRANSFORM_RS* Placement(ImageFrame* frame)
{
    IImgInfo* info = frame ? frame->GetImgInfo() : nullptr;
    return info ? info->GetParams() : nullptr;
}

int SmallerSide(const Image* image)
{
    return image ? std::min(image->GetWidth(), image->GetHeight()) : 0;
}

}  // namespace

bool SuperManager::LoadFrameImageDefault(ImageFrame* frame, bool correct)
{
    return LoadFrameImage(frame, correct);
}

bool SuperManager::RenderPerspectiveView(Image* target, POINT2* viewDirection, float viewAngle, float fieldOfView)
{
    ImageGroup* group = m_group.get();
    const int n = group ? group->GetNumbOfImages() : 0;
    if (n == 0) return false;
    std::vector<int> list(static_cast<size_t>(n));
    int m = 0, pairs = 0;
    group->GetMergedImages(list.data(), m, pairs);
    if (pairs == 0 || m < 1) return false;
    if (!target || target->GetWidth() < 2 || !(fieldOfView > 0.0f) || !(fieldOfView < 3.1f)) {
        Logger::log("ERROR SuperManager::RenderPerspectiveView: no target picture or no field of view", 1);
        return false;
    }
    const TRANSFORM_RS* first = Placement(group->GetImageFrame(list[0]));
    if (!first || !(first->rcpFocal > 0.0f) || !std::isfinite(first->rcpFocal)) {
        Logger::log("ERROR SuperManager::RenderPerspectiveView: the first merged frame has no focal length", 1);
        return false;
    }

    // Target pixels per image pixel at the first frame's loaded size decide
    // whether the frames are reloaded larger.
    const float pixelAngle = std::tan(fieldOfView / 2.0f) / static_cast<float>(target->GetWidth() / 2);
    const float ratio = first->rcpFocal / pixelAngle;
    const uint8_t code = m_reductionCode;
    ReloadChoice reload;
    if (code != 1) reload = ChooseReload(ratio, 1.0f / ReductionFactor(code));

    CMapBlend blend;
    blend.SetImgO(target);
    blend.SetViewPort(viewDirection, viewAngle, fieldOfView);
    const int bwPercent = m_blendSettings->blendWidth;
    const FrameLoader load = FrameLoaderInUse();
    OpenProgressDialog(0, m, true);
    SetProgressText("Blending images");

    bool cancelled = false;
    for (int i = 0; i < m; ++i) {
        // Cancel stops before the next frame: nothing of a frame is changed yet.
        if (!StepProgressDialog() || IsProgressCancelled()) {
            cancelled = true;
            break;
        }
        ImageFrame* frame = group->GetImageFrame(list[i]);
        TRANSFORM_RS* t = Placement(frame);
        if (!t) continue;
        const int kind = i == 0 ? 0 : LinkSeamKind(frame, group->GetImageFrame(list[i - 1]));
        Image* image = frame->GetImage();
        if (!reload.large) {
            blend.MapBlendOneImage(image, t, bwPercent * SmallerSide(image) / 100, kind);
            continue;
        }
        // Hold the reduced image aside, reload larger, blend, put it back.
        RefAdd(image);
        frame->SetImage(nullptr, true);
        const bool beamDown = frame->IsBeamDown();
        const TRANSFORM_RS saved = *t;
        m_reductionCode = static_cast<uint8_t>(reload.code);
        t->rcpFocal *= reload.x;
        t->centreX /= reload.x;  // the optical centre in the reloaded image's pixels
        t->centreY /= reload.x;
        const bool loaded = load(frame, true);
        if (loaded) {
            Image* big = frame->GetImage();
            blend.MapBlendOneImage(big, t, bwPercent * SmallerSide(big) / 100, kind);
        }
        frame->SetImage(image, false);
        frame->SetBeamDownState(beamDown);
        ReleaseImage(image);
        m_reductionCode = code;
        t->rcpFocal = saved.rcpFocal;
        t->centreX = saved.centreX;
        t->centreY = saved.centreY;
        // A failed reload blends the image loaded before, at its own scale.
        if (!loaded) blend.MapBlendOneImage(image, t, bwPercent * SmallerSide(image) / 100, kind);
    }
    if (!cancelled) {
        StepProgressDialog();
        FillImageBg(target, nullptr);
    }
    CloseProgressDialog();
    ClearPane59000();
    return !cancelled;
}
