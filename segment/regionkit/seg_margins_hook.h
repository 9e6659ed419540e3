// How a region tree reaches the segment-margin measurement that ends its
// construction. The measurement (CalcAllSegMargins) lives in Edgematch, and
// Edgematch links Regionkit for the tree it measures; a shared library
// cannot link back to one that links it. So Regionkit holds this one hook,
// and Edgematch sets it to CalcAllSegMargins when it is loaded. A program
// that links Edgematch (or loads it) gets margins on every tree it builds;
// one that links Regionkit alone builds trees whose borders have none.
#pragma once

class CRegTree;
class Image;

// Margins of every border of `tree` from `image`: a band a .. a + b - 1
// pixels off the border on level c, levels c + 1 .. d from their sons.
using SegMarginsFn = bool (*)(Image* image, CRegTree* tree, int a, int b, int c, int d);

// Installs the calculator (null removes it); returns the one it replaced.
SegMarginsFn SetSegMarginsCalculator(SegMarginsFn fn);
SegMarginsFn GetSegMarginsCalculator();
