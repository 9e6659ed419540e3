#include "app/pairview/paired_markers.h"

#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/neighbor.h"

int ErasePairedMarker(Neighbor* active, Neighbor* partner, float x, float y, float tolerance)
{
    if (active == nullptr) {
        Logger::log("ERROR ErasePairedMarker no active link", 1);
        return -1;
    }
    Marker* mine = active->GetMarkers(true);
    if (mine == nullptr) return -1;
    const int index = mine->FindMarker(x, y, tolerance);
    if (index < 0 || index >= mine->GetNumbOfMarker()) return -1;
    mine->DeleteMarker(index);
    active->SetMakerState(true);
    if (partner != nullptr) {
        Marker* theirs = partner->GetMarkers(true);
        // A shorter partner set has no marker of that index: only the first
        // one goes.
        if (theirs != nullptr && index < theirs->GetNumbOfMarker()) theirs->DeleteMarker(index);
        partner->SetMakerState(true);
    }
    return index;
}
