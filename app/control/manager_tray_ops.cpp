// The manager operations the image tray calls on pairs, and the recording
// stand-ins for the operations of packages still to come.
#include "app/control/super_manager.h"

#include "platform/panocore/pair_share_info.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

namespace {

// The pair's shared information when both links exist, else null.
IPairShareInfo* PairShare(ImageFrame* a, ImageFrame* b)
{
    if (!a || !b) return nullptr;
    Neighbor* forward = a->FindNeighbor(b);
    if (!forward || !b->FindNeighbor(a)) return nullptr;
    return forward->GetPairShareInfo();
}

}  // namespace

void SuperManager::SetPairBlendMode(ImageFrame* a, ImageFrame* b, uint8_t mode)
{
    if (IPairShareInfo* share = PairShare(a, b)) share->SetSeamCode(mode);
}

bool SuperManager::GetPairBlendMode(ImageFrame* a, ImageFrame* b, int* mode) const
{
    IPairShareInfo* share = PairShare(a, b);
    if (!share || !mode) return false;
    *mode = share->GetSeamCode() & 0xFF;
    return true;
}

void SuperManager::RecordDeferredCall(const char* name, ImageFrame* a, ImageFrame* b, int value)
{
    m_deferredCalls.push_back(DeferredCall{name, a, b, value});
}


