// The panorama scene file of the scene module: one image resampled onto the
// sphere as bands (one per scan line, each a list of sectors of samples) and
// optionally one rectangular band. The stitching core fills it; the world
// maps read the bands and sectors directly (WorldMap::AddData,
// RectWorldMap::AddData).
#pragma once

#include "imaging/list.h"

#include <cstdint>
#include <memory>
#include <vector>

// A run of consecutive samples of one band: columns m_first to m_last
// (inclusive), interleaved with the file's channel count, a first byte of 0
// meaning no data.
class CSector {
public:
    CSector(int first, int last, int channels);
    CSector(const CSector&) = delete;
    CSector& operator=(const CSector&) = delete;

    int32_t m_first;
    int32_t m_last;

    uint8_t* GetDataPtr() { return m_samples.data(); }
    const uint8_t* GetDataPtr() const { return m_samples.data(); }
    int GetNumSamples() const { return m_last - m_first + 1; }

private:
    std::vector<uint8_t> m_samples;
};

// One scan line of the scene: its row counted from the equator, the sample
// count of its ring, and its sectors in order.
class CBand {
public:
    CBand(int row, int samples);
    CBand(const CBand&) = delete;
    CBand& operator=(const CBand&) = delete;

    int32_t m_row;
    int32_t m_numSectors = 0;
    CSector** m_sectors = nullptr;  // m_numSectors pointers, owned by the band
    int32_t m_samples;

    // A new zero-filled sector; null when last < first.
    CSector* AddSector(int first, int last, int channels);

private:
    std::vector<std::unique_ptr<CSector>> m_owned;
    std::vector<CSector*> m_pointers;
};

struct REGION;

class KestovaFile {
public:
    KestovaFile();
    ~KestovaFile();
    KestovaFile(const KestovaFile&) = delete;
    KestovaFile& operator=(const KestovaFile&) = delete;

    void SetNumChannel(int channels) { m_channels = channels; }
    int GetNumChannel() const { return m_channels; }
    void SetEquatorSampleNum(int samples) { m_equatorSamples = samples; }
    int GetEquatorSampleNum() const { return m_equatorSamples; }
    void SetHalfRingNum(int rings) { m_halfRings = rings; }
    int GetHalfRingNum() const { return m_halfRings; }
    void SetBandBound(int bound) { m_bandBound = bound; }
    int GetBandBound() const { return m_bandBound; }

    // Drops every band and the rectangular band; the settings stay.
    void RemoveSorage();

    // The bands (CBand*), in the order they were added.
    List* GetBandList() const { return m_bands.get(); }
    CBand* AddBand(int row, int samples);

    // The rectangular band: columns x0..x1 and rows y0..y1 (inclusive,
    // relative to the map centre and the equator) of interleaved samples.
    // Without one, x1 < x0.
    bool SetBandRect(int x0, int y0, int x1, int y1);
    void GetBandRect(int& x0, int& y0, int& x1, int& y1) const;
    uint8_t* GetBandData() { return m_bandData.empty() ? nullptr : m_bandData.data(); }
    int GetBandRowBytes() const { return m_bandRowBytes; }

    // Bounding box of every sector (columns from the row centre, rows from
    // the equator), widened by `margin` samples; false when there is none.
    // In kestova_fg_box.cpp with the scene projection.
    bool VantorFileFgBoundBox(REGION* box, float margin) const;

private:
    int m_channels = 3;
    int m_equatorSamples = 0;
    int m_halfRings = 0;
    int m_bandBound = 0;
    std::unique_ptr<List> m_bands;
    int m_rectX0 = 0, m_rectY0 = 0, m_rectX1 = -1, m_rectY1 = -1;
    int m_bandRowBytes = 0;
    std::vector<uint8_t> m_bandData;
};
