#include "imaging/image.h"

#include "core/logger.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

std::atomic<ImageAllocHook> g_allocHook{nullptr};

// Zero-filled owned buffer (array new); null when refused or out of memory.
unsigned char* AllocateBuffer(size_t bytes)
{
    ImageAllocHook hook = g_allocHook.load();
    if (hook && !hook(bytes)) return nullptr;
    // A zero-byte image still gets a buffer so that GetData() tells "no
    // pixels" apart from "allocation failed".
    return new (std::nothrow) unsigned char[bytes ? bytes : 1]();
}

void ReleaseBuffer(unsigned char* data, bool fromMalloc)
{
    if (fromMalloc)
        std::free(data);
    else
        delete[] data;
}

int BitsOfType(unsigned short type)
{
    switch (type) {
    case IMG_BILEVEL: return 1;
    case IMG_UINT8:
    case IMG_INT8: return 8;
    case IMG_UINT16:
    case IMG_INT16: return 16;
    case IMG_UINT32:
    case IMG_INT32:
    case IMG_FLOAT: return 32;
    default: return 1;
    }
}

int BytesOfType(unsigned short type)
{
    switch (type) {
    case IMG_UINT8:
    case IMG_INT8: return 1;
    case IMG_UINT16:
    case IMG_INT16: return 2;
    case IMG_UINT32:
    case IMG_INT32:
    case IMG_FLOAT: return 4;
    default: return 0;
    }
}

// One sample as a float, for the byte-sized types.
float SampleAt(const unsigned char* p, unsigned short type)
{
    switch (type) {
    case IMG_UINT8: return *p;
    case IMG_INT8: return static_cast<float>(static_cast<int8_t>(*p));
    case IMG_UINT16: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case IMG_INT16: { int16_t v; std::memcpy(&v, p, 2); return v; }
    case IMG_UINT32: { uint32_t v; std::memcpy(&v, p, 4); return static_cast<float>(v); }
    case IMG_INT32: { int32_t v; std::memcpy(&v, p, 4); return static_cast<float>(v); }
    case IMG_FLOAT: { float v; std::memcpy(&v, p, 4); return v; }
    default: return 0.0f;
    }
}

// Stores `value` (already in the type's range) as one sample.
void StoreSample(unsigned char* p, unsigned short type, double value)
{
    switch (type) {
    case IMG_UINT8:
    case IMG_INT8: *p = static_cast<unsigned char>(static_cast<int>(value)); break;
    case IMG_UINT16: { uint16_t v = static_cast<uint16_t>(value); std::memcpy(p, &v, 2); break; }
    case IMG_INT16: { int16_t v = static_cast<int16_t>(value); std::memcpy(p, &v, 2); break; }
    case IMG_UINT32: { uint32_t v = static_cast<uint32_t>(value); std::memcpy(p, &v, 4); break; }
    case IMG_INT32: { int32_t v = static_cast<int32_t>(value); std::memcpy(p, &v, 4); break; }
    case IMG_FLOAT: { float v = static_cast<float>(value); std::memcpy(p, &v, 4); break; }
    default: break;
    }
}

}  // namespace

void SetImageAllocHook(ImageAllocHook hook)
{
    g_allocHook.store(hook);
}

// ---------------------------------------------------------------------------
// Construction and release

Image::Image()
{
    m_refCount = 1;
}

Image::Image(int width, int height, int channels)
{
    m_refCount = 1;
    Create(width, height, channels, IMG_UINT8);
}

Image::Image(int width, int height)
    : Image(width, height, 3)
{
}

Image::~Image()
{
    delete[] m_rangeTable;
    delete[] m_exdata;
    FreeData();
}

// ---------------------------------------------------------------------------
// Allocation

bool Image::Create(int width, int height, int channels, int type)
{
    m_width = width;
    m_height = height;
    m_layout = 0;
    m_format = static_cast<unsigned short>((type & 0xF0) | (channels & 3));
    return Init() == 0;
}

int Image::Init()
{
    FreeData();  // callers pass an image without a buffer; never leak one
    m_state = 0;
    ComputeRowBytes();
    delete[] m_rangeTable;
    m_rangeTable = nullptr;
    if (m_width < 0 || m_height < 0 || (m_width > 0 && m_rowBytes <= 0)) {
        Logger::log("ERROR Image::Init() invalid size %d x %d", 1, m_width, m_height);
        return -1;
    }
    const size_t bytes = GetDataSize();
    m_data = AllocateBuffer(bytes);
    if (!m_data) {
        Logger::log("ERROR Image::Init() cannot allocate %zu bytes", 1, bytes);
        return -1;
    }
    ResetRange();
    return 0;
}

int Image::BmpInit()
{
    m_format = static_cast<unsigned short>(IMG_UINT8 | (m_format & 3));
    m_layout = IMG_LAYOUT_BITMAP;
    return Init();
}

int Image::BmpInit(int width, int height, int channels)
{
    m_width = width;
    m_height = height;
    m_format = static_cast<unsigned short>(IMG_UINT8 | (channels & 3));
    m_layout = IMG_LAYOUT_BITMAP;
    return Init();
}

bool Image::Resize(int width, int height)
{
    if (width == m_width && height == m_height) return false;
    const size_t oldSize = GetDataSize();
    m_width = width;
    m_height = height;
    ComputeRowBytes();
    const size_t newSize = GetDataSize();
    if (newSize == oldSize && m_data) return true;
    FreeData();
    if (width < 0 || height < 0 || (width > 0 && m_rowBytes <= 0)) {
        Logger::log("ERROR Image::Resize() invalid size %d x %d", 1, width, height);
        return false;
    }
    m_data = AllocateBuffer(newSize);
    if (!m_data) {
        Logger::log("ERROR Image::Resize() cannot allocate %zu bytes", 1, newSize);
        return false;
    }
    m_state &= static_cast<unsigned short>(~(IMG_STATE_MALLOC | IMG_STATE_NOT_OWNER));
    return true;
}

void Image::SetData(void* data, bool fromMalloc)
{
    FreeData();
    m_data = static_cast<unsigned char*>(data);
    if (fromMalloc)
        m_state |= IMG_STATE_MALLOC;
    else
        m_state &= static_cast<unsigned short>(~IMG_STATE_MALLOC);
    m_state &= static_cast<unsigned short>(~IMG_STATE_NOT_OWNER);
}

void Image::SetDataOwner(bool owner)
{
    if (owner)
        m_state &= static_cast<unsigned short>(~IMG_STATE_NOT_OWNER);
    else
        m_state |= IMG_STATE_NOT_OWNER;
}

void Image::FreeData()
{
    if (m_data && IsDataOwner()) ReleaseBuffer(m_data, IsMallocData());
    m_data = nullptr;
}

void Image::Transfer(Image* source)
{
    if (!source || source == this) return;
    FreeData();
    delete[] m_rangeTable;
    m_width = source->m_width;
    m_height = source->m_height;
    m_rowBytes = source->m_rowBytes;
    m_layout = source->m_layout;
    m_format = source->m_format;
    m_state = source->m_state;
    m_data = source->m_data;
    m_rangeTable = source->m_rangeTable;
    source->m_data = nullptr;
    source->m_rangeTable = nullptr;
    source->m_state &= static_cast<unsigned short>(~(IMG_STATE_MALLOC | IMG_STATE_NOT_OWNER | IMG_STATE_RANGE_VALID));
}

char* Image::ReserveExdata(int words)
{
    delete[] m_exdata;
    m_exdata = nullptr;
    m_exdataWords = 0;
    if (words <= 0) return nullptr;
    const size_t bytes = static_cast<size_t>(words) * 4;
    if (ImageAllocHook hook = g_allocHook.load(); hook && !hook(bytes)) return nullptr;
    m_exdata = new (std::nothrow) char[bytes]();
    if (m_exdata) m_exdataWords = words;
    return m_exdata;
}

// ---------------------------------------------------------------------------
// Header

void Image::ComputeRowBytes()
{
    const int64_t bits = GetDataBits();
    int64_t rowBytes;
    if (IsInterleaved()) {
        rowBytes = (bits * m_width * GetChannels() + 7) / 8;
        if (IsBmp()) rowBytes = (rowBytes + 3) & ~int64_t{3};
    } else {
        rowBytes = (bits * m_width + 7) / 8;
    }
    // A row that does not fit the 32-bit field marks the header unusable;
    // Init and Resize refuse it.
    m_rowBytes = rowBytes > INT32_MAX || rowBytes < 0 ? -1 : static_cast<int32_t>(rowBytes);
}

int Image::GetDataBits() const
{
    return BitsOfType(GetDataType());
}

int Image::GetDataBytes() const
{
    return BytesOfType(GetDataType());
}

int Image::GetPixelBytes() const
{
    return IsInterleaved() ? GetChannels() * GetDataBytes() : GetDataBytes();
}

size_t Image::GetDataSize() const
{
    if (m_rowBytes <= 0 || m_height <= 0) return 0;
    size_t size = static_cast<size_t>(m_rowBytes) * static_cast<size_t>(m_height);
    if (!IsInterleaved()) size *= static_cast<size_t>(GetChannels());
    return size;
}

unsigned char* Image::GetData(int channel) const
{
    if (!m_data) return nullptr;
    if (channel == 0) return m_data;
    if (channel < 0 || channel >= GetChannels()) return nullptr;
    const unsigned short type = GetDataType();
    if (type == IMG_BILEVEL) return m_data;
    const int bytes = BytesOfType(type);
    if (bytes == 0) return nullptr;
    if (!IsInterleaved())
        return m_data + static_cast<size_t>(channel) * static_cast<size_t>(m_rowBytes) * static_cast<size_t>(m_height);
    return m_data + static_cast<size_t>(channel) * static_cast<size_t>(bytes);
}

void* Image::GetRangeTable()
{
    const int bytes = GetDataBytes();
    if (bytes == 0) return nullptr;
    if (!m_rangeTable) {
        const int channels = std::max(GetChannels(), 1);
        m_rangeTable = new (std::nothrow) unsigned char[static_cast<size_t>(channels) * 2 * bytes]();
    }
    return m_rangeTable;
}

void Image::ResetRange()
{
    const unsigned short type = GetDataType();
    if (type != IMG_UINT8 && type != IMG_FLOAT) return;
    auto* table = static_cast<unsigned char*>(GetRangeTable());
    if (!table) return;
    const int channels = std::max(GetChannels(), 1);
    for (int c = 0; c < channels; ++c) {
        if (type == IMG_UINT8) {
            table[2 * c] = 0;
            table[2 * c + 1] = 255;
        } else {
            const float range[2] = {0.0f, 255.0f};
            std::memcpy(table + 8 * c, range, sizeof range);
        }
    }
    m_state |= IMG_STATE_RANGE_VALID;
}

bool Image::GetBound(float* minimum, float* maximum) const
{
    const unsigned short type = GetDataType();
    const int bytes = BytesOfType(type);
    if (!m_data || bytes == 0 || m_width <= 0 || m_height <= 0 || !minimum || !maximum) return false;
    float lo = FLT_MAX;
    float hi = -FLT_MAX;
    const int channels = GetChannels();
    const int planes = IsInterleaved() ? 1 : channels;
    const int samplesPerRow = IsInterleaved() ? m_width * channels : m_width;
    for (int plane = 0; plane < planes; ++plane) {
        const unsigned char* base = m_data + static_cast<size_t>(plane) * m_rowBytes * m_height;
        for (int y = 0; y < m_height; ++y) {
            const unsigned char* row = base + static_cast<size_t>(y) * m_rowBytes;
            for (int i = 0; i < samplesPerRow; ++i) {
                const float v = SampleAt(row + static_cast<size_t>(i) * bytes, type);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
    }
    *minimum = lo;
    *maximum = hi;
    return true;
}

// ---------------------------------------------------------------------------
// Pixel operations

void Image::Clear()
{
    if (m_data) std::memset(m_data, 0, GetDataSize());
}

void Image::Fill(int value)
{
    const unsigned short type = GetDataType();
    const int bytes = BytesOfType(type);
    if (!m_data || bytes == 0 || m_width <= 0 || m_height <= 0) return;
    const int channels = GetChannels();
    if (!IsInterleaved()) {
        for (int c = 0; c < channels; ++c) {
            unsigned char* plane = GetData(c);
            const double v = static_cast<unsigned char>(value >> (8 * c));
            for (int y = 0; y < m_height; ++y)
                for (int x = 0; x < m_width; ++x)
                    StoreSample(plane + static_cast<size_t>(y) * m_rowBytes + static_cast<size_t>(x) * bytes, type, v);
        }
        return;
    }
    // Build one pixel, then stamp it over the first row and copy that row down.
    const int pixelBytes = GetPixelBytes();
    unsigned char pixel[16] = {};
    for (int c = 0; c < channels; ++c)
        StoreSample(pixel + c * bytes, type, static_cast<unsigned char>(value >> (8 * c)));
    unsigned char* first = m_data;
    for (int x = 0; x < m_width; ++x) std::memcpy(first + static_cast<size_t>(x) * pixelBytes, pixel, pixelBytes);
    const size_t rowUsed = static_cast<size_t>(m_width) * pixelBytes;
    for (int y = 1; y < m_height; ++y) std::memcpy(m_data + static_cast<size_t>(y) * m_rowBytes, first, rowUsed);
}

void Image::Fill(Image* pattern, int x, int y, int /*unused*/)
{
    // Pixels of this image that hold no data (first sample 0) take the pattern
    // pixel that lies over them when the pattern's top-left is at (x, y).
    if (!pattern || !m_data || !pattern->m_data) return;
    if (GetDataType() != IMG_UINT8 || pattern->GetDataType() != IMG_UINT8 || !IsInterleaved() ||
        !pattern->IsInterleaved() || GetChannels() != pattern->GetChannels()) {
        Logger::log("ERROR Image::Fill() pattern format differs", 1);
        return;
    }
    const int n = GetPixelBytes();
    const int y0 = std::max(0, y);
    const int y1 = std::min(m_height, y + pattern->m_height);
    const int x0 = std::max(0, x);
    const int x1 = std::min(m_width, x + pattern->m_width);
    for (int row = y0; row < y1; ++row) {
        unsigned char* dst = m_data + static_cast<size_t>(row) * m_rowBytes;
        const unsigned char* src = pattern->m_data + static_cast<size_t>(row - y) * pattern->m_rowBytes;
        for (int col = x0; col < x1; ++col) {
            unsigned char* d = dst + static_cast<size_t>(col) * n;
            if (d[0] == 0) std::memcpy(d, src + static_cast<size_t>(col - x) * n, n);
        }
    }
}

void Image::CopyDataTo(int x0, int x1, int y0, int y1, Image* target, int tx, int ty) const
{
    if (!target || !m_data || !target->m_data) return;
    if (GetPixelBytes() != target->GetPixelBytes() || GetChannels() != target->GetChannels() ||
        IsInterleaved() != target->IsInterleaved() || GetPixelBytes() == 0) {
        Logger::log("ERROR Image::CopyDataTo() formats differ", 1);
        return;
    }
    // Clip the source rectangle to this image, then to the target.
    if (x0 < 0) { tx -= x0; x0 = 0; }
    if (y0 < 0) { ty -= y0; y0 = 0; }
    x1 = std::min(x1, m_width - 1);
    y1 = std::min(y1, m_height - 1);
    if (tx < 0) { x0 -= tx; tx = 0; }
    if (ty < 0) { y0 -= ty; ty = 0; }
    x1 = std::min(x1, x0 + (target->m_width - 1 - tx));
    y1 = std::min(y1, y0 + (target->m_height - 1 - ty));
    if (x1 < x0 || y1 < y0) return;
    const int n = GetPixelBytes();
    const size_t bytes = static_cast<size_t>(x1 - x0 + 1) * n;
    const int planes = IsInterleaved() ? 1 : GetChannels();
    for (int plane = 0; plane < planes; ++plane) {
        const unsigned char* src = GetData(plane);
        unsigned char* dst = target->GetData(plane);
        for (int y = y0; y <= y1; ++y)
            std::memcpy(dst + static_cast<size_t>(ty + y - y0) * target->m_rowBytes + static_cast<size_t>(tx) * n,
                        src + static_cast<size_t>(y) * m_rowBytes + static_cast<size_t>(x0) * n, bytes);
    }
}

void Image::OverlapImage(int x, int y, Image* over, float weight)
{
    // `over` is laid on with its top-left at (x, y); its pixels without data
    // (first sample 0) leave this image as it is. Weight 1 replaces, smaller
    // weights mix: result = weight * over + (1 - weight) * this, rounded.
    if (!over || !m_data || !over->m_data) return;
    if (GetDataType() != IMG_UINT8 || over->GetDataType() != IMG_UINT8 || !IsInterleaved() ||
        !over->IsInterleaved() || GetChannels() != over->GetChannels()) {
        Logger::log("ERROR Image::OverlapImage() formats differ", 1);
        return;
    }
    const float w = std::clamp(weight, 0.0f, 1.0f);
    const int wi = static_cast<int>(w * 256.0f + 0.5f);  // 8.8 fixed point
    const int n = GetPixelBytes();
    const int y0 = std::max(0, y);
    const int y1 = std::min(m_height, y + over->m_height);
    const int x0 = std::max(0, x);
    const int x1 = std::min(m_width, x + over->m_width);
    for (int row = y0; row < y1; ++row) {
        unsigned char* dst = m_data + static_cast<size_t>(row) * m_rowBytes;
        const unsigned char* src = over->m_data + static_cast<size_t>(row - y) * over->m_rowBytes;
        for (int col = x0; col < x1; ++col) {
            const unsigned char* s = src + static_cast<size_t>(col - x) * n;
            if (s[0] == 0) continue;
            unsigned char* d = dst + static_cast<size_t>(col) * n;
            if (wi >= 256) {
                std::memcpy(d, s, n);
                continue;
            }
            for (int c = 0; c < n; ++c) d[c] = static_cast<unsigned char>((s[c] * wi + d[c] * (256 - wi) + 128) >> 8);
        }
    }
}

Image* Image::Duplicate() const
{
    auto* copy = new Image();
    copy->m_width = m_width;
    copy->m_height = m_height;
    copy->m_layout = m_layout;
    copy->m_format = m_format;
    copy->m_rowBytes = m_rowBytes;
    if (m_data) {
        const size_t bytes = GetDataSize();
        copy->m_data = AllocateBuffer(bytes);
        if (!copy->m_data) {
            Logger::log("ERROR Image::Duplicate() cannot allocate %zu bytes", 1, bytes);
            delete copy;
            return nullptr;
        }
        std::memcpy(copy->m_data, m_data, bytes);
    }
    if (m_rangeTable) {
        const size_t bytes = static_cast<size_t>(std::max(GetChannels(), 1)) * 2 * GetDataBytes();
        copy->m_rangeTable = new unsigned char[bytes];
        std::memcpy(copy->m_rangeTable, m_rangeTable, bytes);
        copy->m_state |= m_state & IMG_STATE_RANGE_VALID;
    }
    if (m_exdata) {
        char* exdata = copy->ReserveExdata(m_exdataWords);
        if (!exdata) {
            Logger::log("ERROR Image::Duplicate() cannot allocate %d extra words", 1, m_exdataWords);
            delete copy;
            return nullptr;
        }
        std::memcpy(exdata, m_exdata, static_cast<size_t>(m_exdataWords) * 4);
    }
    return copy;
}

float* Image::ToChannelArray(int channel) const
{
    const unsigned short type = GetDataType();
    const int bytes = BytesOfType(type);
    const unsigned char* base = GetData(channel);
    if (!base || bytes == 0 || m_width <= 0 || m_height <= 0) return nullptr;
    const size_t count = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
    auto* out = new (std::nothrow) float[count];
    if (!out) {
        Logger::log("ERROR Image::ToChannelArray() cannot allocate %zu floats", 1, count);
        return nullptr;
    }
    const size_t step = static_cast<size_t>(GetPixelBytes());
    float* o = out;
    for (int y = 0; y < m_height; ++y) {
        const unsigned char* p = base + static_cast<size_t>(y) * m_rowBytes;
        for (int x = 0; x < m_width; ++x, p += step) *o++ = SampleAt(p, type);
    }
    return out;
}
