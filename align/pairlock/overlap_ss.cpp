#include "align/pairlock/overlap_ss.h"

#include "platform/mapproj/img_combo_rs.h"
#include "platform/mapproj/rect_pt_rs.h"
#include "platform/panocore/make_vantor.h"
#include "platform/sceneio/kestova_file.h"
#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"
#include "worldmap/world_map.h"

#include <cmath>
#include <memory>
#include <new>
#include <numbers>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

bool PositiveFinite(float v)
{
    return std::isfinite(v) && v > 0.0f;
}

// Samples of an image's projection: its pixels scaled by `scale` (map
// samples per image pixel at its centre) on both axes. The sphere holds no
// more samples of a pinhole image than its tangent plane does.
double ProjectedBytes(const Image* img, double scale)
{
    return double(img->GetWidth()) * img->GetHeight() * scale * scale * img->GetChannels();
}

}  // namespace

COverlapSS::COverlapSS() = default;

COverlapSS::~COverlapSS()
{
    ReleaseOverlap();
}

void COverlapSS::ReleaseOverlap()
{
    // Images first: they hold the samples the maps present. Each goes through
    // its count, so a holder elsewhere keeps it alive.
    ReleaseImage(m_imgO1);
    ReleaseImage(m_imgO2);
    m_imgO1 = nullptr;
    m_imgO2 = nullptr;
    if (m_rwm_1) m_rwm_1->Release();
    if (m_rwm_2) m_rwm_2->Release();
    m_rwm_1 = nullptr;
    m_rwm_2 = nullptr;
    m_polygon.reset();
}

bool COverlapSS::MainOverlapSS(Image* img1, Image* img2, PAIR_WALIGN_RR_PRMS2* prms, float zoom, int, int, bool)
{
    ReleaseOverlap();
    if (!overlap::UsableImage(img1) || !overlap::UsableImage(img2) || !prms) {
        Logger::log("ERROR COverlapSS::MainOverlapSS: missing or unusable image or parameters", 1);
        return false;
    }
    if (!PositiveFinite(prms->rcpF1) || !PositiveFinite(prms->rcpF2) || !PositiveFinite(zoom)) {
        Logger::log("ERROR COverlapSS::MainOverlapSS: bad focal lengths (1/f1=%g, 1/f2=%g) or zoom %g", 1,
                    double(prms->rcpF1), double(prms->rcpF2), double(zoom));
        return false;
    }
    // The circumference of the sphere of radius f1, zoomed: one map sample
    // per zoomed pixel at image 1's centre.
    const double samples = std::trunc(double(zoom) * kTwoPi / double(prms->rcpF1));
    const double scale2 = double(zoom) * prms->rcpF2 / prms->rcpF1;  // map samples per image-2 pixel
    if (!(samples >= 4 && samples <= kMaxSamples) ||
        ProjectedBytes(img1, zoom) > double(overlap::kMaxOverlapBytes) ||
        ProjectedBytes(img2, scale2) > double(overlap::kMaxOverlapBytes)) {
        Logger::log("ERROR COverlapSS::MainOverlapSS: sphere of %.0f samples for 1/f1=%g, 1/f2=%g, zoom %g is out of "
                    "range",
                    1, samples, double(prms->rcpF1), double(prms->rcpF2), double(zoom));
        return false;
    }
    m_img1 = img1;
    m_img2 = img2;
    m_prms = *prms;
    if (!PairWAlignToTransformRS(&m_prms, &m_rs1, &m_rs2)) return false;
    m_zoom = zoom;
    m_samples = static_cast<int>(samples) / 4 * 4;
    return MakeOverlapImgs(img1, img2);
}

bool COverlapSS::PairWAlignToTransformRS(PAIR_WALIGN_RR_PRMS2* prms, TRANSFORM_RS* rs1, TRANSFORM_RS* rs2)
{
    if (!prms || !rs1 || !rs2) return false;
    *rs1 = TRANSFORM_RS{};
    rs1->rcpFocal = prms->rcpF1;
    rs1->scale = 1.0f;
    rs1->flag = 1;
    *rs2 = *rs1;
    return CTransformWA::PairPrmsGlobalImg1To_2(prms, rs1, rs2);
}

KestovaFile* COverlapSS::ComputeVantorFile(Image* img, int samples, TRANSFORM_RS* rs)
{
    if (!img || !rs) return nullptr;
    const int n = samples / 4 * 4;
    auto file = std::make_unique<KestovaFile>();
    file->SetNumChannel(img->GetChannels());
    file->SetEquatorSampleNum(n);
    file->SetHalfRingNum(n / 4);
    file->SetBandBound(n / 4);
    std::unique_ptr<IMakeVantor> maker(GetMakeVantorInterface());
    if (!maker || !maker->MakeScene(img, file.get(), rs, 0, false, 1)) return nullptr;
    return file.release();
}

bool COverlapSS::MakeOneMap(KestovaFile* file, const REGION& box, WorldMap** map, Image** image, const char* which)
{
    const int channels = file->GetNumChannel();
    // The map writes straight into the image's buffer, so the image owns the
    // samples and outlives the map safely.
    *image = overlap::NewClearedImage(box.width, box.height, channels);
    if (!*image) {
        Logger::log("ERROR COverlapSS::MakeOverlapImgs: cannot allocate %s image %d*%d*%d", 1, which, box.width,
                    box.height, channels);
        return false;
    }
    *map = new (std::nothrow) WorldMap();
    REGION region = box;
    if (!*map || !(*map)->Init2(m_samples, &region, 0, (*image)->GetData(), (*image)->GetRowByte(), channels)) {
        Logger::log("ERROR COverlapSS::MakeOverlapImgs: %s Init2() failed: m_samples=%d", 1, which, m_samples);
        return false;
    }
    (*map)->AddData(file);
    return true;
}

bool COverlapSS::MakeOverlapImgs(Image* img1, Image* img2)
{
    ReleaseOverlap();
    if (!overlap::UsableImage(img1) || !overlap::UsableImage(img2) || m_samples < 4) {
        Logger::log("ERROR COverlapSS::MakeOverlapImgs: missing image or no sphere (m_samples=%d)", 1, m_samples);
        return false;
    }
    std::unique_ptr<KestovaFile> f1(ComputeVantorFile(img1, m_samples, &m_rs1));
    std::unique_ptr<KestovaFile> f2(ComputeVantorFile(img2, m_samples, &m_rs2));
    REGION box{};
    if (!f1 || !f2 || !f1->VantorFileFgBoundBox(&box, 0.0f)) {
        ReleaseOverlap();
        return false;
    }
    if (!MakeOneMap(f1.get(), box, &m_rwm_1, &m_imgO1, "m_rwm_1") ||
        !MakeOneMap(f2.get(), box, &m_rwm_2, &m_imgO2, "m_rwm_2")) {
        ReleaseOverlap();
        return false;
    }
    m_mapBox = box;
    m_overlapBox = {0, 0, box.width - 1, box.height - 1, box.width, box.height};
    m_originX = 0;
    m_originY = 0;
    if (!MakeImg2FgPolygon(&box, 8, 8)) {
        ReleaseOverlap();
        return false;
    }
    return true;
}

bool COverlapSS::MakeImg2FgPolygon(REGION* box, int a, int b)
{
    if (!box || !m_img2) return false;
    const RECT rect{m_samples / 2 + box->x0, m_samples / 4 + box->y0, m_samples / 2 + box->x1,
                    m_samples / 4 + box->y1};
    m_polygon.reset(
        CRectPtRS::PolygonImgBoxInRWM(m_img2->GetWidth(), m_img2->GetHeight(), a, b, &m_rs2, &rect, m_samples));
    return overlap::FirstContourBox(m_polygon.get(), &m_polyBox);
}

int COverlapSS::PtPairsOverlapToRawFrames(POINT2* pairs[2], int n)
{
    if (!m_imgO1 || !m_imgO2 || !m_img1 || !m_img2) {
        Logger::log("ERROR COverlapSS::PtPairsOverlapToRawFrames: no overlap images", 1);
        return 0;
    }
    if (!pairs || n <= 0 || !pairs[0] || !pairs[1]) return 1;
    // The overlap images' top-left on the map, as MakeImg2FgPolygon has it.
    const int left = m_samples / 2 + m_mapBox.x0 - m_originX, top = m_samples / 4 + m_mapBox.y0 - m_originY;
    const RECT rect{left, top, left + m_imgO1->GetWidth() - 1, top + m_imgO1->GetHeight() - 1};
    const int W1 = m_img1->GetWidth(), H1 = m_img1->GetHeight();
    const int W2 = m_img2->GetWidth(), H2 = m_img2->GetHeight();
    const float fov1 = 2.0f * std::atan(W1 * m_prms.rcpF1 / 2.0f);
    const float fov2 = 2.0f * std::atan(W2 * m_prms.rcpF2 / 2.0f);
    CRectPtRS::PtsRectMapToPlane(pairs[0], pairs[0], n, &rect, m_samples, W1, H1, 0.0f, 0.0f, m_rs1.roll, fov1);
    CRectPtRS::PtsRectMapToPlane(pairs[1], pairs[1], n, &rect, m_samples, W2, H2, m_rs2.pan, m_rs2.tilt, m_rs2.roll,
                                 fov2);
    return 1;
}
