#include "align/pairlock/channel_imgs.h"

#include "core/logger.h"

#include <new>

CChannelImgs::CChannelImgs() = default;

CChannelImgs::CChannelImgs(Image* a, Image* b, int mode, REGION* box) { InitPrms(a, b, mode, box); }

CChannelImgs::CChannelImgs(Image* a, Image* b, REGION* box) { InitPrms(a, b, kEdgeMode, box); }

CChannelImgs::~CChannelImgs() = default;

void CChannelImgs::FreeTables()
{
    for (auto& table : m_contrast) table.reset();
    m_indBestChannel.reset();
    m_numTmpl = 0;
}

int CChannelImgs::InitPrms(Image* a, Image* b, int mode, REGION* box)
{
    for (auto& set : m_cNCCImgs) set.reset();
    FreeTables();
    m_img1 = a;
    m_img2 = b;
    m_mode = mode;
    m_numChannels = mode == kEdgeMode ? 1 : 3;
    for (int ch = 0; ch < m_numChannels; ++ch) {
        const int failure = m_numChannels == 1 ? -1 : -2 - ch;
        auto set = std::unique_ptr<CNCCImgs>(new (std::nothrow) CNCCImgs());
        if (!set) {
            Logger::log("ERROR CChannelImgs::InitPrms: cannot allocate m_cNCCImgs[%d]()", 1, ch);
            return failure;
        }
        if (!set->InitPrms(a, b, m_numChannels == 1 ? 3 : ch, box)) {
            Logger::log("ERROR CChannelImgs::InitPrms: cannot make the images of m_cNCCImgs[%d]", 1, ch);
            return failure;
        }
        m_cNCCImgs[ch] = std::move(set);
    }
    return 0;
}

int CChannelImgs::MakeAvgImgs(int wd, int ht)
{
    if (m_numChannels < 1) return 0;
    // Every set must have its statistics: a missing one would be read later.
    int result = 1;
    for (int ch = 0; ch < m_numChannels; ++ch) {
        if (!m_cNCCImgs[ch] || !m_cNCCImgs[ch]->MakeAvgImgs(wd, ht)) result = 0;
    }
    return result;
}

void CChannelImgs::SetGridTmplInfo(int x0, int y0, int dx, int dy, int nx, int ny)
{
    FreeTables();
    m_x0Tmpl = x0;
    m_y0Tmpl = y0;
    m_dxTmpl = dx;
    m_dyTmpl = dy;
    m_nxTmpl = nx;
    m_nyTmpl = ny;
    if (nx < 1 || ny < 1 || m_numChannels < 1 || static_cast<long long>(nx) * ny > (1LL << 30)) return;
    const int num = nx * ny;
    m_indBestChannel.reset(new (std::nothrow) int[num]());
    bool ok = m_indBestChannel != nullptr;
    for (int ch = 0; ok && ch < m_numChannels; ++ch) {
        m_contrast[ch].reset(new (std::nothrow) float[num]());
        ok = m_contrast[ch] != nullptr;
    }
    if (!ok) {
        Logger::log("ERROR CChannelImgs::SetGridTmplInfo: cannot allocate the contrast tables: numTmpl=%d", 1, num);
        FreeTables();
        return;
    }
    m_numTmpl = num;
    for (int j = 0, k = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i, ++k) {
            POINT p{x0 + i * dx, y0 + j * dy};
            float best = -100000.0f;
            int bestCh = 0;
            for (int ch = 0; ch < m_numChannels; ++ch) {
                CNCCImgs* set = m_cNCCImgs[ch].get();
                float c = 0.0f;
                if (set) c = m_mode == kEdgeMode ? set->CalcOnePtContrast(&p) : set->CalcAreaContrast_GradXY(&p, 5.0f);
                m_contrast[ch][k] = c;
                if (c > best) {
                    best = c;
                    bestCh = ch;
                }
            }
            m_indBestChannel[k] = bestCh;
        }
    }
}

int CChannelImgs::GetIndBestTmplChannel(int ix, int iy)
{
    if (ix < 0 || ix >= m_nxTmpl || iy < 0 || iy >= m_nyTmpl) return 0;
    return GetIndBestTmplChannel(iy * m_nxTmpl + ix);
}

int CChannelImgs::GetIndBestTmplChannel(int k)
{
    if (m_numChannels <= 1 || !m_indBestChannel || k < 0 || k >= m_numTmpl) return 0;
    return m_indBestChannel[k];
}

bool CChannelImgs::CheckOneTmplMaxContrast(int ix, int iy, float thr)
{
    if (!m_indBestChannel || ix < 0 || ix >= m_nxTmpl || iy < 0 || iy >= m_nyTmpl) return false;
    const int k = iy * m_nxTmpl + ix;
    const int ch = GetIndBestTmplChannel(k);
    return m_contrast[ch] && m_contrast[ch][k] >= thr;
}

float CChannelImgs::GetTmplContrast(int ch, int k) const
{
    if (ch < 0 || ch >= m_numChannels || !m_contrast[ch] || k < 0 || k >= m_numTmpl) return 0.0f;
    return m_contrast[ch][k];
}

CNCCImgs* CChannelImgs::GetSet(int ch)
{
    if (ch < 0 || ch >= 3) return nullptr;
    return m_cNCCImgs[ch].get();
}

CNCCImgs* CChannelImgs::SetFor(int ch) { return m_numChannels == 1 ? m_cNCCImgs[0].get() : GetSet(ch); }

float* CChannelImgs::GetImgI1(int ch)
{
    CNCCImgs* set = SetFor(ch);
    return set ? set->GetImgI1() : nullptr;
}

float* CChannelImgs::GetImgI2(int ch)
{
    CNCCImgs* set = SetFor(ch);
    return set ? set->GetImgI2() : nullptr;
}

float* CChannelImgs::GetImgA1(int ch)
{
    CNCCImgs* set = GetSet(ch);
    return set ? set->GetImgA1() : nullptr;
}

float* CChannelImgs::GetImgA2(int ch)
{
    CNCCImgs* set = GetSet(ch);
    return set ? set->GetImgA2() : nullptr;
}

float* CChannelImgs::GetImgP1(int ch)
{
    CNCCImgs* set = GetSet(ch);
    return set ? set->GetImgP1() : nullptr;
}

float* CChannelImgs::GetImgP2(int ch)
{
    CNCCImgs* set = GetSet(ch);
    return set ? set->GetImgP2() : nullptr;
}

int CChannelImgs::GetNx() { return m_cNCCImgs[0] ? m_cNCCImgs[0]->GetNx() : 0; }

int CChannelImgs::GetNy() { return m_cNCCImgs[0] ? m_cNCCImgs[0]->GetNy() : 0; }

REGION* CChannelImgs::GetBoundBox_1() { return m_cNCCImgs[0] ? m_cNCCImgs[0]->GetBoundBox() : nullptr; }

int CChannelImgs::GetWdBox() { return m_cNCCImgs[0] ? m_cNCCImgs[0]->GetWdTmpl() : 0; }

int CChannelImgs::GetHtBox() { return m_cNCCImgs[0] ? m_cNCCImgs[0]->GetHtTmpl() : 0; }

void CChannelImgs::ShowChannelImages(int x, int y, int ch)
{
    if (CNCCImgs* set = SetFor(ch)) set->ShowChannelImages(x, y);
}
