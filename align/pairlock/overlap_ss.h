// Overlap images of an image pair on the panorama sphere: both images
// projected with their placements onto a rectangular sphere map at a
// resolution set by the first image's focal length and a zoom, cut to the
// first image's foreground box; matched points of the two sphere images are
// carried back into the image planes. The multi-channel aligner's normal path.
#pragma once

#include "platform/mapproj/overlap_support.h"
#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "imaging/image.h"

#include <memory>

class KestovaFile;
class WorldMap;

// The map has m_samples samples around the equator; map column c (from the
// map centre) lies at longitude c 2 pi / m_samples and row r (from the
// equator, down positive) at latitude r 2 pi / m_samples. Image 1 sits at
// rest (pan, tilt, roll 0), image 2 where the pair transform puts it. The
// overlap images cover image 1's foreground box: overlap pixel (X, Y) is map
// column box.x0 + X, row box.y0 + Y.
class COverlapSS {
public:
    COverlapSS();
    ~COverlapSS();
    // Owns its maps, images and polygon.
    COverlapSS(const COverlapSS&) = delete;
    COverlapSS& operator=(const COverlapSS&) = delete;

    // Stores the pair, places both images, sets the map resolution
    // m_samples = zoom 2 pi f1 (a multiple of 4) and makes the overlap
    // images. The two integers and the bool have no effect. False, with no
    // overlap images, on unusable inputs (missing images, a focal length that
    // is not positive and finite, a resolution past what the maps and memory
    // hold) or when the overlap images cannot be made.
    bool MainOverlapSS(Image* img1, Image* img2, PAIR_WALIGN_RR_PRMS2* prms, float zoom, int, int, bool);

    // rs1: image 1 at rest (reciprocal focal length word 4, scale 1, word 10
    // = 1, everything else 0); rs2 derived from it by the pair. False when
    // the transform module refuses the pair.
    static bool PairWAlignToTransformRS(PAIR_WALIGN_RR_PRMS2* prms, TRANSFORM_RS* rs1, TRANSFORM_RS* rs2);

    // A new scene file (the caller deletes it) holding img projected by rs
    // onto a sphere of `samples` (rounded down to a multiple of 4) equator
    // samples; null when nothing projects.
    static KestovaFile* ComputeVantorFile(Image* img, int samples, TRANSFORM_RS* rs);

    // Makes both maps and overlap images for the stored placements; earlier
    // ones are released first (images, then maps).
    bool MakeOverlapImgs(Image* img1, Image* img2);
    // m_polygon = image 2's outline on the map, relative to `box` (map
    // columns and rows of the overlap images); a and b points along its
    // horizontal and vertical sides.
    bool MakeImg2FgPolygon(REGION* box, int a, int b);

    // pairs[0] (overlap image 1) and pairs[1] (overlap image 2) into image 1
    // and image 2, top-left pixel coordinates, in place. 1; 0 (ERROR line)
    // before overlap images exist.
    int PtPairsOverlapToRawFrames(POINT2* pairs[2], int n);

    Image* GetImgO1() const { return m_imgO1; }
    Image* GetImgO2() const { return m_imgO2; }
    gpc_polygon* GetPolygon() const { return m_polygon.get(); }
    REGION* GetOverlapBox() { return &m_overlapBox; }
    const REGION2& GetPolyBox() const { return m_polyBox; }
    const PAIR_WALIGN_RR_PRMS2& GetPrms() const { return m_prms; }
    float GetZoom() const { return m_zoom; }
    int GetSamples() const { return m_samples; }
    const TRANSFORM_RS& GetRS1() const { return m_rs1; }
    const TRANSFORM_RS& GetRS2() const { return m_rs2; }
    // Where the overlap images lie on the map (columns from the map centre,
    // rows from the equator).
    const REGION& GetMapBox() const { return m_mapBox; }

    // Largest equator sample count: the world maps' limit.
    static constexpr int kMaxSamples = 1 << 24;

private:
    void ReleaseOverlap();
    bool MakeOneMap(KestovaFile* file, const REGION& box, WorldMap** map, Image** image, const char* which);

    Image* m_img1 = nullptr;  // not owned
    Image* m_img2 = nullptr;
    PAIR_WALIGN_RR_PRMS2 m_prms{};
    float m_zoom = 1.0f;
    WorldMap* m_rwm_1 = nullptr;  // one reference each, dropped through the count
    WorldMap* m_rwm_2 = nullptr;
    Image* m_imgO1 = nullptr;     // the maps' samples; the images own the buffers
    Image* m_imgO2 = nullptr;
    int m_samples = 0;
    TRANSFORM_RS m_rs1{};
    TRANSFORM_RS m_rs2{};
    REGION m_overlapBox{};
    overlap::PolygonPtr m_polygon;
    REGION2 m_polyBox{};
    int m_originX = 0;
    int m_originY = 0;
    REGION m_mapBox{};
};
