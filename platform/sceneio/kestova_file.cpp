#include "platform/sceneio/kestova_file.h"

#include "core/logger.h"

namespace {

void DeleteBand(void* band)
{
    delete static_cast<CBand*>(band);
}

}  // namespace

CSector::CSector(int first, int last, int channels)
    : m_first(first), m_last(last),
      m_samples(last < first || channels < 1
                    ? 0
                    : static_cast<size_t>(static_cast<int64_t>(last) - first + 1) * static_cast<size_t>(channels))
{
}

CBand::CBand(int row, int samples) : m_row(row), m_samples(samples) {}

CSector* CBand::AddSector(int first, int last, int channels)
{
    if (last < first || channels < 1) {
        Logger::log("ERROR CBand::AddSector: bad sector %d..%d", 1, first, last);
        return nullptr;
    }
    m_owned.push_back(std::make_unique<CSector>(first, last, channels));
    m_pointers.push_back(m_owned.back().get());
    m_sectors = m_pointers.data();
    m_numSectors = static_cast<int32_t>(m_pointers.size());
    return m_owned.back().get();
}

KestovaFile::KestovaFile() : m_bands(std::make_unique<List>(&DeleteBand, 4)) {}

KestovaFile::~KestovaFile() = default;

void KestovaFile::RemoveSorage()
{
    m_bands = std::make_unique<List>(&DeleteBand, 4);
    m_rectX0 = m_rectY0 = 0;
    m_rectX1 = m_rectY1 = -1;
    m_bandRowBytes = 0;
    m_bandData.clear();
}

CBand* KestovaFile::AddBand(int row, int samples)
{
    auto band = std::make_unique<CBand>(row, samples);
    if (m_bands->Append(band.get()) < 0) return nullptr;
    return band.release();
}

bool KestovaFile::SetBandRect(int x0, int y0, int x1, int y1)
{
    if (x1 < x0 || y1 < y0 || m_channels < 1) {
        Logger::log("ERROR KestovaFile::SetBandRect: empty rectangle", 1);
        return false;
    }
    const int64_t rowBytes = (static_cast<int64_t>(x1) - x0 + 1) * m_channels;
    if (rowBytes > INT32_MAX) {
        Logger::log("ERROR KestovaFile::SetBandRect: rectangle too wide", 1);
        return false;
    }
    m_bandData.assign(static_cast<size_t>(rowBytes) * static_cast<size_t>(static_cast<int64_t>(y1) - y0 + 1), 0);
    m_bandRowBytes = static_cast<int>(rowBytes);
    m_rectX0 = x0;
    m_rectY0 = y0;
    m_rectX1 = x1;
    m_rectY1 = y1;
    return true;
}

void KestovaFile::GetBandRect(int& x0, int& y0, int& x1, int& y1) const
{
    x0 = m_rectX0;
    y0 = m_rectY0;
    x1 = m_rectX1;
    y1 = m_rectY1;
}
