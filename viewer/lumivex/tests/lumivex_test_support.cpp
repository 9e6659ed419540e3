#include "viewer/lumivex/tests/lumivex_test_support.h"

#include "core/byte_order.h"
#include "imaging/image.h"
#include "viewer/lumivex/streaming_jpeg.h"

#include <cstdio>
#include <filesystem>

namespace lumivextest {

std::string PhotographPpm()
{
    static testkit::TempDir dir;
    static std::string path;
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string source = testkit::TestData("skimage-tutorials-pano/DFM_4209.jpg").string();
        const std::string out = dir.file("photo.ppm");
        if (!std::filesystem::exists(source)) return;
        if (testkit::Run("djpeg -scale 1/4 -ppm -outfile '" + out + "' '" + source + "'").status == 0) path = out;
    });
    return path;
}

std::string MakePhotoJpeg(const testkit::TempDir& dir, const std::string& name, const std::string& args)
{
    const std::string ppm = PhotographPpm();
    if (ppm.empty()) return {};
    const std::string jpg = dir.file(name + ".jpg");
    if (testkit::Run("cjpeg " + args + " -outfile '" + jpg + "' '" + ppm + "'").status != 0) return {};
    return jpg;
}

Bytes WithComment(const Bytes& file, const Bytes& comment)
{
    return testkit::WithJpegComment(file, comment);
}

Bytes Descriptor(int equatorWidth, int column, int row, int mapType, bool shortForm)
{
    return testkit::PanoramaDescriptor(equatorWidth, column, row, mapType, "kqvz", shortForm);
}

StreamDecode::~StreamDecode()
{
    ReleaseImage(image);
}

void DecodeStreamingFile(const std::string& path, StreamDecode& out, int maxCalls)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr) << path;
    auto* job = new PanoramaJob(nullptr, nullptr);
    auto* stream = new FileByteStream(file);
    job->file = file;
    job->stream.reset(stream);
    ASSERT_TRUE(stream->Init(1024));
    auto* image = new Image();  // one reference, ours
    out.header = ReadJpegHeader(image, job);
    if (out.header == 0) {
        ASSERT_EQ(image->Init(), 0);
        out.start = StartJpegDecode(image, job);
        if (out.start == 0 && HasMoreScans(job)) {
            do {
                out.last = DecodeScans(image, job, true, nullptr, nullptr);
                ++out.calls;
            } while (out.last == 0 && out.calls < maxCalls);
        }
        out.image = image;
    } else {
        ReleaseImage(image);
    }
    job->Release();
}

void DecodeStreamingBytes(const Bytes& bytes, const testkit::TempDir& dir, StreamDecode& out, int maxCalls)
{
    const std::string path = dir.file("stream-input.jpg");
    ASSERT_TRUE(jpegtest::WriteFileBytes(path, bytes));
    DecodeStreamingFile(path, out, maxCalls);
}

std::vector<int> ScanComponentCounts(const Bytes& file)
{
    std::vector<int> counts;
    for (const jpegtest::Segment& s : jpegtest::SplitSegments(file))
        if (s.marker == 0xDA && !s.payload.empty()) counts.push_back(s.payload[0]);
    return counts;
}

void ProgressRecorder::Callback(void* context, int zero, int value)
{
    auto* self = static_cast<ProgressRecorder*>(context);
    std::lock_guard<std::mutex> guard(self->m_lock);
    self->m_values.push_back(value);
    if (zero != 0) ++self->m_badZero;
}

std::vector<int> ProgressRecorder::Values() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_values;
}

int ProgressRecorder::ZeroArguments() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_badZero;
}

::testing::AssertionResult SamePixels(const Image& a, const Image& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetChannels() != b.GetChannels())
        return ::testing::AssertionFailure() << "size " << a.GetWidth() << "x" << a.GetHeight() << "x"
                                             << a.GetChannels() << " vs " << b.GetWidth() << "x" << b.GetHeight()
                                             << "x" << b.GetChannels();
    const size_t rowBytes = static_cast<size_t>(a.GetWidth()) * a.GetChannels();
    for (int y = 0; y < a.GetHeight(); ++y) {
        const uint8_t* p = a.GetData() + static_cast<size_t>(y) * a.GetRowByte();
        const uint8_t* q = b.GetData() + static_cast<size_t>(y) * b.GetRowByte();
        for (size_t x = 0; x < rowBytes; ++x)
            if (p[x] != q[x])
                return ::testing::AssertionFailure() << "first difference at row " << y << " byte " << x << ": "
                                                     << int(p[x]) << " vs " << int(q[x]);
    }
    return ::testing::AssertionSuccess();
}

}  // namespace lumivextest
