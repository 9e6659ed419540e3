#include "viewer/engine/view_faces.h"

#include "viewer/engine/row_bands.h"

#include "geometry/polykit/poly_rect_clip.h"
#include "imaging/ref_count.h"
#include "core/logger.h"
#include "platform/xformkit/camera_model.h"
#include "platform/xformkit/transform_euler.h"
#include "viewer/engine/face_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kPiF = 3.14159265f;
constexpr float kHalfPiF = 1.57079633f;
constexpr double kBehindAngle = 1.3962634;  // 80 degrees off the view axis
constexpr double kCutAngle = 1.4398966;     // 82.5 degrees: the circle the outline is cut at
constexpr double kArcStep = kPi / 6;         // one added point per whole 30 degrees of arc
constexpr float kFanCapHalfHeight = 1.2217305f;  // 70 degrees
constexpr int kFaceMargin = 16;              // face images are this much larger than their face
constexpr int kOutlineInset = 5;             // the outline keeps off the face's border by this
constexpr int kRenderStep = 5;

int Nearest(double v)
{
    return static_cast<int>(v + 0.5);
}

}  // namespace

// ---------------------------------------------------------------------------
// CViewFace

CViewFace::CViewFace(int idx, Image* image, float faceYaw, float facePitch, float faceRoll, float upp)
    : index(idx), faceImage(image), roll(faceRoll), yaw(faceYaw), pitch(facePitch), unitsPerPixel(upp)
{
    RefAdd(faceImage);
}

CViewFace::~CViewFace()
{
    FreeVisiblePolygon();
    RefRelease(faceImage);
}

void CViewFace::GetOrientation(int idx, float& outYaw, float& outPitch)
{
    outPitch = 0;
    switch (idx) {
    case 0: outYaw = -kHalfPiF; break;
    case 1: outYaw = 0; break;
    case 2: outYaw = kHalfPiF; break;
    case 3: outYaw = kPiF; break;
    case -1: outYaw = 0, outPitch = -kHalfPiF; break;
    default: outYaw = 0, outPitch = kHalfPiF; break;
    }
}

void CViewFace::BindView(Image* viewImage)
{
    InitImgs(faceImage, viewImage, unitsPerPixel);
    m_viewWidth = viewImage ? viewImage->GetWidth() : 0;
    m_viewHeight = viewImage ? viewImage->GetHeight() : 0;
}

void CViewFace::FreeVisiblePolygon()
{
    CPolyRectClip::gpc_free_polygon(&visiblePolygon);
    visiblePolygon = gpc_polygon{0, nullptr};
}

bool CViewFace::Render(const CViewParams* viewParams, float zoom, float viewRoll, bool bilinear, bool keepFlag)
{
    PAIR_WALIGN_RR_PRMS2 prms{};
    if (!PlaceInView(viewParams, zoom, viewRoll, prms)) return false;
    const int drawn = bilinear ? MapRegions_Bilinear(&visiblePolygon, &prms, keepFlag)
                               : MapRegions(&visiblePolygon, &prms, keepFlag);
    return drawn != 0;
}

bool CViewFace::PlaceInView(const CViewParams* viewParams, float zoom, float viewRoll, PAIR_WALIGN_RR_PRMS2& prms)
{
    FreeVisiblePolygon();
    if (!viewParams || !faceImage || !(zoom > 0) || !(unitsPerPixel > 0) || m_viewWidth <= 0 || m_viewHeight <= 0)
        return false;
    const POINT2 faceAngles{yaw, pitch};
    const POINT2 viewAngles{viewParams->yaw, viewParams->pitch};
    float rot1 = 0, deviation = 0, rot2 = 0;
    CTransformEuler::Euler2UVRtoRDR(&faceAngles, roll, &viewAngles, viewRoll, &rot1, &deviation, &rot2);
    // The same turn with a deviation of the other sign: the pair record
    // takes it positive.
    if (deviation < 0) {
        deviation = -deviation;
        rot1 += rot1 >= 0 ? -kPiF : kPiF;
        rot2 += rot2 >= 0 ? -kPiF : kPiF;
    }
    if (!MapToView(rot1, deviation, rot2, zoom)) return false;
    prms = PAIR_WALIGN_RR_PRMS2{};
    prms.rcpF1 = unitsPerPixel;
    prms.rcpF2 = unitsPerPixel / zoom;
    prms.angA = rot1;
    prms.angB = deviation;
    prms.angC = rot2;
    return true;
}

namespace {

// The face's outline seen from the view: corners in face pixels from the
// face centre, their rays in the view's camera frame (x right, y down, z
// forward) and their projections in view pixels from the view centre.
class OutlineBuilder {
public:
    OutlineBuilder(float rot1, float deviation, float rot2, double faceUnits, double viewUnits)
        : m_rotation(xformkit::PairRotation(rot1, deviation, rot2)), m_faceUnits(faceUnits), m_viewUnits(viewUnits),
          m_radius(std::tan(kCutAngle) / viewUnits)
    {
    }

    xformkit::Vec3 Ray(double x, double y) const
    {
        return xformkit::Apply(m_rotation, xformkit::Vec3{x * m_faceUnits, y * m_faceUnits, 1.0});
    }
    static bool InFront(const xformkit::Vec3& r) { return std::atan2(std::hypot(r.x, r.y), r.z) < kBehindAngle; }
    POINT2 Project(const xformkit::Vec3& r) const
    {
        return POINT2{static_cast<float>(r.x / r.z / m_viewUnits), static_cast<float>(r.y / r.z / m_viewUnits)};
    }

    // Where the edge from the corner in front (a) towards the one behind (b)
    // leaves the 82.5-degree circle: along the line through a's projection
    // and that of a point a short way (5 degrees at the face centre) along
    // the edge, on the side the edge runs to.
    bool CutPoint(double ax, double ay, double bx, double by, POINT2& out) const
    {
        const double len = std::hypot(bx - ax, by - ay);
        if (len <= 0) return false;
        const double step = std::min(len, std::tan(5 * kPi / 180) / m_faceUnits);
        xformkit::Vec3 ra = Ray(ax, ay), rp = Ray(ax + (bx - ax) * step / len, ay + (by - ay) * step / len);
        if (rp.z <= 1e-9) return false;
        const POINT2 pa = Project(ra), pp = Project(rp);
        const double dx = pp.x - pa.x, dy = pp.y - pa.y;
        // |pa + t d| = radius, the root with t >= 0 (pa lies inside the circle).
        const double A = dx * dx + dy * dy, B = 2 * (pa.x * dx + pa.y * dy);
        const double C = double(pa.x) * pa.x + double(pa.y) * pa.y - m_radius * m_radius;
        if (A <= 0) return false;
        const double disc = B * B - 4 * A * C;
        if (disc < 0) return false;
        const double t = (-B + std::sqrt(disc)) / (2 * A);
        out = POINT2{static_cast<float>(pa.x + t * dx), static_cast<float>(pa.y + t * dy)};
        return true;
    }

    double Radius() const { return m_radius; }

    // Whether the view point (view pixels from the view centre) sees the
    // face's rectangle (half sizes hx, hy in face pixels) in front.
    bool SeesFace(double vx, double vy, double hx, double hy) const
    {
        const xformkit::Vec3 r =
            xformkit::Apply(xformkit::Transpose(m_rotation), xformkit::Vec3{vx * m_viewUnits, vy * m_viewUnits, 1.0});
        if (r.z <= 0) return false;
        const double fx = r.x / r.z / m_faceUnits, fy = r.y / r.z / m_faceUnits;
        return std::fabs(fx) <= hx + 1 && std::fabs(fy) <= hy + 1;
    }

private:
    xformkit::Mat3 m_rotation;
    double m_faceUnits, m_viewUnits, m_radius;
};

struct OutlinePoint {
    POINT2 p;
    bool cutOut = false;  // leaves the circle here (the corners after it lie behind)
};

double Azimuth(double x, double y)
{
    return std::atan2(y, x);
}

// Points along the circle from the exit point a to the entry point b: one
// per whole 30 degrees of arc. Of the two ways round, the one whose middle
// still sees the face (the outline runs along the face's visible part); the
// shorter when neither or both do.
void AddArc(std::vector<POINT2>& out, const POINT2& a, const POINT2& b, const OutlineBuilder& builder, double hx,
            double hy)
{
    const double radius = builder.Radius();
    const double ta = Azimuth(a.x, a.y), tb = Azimuth(b.x, b.y);
    double sweep = std::fmod(tb - ta, 2 * kPi);
    if (sweep < 0) sweep += 2 * kPi;  // counter-clockwise, 0..2pi
    const double other = sweep - 2 * kPi;
    auto middleSeesFace = [&](double s) {
        const double t = ta + s / 2;
        return builder.SeesFace(radius * std::cos(t), radius * std::sin(t), hx, hy);
    };
    const bool ccwSees = middleSeesFace(sweep), cwSees = middleSeesFace(other);
    if (ccwSees != cwSees ? cwSees : std::fabs(other) < sweep) sweep = other;
    const int extra = static_cast<int>(std::fabs(sweep) / kArcStep);
    for (int n = 1; n <= extra; ++n) {
        const double t = ta + sweep * n / (extra + 1);
        out.push_back(POINT2{static_cast<float>(radius * std::cos(t)), static_cast<float>(radius * std::sin(t))});
    }
}

}  // namespace

bool CViewFace::MapToView(float rot1, float deviation, float rot2, float zoom)
{
    const int fw = faceImage->GetWidth(), fh = faceImage->GetHeight();
    const double hx = fw / 2 - kOutlineInset, hy = fh / 2 - kOutlineInset;
    if (hx <= 0 || hy <= 0) return false;
    const OutlineBuilder builder(rot1, deviation, rot2, unitsPerPixel, unitsPerPixel / zoom);
    const double corner[4][2] = {{-hx, -hy}, {hx, -hy}, {hx, hy}, {-hx, hy}};
    bool front[4];
    xformkit::Vec3 rays[4];
    int inFront = 0;
    for (int i = 0; i < 4; ++i) {
        rays[i] = builder.Ray(corner[i][0], corner[i][1]);
        front[i] = OutlineBuilder::InFront(rays[i]);
        inFront += front[i] ? 1 : 0;
    }
    if (inFront == 0) return false;

    std::vector<OutlinePoint> outline;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        if (front[i]) outline.push_back(OutlinePoint{builder.Project(rays[i])});
        if (front[i] == front[j]) continue;
        const int a = front[i] ? i : j, b = front[i] ? j : i;
        OutlinePoint cut;
        if (!builder.CutPoint(corner[a][0], corner[a][1], corner[b][0], corner[b][1], cut.p)) continue;
        cut.cutOut = front[i];
        outline.push_back(cut);
    }
    int cuts = 0;
    for (const OutlinePoint& p : outline) cuts += p.cutOut ? 1 : 0;
    std::vector<POINT2> points;
    for (size_t k = 0; k < outline.size(); ++k) {
        points.push_back(outline[k].p);
        if (outline[k].cutOut && outline.size() > 1 && cuts > 0 && inFront < 4)
            AddArc(points, outline[k].p, outline[(k + 1) % outline.size()].p, builder, hx, hy);
    }
    if (points.size() < 3) return false;
    const float cx = static_cast<float>(m_viewWidth / 2), cy = static_cast<float>(m_viewHeight / 2);
    for (POINT2& p : points) p.x += cx, p.y += cy;

    gpc_vertex_list contour{static_cast<int32_t>(points.size()), points.data()};
    gpc_polygon outlinePolygon{1, &contour};
    REGION2 view{-0.1f, static_cast<float>(m_viewHeight - 1) + 0.1f, -0.1f, static_cast<float>(m_viewWidth - 1) + 0.1f,
                 static_cast<float>(m_viewWidth) + 0.2f, static_cast<float>(m_viewHeight) + 0.2f};
    gpc_polygon* clipped = CPolyRectClip::gpc_polygon_INT(&outlinePolygon, &view);
    if (!clipped) return false;
    visiblePolygon = *clipped;
    delete clipped;
    return visiblePolygon.count > 0;
}

namespace {

// Whether a face's image is held by the face alone (its own reference and
// its mapper's) and laid out as NewFaceImage lays one out.
bool IsReusableFaceImage(const CViewFace& face)
{
    const Image* image = face.faceImage;
    const int holders = 1 + (face.GetSource() == image ? 1 : 0);
    return image && image->m_refCount == holders && image->GetData() && image->IsDataOwner() && image->IsMallocData() &&
           image->GetDataType() == IMG_UINT8 && image->IsInterleaved() && !image->IsBmp() && image->GetChannels() == 3;
}

// A three-channel face image whose pixels are left as the allocator gives
// them: the face renderer writes every one, and clearing tens of megabytes
// first would cost as much as a good part of the drawing.
RefPtr<Image> NewFaceImage(int width, int height)
{
    RefPtr<Image> image = RefPtr<Image>::adopt(new (std::nothrow) Image());
    if (!image || width <= 0 || height <= 0) return RefPtr<Image>();
    image->SetSize(width, height);
    image->SetDataType(IMG_UINT8);
    image->SetChannels(3);
    image->ComputeRowBytes();
    const size_t bytes = image->GetDataSize();
    void* data = bytes > 0 ? std::malloc(bytes) : nullptr;
    if (!data) return RefPtr<Image>();
    image->SetData(data, true);
    image->ResetRange();
    return image;
}

}  // namespace

// ---------------------------------------------------------------------------
// CViewFaceList

CViewFaceList::~CViewFaceList()
{
    DeleteFaces();
    RefRelease(m_viewImage);
}

void CViewFaceList::DeleteFaces()
{
    m_faces.clear();
    m_faces.shrink_to_fit();
    m_capacity = 0;
}

void CViewFaceList::Append(std::unique_ptr<CViewFace> face)
{
    if (static_cast<int>(m_faces.size()) >= m_capacity) {
        m_capacity += 10;
        m_faces.reserve(static_cast<size_t>(m_capacity));
    }
    m_faces.push_back(std::move(face));
}

bool CViewFaceList::Init(const WorldMapBase* map, float scale, Image* viewImage)
{
    // Face images no one else holds are drawn over again by a new cut of the
    // same sizes (a tour moving between panoramas of one size) instead of
    // being freed and allocated anew.
    for (const auto& face : m_faces)
        if (IsReusableFaceImage(*face)) m_spareImages.push_back(RefPtr<Image>::share(face->faceImage));
    DeleteFaces();
    if (viewImage != m_viewImage) {
        RefAdd(viewImage);
        RefRelease(m_viewImage);
        m_viewImage = viewImage;
    }
    m_viewWidth = m_viewImage ? m_viewImage->GetWidth() : 0;
    m_viewHeight = m_viewImage ? m_viewImage->GetHeight() : 0;
    if (!map || !(scale > 0) || map->GetWidth() < 4 || !map->GetData()) {
        Logger::log("ERROR CViewFaceList::Init: no map data or scale %f", 1, double(scale));
        m_spareImages.clear();
        return false;
    }
    if (!BuildFaces(map, scale)) {
        m_spareImages.clear();
        DeleteFaces();
        return false;
    }
    m_spareImages.clear();
    for (auto& face : m_faces) face->BindView(m_viewImage);
    return true;
}

#if VIEWENGINE_FACE_STRIP
bool CViewFaceList::AddFace(Image* faceImage, const ViewFaceOrientation* orientation)
{
    if (!faceImage || !orientation) return false;
    auto face = std::unique_ptr<CViewFace>(new (std::nothrow) CViewFace(
        GetCount(), faceImage, orientation->yaw, orientation->pitch, orientation->roll, orientation->unitsPerPixel));
    if (!face) return false;
    if (m_viewImage) face->BindView(m_viewImage);
    Append(std::move(face));
    return true;
}
#endif

void CViewFaceList::SetViewImage(Image* image)
{
    RefAdd(image);
    RefRelease(m_viewImage);
    m_viewImage = image;
    m_viewWidth = image ? image->GetWidth() : 0;
    m_viewHeight = image ? image->GetHeight() : 0;
    for (auto& face : m_faces) face->BindView(m_viewImage);
}

void CViewFaceList::Render(const CViewParams* viewParams, float hfov, float roll, bool bilinear, bool keepFlag,
                           bool clear)
{
    RenderFrame(viewParams, hfov, roll, bilinear, keepFlag, clear, nullptr);
}

bool CViewFaceList::Render(const CViewParams* viewParams, float hfov, float roll, bool bilinear, bool keepFlag,
                           bool clear, const RowsDone& rowsDone)
{
    return RenderFrame(viewParams, hfov, roll, bilinear, keepFlag, clear, rowsDone ? &rowsDone : nullptr);
}

bool CViewFaceList::RenderFrame(const CViewParams* viewParams, float hfov, float roll, bool bilinear,
                                bool keepFlag, bool clear, const RowsDone* rowsDone)
{
    const bool viewUsable = m_viewImage && m_viewImage->GetData();
    // No faces or no view: nothing to scale the faces by.
    const double viewUnits = m_viewWidth > 0 ? std::tan(hfov / 2.0) / (m_viewWidth / 2.0) : 0.0;
    const bool draw = !m_faces.empty() && m_viewWidth > 0 && m_viewHeight > 0 && viewParams && viewUnits > 0 &&
                      std::isfinite(viewUnits);
    // Faces that all draw into the view (from images of their own) draw in
    // one job of row bands. Faces that overwrite (no keepFlag) then leave
    // only the pixels none of them draws to be cleared, after drawing in the
    // same bands; that saves writing most of the frame twice. Averaging
    // faces read what lies below them: cleared first.
    const bool intoView = viewUsable && std::all_of(m_faces.begin(), m_faces.end(), [&](const auto& face) {
                              return face->GetDestination() == m_viewImage && face->GetSource() != m_viewImage;
                          });
    // Only then is a band final once every face has drawn it, and can be
    // handed over (a view without faces only clears, band by band).
    const bool handOver = rowsDone && intoView && m_viewWidth > 0 && m_viewHeight > 0;
    const bool clearAfter = clear && draw && !keepFlag && intoView;
    if (clear && viewUsable && !clearAfter) ClearView();
    const float zoom = draw ? static_cast<float>(m_faces.front()->unitsPerPixel / viewUnits) : 0.0f;
    if ((draw && intoView) || handOver) {
        RenderInBands(viewParams, zoom, roll, bilinear, keepFlag, draw, clearAfter, handOver ? rowsDone : nullptr);
        return handOver;
    }
    if (draw)
        for (auto& face : m_faces) face->Render(viewParams, zoom, roll, bilinear, keepFlag);
    return false;
}

void CViewFaceList::RenderInBands(const CViewParams* viewParams, float zoom, float roll, bool bilinear,
                                  bool keepFlag, bool draw, bool clearAfter, const RowsDone* rowsDone)
{
    // Each face's place in the frame first, on this thread. A row then gets
    // the faces in list order, as when each face draws the whole frame in
    // turn, so every pixel ends with the same bytes; a band's rows are
    // drawn and cleared while they are in the cache, and the frame hands
    // its rows to the other threads once. A band is final after its
    // clearing: the caller gets it there, on the thread that drew it.
    if (clearAfter) {
        m_drawnRuns.resize(static_cast<size_t>(m_viewHeight));
        for (auto& runs : m_drawnRuns) runs.clear();
    }
    m_placed.clear();
    for (auto& face : m_faces) {
        PAIR_WALIGN_RR_PRMS2 prms{};
        if (!draw || !face->PlaceInView(viewParams, zoom, roll, prms) ||
            !face->BeginRegionRows(&prms, keepFlag, bilinear))
            continue;
        face->SetDrawnRuns(clearAfter ? &m_drawnRuns : nullptr);
        m_placed.push_back(face.get());
    }
    viewengine::ForEachRowBand(0, m_viewHeight - 1, int64_t{m_viewHeight} * m_viewWidth, [&](int first, int last) {
        for (CViewFace* face : m_placed) face->MapRegionRows(face->visiblePolygon, first, last);
        if (clearAfter) ClearUndrawnRows(first, last);
        if (rowsDone) (*rowsDone)(first, last);
    });
    for (CViewFace* face : m_placed) {
        face->SetDrawnRuns(nullptr);
        face->EndRegionRows();
    }
}

void CViewFaceList::ClearView()
{
    // Cleared in pieces side by side, like the rows drawn after it.
    unsigned char* data = m_viewImage->GetData();
    const size_t bytes = m_viewImage->GetDataSize();
    constexpr int kPieces = 64;
    viewengine::ForEachRowBand(0, kPieces - 1, static_cast<int64_t>(bytes / 3), [&](int first, int last) {
        const size_t from = bytes * static_cast<size_t>(first) / kPieces;
        const size_t to = bytes * static_cast<size_t>(last + 1) / kPieces;
        std::memset(data + from, 0, to - from);
    });
}

// Zeroes every byte of view rows first .. last that no face drew: the gaps
// between a row's drawn runs and the row's padding.
void CViewFaceList::ClearUndrawnRows(int first, int last)
{
    unsigned char* data = m_viewImage->GetData();
    const size_t rowBytes = static_cast<size_t>(m_viewImage->GetRowByte());
    const size_t pixelBytes = static_cast<size_t>(m_viewImage->GetChannels());
    last = std::min(last, static_cast<int>(m_drawnRuns.size()) - 1);
    for (int y = first; y <= last; ++y) {
        auto& runs = m_drawnRuns[static_cast<size_t>(y)];
        std::sort(runs.begin(), runs.end());
        unsigned char* row = data + static_cast<size_t>(y) * rowBytes;
        size_t next = 0;  // first byte not known to be drawn
        for (const auto& run : runs) {
            const size_t from = static_cast<size_t>(run.first) * pixelBytes;
            if (from > next) std::memset(row + next, 0, from - next);
            next = std::max(next, static_cast<size_t>(run.second + 1) * pixelBytes);
        }
        if (next < rowBytes) std::memset(row + next, 0, rowBytes - next);
    }
}

int CViewFaceList::ComputeExtent(const WorldMapBase* map, float& yawMin, float& yawMax, float& halfHeight,
                                 int& sectors, int& caps)
{
    int x0, y0, x1, y1, w, h;
    if (!map || map->GetWidth() < 4 || !map->GetDataArea(x0, y0, x1, y1, w, h)) return -1;
    const int width = map->GetWidth();
    const double rows = width / 2 + 1;
    const double topGap = y0 * 180.0 / rows, bottomGap = (rows - y1) * 180.0 / rows;
    const bool full = std::abs(width - w) < width / 12 && topGap < 10 && bottomGap < 10;
    if (full || (topGap <= 20 && bottomGap <= 20)) {
        yawMin = -kPiF;
        yawMax = kPiF;
        halfHeight = kHalfPiF;
        sectors = 4;
        caps = kViewCapTop | kViewCapBottom;
        return 1;
    }
    caps = 0;
    if (topGap > 20 && bottomGap > 20) {
        halfHeight = static_cast<float>((90 - std::min(topGap, bottomGap)) * kPi / 180);
    } else {
        halfHeight = kFanCapHalfHeight;
        caps = topGap > 20 ? kViewCapBottom : kViewCapTop;
    }
    const double perColumn = 2 * kPi / width;
    yawMin = static_cast<float>(x0 * perColumn - kPi);
    yawMax = static_cast<float>(yawMin + w * perColumn);
    // A panorama narrower than half a sector still gets one sector, of its
    // own width.
    sectors = std::max(1, Nearest(w * 12.0 / width));
    return 0;
}

bool CViewFaceList::AddRenderedFace(const WorldMapBase* map, int idx, int width, int height, float faceYaw,
                                    float facePitch, float upp, float fov)
{
    RefPtr<Image> image;
    for (auto& spare : m_spareImages) {
        if (spare && spare->GetWidth() == width && spare->GetHeight() == height) {
            image = std::move(spare);
            spare = RefPtr<Image>();
            break;
        }
    }
    if (!image) image = NewFaceImage(width, height);
    if (!image) {
        Logger::log("ERROR CViewFaceList::BuildFaces: cannot allocate a face of %d x %d", 1, width, height);
        return false;
    }
    if (!RenderFaceFromMap(map, image.get(), faceYaw, facePitch, 0.0f, fov, kRenderStep, true)) return false;
    auto face =
        std::unique_ptr<CViewFace>(new (std::nothrow) CViewFace(idx, image.get(), faceYaw, facePitch, 0.0f, upp));
    if (!face) return false;
    Append(std::move(face));
    return true;
}

bool CViewFaceList::BuildCube(const WorldMapBase* map, float scale)
{
    const int a = static_cast<int>(map->GetWidth() / (4 * scale) + 1);
    const int side = a + kFaceMargin;
    const float fov = static_cast<float>(2 * std::atan(double(side) / a));
    for (int idx : {0, 1, 2, 3, -1, -2}) {
        float faceYaw, facePitch;
        CViewFace::GetOrientation(idx, faceYaw, facePitch);
        if (!AddRenderedFace(map, idx, side, side, faceYaw, facePitch, 2.0f / a, fov)) return false;
    }
    return true;
}

bool CViewFaceList::BuildFaces(const WorldMapBase* map, float scale)
{
    float yawMin, yawMax, half;
    int sectors, caps;
    const int kind = ComputeExtent(map, yawMin, yawMax, half, sectors, caps);
    if (kind < 0) {
        Logger::log("ERROR CViewFaceList::BuildFaces: the map holds no data", 1);
        return false;
    }
    if (kind == 1) return BuildCube(map, scale);
    const int count = sectors + ((caps & kViewCapTop) ? 1 : 0) + ((caps & kViewCapBottom) ? 1 : 0);
    m_capacity = count;
    m_faces.reserve(static_cast<size_t>(count));
    const double p = 8.0 * scale / map->GetWidth();
    const double c = (double(yawMax) - yawMin) / sectors;
    const int width = 2 * Nearest(std::tan(c / 2) / p) + 1;
    const int height = 2 * Nearest(std::tan(double(half)) / (p * std::cos(c / 2))) + 1;
    const float sectorFov = static_cast<float>(2 * std::atan((width + kFaceMargin) * p / 2));
    for (int i = 0; i < sectors; ++i) {
        const float sectorYaw = static_cast<float>(yawMin + c / 2 + i * c);
        if (!AddRenderedFace(map, i, width + kFaceMargin, height + kFaceMargin, sectorYaw, 0.0f, float(p), sectorFov))
            return false;
    }
    const int cap = 2 * Nearest(std::tan(kPi / 2 - half) / p) + 1;
    const float capFov = static_cast<float>(2 * std::atan((cap + kFaceMargin) * p / 2));
    if ((caps & kViewCapTop) &&
        !AddRenderedFace(map, -1, cap + kFaceMargin, cap + kFaceMargin, 0.0f, -kHalfPiF, float(p), capFov))
        return false;
    if ((caps & kViewCapBottom) &&
        !AddRenderedFace(map, -2, cap + kFaceMargin, cap + kFaceMargin, 0.0f, kHalfPiF, float(p), capFov))
        return false;
    return true;
}

#if VIEWENGINE_FACE_STRIP
bool AddFaceStrip(CViewFaceList& list, Image* strip)
{
    if (!strip || !strip->GetData() || strip->GetDataType() != IMG_UINT8 || !strip->IsInterleaved()) return false;
    const int s = strip->GetHeight();
    const int channels = strip->GetChannels();
    if (s <= 10 || strip->GetWidth() < 6 * s) {
        Logger::log("ERROR AddFaceStrip: a strip of %d x %d is not six square faces", 1, strip->GetWidth(), s);
        return false;
    }
    for (int i = 0; i < 6; ++i) {
        RefPtr<Image> face = RefPtr<Image>::adopt(new (std::nothrow) Image(s, s, channels));
        if (!face || !face->GetData()) return false;
        for (int y = 0; y < s; ++y)
            std::memcpy(face->GetData() + static_cast<size_t>(y) * face->GetRowByte(),
                        strip->GetData() + static_cast<size_t>(y) * strip->GetRowByte() +
                            static_cast<size_t>(i) * s * channels,
                        static_cast<size_t>(s) * channels);
        ViewFaceOrientation o{2.0f / (s - 10), i < 4 ? i * kHalfPiF : 0.0f,
                              i < 4 ? 0.0f : (i == 4 ? -kHalfPiF : kHalfPiF), 0.0f};
        if (!list.AddFace(face.get(), &o)) return false;
    }
    return true;
}
#endif
