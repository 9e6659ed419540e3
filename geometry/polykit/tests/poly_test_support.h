// Shared fixtures of the Polykit tests: owned polygons, seeded random
// polygons of several kinds, even-odd membership and the Clipper oracle.
#pragma once

#include "core/geometry_records.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace polytest {

using Contour = std::vector<POINT2>;
using Contours = std::vector<Contour>;

// A gpc_polygon that owns its arrays through the Polykit free operation.
class Poly {
public:
    Poly() = default;
    explicit Poly(const Contours& contours);
    ~Poly();
    Poly(const Poly&) = delete;
    Poly& operator=(const Poly&) = delete;
    gpc_polygon* get() { return &m_p; }
    const gpc_polygon& operator*() const { return m_p; }
    const gpc_polygon* operator->() const { return &m_p; }

private:
    gpc_polygon m_p{0, nullptr};
};

Contours ToContours(const gpc_polygon& p);

// Random polygon families for the differential tests.
enum class Kind { Convex, Concave, SelfIntersecting, WithHole, Grid, NearHorizontal };
const char* KindName(Kind kind);
Contours RandomPolygon(std::mt19937& rng, Kind kind, int vertices = 10);

// Even-odd inside test over all contours, and the distance from a point to
// the nearest edge of any contour.
bool InsideEvenOdd(const Contours& p, double x, double y);
double DistanceToEdges(const Contours& p, double x, double y);

// Signed shoelace area of one contour.
double SignedArea(const Contour& c);

// Clipper oracle (even-odd fill, coordinates scaled to integers) and the
// area of its result (its paths carry orientation: holes count negative).
Contours ClipperClip(gpc_op op, const Contours& subject, const Contours& clip);
double ClipperArea(gpc_op op, const Contours& subject, const Contours& clip);

// Exact even-odd area by slabs: the plane is cut at every vertex height and
// every height where two edges cross; inside a slab no edges cross, so the
// inside parts are trapezoids between neighbouring edges.
double EvenOddArea(const Contours& p);
// The same for subject op clip, straight from the inputs.
double ExpectedArea(gpc_op op, const Contours& subject, const Contours& clip);

// Expected even-odd membership of a point in subject op clip.
bool ExpectedInside(gpc_op op, bool inSubject, bool inClip);

std::string Describe(const Contours& p);

}  // namespace polytest
