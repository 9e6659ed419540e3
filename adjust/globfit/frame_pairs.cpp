#include "adjust/globfit/frame_pairs.h"

#include "projectgraph/curvekit/marker.h"
#include "projectgraph/curvekit/pair_info.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>

namespace globfit {

bool IsFrameList(ImageGroup* group, const int* list, int count)
{
    bool valid = group && count >= 0 && (list || count == 0);
    for (int k = 0; valid && k < count; ++k) valid = group->GetImageFrame(list[k]) != nullptr;
    return valid;
}

std::vector<MarkerPair> CollectMarkerPairs(ImageGroup* group, const int* list, int count)
{
    std::vector<MarkerPair> pairs;
    if (!group) return pairs;
    for (int i = 0; i < count; ++i) {
        ImageFrame* a = group->GetImageFrame(list[i]);
        for (int j = i + 1; j < count; ++j) {
            ImageFrame* b = group->GetImageFrame(list[j]);
            if (!a->IsMergedPair(b)) continue;
            Marker* mine = nullptr;
            Marker* theirs = nullptr;
            if (!a->GetMarker(b, &mine, &theirs)) {
                IPairInfo* pa = nullptr;
                IPairInfo* pb = nullptr;
                mine = theirs = nullptr;
                if (a->GetPairInfo(b, &pa, &pb)) {
                    mine = pa->GetMarker(0);
                    theirs = pb->GetMarker(0);
                }
            }
            if (!mine || !theirs) continue;  // nothing ties this pair
            const int n = std::min(mine->GetNumbOfMarker(), theirs->GetNumbOfMarker());
            if (n <= 0 || !mine->GetMarker() || !theirs->GetMarker()) continue;
            pairs.push_back(MarkerPair{i, j, mine->GetMarker(), theirs->GetMarker(), n});
        }
    }
    return pairs;
}

}  // namespace globfit
