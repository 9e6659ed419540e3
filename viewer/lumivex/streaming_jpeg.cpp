#include "viewer/lumivex/streaming_jpeg.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_decoder.h"

#include <algorithm>
#include <new>

namespace {

// Feeds main's decoder from the job's byte stream; a cancelled job reads as
// the end of the input, so that a decode stops within one buffer.
class StreamSource final : public JpegByteSource {
public:
    explicit StreamSource(PanoramaJob& job) : m_job(job) {}

protected:
    bool Refill() override
    {
        JpegByteStream& stream = *m_job.stream;
        if (m_job.IsCancelled()) return false;
        if (stream.Available() == 0 && !stream.Refill()) return false;
        const size_t count = stream.Available();
        if (count == 0) return false;
        SetBlock(stream.Cursor(), stream.Cursor() + count);
        stream.Consume(count);
        return true;
    }

private:
    PanoramaJob& m_job;
};

// A pass into the image, with the owner's readers held off (the pixels lock
// of the job).
void WritePass(JpegDecoder& decoder, Image* image, PanoramaJob& job)
{
    std::lock_guard<std::mutex> lock(job.pixels);
    decoder.WriteCoefficients(image);
}

}  // namespace

struct JpegDecodeState {
    explicit JpegDecodeState(PanoramaJob& job)
        : decoder(std::make_unique<StreamSource>(job), false, false)
    {
    }

    JpegDecoder decoder;
    // Work is counted in coefficient bit-planes: a block is complete after
    // 64 coefficients x 8 bits of it were decoded, so the total is blocks x
    // 512 and a scan's row adds its blocks x the coefficients of its band x
    // the bits it settles (8 - Al for a first scan, 1 for a refinement),
    // which over a whole progressive file sums to the total. The progress
    // step is a twentieth of the total, the accumulator starts at the
    // remainder.
    int64_t workTotal = 0;
    int scanWeight = 1;  // bit-planes per block of the scan being decoded
    int64_t workDone = 0;
    int64_t step = 1;
    int64_t accumulator = 0;
    DecodeProgressProc callback = nullptr;
    void* context = nullptr;
    // Components still to be scanned before the current pass is complete.
    int passLeft = 0;
    int scansSinceOutput = 0;
    bool ended = false;  // the end-of-image marker was read

    static void OnRow(void* self, int blocks) { static_cast<JpegDecodeState*>(self)->AddWork(blocks); }

    void AddWork(int blocks)
    {
        const int64_t work = int64_t{blocks} * scanWeight;
        workDone += work;
        if (!callback) return;
        accumulator += work;
        while (accumulator >= step) {
            accumulator -= step;
            callback(context, 0, 5);
        }
    }

    // Weight of the pending scan (the one DecodeNextScan decodes next).
    void WeighPendingScan()
    {
        const int coefficients = decoder.ScanSpectralEnd() - decoder.ScanSpectralStart() + 1;
        const int bits = decoder.ScanApproxHigh() == 0 ? 8 - decoder.ScanApproxLow() : 1;
        scanWeight = std::max(1, coefficients) * std::max(1, bits);
    }

    void SetUpProgress()
    {
        int64_t blocks = 0;
        for (int i = 0; i < decoder.Components(); ++i)
            blocks += int64_t{decoder.SamplingH(i)} * decoder.SamplingV(i) * decoder.McusAcross() * decoder.McusDown();
        workTotal = blocks * 64 * 8;
        step = std::max<int64_t>(1, workTotal / 20);
        accumulator = workTotal % step;
        workDone = 0;
        passLeft = decoder.Components();
    }
};

void JpegDecodeStateDeleter::operator()(JpegDecodeState* state) const
{
    delete state;
}

namespace {

int Fail(PanoramaJob* job, const char* method, const char* reason)
{
    Logger::log("ERROR %s %s", 1, method, reason);
    CleanupJpegJob(job);
    return 1;
}

}  // namespace

int ReadJpegHeader(Image* image, PanoramaJob* job)
{
    if (!image || !job || !job->stream) {
        Logger::log("ERROR ReadJpegHeader no image or no stream", 1);
        return 1;
    }
    job->decoder.reset(new (std::nothrow) JpegDecodeState(*job));
    if (!job->decoder) return Fail(job, "ReadJpegHeader", "cannot allocate the decoder state");
    JpegDecoder& decoder = job->decoder->decoder;
    if (!decoder.ReadHeader()) return Fail(job, "ReadJpegHeader", decoder.Error());
    image->SetWidth(decoder.FrameWidth());
    image->SetHeight(decoder.FrameHeight());
    image->SetChannels(decoder.Components());
    image->SetDataType(IMG_UINT8);
    job->decoder->SetUpProgress();
    job->failed = false;
    return 0;
}

int StartJpegDecode(Image* image, PanoramaJob* job)
{
    if (!job || !job->decoder) return 1;
    JpegDecodeState& state = *job->decoder;
    JpegDecoder& decoder = state.decoder;
    if (!decoder.IsProgressive()) {
        if (!decoder.DecodeImage(image)) return Fail(job, "StartJpegDecode", decoder.Error());
        state.ended = true;
        return 0;
    }
    if (!decoder.StartData(image)) return Fail(job, "StartJpegDecode", decoder.Error());
    decoder.SetRowCallback(&JpegDecodeState::OnRow, &state);
    state.WeighPendingScan();
    const JpegDecoder::ScanResult result = decoder.DecodeNextScan();
    if (result == JpegDecoder::kScanFailed) return Fail(job, "StartJpegDecode", decoder.Error());
    state.ended = result == JpegDecoder::kImageComplete;
    WritePass(decoder, image, *job);
    job->failed = false;
    return 0;
}

bool HasMoreScans(PanoramaJob* job)
{
    return job && job->decoder && job->decoder->decoder.IsProgressive();
}

int DecodeScans(Image* image, PanoramaJob* job, bool outputEachPass, DecodeProgressProc callback, void* context)
{
    if (!image || !job || !job->decoder) return 1;
    JpegDecodeState& state = *job->decoder;
    JpegDecoder& decoder = state.decoder;
    if (state.ended) {
        // The scan that completed the last pass also met the end of the image.
        if (state.scansSinceOutput > 0) WritePass(decoder, image, *job);
        state.scansSinceOutput = 0;
        return 0xD9;
    }
    state.callback = callback;
    state.context = context;
    decoder.SetRowCallback(&JpegDecodeState::OnRow, &state);
    for (;;) {
        if (job->IsCancelled()) return Fail(job, "DecodeScans", "the decode was cancelled");
        const int components = decoder.ScanComponents();
        state.WeighPendingScan();
        const JpegDecoder::ScanResult result = decoder.DecodeNextScan();
        if (result == JpegDecoder::kScanFailed) return Fail(job, "DecodeScans", decoder.Error());
        ++state.scansSinceOutput;
        state.passLeft -= components;
        state.ended = result == JpegDecoder::kImageComplete;
        if (state.passLeft <= 0) {
            state.passLeft = decoder.Components();
            if (outputEachPass) {
                WritePass(decoder, image, *job);
                state.scansSinceOutput = 0;
            }
            return 0;
        }
        if (state.ended) {
            // Scans after the last complete pass still reach the image.
            if (state.scansSinceOutput > 0) WritePass(decoder, image, *job);
            state.scansSinceOutput = 0;
            return 0xD9;
        }
    }
}

void CleanupJpegJob(PanoramaJob* job)
{
    if (!job) return;
    job->decoder.reset();
    job->failed = true;
}

const FileExtraData* GetCommentRecord(PanoramaJob* job)
{
    if (!job || !job->decoder) return nullptr;
    return job->decoder->decoder.Comment();
}
