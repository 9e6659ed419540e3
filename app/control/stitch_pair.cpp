#include "app/control/stitch_pair.h"

#include "app/control/super_manager.h"
#include "app/matching/cam_info.h"
#include "app/matching/distortion_record.h"
#include "app/matching/image_downscale.h"
#include "app/matching/lens_correction.h"
#include "app/matching/pair_markers.h"
#include "app/shell/main_frame.h"
#include "app/views/image_loaders.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/panocore/panorama.h"
#include "platform/utilkit/crash_dump.h"
#include "platform/utilkit/fl2_apperture.h"
#include "platform/win/win_thread.h"
#include "projectgraph/curvekit/marker.h"
#include "platform/imgcore/exif_info.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr int kWorkingSize = 700;
constexpr float kPi = 3.1415925f;  // the loop pair's turns, as the core expects them

StitchThreadBlock g_block{};

bool ExifFocalTypes(int type)
{
    return type == 3 || type == 4;
}

// The camera-information record's reference focal length, 0 without one.
float CamInfoReference(SuperManager* manager)
{
    CamInfo* info = manager ? manager->GetCamInfo() : nullptr;
    return info && info->exifFocalLength > 0.0f ? info->exifFocalLength : 0.0f;
}

// The frame's Exif focal length in millimetres, 0 when there is none.
float ExifFocal(ImageFrame* frame)
{
    ExifInfo* exif = frame ? frame->getExifInfo(true) : nullptr;
    return exif && exif->m_hasExif && exif->m_focalLength > 0.0f ? exif->m_focalLength : 0.0f;
}

void PostReport(const StitchThreadBlock* block)
{
    if (!block->threaded) return;
    if (CWnd* main = AfxGetMainWnd()) main->PostMessage(WM_CONTINUE_STITCHING, 0, 0);
    else Logger::log("ERROR StitchTwoFramesProc: no main window to report to", 1);
}

// A pair that could not be tried: nothing of the links changes.
int FailUntried(StitchThreadBlock* block)
{
    block->result = 0;
    PostReport(block);
    return 1;
}

// The focal ratio of B over A for the Exif focal types, 1.0 when a frame
// lacks what it takes. With a camera-information reference the focal values
// are computed and, on the first pair, scale sA and sB.
float ExifRatio(SuperManager* manager, ImageFrame* a, ImageFrame* b, int type, bool firstPair, float& sA, float& sB)
{
    const float reference = CamInfoReference(manager);
    if (reference > 0.0f) {
        FramePixelFocal(a);
        FramePixelFocal(b);
        const float fa = a->m_focalValue, fb = b->m_focalValue;
        if (fa > 0.0f && fb > 0.0f) {
            if (firstPair) {
                sA /= fa / reference;
                sB /= fb / reference;
            }
            return fb / fa;
        }
    } else {
        const float ea = ExifFocal(a), eb = ExifFocal(b);
        if (ea > 0.0f && eb > 0.0f) {
            const float ratio = eb / ea;
            sB /= ratio;
            return ratio;
        }
    }
    Logger::log("StitchTwoFramesProc: focal type %d: a frame of the pair has no focal length, ratio 1.0", 4, type);
    return 1.0f;
}

int PairBody(StitchThreadBlock* block)
{
    ImageFrame* a = block->frameA;
    ImageFrame* b = block->frameB;
    SuperManager* manager = block->manager;
    int direction = block->direction;
    Neighbor* n1 = a && b ? a->FindNeighbor(b) : nullptr;
    Neighbor* n2 = a && b ? b->FindNeighbor(a) : nullptr;
    if (!n1 || !n2 || !manager) {
        Logger::log("ERROR StitchTwoFrames: n1=NULL || n2=NULL", 1);
        return FailUntried(block);
    }
    if (!LoadFrameImage(a, true)) {
        Logger::log("ERROR StitchTwoFrames: load f1", 1);
        return FailUntried(block);
    }
    if (!LoadFrameImage(b, true)) {
        Logger::log("ERROR StitchTwoFrames: load f2", 1);
        return FailUntried(block);
    }
    Image* imgA = a->GetImage();
    Image* imgB = b->GetImage();
    const int wA = imgA->GetWidth(), hA = imgA->GetHeight();
    if (wA < 2 || hA < 2 || imgB->GetWidth() < 2 || imgB->GetHeight() < 2) {
        Logger::log("ERROR StitchTwoFrames: image too small", 1);
        return FailUntried(block);
    }
    IPairShareInfo* share = n1->GetPairShareInfo();
    const float o1 = share ? share->GetOverlapH(1) : 0.0f;
    const float o2 = share ? share->GetOverlapV(1) : 0.0f;
    PAIR_WALIGN_RR_PRMS2 record{};

    const StitchSettings* settings = manager->GetStitchSettings();
    const float ratioA = FrameFocalRatio(a), ratioB = FrameFocalRatio(b);
    const bool correctionOn = (manager->GetFlags() & kFlagDistortionOn) != 0;
    const DistortionRecord* correction = correctionOn ? manager->GetDistortionRecord(false) : nullptr;
    FilterPairAutoMarkers(a, b, manager->GetReductionCode(), reinterpret_cast<const float*>(correction), 4, ratioA,
                          ratioB, settings->runtimeDistortion != 0);

    float sA, sB, ratio = 1.0f;
    int r;
    float step[2];
    if (a->IsCenterFrame() && direction == 1) {
        PanoramaInit(a, 0.0f, 0.0f, 0.0f);
        const int half = std::min(wA, hA) / 2;
        float ap = FL2Apperture::FL2ApperturePortrait_35mm(settings->focalLength) / 2;
        sA = sB = std::tan(ap) / half;
        if (ExifFocalTypes(settings->focalType)) ratio = ExifRatio(manager, a, b, settings->focalType, true, sA, sB);
        if (wA > hA) ap = std::atan(std::tan(ap) * wA / hA);
        step[0] = 2 * ap * (1 - o1);
        step[1] = ap * o2 * hA / wA;
        FindPairRUR(a, b, step, &record.angA, &record.angB, &record.angC);
        record.rcpF1 = sA;
        record.rcpF2 = sB;
        // The first pair's scale of the panorama: 500 pixels over the frame's
        // width plus height.
        manager->SetFirstPairScale(500.0f / static_cast<float>(wA + hA));
        Logger::log("StitchTwoFramesProc: 1st pair: before Panorama", 4);
        r = Panorama(a, b, &record, ratio, 1);
        if ((r & 0xF) == 0) Logger::log("StitchTwoFramesProc: 1st pair: after Panorama: OK", 4);
    } else {
        IImgInfo* info = a->GetImgInfo();
        sA = sB = info ? info->GetParams()->rcpFocal : 0.0f;
        if (ExifFocalTypes(settings->focalType)) {
            float unusedA = sA, unusedB = sB;
            ratio = ExifRatio(manager, a, b, settings->focalType, false, unusedA, unusedB);
            sB /= ratio;
        }
        const float ap = std::atan(wA * sA / 2);
        step[0] = 2 * ap * (1 - o1);
        step[1] = ap * o2 * hA / wA;
        Logger::log("StitchTwoFramesProc: before FindPairRUR", 4);
        FindPairRUR(a, b, step, &record.angA, &record.angB, &record.angC);
        if (direction == -1) {
            record.angA = kPi;
            record.angC = -kPi;
        } else {
            direction = 0;
        }
        record.rcpF1 = sA;
        record.rcpF2 = sB;
        Logger::log("StitchTwoFramesProc: before Panorama", 4);
        r = Panorama(a, b, &record, ratio, direction);
        if ((r & 0xF) == 0) Logger::log("StitchTwoFramesProc: after Panorama: OK", 4);
    }

    if ((r & 0xF) != 0) {
        n1->SetBlocked();
        n2->SetBlocked();
        block->result = 0;
        PostReport(block);
        return 1;
    }
    for (Neighbor* link : {n1, n2}) {
        link->SetMerged();
        link->SetNotBlocked();
        link->Activate(true);
    }
    a->SetMerged();
    b->SetMerged();
    block->result = 1;
    PostReport(block);
    return 0;
}

UINT PairWorker(void* param)
{
    return static_cast<UINT>(StitchTwoFramesProc(static_cast<StitchThreadBlock*>(param)));
}

}  // namespace

StitchThreadBlock* GetStitchThreadBlock()
{
    return &g_block;
}

void ClearStitchThreadBlock()
{
    g_block = StitchThreadBlock{};
}

bool StitchTwoFrames(ImageFrame* a, ImageFrame* b, int direction, bool threaded)
{
    StitchThreadBlock* block = &g_block;
    block->threaded = threaded ? 1 : 0;
    block->frameA = a;
    block->frameB = b;
    block->direction = direction;
    block->manager = GetSuperManager();
    Neighbor* n1 = a && b ? a->FindNeighbor(b) : nullptr;
    Neighbor* n2 = a && b ? b->FindNeighbor(a) : nullptr;
    if (!n1 || !n2) Logger::log("ERROR StitchTwoFrames: n1=NULL || n2=NULL", 1);
    if (!threaded) return StitchTwoFramesProc(block) == 0;

    // Empty marker sets would only stand in the way of the automatic ones.
    auto empty = [](Neighbor* link) { return !link->GetMarkers() || link->GetMarkers()->GetNumbOfMarker() == 0; };
    if (n1 && n2 && empty(n1) && empty(n2)) {
        n1->SetMarkers(nullptr);
        n2->SetMarkers(nullptr);
    }
    if (!AfxBeginThread(&PairWorker, block)) {
        Logger::log("ERROR StitchTwoFrames: cannot start the pair worker", 1);
        FailUntried(block);
    }
    return false;
}

int StitchTwoFramesProc(StitchThreadBlock* block)
{
    if (!block) return 1;
    CrashDump::MapSEtoCE();
    int status = 1;
    try {
        CrashDump::RunGuarded([&] { status = PairBody(block); });
    } catch (const CrashDump& crash) {
        std::string name;
        CMainFrame::MakeDumpName("Fendrake_st2f", name);
        CrashDump::GenerateDump(crash.Getpep(), name.c_str());
        // A crashed pair is a failed pair: the run goes on from its report.
        return FailUntried(block);
    }
    return status;
}

void FindPairRUR(ImageFrame* a, ImageFrame* b, const float step[2], float* r1, float* d, float* r2)
{
    short xa = 0, ya = 0, xb = 0, yb = 0;
    if (a) a->GetStampLocation(&xa, &ya);
    if (b) b->GetStampLocation(&xb, &yb);
    float first, second;
    if (ya == yb) {
        first = xa < xb ? std::atan2(step[1], step[0]) : std::atan2(-step[1], -step[0]);
        second = -first;
    } else if (ya < yb) {
        first = static_cast<float>(M_PI / 2);
        second = static_cast<float>(-M_PI / 2);
    } else {
        first = static_cast<float>(-M_PI / 2);
        second = static_cast<float>(M_PI / 2);
    }
    if (r1) *r1 = first;
    if (r2) *r2 = second;
    if (d) *d = std::sqrt(step[0] * step[0] + step[1] * step[1]);
}

float FrameFocalRatio(ImageFrame* frame)
{
    const float focal = ExifFocal(frame);
    SuperManager* manager = GetSuperManager();
    if (focal <= 0.0f || !manager) return 1.0f;
    float reference = 0.0f;
    if (manager->GetStitchSettings()->runtimeDistortion == 1) {
        const DistortionRecord* record = manager->GetDistortionRecord(false);
        reference = record ? record->exifFocalLength : 0.0f;
    } else {
        reference = CamInfoReference(manager);
    }
    return reference > 0.0f ? focal / reference : 1.0f;
}

bool FramePixelFocal(ImageFrame* frame)
{
    const float focal = ExifFocal(frame);
    SuperManager* manager = GetSuperManager();
    if (focal <= 0.0f || !manager) return false;
    const DistortionRecord* record = manager->GetDistortionRecord(false);
    float value = focal;
    if (manager->GetStitchSettings()->runtimeDistortion == 0 && record) {
        const float reference = CamInfoReference(manager);
        if (reference <= 0.0f) return false;
        value = GetUndistortScale(reinterpret_cast<const float*>(record), focal / reference) * reference;
    }
    frame->m_focalValue = value;
    return true;
}

bool LoadFrameImage(ImageFrame* frame, bool correct)
{
    if (!frame) return false;
    SuperManager* manager = GetSuperManager();
    DownscaleCode code = manager ? manager->GetReductionCode() : 0;
    // The reducer chooses a code when the manager has none yet: the manager
    // keeps it, so the matcher and the marker filter work at the scale the
    // frames were loaded at.
    auto keepCode = [&] {
        if (manager && code != manager->GetReductionCode()) manager->SetReductionCode(code);
    };
    if (Image* held = frame->GetImage()) {
        if (!frame->IsBeamDown()) {
            ReduceImageInPlace(held, kWorkingSize, &code);
            keepCode();
            frame->SetBeamDownState(true);
        }
        return true;
    }
    Image* image = nullptr;
    if (!frame->GetName() || LoadImage(frame->GetName(), &image) != 1 || !image) {
        if (image) ReleaseImage(image);
        return false;
    }
    ReduceImageInPlace(image, kWorkingSize, &code);
    keepCode();
    frame->SetImage(image, true);
    frame->SetBeamDownState(true);
    const DistortionRecord* record = manager ? manager->GetDistortionRecord(false) : nullptr;
    const bool correctionOn = manager && (manager->GetFlags() & kFlagDistortionOn) != 0;
    if (correct && correctionOn && record) {
        CorrectLensDistortion(reinterpret_cast<const float*>(record), image, false, FrameFocalRatio(frame));
        frame->SetDistortionState(true);
    } else {
        frame->SetDistortionState(false);
    }
    ReleaseImage(image);
    return true;
}

bool SuperManager::ComputePixelFocals(int* frames, int count)
{
    ImageGroup* group = GetImageGroup(false);
    for (int i = 0; group && frames && i < count; ++i) {
        if (ImageFrame* frame = group->GetImageFrame(frames[i])) FramePixelFocal(frame);
    }
    return true;
}
