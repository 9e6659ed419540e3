// Resampling behind Image::ZoomImage and Image::CreateStampImage.
// Shrinking averages the exact area each output pixel covers (a box filter
// with fractional edge weights), so stamps and previews do not alias;
// enlarging interpolates bilinearly between pixel centres.

#include "imaging/image.h"

#include "core/logger.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// For one axis: which source samples feed each output sample, and how much.
struct AxisTaps {
    std::vector<int> first;     // first source index per output index
    std::vector<int> count;     // number of taps per output index
    std::vector<int> offset;    // start of its weights in `weights`
    std::vector<float> weights; // sum to 1 per output index
};

AxisTaps BuildAxis(int srcLen, int outLen)
{
    AxisTaps axis;
    axis.first.resize(outLen);
    axis.count.resize(outLen);
    axis.offset.resize(outLen);
    const double step = static_cast<double>(srcLen) / outLen;  // source pixels per output pixel
    for (int i = 0; i < outLen; ++i) {
        axis.offset[i] = static_cast<int>(axis.weights.size());
        if (outLen < srcLen) {
            // Area average over [i*step, (i+1)*step).
            const double lo = i * step;
            const double hi = std::min((i + 1) * step, static_cast<double>(srcLen));
            const int j0 = static_cast<int>(std::floor(lo));
            const int j1 = std::min(srcLen - 1, static_cast<int>(std::ceil(hi)) - 1);
            axis.first[i] = j0;
            for (int j = j0; j <= j1; ++j) {
                const double cover = std::min(hi, j + 1.0) - std::max(lo, static_cast<double>(j));
                axis.weights.push_back(static_cast<float>(cover / (hi - lo)));
            }
            axis.count[i] = j1 - j0 + 1;
        } else {
            // Bilinear between the centres around the output centre.
            double c = (i + 0.5) * step - 0.5;
            c = std::clamp(c, 0.0, static_cast<double>(srcLen - 1));
            const int j0 = static_cast<int>(std::floor(c));
            const float f = static_cast<float>(c - j0);
            axis.first[i] = j0;
            if (j0 + 1 < srcLen && f > 0.0f) {
                axis.weights.push_back(1.0f - f);
                axis.weights.push_back(f);
                axis.count[i] = 2;
            } else {
                axis.weights.push_back(1.0f);
                axis.count[i] = 1;
            }
        }
    }
    return axis;
}

// Weighs the taps of every output pixel of one row; N samples per pixel.
template <int N>
void HorizontalPass(const float* row, const AxisTaps& cols, int outW, unsigned char* dst)
{
    for (int ox = 0; ox < outW; ++ox, dst += N) {
        const float* wx = cols.weights.data() + cols.offset[ox];
        const float* in = row + static_cast<size_t>(cols.first[ox]) * N;
        float sum[N] = {};
        for (int t = 0; t < cols.count[ox]; ++t, in += N)
            for (int c = 0; c < N; ++c) sum[c] += wx[t] * in[c];
        for (int c = 0; c < N; ++c) dst[c] = static_cast<unsigned char>(std::clamp(sum[c] + 0.5f, 0.0f, 255.0f));
    }
}

// Resamples the w x h region at (x, y) of an 8-bit interleaved image to
// outW x outH. The result keeps the source's channels and row layout.
Image* Resample(const Image& src, int x, int y, int w, int h, int outW, int outH)
{
    auto* out = new Image();
    out->SetSize(outW, outH);
    out->SetChannels(src.GetChannels());
    out->SetDataType(IMG_UINT8);
    if ((src.IsBmp() ? out->BmpInit() : out->Init()) != 0) {
        delete out;
        return nullptr;
    }
    const int n = src.GetPixelBytes();
    const AxisTaps cols = BuildAxis(w, outW);
    const AxisTaps rows = BuildAxis(h, outH);
    std::vector<float> vertical(static_cast<size_t>(w) * n);
    const unsigned char* base = src.GetData() + static_cast<size_t>(x) * n;
    const size_t srcStride = static_cast<size_t>(src.GetRowByte());

    for (int oy = 0; oy < outH; ++oy) {
        // Vertical pass into one float row of the region's width.
        std::fill(vertical.begin(), vertical.end(), 0.0f);
        const float* wy = rows.weights.data() + rows.offset[oy];
        for (int t = 0; t < rows.count[oy]; ++t) {
            const unsigned char* in = base + static_cast<size_t>(y + rows.first[oy] + t) * srcStride;
            const float weight = wy[t];
            float* acc = vertical.data();
            for (size_t i = 0, e = vertical.size(); i < e; ++i) acc[i] += weight * in[i];
        }
        unsigned char* dst = out->GetData() + static_cast<size_t>(oy) * out->GetRowByte();
        switch (n) {
        case 1: HorizontalPass<1>(vertical.data(), cols, outW, dst); break;
        case 2: HorizontalPass<2>(vertical.data(), cols, outW, dst); break;
        default: HorizontalPass<3>(vertical.data(), cols, outW, dst); break;
        }
    }
    return out;
}

bool CanResample(const Image& image, const char* method)
{
    if (!image.GetData() || image.GetDataType() != IMG_UINT8 || !image.IsInterleaved() || image.GetWidth() <= 0 ||
        image.GetHeight() <= 0) {
        Logger::log("ERROR Image::%s() needs an 8-bit interleaved image with pixels", 1, method);
        return false;
    }
    return true;
}

}  // namespace

Image* Image::ZoomImage(int x, int y, int width, int height, float zoomX, float zoomY) const
{
    if (!CanResample(*this, "ZoomImage")) return nullptr;
    // Clip the region to the image.
    const int x0 = std::max(0, x);
    const int y0 = std::max(0, y);
    const int x1 = std::min(m_width, x + width);
    const int y1 = std::min(m_height, y + height);
    if (x1 <= x0 || y1 <= y0 || !(zoomX > 0.0f) || !(zoomY > 0.0f)) {
        Logger::log("ERROR Image::ZoomImage() empty region or zoom (%d,%d %dx%d, %g x %g)", 1, x, y, width, height,
                    zoomX, zoomY);
        return nullptr;
    }
    const double outW = std::floor((x1 - x0) * static_cast<double>(zoomX) + 0.5);
    const double outH = std::floor((y1 - y0) * static_cast<double>(zoomY) + 0.5);
    if (outW > 1e6 || outH > 1e6) {
        Logger::log("ERROR Image::ZoomImage() result too large (%g x %g)", 1, outW, outH);
        return nullptr;
    }
    return Resample(*this, x0, y0, x1 - x0, y1 - y0, std::max(1, static_cast<int>(outW)),
                    std::max(1, static_cast<int>(outH)));
}

Image* Image::CreateStampImage(Image* source, int size)
{
    if (!source || size <= 0 || !CanResample(*source, "CreateStampImage")) return nullptr;
    const int w = source->GetWidth();
    const int h = source->GetHeight();
    // The longer side becomes `size`; the shorter keeps the aspect ratio.
    int outW = size;
    int outH = size;
    if (w >= h)
        outH = std::max(1, static_cast<int>(static_cast<int64_t>(h) * size * 2 / w + 1) / 2);
    else
        outW = std::max(1, static_cast<int>(static_cast<int64_t>(w) * size * 2 / h + 1) / 2);
    return Resample(*source, 0, 0, w, h, outW, outH);
}
