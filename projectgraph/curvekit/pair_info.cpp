#include "projectgraph/curvekit/pair_info.h"
#include "projectgraph/curvekit/marker.h"

#include <atomic>
#include <memory>
#include <vector>

namespace {

std::atomic<int> g_live{0};

class PairInfo final : public IPairInfo {
public:
    PairInfo() { ++g_live; }
    ~PairInfo() override
    {
        SetBlendPolygons(nullptr, nullptr);
        --g_live;
    }

    Marker* GetMarker(int) override { return m_markers.get(); }
    void SetMarker(Marker* markers) override
    {
        if (markers != m_markers.get()) m_markers.reset(markers);
    }
    float* GetIntensityPairs(int& count) override
    {
        count = static_cast<int>(m_pairs.size() / 6);
        return m_pairs.empty() ? nullptr : m_pairs.data();
    }
    void SetIntensityPairs(const float* entries, int count) override
    {
        if (!entries || count <= 0) {
            m_pairs.clear();
            return;
        }
        m_pairs.assign(entries, entries + static_cast<size_t>(count) * 6);
    }

    void SetBlendPolygons(CBlendPolygons* sides, void (*release)(CBlendPolygons*)) override
    {
        if (sides == m_blend) {
            m_release = release;
            return;
        }
        if (m_blend && m_release) m_release(m_blend);
        m_blend = sides;
        m_release = sides ? release : nullptr;
    }
    CBlendPolygons* GetBlendPolygons() override { return m_blend; }

private:
    std::unique_ptr<Marker> m_markers;
    CBlendPolygons* m_blend = nullptr;
    void (*m_release)(CBlendPolygons*) = nullptr;
    std::vector<float> m_pairs;
};

}  // namespace

IPairInfo* GetPairInfoInterface()
{
    return new PairInfo();
}

int GetPairInfoCount()
{
    return g_live.load();
}
