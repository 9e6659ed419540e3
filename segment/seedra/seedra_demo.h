// Seedra's exported demonstrations of the region grower, and the conversion
// of a byte map into a viewable image that they use.
#pragma once

class Image;

// Distance map of a vertical line seed over a 200 x 250 area.
void TestSeedGrow();
// Distance map from the intersection segments of two overlapping squares.
void TestPolySegGrow();

// A new 3-channel 8-bit w x h image: values <= lo black, >= hi white, grey
// (v - lo) * 255 / (hi - lo) between. Equal limits divide nothing: values up
// to them are black, the rest white. Null for a null map or a bad size.
Image* ByteMapToImage(const unsigned char* map, int w, int h, unsigned char lo, unsigned char hi);
