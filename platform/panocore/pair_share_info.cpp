#include "platform/panocore/pair_share_info.h"

#include <atomic>

namespace {

std::atomic<int> g_live{0};

class PairShareInfo final : public IPairShareInfo {
public:
    PairShareInfo() { ++g_live; }
    ~PairShareInfo() override { --g_live; }

    PAIR_WALIGN_RR_PRMS2* GetPairParams() override { return &m_params; }
    float GetOverlapH(int fromSettings) override { return fromSettings ? m_setting.overlapH : m_alignedH; }
    float GetOverlapV(int fromSettings) override { return fromSettings ? m_setting.overlapV : m_alignedV; }
    PAIR_ALIGN_INIT_SETTING* GetInitSetting() override { return &m_setting; }
    uint8_t GetSeamCode() override { return m_seamCode; }
    void SetOverlapH(float overlap) override { m_setting.overlapH = overlap; }
    void SetOverlapV(float overlap) override { m_setting.overlapV = overlap; }
    void SetAlignedOverlap(float horizontal, float vertical) override
    {
        m_alignedH = horizontal;
        m_alignedV = vertical;
    }
    void SetSeamCode(uint8_t code) override { m_seamCode = code; }

private:
    PAIR_WALIGN_RR_PRMS2 m_params{};
    PAIR_ALIGN_INIT_SETTING m_setting{};
    float m_alignedH = 0.0f;
    float m_alignedV = 0.0f;
    uint8_t m_seamCode = 0;
};

}  // namespace

IPairShareInfo* GetPairShareInfoInterface()
{
    return new PairShareInfo();
}

int GetPairShareInfoCount()
{
    return g_live.load();
}
