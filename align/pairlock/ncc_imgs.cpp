#include "align/pairlock/ncc_imgs.h"

#include "align/pairlock/box_filter.h"
#include "imaging/image.h"
#include "geometry/fftkit/convolver.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace {

// Damping of low-contrast positions: below kProdFloor the map is 0, up to
// kProdFull the value is scaled down by sqrt(prod) / kProdFull instead of
// being normalised, so that flat areas cannot produce strong peaks.
constexpr double kProdFull = 50000.0;
constexpr double kProdFloor = 100.0;

std::unique_ptr<float[]> NewFloats(size_t n) { return std::unique_ptr<float[]>(new (std::nothrow) float[n]()); }

int PositiveMod(int v, int m)
{
    const int r = v % m;
    return r < 0 ? r + m : r;
}

}  // namespace

CNCCImgs::CNCCImgs() = default;

CNCCImgs::CNCCImgs(Image* img1, Image* img2, int channel, REGION* box) { InitPrms(img1, img2, channel, box); }

CNCCImgs::CNCCImgs(Image* img1, Image* img2, REGION* box) { InitPrms(img1, img2, 3, box); }

CNCCImgs::~CNCCImgs() = default;

int CNCCImgs::InitPrms(Image* img1, Image* img2, int channel, REGION* box)
{
    m_imgI1.reset();
    m_imgI2.reset();
    m_imgA1.reset();
    m_imgA2.reset();
    m_imgP1.reset();
    m_imgP2.reset();
    m_wdTmpl = m_htTmpl = 0;
    m_img1 = img1;
    m_img2 = img2;
    m_channel = channel;
    m_nx = m_ny = 0;
    m_boundBox = REGION{};
    if (!img1 || !img2) {
        Logger::log("ERROR CNCCImgs::InitPrms: missing image (%p %p)", 1, static_cast<void*>(img1),
                    static_cast<void*>(img2));
        return 0;
    }
    if (img1->GetWidth() != img2->GetWidth() || img1->GetHeight() != img2->GetHeight() || img1->GetWidth() < 1 ||
        img1->GetHeight() < 1) {
        Logger::log("ERROR CNCCImgs::InitPrms: image sizes differ: %dx%d and %dx%d", 1, img1->GetWidth(),
                    img1->GetHeight(), img2->GetWidth(), img2->GetHeight());
        return 0;
    }
    m_nx = img1->GetWidth();
    m_ny = img1->GetHeight();
    if (box) {
        // Only the part inside the image can be searched.
        m_boundBox.x0 = std::max(box->x0, 0);
        m_boundBox.y0 = std::max(box->y0, 0);
        m_boundBox.x1 = std::min(box->x1, m_nx - 1);
        m_boundBox.y1 = std::min(box->y1, m_ny - 1);
        m_boundBox.width = m_boundBox.x1 - m_boundBox.x0 + 1;
        m_boundBox.height = m_boundBox.y1 - m_boundBox.y0 + 1;
    } else {
        m_boundBox = REGION{0, 0, m_nx - 1, m_ny - 1, m_nx, m_ny};
    }
    MakeChannelImages();
    return m_imgI1 && m_imgI2 ? 1 : 0;
}

void CNCCImgs::MakeChannelImages()
{
    if (!m_img1 || !m_img2) return;
    if (m_channel >= 3) {
        m_imgI1.reset(RGBtoEdgeMap(m_img1));
        m_imgI2.reset(RGBtoEdgeMap(m_img2));
    } else {
        m_imgI1.reset(m_img1->ToChannelArray(m_channel));
        m_imgI2.reset(m_img2->ToChannelArray(m_channel));
    }
}

int CNCCImgs::MakeAvgImgs(int wd, int ht)
{
    m_wdTmpl = wd;
    m_htTmpl = ht;
    if (!m_imgI1 || !m_imgI2) {
        Logger::log("ERROR CNCCImgs::MakeAvgImgs: no channel images", 1);
        return 0;
    }
    const size_t nxy = static_cast<size_t>(m_nx) * static_cast<size_t>(m_ny);
    // Zero-filled: a window the filter refuses leaves zero statistics, which
    // make every map value 0 rather than garbage.
    m_imgA1 = NewFloats(nxy);
    if (!m_imgA1) {
        Logger::log("ERROR CNCCImgs::MakeAvgImgs: cannot allocate m_imgA1: nxy=%zu", 1, nxy);
        return 0;
    }
    m_imgA2 = NewFloats(nxy);
    if (!m_imgA2) {
        Logger::log("ERROR CNCCImgs::MakeAvgImgs: cannot allocate m_imgA2: nxy=%zu", 1, nxy);
        return 0;
    }
    FBoxLowPass(m_imgI1.get(), m_imgA1.get(), m_nx, m_ny, wd, ht, 1.0f);
    FBoxLowPass(m_imgI2.get(), m_imgA2.get(), m_nx, m_ny, wd, ht, 1.0f);
    m_imgP1 = NewFloats(nxy);
    if (!m_imgP1) {
        Logger::log("ERROR CNCCImgs::MakeAvgImgs: cannot allocate m_imgP1: nxy=%zu", 1, nxy);
        return 0;
    }
    m_imgP2 = NewFloats(nxy);
    if (!m_imgP2) {
        Logger::log("ERROR CNCCImgs::MakeAvgImgs: cannot allocate m_imgP2: nxy=%zu", 1, nxy);
        return 0;
    }
    ArrayPixelSq(m_imgI1.get(), m_imgP1.get(), static_cast<int>(std::min<size_t>(nxy, INT32_MAX)));
    ArrayPixelSq(m_imgI2.get(), m_imgP2.get(), static_cast<int>(std::min<size_t>(nxy, INT32_MAX)));
    if (!FBoxLowPass(m_imgP1.get(), m_imgP1.get(), m_nx, m_ny, wd, ht, 1.0f))
        std::fill(m_imgP1.get(), m_imgP1.get() + nxy, 0.0f);
    if (!FBoxLowPass(m_imgP2.get(), m_imgP2.get(), m_nx, m_ny, wd, ht, 1.0f))
        std::fill(m_imgP2.get(), m_imgP2.get() + nxy, 0.0f);
    return 1;
}

float CNCCImgs::At(const float* a, int nx, int ny, int x, int y)
{
    if (!a || x < 0 || y < 0 || x >= nx || y >= ny) return 0.0f;
    return a[static_cast<size_t>(y) * static_cast<size_t>(nx) + static_cast<size_t>(x)];
}

float* CNCCImgs::CalcNCCMap(float* corr, int nx, int ny, POINT* half, POINT* centre, REGION* search, float* minOut,
                            float* maxOut, POINT* peakOut)
{
    if (!corr || !half || !centre || !search || !minOut || !maxOut || !peakOut || nx < 1 || ny < 1) {
        Logger::log("ERROR CNCCImgs::CalcNCCMap: bad arguments", 1);
        return nullptr;
    }
    const REGION s = *search;
    if (s.x0 < 0 || s.y0 < 0 || s.x1 >= nx || s.y1 >= ny || s.x1 < s.x0 || s.y1 < s.y0 ||
        s.width != s.x1 - s.x0 + 1 || s.height != s.y1 - s.y0 + 1) {
        Logger::log("ERROR CNCCImgs::CalcNCCMap: search region (%d %d %d %d) outside the %dx%d window", 1, s.x0, s.y0,
                    s.x1, s.y1, nx, ny);
        return nullptr;
    }
    if (!m_imgA1 || !m_imgA2 || !m_imgP1 || !m_imgP2) {
        Logger::log("ERROR CNCCImgs::CalcNCCMap: no local statistics", 1);
        return nullptr;
    }
    // The correlator scales its sums by nx*ny/4; dividing by the template's
    // sample count as well turns them into a mean of products. The template
    // is the odd box of the statistics (an even size counts one more). 64
    // bits: a 96 x 96 template in a 512 x 512 window overflows 32.
    const int64_t n = int64_t{2 * (m_wdTmpl / 2) + 1} * (2 * (m_htTmpl / 2) + 1) * nx * ny / 4;
    if (m_wdTmpl < 1 || m_htTmpl < 1 || n <= 0) {
        Logger::log("ERROR CNCCImgs::CalcNCCMap: empty template %dx%d", 1, m_wdTmpl, m_htTmpl);
        return nullptr;
    }
    const size_t nRegion = static_cast<size_t>(s.width) * static_cast<size_t>(s.height);
    float* map = new (std::nothrow) float[nRegion];
    if (!map) {
        Logger::log("ERROR CNCCImgs::CalcNCCMap: cannot allocate nccMap: nRegion=%zu", 1, nRegion);
        return nullptr;
    }
    const double mT = At(m_imgA2.get(), m_nx, m_ny, centre->x, centre->y);
    const double vT = At(m_imgP2.get(), m_nx, m_ny, centre->x, centre->y) - mT * mT;
    const double invN = 1.0 / static_cast<double>(n);

    float maxV = -10000.0f;
    float minV = 10000.0f;
    int xMax = s.x0;
    int yMax = s.y0;
    float* out = map;
    for (int y = s.y0; y <= s.y1; ++y) {
        const int py = centre->y + y - half->y;
        const float* c = corr + static_cast<size_t>(y) * static_cast<size_t>(nx);
        for (int x = s.x0; x <= s.x1; ++x) {
            const int px = centre->x + x - half->x;
            const double m1 = At(m_imgA1.get(), m_nx, m_ny, px, py);
            const double prod = (At(m_imgP1.get(), m_nx, m_ny, px, py) - m1 * m1) * vT;
            const double cov = c[x] * invN - mT * m1;
            double value = 0.0;
            if (prod > kProdFull)
                value = cov / std::sqrt(prod);
            else if (prod > kProdFloor)
                value = cov * std::sqrt(prod) / kProdFull;
            const float v = static_cast<float>(value);
            *out++ = v;
            if (v > maxV) {
                maxV = v;
                xMax = x;
                yMax = y;
            }
            if (v < minV) minV = v;
        }
    }
    *minOut = minV;
    *maxOut = maxV;
    peakOut->x = xMax - half->x;
    peakOut->y = yMax - half->y;
    return map;
}

float CNCCImgs::CalcAreaContrast_GradXY(POINT* pt, float /*unused*/)
{
    if (!pt || !m_imgI2 || m_wdTmpl < 1 || m_htTmpl < 1) return 0.0f;
    const float* i2 = m_imgI2.get();
    const int x0 = pt->x - m_wdTmpl / 2 - 1;
    const int y0 = pt->y - m_htTmpl / 2 - 1;
    double sum = 0.0;
    for (int y = y0; y < y0 + m_htTmpl; ++y) {
        for (int x = x0; x < x0 + m_wdTmpl; ++x) {
            const float s = At(i2, m_nx, m_ny, x, y);
            if (s == 0.0f) continue;  // no data
            const float r = At(i2, m_nx, m_ny, x + 2, y);
            if (r > 0.0f) sum += static_cast<double>(r - s) * (r - s);
            const float b = At(i2, m_nx, m_ny, x, y + 2);
            if (b > 0.0f) sum += static_cast<double>(b - s) * (b - s);
        }
    }
    // Brighter areas need more gradient to count as much contrast.
    const double weight = 300.0 / (At(m_imgA2.get(), m_nx, m_ny, pt->x, pt->y) + 100.0);
    return static_cast<float>(weight * sum / (2.0 * m_wdTmpl * m_htTmpl));
}

float CNCCImgs::CalcOnePtAvg(POINT* pt)
{
    if (!pt) return 0.0f;
    return At(m_imgA2.get(), m_nx, m_ny, pt->x, pt->y);
}

float CNCCImgs::CalcOnePtContrast(POINT* pt)
{
    if (!pt) return 0.0f;
    const float m = At(m_imgA2.get(), m_nx, m_ny, pt->x, pt->y);
    return At(m_imgP2.get(), m_nx, m_ny, pt->x, pt->y) - m * m;
}

bool CNCCImgs::CheckOnePtContrast(POINT* pt, float thr)
{
    if (m_channel < 3) return CalcAreaContrast_GradXY(pt, 5.0f) >= thr;
    return CalcOnePtContrast(pt) >= thr;
}

float* CNCCImgs::RGBtoEdgeMap(Image* img)
{
    if (!img || !img->GetData() || img->GetWidth() < 1 || img->GetHeight() < 1) return nullptr;
    if (img->GetDataType() != IMG_UINT8) {
        Logger::log("ERROR CNCCImgs::RGBtoEdgeMap: only 8-bit images (type %d)", 1, img->GetDataType());
        return nullptr;
    }
    const int w = img->GetWidth();
    const int h = img->GetHeight();
    const int channels = std::max(img->GetChannels(), 1);
    const size_t nxy = static_cast<size_t>(w) * static_cast<size_t>(h);
    float* edge = new (std::nothrow) float[nxy]();
    if (!edge) {
        Logger::log("ERROR CNCCImgs::RGBtoEdgeMap: cannot allocate edge map: nxy=%zu", 1, nxy);
        return nullptr;
    }
    const size_t step = static_cast<size_t>(img->GetPixelBytes());
    const size_t rowBytes = static_cast<size_t>(img->GetRowByte());
    const unsigned char* plane[4] = {};
    for (int c = 0; c < channels; ++c) plane[c] = img->GetData(c);
    // The channel count as a constant lets the compiler unroll the sum.
    auto edges = [&](auto channelCount) {
        constexpr int n = decltype(channelCount)::value;
        for (int y = 0; y + 1 < h; ++y) {
            const size_t row = static_cast<size_t>(y) * rowBytes;
            const unsigned char* here0 = plane[0] + row;
            float* out = edge + static_cast<size_t>(y) * static_cast<size_t>(w);
            for (int x = 0; x + 1 < w; ++x) {
                const size_t at = static_cast<size_t>(x) * step;
                if (here0[at] == 0 || here0[at + step] == 0 || here0[at + rowBytes] == 0) continue;
                int sum = 0;
                for (int c = 0; c < n; ++c) {
                    const unsigned char* p = plane[c] + row + at;
                    sum += std::abs(p[step] - p[0]) + std::abs(p[rowBytes] - p[0]);
                }
                out[x] = static_cast<float>(sum);
            }
        }
    };
    switch (channels) {
    case 1: edges(std::integral_constant<int, 1>{}); break;
    case 2: edges(std::integral_constant<int, 2>{}); break;
    default: edges(std::integral_constant<int, 3>{}); break;
    }
    return edge;
}

void CNCCImgs::ArrayPixelSq(float* src, float* dst, int n)
{
    if (!src || !dst) return;
    for (int i = 0; i < n; ++i) dst[i] = src[i] * src[i];
}

int CNCCImgs::BoxAvg(float* src, float* dst, int nx, int ny, int wd, int ht)
{
    if (!src || !dst || nx < 1 || ny < 1 || wd < 1 || ht < 1) return 0;
    const size_t nxy = static_cast<size_t>(nx) * static_cast<size_t>(ny);
    std::unique_ptr<float[]> imgFT = NewFloats(nxy);
    if (!imgFT) {
        Logger::log("ERROR CNCCImgs::BoxAvg: cannot allocate imgFT: nxy=%zu", 1, nxy);
        return 0;
    }
    std::memcpy(imgFT.get(), src, nxy * sizeof(float));
    Convolver convolver(nx, ny);
    if (!convolver.IsValid()) return 0;
    convolver.Transform(imgFT.get());
    std::fill(dst, dst + nxy, 0.0f);
    for (int j = 1 - ht / 2; j <= ht / 2; ++j)
        for (int i = 1 - wd / 2; i <= wd / 2; ++i)
            dst[static_cast<size_t>(PositiveMod(j, ny)) * nx + static_cast<size_t>(PositiveMod(i, nx))] = 1.0f;
    convolver.ConvolveInv(imgFT.get(), dst);
    const int64_t divisor = int64_t{wd} * ht * nx * ny / 4;
    if (divisor <= 0) return 0;
    for (size_t i = 0; i < nxy; ++i) dst[i] = static_cast<float>(dst[i] / static_cast<double>(divisor));
    return 1;
}

void CNCCImgs::ShowChannelImages(int x, int y)
{
    if (!GetDebugDispFlag() || !m_imgI1 || !m_imgI2) return;
    if (Image* a = FloatArrayToImage(m_imgI1.get(), m_nx, m_ny, 0.0f, 255.0f)) {
        DisplayImageWin2(a, nullptr, x, y);
        ReleaseImage(a);
    }
    if (Image* b = FloatArrayToImage(m_imgI2.get(), m_nx, m_ny, 0.0f, 255.0f)) {
        DisplayImageWin2(b, nullptr, x + m_nx + 1, y);
        ReleaseImage(b);
    }
}

Image* FloatArrayToImage(float* a, int nx, int ny, float lo, float hi)
{
    if (!a || nx < 1 || ny < 1) return nullptr;
    auto* img = new (std::nothrow) Image(nx, ny);
    if (!img) return nullptr;
    if (!img->GetData()) {
        ReleaseImage(img);
        return nullptr;
    }
    const size_t step = static_cast<size_t>(img->GetPixelBytes());
    const size_t rowBytes = static_cast<size_t>(img->GetRowByte());
    const double range = static_cast<double>(hi) - lo;
    for (int y = 0; y < ny; ++y) {
        unsigned char* row = img->GetData() + static_cast<size_t>(y) * rowBytes;
        const float* in = a + static_cast<size_t>(y) * static_cast<size_t>(nx);
        for (int x = 0; x < nx; ++x) {
            const float v = in[x];
            unsigned char g = 0;
            if (v >= hi)
                g = 255;  // also every value at the limit when lo = hi
            else if (v > lo && range > 0.0)
                g = static_cast<unsigned char>(std::min(255.0, (v - lo) * 255.0 / range));
            unsigned char* p = row + static_cast<size_t>(x) * step;
            p[0] = p[1] = p[2] = g;
        }
    }
    return img;
}
