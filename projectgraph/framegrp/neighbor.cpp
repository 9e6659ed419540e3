#include "projectgraph/framegrp/neighbor.h"

#include "projectgraph/curvekit/pair_info.h"
#include "platform/panocore/pair_share_info.h"
#include "projectgraph/curvekit/curve.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/curvekit/two_d_curves.h"

uint16_t Neighbor::m_linkCount = 0;
PAIR_ALIGN_INIT_SETTING Neighbor::m_pairAlignInitSetting = {0.4f, 0.0f, 0.1f, 0.1f, 0};

Neighbor::Neighbor(bool endFrame)
{
    m_linkIndex = static_cast<int16_t>(m_linkCount);
    if (endFrame) {
        m_state = kLinkEndFrame;
        return;
    }
    m_pairShareInfo = GetPairShareInfoInterface();
    *m_pairShareInfo->GetInitSetting() = m_pairAlignInitSetting;
    ++m_linkCount;
}

Neighbor::~Neighbor()
{
    delete m_markerFa;
    delete m_markers;
    delete m_fakeMarkers;
    delete m_pairInfo;
    if (!IsEndImageFrame()) {
        // The counter is 16 bits and may have been reset while links lived:
        // it never goes below 0.
        if (m_linkCount > 0) --m_linkCount;
        delete m_pairShareInfo;
    }
    delete m_curves;
}

void Neighbor::ResetLinkingCounter()
{
    m_linkCount = 0;
}

uint16_t Neighbor::GetLinkingCounter()
{
    return m_linkCount;
}

PAIR_ALIGN_INIT_SETTING* Neighbor::GetPairAlignInitSetting()
{
    return &m_pairAlignInitSetting;
}

Marker* Neighbor::AddMarker(short x, short y)
{
    if (!IsManualMarkerType()) {
        if (!m_fakeMarkers) m_fakeMarkers = new Marker(0);
        m_fakeMarkers->AppendMarker(x, y);
        return m_fakeMarkers;
    }
    if (!m_markers) m_markers = new Marker(0);
    m_markers->AppendMarker(static_cast<float>(x - m_offsetX), static_cast<float>(y - m_offsetY));
    return m_markers;
}

void Neighbor::AddCurve(Curve* curve)
{
    if (!curve) return;
    if (!m_curves) m_curves = new TwoDCurves();
    m_curves->AppendCurve(curve);
}

namespace {
void Replace(Marker*& held, Marker* markers)
{
    if (held == markers) return;
    delete held;
    held = markers;
}
}  // namespace

void Neighbor::SetMarkerFa(Marker* markers)
{
    Replace(m_markerFa, markers);
}

void Neighbor::SetMarkers(Marker* markers)
{
    Replace(m_markers, markers);
}

void Neighbor::SetFakeMarkers(Marker* markers)
{
    Replace(m_fakeMarkers, markers);
}

Marker* Neighbor::GetMarkers() const
{
    return IsManualMarkerType() ? m_markers : m_fakeMarkers;
}

Marker* Neighbor::GetMarkers(bool manual) const
{
    return manual ? m_markers : m_fakeMarkers;
}

int Neighbor::FindMarker(float x, float y, float r) const
{
    if (!m_markers) return -1;
    return m_markers->FindMarker(x - m_offsetX, y - m_offsetY, r);
}

void Neighbor::ActivateLink(Neighbor* reverse)
{
    Activate(true);
    if (reverse) reverse->Activate(true);
    if (IsEndImageFrame() && reverse) {
        SetAsStartFrame();
        reverse->SetAsEndFrame();
    }
    m_linkIndex = static_cast<int16_t>(m_linkCount);
    if (reverse) reverse->m_linkIndex = static_cast<int16_t>(m_linkCount);
    ++m_linkCount;
}

void Neighbor::SetPairShareInfo(IPairShareInfo* info)
{
    if (info == m_pairShareInfo) return;
    if (!IsEndImageFrame()) delete m_pairShareInfo;
    m_pairShareInfo = info;
}

void Neighbor::SetPairInfo(IPairInfo* info)
{
    if (info == m_pairInfo) return;
    delete m_pairInfo;
    m_pairInfo = info;
}

PAIR_ALIGN_INIT_SETTING* Neighbor::Setting() const
{
    return m_pairShareInfo ? m_pairShareInfo->GetInitSetting() : nullptr;
}

void Neighbor::UpdateDefaultOverlap()
{
    PAIR_ALIGN_INIT_SETTING* setting = Setting();
    if (!setting) return;
    m_pairShareInfo->SetOverlapH(m_pairAlignInitSetting.overlapH);
    setting->userSet &= ~1u;
}

void Neighbor::SetOverlapH(float overlap)
{
    PAIR_ALIGN_INIT_SETTING* setting = Setting();
    if (!setting) return;
    m_pairShareInfo->SetOverlapH(overlap);
    setting->userSet |= 1u;
}

void Neighbor::SetOverlapV(float overlap)
{
    PAIR_ALIGN_INIT_SETTING* setting = Setting();
    if (!setting) return;
    m_pairShareInfo->SetOverlapV(overlap);
    setting->userSet |= 1u;
}

float Neighbor::GetOverlapH() const
{
    const PAIR_ALIGN_INIT_SETTING* setting = Setting();
    return setting ? setting->overlapH : m_pairAlignInitSetting.overlapH;
}

float Neighbor::GetOverlapV() const
{
    const PAIR_ALIGN_INIT_SETTING* setting = Setting();
    return setting ? setting->overlapV : m_pairAlignInitSetting.overlapV;
}
