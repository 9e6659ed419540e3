// Edgematch's exported drivers of contour matching: the border distance map
// of a region tree, and the template shift maps that match the borders of a
// second tree against it, both shown in the debug windows. (The segment
// margins are measured by Regionkit as it builds a tree: seg_margins.h.)
#pragma once

class CRegTree;

// Builds the distance map of `level` with `cap`, shows it at (0, 0) and
// discards it; its result (false for a missing tree).
bool TestCCtDistMap(CRegTree* tree, int level, int cap);

// Matches the borders of tree2 (level2) against the distance map of tree1
// (level1, cap 10) under a synthetic pair: the second image panned by half
// of a 55-degree field of view. Negative levels count as 0. True unless a
// tree is missing.
bool TestCCtCCMaps(CRegTree* tree1, CRegTree* tree2, int level1, int level2);
