// The cube module's foreground/background model of one image pair: the
// background photograph is a pinhole camera at rest, the foreground one
// (facet 0) is turned against it; a perspective view port renders both into
// a given image, the foreground on top. The overlap view moves and turns the
// foreground and the view port by client pixels and radians and reads the
// pair's alignment back as the 9-word record.
//
// Frames: the background camera frame is the world frame (x right, y down,
// z forward); a camera ray of pixel (x, y) is ((x - w/2) r, (y - h/2) r, 1)
// with r the reciprocal focal length. The view port's focal length gives its
// angular range u across the render width.
#pragma once

#include "core/geometry_records.h"
#include "core/pair_align_records.h"
#include "core/win_types.h"

#include <vector>

class Image;

class CCubeFgBg {
public:
    CCubeFgBg();
    ~CCubeFgBg();
    CCubeFgBg(const CCubeFgBg&) = delete;
    CCubeFgBg& operator=(const CCubeFgBg&) = delete;

    // The render target (8-bit, 1 or 3 channels), not owned; the model keeps
    // its own reference while it holds it.
    void ChangeImgO(Image* target);
    // The pair: `record` maps foreground rays into background rays (words 4
    // and 5 the reciprocal focal lengths, 6 to 8 the angles). The view port
    // looks halfway between the two images. False (ERROR line) for missing
    // images or a record without positive focal lengths.
    bool Pair_AddFgBg(Image* fg, Image* bg, const PAIR_WALIGN_RR_PRMS2* record);
    // The model's alignment as a record (reserved words 0).
    void Pair_GetAlignPrms2(PAIR_WALIGN_RR_PRMS2* record) const;
    // Matching points of the two images: a grid over the foreground's part
    // that falls on the background, in image pixels from each top-left.
    void Pair_MakeFakeMarkers(std::vector<POINT2>& fg, std::vector<POINT2>& bg) const;
    // The share of the foreground image that lies on the background (0..1);
    // the argument is accepted and not used.
    float GetOverlapAreaPC(int unused) const;

    // Renders the view port into the target; the flags are accepted and not
    // used. False without a target or a pair.
    bool RenderViewPort(int mode, bool a, bool b, bool c, bool d);
    // Foreground moves: a shift by client pixels (the picture under the
    // pointer follows it), a turn about the anchor's ray (radians).
    void ChangeFacet0Fg_shift(int dx, int dy, bool render);
    void ChangeFacet0Fg_rot(float angle, bool render);
    // View port moves: a shift by client pixels, a turn about its axis, its
    // angular range across the render width (radians).
    void ChangeViewPort_shift(int dx, int dy, bool render);
    void ChangeViewPort_rot(float angle, bool render);
    void ChangeViewPort_uRange(float u, bool render);
    float GetViewPort_uRange() const { return m_u; }

    bool IsPointInFg(POINT client) const;
    // The pixel of the foreground (fg) or background image that the view
    // port shows at a client point; false where that image does not reach.
    bool ClientToImage(double x, double y, bool fg, double& ix, double& iy) const;
    // The foreground's turning anchor, kept on the foreground image.
    POINT GetRotAnchorPt_Fg0() const;
    void SetRotAnchorPt_Fg0(POINT client);

private:
    struct Mat {
        double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    };
    double ViewFocal() const;
    // World ray of a client point, and the client point of a world ray.
    void ClientRay(double x, double y, double ray[3]) const;
    bool RayToClient(const double ray[3], double& x, double& y) const;
    // Image pixel of a world ray in the foreground (fg true) or background.
    bool RayToImage(const double ray[3], bool fg, double& x, double& y) const;
    void ImageRay(double x, double y, bool fg, double ray[3]) const;
    void Rotate(Mat& target, const double axis[3], double angle, bool before);

    Image* m_target = nullptr;  // a reference held
    Image* m_fg = nullptr;      // references held
    Image* m_bg = nullptr;
    double m_rcpFg = 0.0, m_rcpBg = 0.0;
    Mat m_fgToWorld;            // foreground camera rays -> world rays
    Mat m_view;                 // view port rays -> world rays
    float m_u = 1.3f;
    double m_anchor[2] = {0, 0};  // foreground image pixels
};
