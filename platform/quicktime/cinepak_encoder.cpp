#include "platform/quicktime/cinepak_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace cinepak {

namespace {

constexpr int kMaxStrips = 32;
constexpr int kCodebookSize = 256;
constexpr int kMaxDimension = 65532;
// Chrominance errors count this much more than luminance: each of U and V
// enters two colour channels of four pixels at twice its size.
constexpr float kChromaWeight = 4.0f;

// A code vector: four luminances, then U and V (colour only).
using Vec = std::array<float, 6>;

struct Yuv {
    float y, u, v;
};

// The decoder's colour model: R = Y + 2V, G = Y - U/2 - V, B = Y + 2U.
Yuv ToYuv(int r, int g, int b)
{
    const float y = (2.0f * r + 4.0f * g + b) / 7.0f;
    return {y, (b - y) / 2.0f, (r - y) / 2.0f};
}

float Distance(const Vec& a, const Vec& b, int dims)
{
    float d = 0;
    for (int k = 0; k < 4; ++k) d += (a[k] - b[k]) * (a[k] - b[k]);
    for (int k = 4; k < dims; ++k) d += kChromaWeight * (a[k] - b[k]) * (a[k] - b[k]);
    return d;
}

int Nearest(const std::vector<Vec>& book, const Vec& v, int dims, float* error)
{
    int best = 0;
    float bestD = std::numeric_limits<float>::max();
    for (size_t i = 0; i < book.size(); ++i) {
        const float d = Distance(book[i], v, dims);
        if (d < bestD) {
            bestD = d;
            best = static_cast<int>(i);
        }
    }
    if (error) *error = bestD;
    return best;
}

// k-means of `vectors` into at most 256 code vectors, each rounded to what
// the bitstream can carry (bytes; U and V signed).
std::vector<Vec> Train(const std::vector<Vec>& vectors, int dims, int passes)
{
    std::vector<Vec> book;
    const size_t n = vectors.size();
    const size_t size = std::min<size_t>(n, kCodebookSize);
    for (size_t i = 0; i < size; ++i) book.push_back(vectors[i * n / size]);
    std::vector<int> owner(n, 0);
    std::vector<float> error(n, 0);
    for (int pass = 0; pass < passes; ++pass) {
        std::vector<Vec> sum(book.size(), Vec{});
        std::vector<int> count(book.size(), 0);
        for (size_t i = 0; i < n; ++i) {
            owner[i] = Nearest(book, vectors[i], dims, &error[i]);
            for (int k = 0; k < dims; ++k) sum[owner[i]][k] += vectors[i][k];
            ++count[owner[i]];
        }
        for (size_t c = 0; c < book.size(); ++c) {
            if (count[c] > 0) {
                for (int k = 0; k < dims; ++k) book[c][k] = sum[c][k] / count[c];
            } else {
                // An empty cell takes the vector coded worst so far.
                const size_t worst = static_cast<size_t>(std::max_element(error.begin(), error.end()) - error.begin());
                book[c] = vectors[worst];
                error[worst] = 0;
            }
        }
    }
    for (Vec& v : book) {
        for (int k = 0; k < 4; ++k) v[k] = std::clamp(std::round(v[k]), 0.0f, 255.0f);
        for (int k = 4; k < dims; ++k) v[k] = std::clamp(std::round(v[k]), -128.0f, 127.0f);
    }
    return book;
}

void Put24(std::vector<uint8_t>& out, size_t at, size_t value)
{
    out[at] = static_cast<uint8_t>(value >> 16);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
    out[at + 2] = static_cast<uint8_t>(value);
}

void PutCodebook(std::vector<uint8_t>& out, uint8_t id, const std::vector<Vec>& book, int dims)
{
    const size_t at = out.size();
    out.insert(out.end(), 4, 0);
    out[at] = id;
    for (const Vec& v : book)
        for (int k = 0; k < dims; ++k)
            out.push_back(static_cast<uint8_t>(static_cast<int>(v[k]) & 0xff));
    Put24(out, at + 1, out.size() - at);
}

}  // namespace

size_t MaxFrameSize(int width, int height)
{
    const size_t w = (static_cast<size_t>(width) + 3) & ~size_t(3);
    const size_t h = (static_cast<size_t>(height) + 3) & ~size_t(3);
    const size_t blocks = w * h / 16;
    return 10 + kMaxStrips * (12 + 2 * (4 + kCodebookSize * 6) + 4) + blocks * 4 + (blocks / 32 + kMaxStrips) * 4;
}

bool EncodeFrame(const uint8_t* pixels, int rowBytes, int width, int height, bool grey, long quality,
                 std::vector<uint8_t>& out)
{
    if (!pixels || width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension) return false;
    const int w = (width + 3) & ~3, h = (height + 3) & ~3;
    const int dims = grey ? 4 : 6;
    const int passes = quality >= 512 ? 8 : 4;
    // Bias (in squared error) against the 4-byte V4 code at low qualities.
    const float v4Penalty = quality >= 768 ? 0.0f : quality >= 512 ? 64.0f : 256.0f;

    // The frame in YUV, padded by repeating the last column and row.
    std::vector<Yuv> yuv(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(std::min(y, height - 1)) * rowBytes;
        for (int x = 0; x < w; ++x) {
            const int sx = std::min(x, width - 1);
            yuv[static_cast<size_t>(y) * w + x] =
                grey ? Yuv{static_cast<float>(row[sx]), 0, 0} : ToYuv(row[3 * sx], row[3 * sx + 1], row[3 * sx + 2]);
        }
    }
    auto at = [&](int x, int y) -> const Yuv& { return yuv[static_cast<size_t>(y) * w + x]; };
    // The 2x2 vector whose top-left pixel is (x, y).
    auto quad = [&](int x, int y) {
        const Yuv* p[4] = {&at(x, y), &at(x + 1, y), &at(x, y + 1), &at(x + 1, y + 1)};
        Vec v{};
        for (int k = 0; k < 4; ++k) {
            v[k] = p[k]->y;
            v[4] += p[k]->u / 4;
            v[5] += p[k]->v / 4;
        }
        return v;
    };

    const int rows4 = h / 4;
    const int strips = std::clamp(static_cast<int>(static_cast<int64_t>(w) * h / 4096), 1, std::min(kMaxStrips, rows4));
    const int stripRows4 = (rows4 + strips - 1) / strips;

    out.assign(10, 0);
    out[0] = 0;  // every strip carries its own codebooks
    Put24(out, 1, 0);
    out[4] = static_cast<uint8_t>(w >> 8);
    out[5] = static_cast<uint8_t>(w);
    out[6] = static_cast<uint8_t>(h >> 8);
    out[7] = static_cast<uint8_t>(h);
    int stripCount = 0;
    for (int top4 = 0; top4 < rows4; top4 += stripRows4) {
        const int y0 = 4 * top4, y1 = 4 * std::min(rows4, top4 + stripRows4);
        // One V1 vector per 4x4 block (the four quadrants' means) and four
        // V4 vectors per block.
        std::vector<Vec> v1, v4;
        for (int y = y0; y < y1; y += 4)
            for (int x = 0; x < w; x += 4) {
                Vec q[4] = {quad(x, y), quad(x + 2, y), quad(x, y + 2), quad(x + 2, y + 2)};
                Vec mean{};
                for (int k = 0; k < 4; ++k) {
                    mean[k] = (q[k][0] + q[k][1] + q[k][2] + q[k][3]) / 4;
                    mean[4] += q[k][4] / 4;
                    mean[5] += q[k][5] / 4;
                }
                v1.push_back(mean);
                for (const Vec& v : q) v4.push_back(v);
            }
        const std::vector<Vec> book1 = Train(v1, dims, passes);
        const std::vector<Vec> book4 = Train(v4, dims, passes);

        const size_t stripAt = out.size();
        out.insert(out.end(), 12, 0);
        out[stripAt] = 0x10;  // key strip
        // y1 = 0: placed below the previous strip; the field at +8 is its height.
        out[stripAt + 8] = static_cast<uint8_t>((y1 - y0) >> 8);
        out[stripAt + 9] = static_cast<uint8_t>(y1 - y0);
        out[stripAt + 10] = static_cast<uint8_t>(w >> 8);
        out[stripAt + 11] = static_cast<uint8_t>(w);
        PutCodebook(out, grey ? 0x24 : 0x20, book4, dims);
        PutCodebook(out, grey ? 0x26 : 0x22, book1, dims);

        const size_t vectorsAt = out.size();
        out.insert(out.end(), 4, 0);
        out[vectorsAt] = 0x30;
        size_t flagAt = 0;
        int bit = 0;
        for (size_t b = 0; b < v1.size(); ++b) {
            // Error of the V1 code: each quadrant's four pixels take its mean.
            const Vec& c1 = book1[Nearest(book1, v1[b], dims, nullptr)];
            float e1 = 0;
            int idx4[4];
            float e4 = v4Penalty;
            for (int k = 0; k < 4; ++k) {
                const Vec& q = v4[4 * b + k];
                Vec up{c1[k], c1[k], c1[k], c1[k], c1[4], c1[5]};
                e1 += Distance(up, q, dims);
                float e = 0;
                idx4[k] = Nearest(book4, q, dims, &e);
                e4 += e;
            }
            if (bit == 0) {
                flagAt = out.size();
                out.insert(out.end(), 4, 0);
            }
            const bool useV4 = e4 < e1;
            if (useV4) out[flagAt + bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
            bit = (bit + 1) % 32;
            if (useV4) {
                for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(idx4[k]));
            } else {
                out.push_back(static_cast<uint8_t>(Nearest(book1, v1[b], dims, nullptr)));
            }
        }
        Put24(out, vectorsAt + 1, out.size() - vectorsAt);
        Put24(out, stripAt + 1, out.size() - stripAt);
        ++stripCount;
    }
    out[8] = static_cast<uint8_t>(stripCount >> 8);
    out[9] = static_cast<uint8_t>(stripCount);
    Put24(out, 1, out.size());
    return out.size() <= 0xffffff;
}

}  // namespace cinepak
