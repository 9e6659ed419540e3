// Fixtures and checks shared by the region tree and contour matching tests:
// float images drawn from character maps, random and real test images, and
// a checker of every structural invariant of a built tree against the pixels.
#pragma once

#include "imaging/image.h"
#include "segment/regionkit/reg_tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace treetest {

// A one-channel float image, one character per pixel; `value` gives each
// character's sample (default: the character code).
Image* CharImage(const std::vector<std::string>& rows, const std::map<char, float>& value = {});

// A float image of `channels` channels (planar when asked) filled by f(x, y, c).
Image* FloatImage(int w, int h, int channels, bool planar, const std::function<float(int, int, int)>& f);

// Random piecewise-smooth float image: noise over a few flat patches, so
// that merging has real choices to make.
Image* RandomImage(int w, int h, int channels, uint32_t seed);

// A w x h window at (x0, y0) of a JPEG file of the shared test data as a
// 3-channel planar float image on 0..255; null when it cannot be read.
Image* PhotoWindow(const std::string& relative, int x0, int y0, int w, int h);

// A built tree that holds `image` (its own reference is dropped).
struct BuiltTree {
    BuiltTree(Image* image, int finest, int coarsest, int levels);
    ~BuiltTree();
    BuiltTree(const BuiltTree&) = delete;
    BuiltTree& operator=(const BuiltTree&) = delete;
    CRegTree* tree;
    bool built;
};

// Corner and pixel geometry.
inline int CornerX(const CRegTree& t, int c)
{
    int w, h;
    t.GetDimension(w, h);
    return c % (w + 1);
}
inline int CornerY(const CRegTree& t, int c)
{
    int w, h;
    t.GetDimension(w, h);
    return c / (w + 1);
}

// The borders of one level, in the tree's order.
std::vector<BorderSegment*> Borders(CRegTree* tree, int level);

// The corner points of a border (through its sons).
std::vector<int> BorderPoints(BorderSegment* b);

// Every invariant of a built tree:
// - per level, region areas sum to W H; level-0 pixel lists partition the
//   image in raster order, agree with GetRegion, and each region is
//   4-connected; a coarser region is the union of its sons;
// - finest borders are chains of unit lattice steps whose crack sides lie in
//   their two regions, and together they cover every crack exactly once;
// - junction positions are the end points of their borders, hold exactly the
//   border ends that meet there, and sit on corners of 3 or 4 cracks; null
//   ends lie on the image edge or close a loop;
// - every coarser border chains its sons end to end in the direction that
//   m_forward states, between its own junctions, and separates the parents
//   of its sons' regions; finer borders have a parent exactly when their
//   regions' parents differ.
::testing::AssertionResult CheckTree(CRegTree& tree);

}  // namespace treetest
