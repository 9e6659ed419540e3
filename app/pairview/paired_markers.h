// Marker i of one image pairs with marker i of the other: erasing a marker
// of the pair view erases the marker of the same index in the partner set.
#pragma once

class Neighbor;

// Deletes the manual marker of `active` within `tolerance` content pixels of
// (x, y) (image pixels of the active image) and the marker with the same
// index in `partner`'s manual set when that set holds one; both links are
// marked changed. Returns the deleted index, or -1 when no marker was hit.
int ErasePairedMarker(Neighbor* active, Neighbor* partner, float x, float y, float tolerance);
