// Marker handling, frame geometry and the two passes of the JPEG decoder. The
// entropy decoding of the scans is in jpeg_decoder_scans.cpp, the transform
// and colour output in jpeg_decoder_output.cpp.
#include "jpeg/jpeg_decoder.h"

#include "imaging/image.h"
#include "jpeg/jpeg_colour.h"
#include "jpeg/jpeg_tables.h"
#include "core/logger.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {
const char* const kFrameTooLarge = "the frame holds more than 536870912 (2^29) pixels";
}  // namespace

std::string MarkerName(int marker)
{
    char name[16];
    std::snprintf(name, sizeof name, "marker 0x%02X", marker & 0xFF);
    return name;
}

JpegDecoder::JpegDecoder(std::unique_ptr<JpegByteSource> source, bool headerOnly, bool oneEighth,
                         int64_t basePosition)
    : m_source(std::move(source)), m_bits(*m_source), m_headerOnly(headerOnly), m_oneEighth(oneEighth),
      m_basePosition(basePosition)
{
}

JpegDecoder::~JpegDecoder() = default;

int JpegDecoder::OutputWidth() const
{
    return m_oneEighth ? m_mcusAcross * m_hMax : m_width;
}

int JpegDecoder::OutputHeight() const
{
    return m_oneEighth ? m_mcusDown * m_vMax : m_height;
}

// ---------------------------------------------------------------------------
// Header pass.

bool JpegDecoder::ReadHeader()
{
    if (m_source->ReadByte() != 0xFF || m_source->ReadByte() != kMarkerSoi)
        return Fail("the file does not start with a start-of-image marker");
    m_restartInterval = 0;
    for (;;) {
        const int marker = ReadMarkerAfterSegment();
        if (marker < 0) return false;
        if (marker == kMarkerSos) {
            if (!m_frameSeen) return Fail("start of scan before the frame header");
            m_scanPending = true;
            return true;
        }
        if (!HandleMarker(marker)) return false;
    }
}

// After a segment the next byte must start a marker; 0xFF fill bytes are
// skipped. Returns the marker code or -1.
int JpegDecoder::ReadMarkerAfterSegment()
{
    int b = m_source->ReadByte();
    if (b != 0xFF) {
        Fail(b < 0 ? "the file ends where a marker should follow" : "a segment is not followed by a marker");
        return -1;
    }
    do {
        b = m_source->ReadByte();
    } while (b == 0xFF);
    if (b < 0) {
        Fail("the file ends inside a marker");
        return -1;
    }
    if (b < 0xC0) {
        Fail("invalid marker code");
        return -1;
    }
    return b;
}

// Skips to the next marker after entropy-coded data; `skipped` (when given)
// receives the number of bytes stepped over before it. Returns the marker
// code or -1 at the end of the input.
int JpegDecoder::SeekMarker(long long* skipped)
{
    long long count = 0;
    for (;;) {
        int b = m_source->ReadByte();
        if (b < 0) break;
        if (b != 0xFF) {
            ++count;
            continue;
        }
        do {
            b = m_source->ReadByte();
        } while (b == 0xFF);
        if (b < 0) break;
        if (b != 0) {
            if (skipped) *skipped = count;
            return b;
        }
        count += 2;
    }
    if (skipped) *skipped = count;
    return -1;
}

// After the last block of a scan: the marker that follows it (-1 at the end
// of the input). Entropy-coded bytes left over mean the data went out of step
// somewhere (djpeg's "extraneous bytes"); the blocks stay as decoded and one
// WARNING line says where.
int JpegDecoder::FinishScan()
{
    long long extra = m_bits.UnusedBytes();
    int marker = m_bits.PendingMarker();
    if (marker < 0) {
        long long skipped = 0;
        marker = SeekMarker(&skipped);
        extra += skipped;
    }
    if (extra > 0) {
        const int64_t position = m_basePosition + m_source->Position() - (marker < 0 ? 0 : 2);
        WarnCorrupt(position, std::to_string(extra) + " extraneous bytes before " +
                                  (marker < 0 ? std::string("the end of the file") : MarkerName(marker)));
    }
    return marker;
}

void JpegDecoder::WarnCorrupt(int64_t position, const std::string& what)
{
    if (m_corruptionLogged) return;
    m_corruptionLogged = true;
    Logger::log("WARNING JpegDecoder::DecodeImage corrupt entropy-coded data at file position %lld: %s", 2,
                static_cast<long long>(position), what.c_str());
}

bool JpegDecoder::HandleMarker(int marker)
{
    switch (marker) {
    case kMarkerSof0:
        return ReadFrameHeader(false);
    case kMarkerSof2:
        return ReadFrameHeader(true);
    case kMarkerSof1:
    case kMarkerSof3:
    case kMarkerJpg:
        return Fail("unsupported frame type (extended, lossless or arithmetic-coded)");
    case kMarkerDht:
        return m_headerOnly ? SkipSegment() : ReadHuffmanTables();
    case kMarkerDqt:
        return m_headerOnly ? SkipSegment() : ReadQuantTables();
    case kMarkerDri:
        return ReadRestartInterval();
    case kMarkerSoi:
        m_restartInterval = 0;
        return true;
    case kMarkerEoi:
        return true;
    case kMarkerCom:
        return ReadComment();
    case kMarkerApp0:
    case kMarkerApp14:
        return ReadAppSegment();
    default:
        break;
    }
    if (marker >= kMarkerRst0 && marker <= kMarkerRst7) return Fail("restart marker outside a scan");
    if (marker >= 0xF0 && marker <= 0xFD) return Fail("reserved marker");
    if (marker == kMarkerSos) return Fail("unexpected start of scan");
    // C5-C7, C9-CF (hierarchical and arithmetic frames, DAC), DC, DE, DF and
    // the application segments are skipped: an arithmetic-coded file thus has
    // no frame and fails at its first scan.
    return SkipSegment();
}

bool JpegDecoder::SkipSegment()
{
    const int length = m_source->ReadWord();
    if (length < 0) return Fail("the file ends inside a segment");
    // A length below 2 carries no payload; the marker check after the
    // segment decides whether the file goes on sensibly.
    if (length > 2 && !m_source->Skip(static_cast<size_t>(length - 2))) return Fail("the file ends inside a segment");
    return true;
}

bool JpegDecoder::ReadFrameHeader(bool progressive)
{
    if (m_frameSeen) return Fail("a second frame header");
    uint8_t head[6];
    const int length = m_source->ReadWord();
    if (length < 0 || !m_source->Read(head, sizeof head)) return Fail("the file ends inside the frame header");
    const int precision = head[0];
    const int height = (head[1] << 8) | head[2];
    const int width = (head[3] << 8) | head[4];
    const int count = head[5];
    if (precision != 8) return Fail("the sample precision is not 8 bits");
    if (count != 1 && count != 3) return Fail("the component count is neither 1 nor 3");
    if (length != 8 + 3 * count) return Fail("bad frame header length");
    if (width == 0 || height == 0) return Fail("zero width or height");

    uint8_t fields[9];
    if (!m_source->Read(fields, static_cast<size_t>(3 * count))) return Fail("the file ends inside the frame header");
    int hMax = 1, vMax = 1;
    for (int i = 0; i < count; ++i) {
        Component& c = m_comp[i];
        c.id = fields[3 * i];
        c.h = fields[3 * i + 1] >> 4;
        c.v = fields[3 * i + 1] & 15;
        c.quantTable = fields[3 * i + 2];
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4) return Fail("sampling factor outside 1..4");
        if (c.quantTable > 3) return Fail("quantisation table number above 3");
        // A one-component frame codes one block per MCU whatever its factors say.
        if (count == 1) c.h = c.v = 1;
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    for (int i = 0; i < count; ++i) {
        Component& c = m_comp[i];
        if (hMax % c.h != 0 || vMax % c.v != 0) return Fail("sampling factors with a non-integral ratio");
        c.hRatio = hMax / c.h;
        c.vRatio = vMax / c.v;
    }
    m_width = width;
    m_height = height;
    m_componentCount = count;
    m_hMax = hMax;
    m_vMax = vMax;
    m_mcusAcross = (width + 8 * hMax - 1) / (8 * hMax);
    m_mcusDown = (height + 8 * vMax - 1) / (8 * vMax);
    if (!m_headerOnly && !m_oneEighth && !FrameWithinLimit()) return Fail(kFrameTooLarge);
    for (int i = 0; i < count; ++i) {
        Component& c = m_comp[i];
        c.blocksAcross = m_mcusAcross * c.h;
        c.blocksDown = m_mcusDown * c.v;
        const int compWidth = (width * c.h + hMax - 1) / hMax;
        const int compHeight = (height * c.v + vMax - 1) / vMax;
        c.scanBlocksAcross = (compWidth + 7) / 8;
        c.scanBlocksDown = (compHeight + 7) / 8;
    }
    m_progressive = progressive;
    m_frameSeen = true;
    return true;
}

bool JpegDecoder::ReadHuffmanTables()
{
    int length = m_source->ReadWord();
    if (length < 2) return Fail("bad Huffman table segment");
    int remaining = length - 2;
    while (remaining > 0) {
        if (remaining < 17) return Fail("Huffman table segment length overrun");
        uint8_t head[17];
        if (!m_source->Read(head, sizeof head)) return Fail("the file ends inside a Huffman table");
        const int tableClass = head[0] >> 4;
        const int tableNumber = head[0] & 15;
        if (tableClass > 1 || tableNumber > 3) return Fail("bad Huffman table class or number");
        int total = 0;
        for (int i = 0; i < 16; ++i) total += head[1 + i];
        remaining -= 17;
        if (total > 256) return Fail("more than 256 Huffman symbols");
        if (total > remaining) return Fail("Huffman table segment length overrun");
        uint8_t symbols[256];
        if (!m_source->Read(symbols, static_cast<size_t>(total))) return Fail("the file ends inside a Huffman table");
        remaining -= total;
        HuffmanDecodeTable& table = tableClass == 0 ? m_dcTables[tableNumber] : m_acTables[tableNumber];
        if (!table.Build(head + 1, symbols)) return Fail("over-subscribed Huffman code");
    }
    return true;
}

bool JpegDecoder::ReadQuantTables()
{
    const int length = m_source->ReadWord();
    if (length < 2) return Fail("bad quantisation table segment");
    int remaining = length - 2;
    while (remaining > 0) {
        const int pqTq = m_source->ReadByte();
        if (pqTq < 0) return Fail("the file ends inside a quantisation table");
        if ((pqTq >> 4) != 0) return Fail("16-bit quantisation table in an 8-bit file");
        const int number = pqTq & 15;
        if (number > 3) return Fail("quantisation table number above 3");
        remaining -= 65;
        if (remaining < 0) return Fail("quantisation table segment length mismatch");
        uint8_t values[64];
        if (!m_source->Read(values, sizeof values)) return Fail("the file ends inside a quantisation table");
        for (int k = 0; k < 64; ++k) m_quant[number][kZigzagToNatural[k]] = values[k];
        m_quantDefined[number] = true;
    }
    return true;
}

bool JpegDecoder::ReadRestartInterval()
{
    const int length = m_source->ReadWord();
    if (length != 4) return Fail("bad restart interval segment");
    const int interval = m_source->ReadWord();
    if (interval < 0) return Fail("the file ends inside the restart interval segment");
    m_restartInterval = interval;
    return true;
}

// A comment whose length field is 16 or 24 (payload 14 or 22 bytes) is kept
// as the panorama descriptor candidate; a later one replaces it.
bool JpegDecoder::ReadComment()
{
    const int length = m_source->ReadWord();
    if (length < 0) return Fail("the file ends inside a comment");
    if (length != 16 && length != 24) {
        if (length > 2 && !m_source->Skip(static_cast<size_t>(length - 2)))
            return Fail("the file ends inside a comment");
        return true;
    }
    const int64_t position = m_basePosition + m_source->Position();
    FileExtraData captured;
    captured.scratch = static_cast<int32_t>(position);
    captured.length = length - 2;
    if (!m_source->Read(captured.bytes, static_cast<size_t>(captured.length)))
        return Fail("the file ends inside a comment");
    m_comment = captured;
    return true;
}

// APP0 and APP14 say how three components are coded: a JFIF file is always
// YCbCr; an Adobe segment with transform 0 marks red, green, blue.
bool JpegDecoder::ReadAppSegment()
{
    const int length = m_source->ReadWord();
    if (length < 0) return Fail("the file ends inside an application segment");
    int remaining = std::max(0, length - 2);
    uint8_t head[12] = {};
    const int want = std::min(remaining, 12);
    if (!m_source->Read(head, static_cast<size_t>(want))) return Fail("the file ends inside an application segment");
    remaining -= want;
    if (want >= 5 && std::memcmp(head, "JFIF", 5) == 0) m_jfifSeen = true;
    if (want >= 12 && std::memcmp(head, "Adobe", 5) == 0) {
        m_adobeSeen = true;
        m_adobeTransform = head[11];
    }
    if (remaining > 0 && !m_source->Skip(static_cast<size_t>(remaining)))
        return Fail("the file ends inside an application segment");
    return true;
}

bool JpegDecoder::ReadScanHeader()
{
    if (!m_frameSeen) return Fail("start of scan before the frame header");
    if (++m_scanCount > kMaxScans) return Fail("too many scans");
    const int length = m_source->ReadWord();
    const int count = m_source->ReadByte();
    if (length < 0 || count < 0) return Fail("the file ends inside a scan header");
    if (count < 1 || count > m_componentCount) return Fail("bad scan component count");
    if (length != 6 + 2 * count) return Fail("bad scan header length");
    uint8_t fields[8 + 3];
    if (!m_source->Read(fields, static_cast<size_t>(2 * count + 3))) return Fail("the file ends inside a scan header");
    bool used[3] = {};
    for (int i = 0; i < count; ++i) {
        int found = -1;
        for (int ci = 0; ci < m_componentCount; ++ci) {
            if (m_comp[ci].id == fields[2 * i] && !used[ci]) {
                found = ci;
                break;
            }
        }
        if (found < 0) return Fail("unknown scan component");
        used[found] = true;
        m_scanComp[i] = found;
        const int dc = fields[2 * i + 1] >> 4, ac = fields[2 * i + 1] & 15;
        if (dc > 3 || ac > 3) return Fail("Huffman table number above 3");
        m_comp[found].dcTable = dc;
        m_comp[found].acTable = ac;
    }
    m_scanComponents = count;
    m_ss = fields[2 * count];
    m_se = fields[2 * count + 1];
    m_ah = fields[2 * count + 2] >> 4;
    m_al = fields[2 * count + 2] & 15;
    if (m_ss > 63 || m_se > 63 || m_ah > 13 || m_al > 13) return Fail("spectral selection or approximation out of range");
    if (m_progressive) {
        if (m_ss == 0 && m_se != 0) return Fail("a DC scan with AC coefficients");
        if (m_ss > 0 && (count != 1 || m_se < m_ss)) return Fail("bad AC scan");
        if (m_ah != 0 && m_al != m_ah - 1) return Fail("bad successive approximation");
    }
    if (count > 1) {
        int blocks = 0;
        for (int i = 0; i < count; ++i) blocks += m_comp[m_scanComp[i]].h * m_comp[m_scanComp[i]].v;
        if (blocks > 10) return Fail("more than 10 blocks in an MCU");
    }
    const bool needDc = !m_progressive || (m_ss == 0 && m_ah == 0);
    const bool needAc = !m_progressive || m_ss > 0;
    for (int i = 0; i < count; ++i) {
        Component& c = m_comp[m_scanComp[i]];
        if (needDc && !m_dcTables[c.dcTable].IsDefined()) return Fail("undefined Huffman table");
        if (needAc && !m_acTables[c.acTable].IsDefined()) return Fail("undefined Huffman table");
        if (!c.quantLatched) {
            if (!m_quantDefined[c.quantTable]) return Fail("undefined quantisation table");
            std::memcpy(c.quant, m_quant[c.quantTable], sizeof c.quant);
            c.quantLatched = true;
        }
    }
    for (int i = 0; i < m_componentCount; ++i) m_comp[i].dcPred = 0;
    m_eobRun = 0;
    m_nextRestart = 0;
    m_bits.Reset();
    return true;
}

// ---------------------------------------------------------------------------
// Buffers.

bool JpegDecoder::AllocateCoefficients()
{
    const size_t perBlock = static_cast<size_t>(CoefsPerBlock());
    for (int i = 0; i < m_componentCount; ++i) {
        Component& c = m_comp[i];
        const size_t count = static_cast<size_t>(c.blocksAcross) * static_cast<size_t>(c.blocksDown) * perBlock;
        c.coefs.reset(static_cast<int16_t*>(std::calloc(count, sizeof(int16_t))));
        if (!c.coefs) {
            for (int j = 0; j < m_componentCount; ++j) m_comp[j].coefs.reset();
            return false;
        }
    }
    m_coefficientsReady = true;
    return true;
}

bool JpegDecoder::AllocateRows()
{
    const size_t bs = static_cast<size_t>(BlockSize());
    const size_t outWidth = static_cast<size_t>(m_mcusAcross) * static_cast<size_t>(m_hMax) * bs;
    for (int i = 0; i < m_componentCount; ++i) {
        Component& c = m_comp[i];
        c.rowStride = static_cast<size_t>(c.blocksAcross) * bs;
        c.rows.assign(c.rowStride * static_cast<size_t>(c.v) * bs, 0);
        c.expanded.assign(outWidth, 0);
    }
    return true;
}

bool JpegDecoder::FrameWithinLimit() const
{
    const uint64_t paddedPixels = uint64_t{8} * static_cast<uint64_t>(m_mcusAcross) * static_cast<uint64_t>(m_hMax) *
                                  8 * static_cast<uint64_t>(m_mcusDown) * static_cast<uint64_t>(m_vMax);
    return paddedPixels <= kMaxFramePixels;
}

bool JpegDecoder::LeaveOneEighth()
{
    if (!m_oneEighth) return true;
    if (!FrameWithinLimit()) return Fail(kFrameTooLarge);
    m_oneEighth = false;
    // The full-size planes are allocated by the data pass.
    for (int i = 0; i < m_componentCount; ++i) m_comp[i].coefs.reset();
    m_coefficientsReady = false;
    return true;
}

bool JpegDecoder::CheckImage(const Image* image)
{
    if (!image || !image->GetData()) return Fail("the image has no pixel buffer");
    if (image->GetWidth() != OutputWidth() || image->GetHeight() != OutputHeight() ||
        image->GetChannels() != m_componentCount || image->GetDataType() != IMG_UINT8 || !image->IsInterleaved())
        return Fail("the image does not match the decoded size and layout");
    if (image->GetRowByte() < OutputWidth() * m_componentCount) return Fail("the image rows are too short");
    return true;
}

// ---------------------------------------------------------------------------
// Data pass.

bool JpegDecoder::DecodeImage(Image* image)
{
    if (!StartData(image)) return false;
    if (!UsesCoefficientPlanes()) return DecodeSequentialStreaming(image);
    for (;;) {
        const ScanResult result = DecodeNextScan();
        if (result == kScanFailed) return false;
        if (result == kImageComplete) break;
    }
    WriteCoefficients(image);
    return true;
}

bool JpegDecoder::StartData(const Image* image)
{
    if (!m_scanPending) return Fail("the header pass did not reach a scan");
    if (!CheckImage(image)) return false;
    m_colour = &SharedJpegColourTables();
    if (m_componentCount == 3) {
        if (m_jfifSeen)
            m_rgb = false;
        else if (m_adobeSeen)
            m_rgb = m_adobeTransform == 0;
        else
            m_rgb = m_comp[0].id == 'R' && m_comp[1].id == 'G' && m_comp[2].id == 'B';
    }
    AllocateRows();
    if (!ReadScanHeader()) return false;
    m_scanPending = false;
    m_usesPlanes = m_progressive || m_scanComponents != m_componentCount;
    if (m_usesPlanes && !m_coefficientsReady && !AllocateCoefficients())
        return Fail("cannot allocate the coefficient planes");
    return true;
}

JpegDecoder::ScanResult JpegDecoder::DecodeNextScan()
{
    // One-eighth scale needs only the first DC scan of each component; the
    // rest of the entropy-coded data is stepped over unread.
    const bool dcFirst = m_progressive && m_ss == 0 && m_ah == 0;
    int marker;
    if (m_oneEighth && m_progressive && !dcFirst) {
        do {
            marker = SeekMarker();
        } while (marker >= kMarkerRst0 && marker <= kMarkerRst7);
    } else {
        if (!DecodeScanIntoCoefficients()) return kScanFailed;
        if (m_oneEighth && m_progressive) {
            bool all = true;
            for (int i = 0; i < m_componentCount; ++i) all = all && m_comp[i].dcFirstDone;
            if (all) return kImageComplete;
        }
        marker = FinishScan();
    }
    // Tables and other segments up to the next scan or the end of the image.
    for (;;) {
        if (marker < 0) {
            Fail("the file ends before the end-of-image marker");
            return kScanFailed;
        }
        if (marker == kMarkerEoi) return kImageComplete;
        if (marker == kMarkerSos) return ReadScanHeader() ? kScanDecoded : kScanFailed;
        if (!HandleMarker(marker)) return kScanFailed;
        marker = ReadMarkerAfterSegment();
    }
}

void JpegDecoder::WriteCoefficients(Image* image)
{
    for (int row = 0; row < m_mcusDown; ++row) {
        TransformMcuRowFromCoefficients(row);
        EmitMcuRow(image, row);
    }
}
