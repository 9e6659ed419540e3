// The perspective view's faces: a panorama is cut once into flat (gnomonic)
// face images, the six faces of a cube for a whole sphere or a fan of
// vertical sectors with optional caps for a partial panorama, and every
// frame maps the visible part of each face into the view image as a plane.
// The viewer program and the viewer control hold one CViewFaceList each.
#pragma once

#include "core/geometry_records.h"
#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "viewer/engine/poly_map_rr.h"
#include "viewer/engine/view_params.h"
#include "worldmap/world_map_base.h"

#include <functional>
#include <memory>
#include <vector>

// The viewer program reads six-face strips; the viewer control's build
// defines VIEWENGINE_NO_FACE_STRIP and has no AddFace.
#ifndef VIEWENGINE_NO_FACE_STRIP
#define VIEWENGINE_FACE_STRIP 1
#else
#define VIEWENGINE_FACE_STRIP 0
#endif

// The orientation of a face handed to AddFace.
struct ViewFaceOrientation {
    float unitsPerPixel;  // a face pixel on the tangent plane at unit distance
    float yaw;
    float pitch;
    float roll;
};

// Caps of a fan (ComputeExtent's caps output).
constexpr int kViewCapTop = 1;
constexpr int kViewCapBottom = 2;

class CViewFace : public virtual CPolyMapRR {
public:
    // Takes a reference on faceImage.
    CViewFace(int index, Image* faceImage, float yaw, float pitch, float roll, float unitsPerPixel);
    ~CViewFace();
    CViewFace(const CViewFace&) = delete;
    CViewFace& operator=(const CViewFace&) = delete;

    // Centre direction of a cube face: 0..3 the sides (yaw -pi/2, 0, pi/2,
    // pi), -1 the top, anything else the bottom.
    static void GetOrientation(int index, float& yaw, float& pitch);

    void BindView(Image* viewImage);
    // Maps the face's visible part into the bound view image; zoom is a
    // face pixel over a view pixel on the tangent plane, roll the view's.
    // False when the face is skipped (behind the viewer or outside the view).
    bool Render(const CViewParams* viewParams, float zoom, float roll, bool bilinear, bool keepFlag);

    int index;
    Image* faceImage;  // one reference held
    float roll, yaw, pitch;
    float unitsPerPixel;
    // The face's outline in view pixels from the last render; owned.
    gpc_polygon visiblePolygon{0, nullptr};

private:
    friend class CViewFaceList;
    // Where the face lies in this frame: its outline in view pixels
    // (visiblePolygon) and the pair record mapping it into the view. False
    // when the face is skipped (behind the viewer or outside the view).
    bool PlaceInView(const CViewParams* viewParams, float zoom, float roll, PAIR_WALIGN_RR_PRMS2& prms);
    bool MapToView(float rot1, float deviation, float rot2, float zoom);
    void FreeVisiblePolygon();

    int m_viewWidth = 0, m_viewHeight = 0;
};

class CViewFaceList {
public:
    CViewFaceList() = default;
    ~CViewFaceList();
    CViewFaceList(const CViewFaceList&) = delete;
    CViewFaceList& operator=(const CViewFaceList&) = delete;

    void DeleteFaces();
    // Cuts the map into faces at `scale` (1: the map's own resolution,
    // larger: smaller faces) and binds them to viewImage. False (no faces,
    // an ERROR line) for a map without data or a bad scale.
    bool Init(const WorldMapBase* map, float scale, Image* viewImage);
#if VIEWENGINE_FACE_STRIP
    // Appends a face made elsewhere; takes a reference on the image.
    bool AddFace(Image* faceImage, const ViewFaceOrientation* orientation);
#endif
    // Rebinds every face; takes a reference on the image, drops the old one.
    void SetViewImage(Image* image);
    // Renders the faces in order into the view image, zeroed first when
    // `clear`. With no faces or an empty view only the clearing is done.
    void Render(const CViewParams* viewParams, float hfov, float roll, bool bilinear, bool keepFlag, bool clear);
    // Called with view rows first .. last once they hold their bytes of the
    // frame, on the thread that drew them.
    using RowsDone = std::function<void(int first, int last)>;
    // Render band by band: each band of view rows is drawn by every face in
    // turn and cleared where none drew, then handed to rowsDone on the same
    // thread while it is fresh in that thread's cache; every row once. The
    // view's bytes are Render's. False, with no row handed over (the frame
    // rendered by Render), when the view has no pixels or a face draws
    // into something else than the view.
    bool Render(const CViewParams* viewParams, float hfov, float roll, bool bilinear, bool keepFlag, bool clear,
                const RowsDone& rowsDone);

    // The map's extent: 1 for a cube (yaw -pi..pi, 4 sectors, both caps), 0
    // for a fan of `sectors` between yawMin and yawMax with `halfHeight`
    // (radians) and the caps (kViewCap* bits); -1 for a map without data.
    static int ComputeExtent(const WorldMapBase* map, float& yawMin, float& yawMax, float& halfHeight, int& sectors,
                             int& caps);

    int GetCount() const { return static_cast<int>(m_faces.size()); }
    int GetCapacity() const { return m_capacity; }
    CViewFace* GetFace(int i) const { return m_faces[static_cast<size_t>(i)].get(); }
    Image* GetViewImage() const { return m_viewImage; }

private:
    bool BuildFaces(const WorldMapBase* map, float scale);
    bool BuildCube(const WorldMapBase* map, float scale);
    bool AddRenderedFace(const WorldMapBase* map, int index, int width, int height, float yaw, float pitch,
                         float unitsPerPixel, float fov);
    void Append(std::unique_ptr<CViewFace> face);
    // Both Renders; rowsDone null: no hand-over. True when rows were handed
    // over.
    bool RenderFrame(const CViewParams* viewParams, float hfov, float roll, bool bilinear, bool keepFlag, bool clear,
                     const RowsDone* rowsDone);
    void ClearView();
    // Draws the faces into the view in one job of row bands (each band face
    // after face, in list order; none unless `draw`), with clearAfter clears
    // what none drew, and hands each finished band to rowsDone (if any).
    void RenderInBands(const CViewParams* viewParams, float zoom, float roll, bool bilinear, bool keepFlag, bool draw,
                       bool clearAfter, const RowsDone* rowsDone);
    void ClearUndrawnRows(int first, int last);

    std::vector<std::unique_ptr<CViewFace>> m_faces;
    int m_capacity = 0;  // grows by 10 slots
    Image* m_viewImage = nullptr;  // one reference held
    int m_viewWidth = 0, m_viewHeight = 0;
    // The runs each view row got in the last cleared frame (kept for their
    // storage).
    CPolyMapRR::RowRuns m_drawnRuns;
    std::vector<CViewFace*> m_placed;  // the faces drawn in this frame (kept for its storage)
    // The previous cut's face images while Init cuts a new one.
    std::vector<RefPtr<Image>> m_spareImages;
};

#if VIEWENGINE_FACE_STRIP
// Cuts a horizontal strip of six square faces (the second kind of panorama:
// sides 0..3 at yaw 0, pi/2, pi, 3pi/2, then the top and the bottom) into
// the list, each with a margin of 5 pixels. False when the strip is not six
// squares wide or a face cannot be made.
bool AddFaceStrip(CViewFaceList& list, Image* strip);
#endif
