// One photograph of a stitching project: its images (as loaded, thumbnail
// source, stamp, warped), name, tray and overlap-window places, rotation,
// colour control, blend settings, state flags and its links to overlapping
// frames. The stitching application uses the class; the stitching core and
// the global adjustment see it through IImageFrame.
#pragma once

#include "imaging/list.h"
#include "platform/imgcore/color_ctrl.h"
#include "core/win_types.h"
#include "projectgraph/framegrp/image_frame_interface.h"

#include <cstdint>
#include <cstdio>
#include <memory>

class Neighbor;
class RecordReader;
class RecordWriter;

// Bits of the frame state word.
enum ImageFrameState : int32_t {
    kFrameLinkOut = 0x001,
    kFrameRotationMask = 0x006,   // code 0 none, 2 90 degrees, 4 180 degrees, 6 -90 degrees
    kFrameMerged = 0x008,
    kFrameCenter = 0x010,
    kFrameOverlapState = 0x040,
    kFrameBeamDown = 0x080,
    kFrameDistortionCorrected = 0x100,
    kFrameBlendMethodMask = 0x600,  // 0x200 method 1, 0x400 method 2
    kFrameFMatched = 0x800,
};

class ImageFrame : public IImageFrame {
public:
    ImageFrame();
    virtual ~ImageFrame();
    ImageFrame(const ImageFrame&) = delete;
    ImageFrame& operator=(const ImageFrame&) = delete;

    // Images. The frame holds one reference to each image it keeps.
    Image* GetImage() override { return m_image; }
    void SetImage(Image* image, bool rotate) override;
    void RemoveOrgImage();
    void SetStampImage(Image* source);
    void RemapImages();
    void SetWarpedImage(Image* image);
    Image* GetStampBmp() const { return m_stampBmp; }
    Image* GetWarpedBmp() const { return m_warpedBmp; }
    Image* GetThumbSource() const { return m_thumbSource; }
    void RotateImage(int angle);
    int GetImageRotationAngle() const;
    void GetOpticalCenter(float& x, float& y) const;
    // Maps `source` through the colour tables into `target` (in place when
    // `source` is null). 8-bit interleaved images of 1 or 3 channels of the
    // same size; samples are blue, green, red.
    void RemapImage(Image* target, Image* source);

    // Colour control and tables.
    ColorCtrl* GetColorCtrl() { return &m_colorCtrl; }
    void GetColorTable_Manu(unsigned char** red, unsigned char** green, unsigned char** blue);
    void ResetAotoColorTab();

    // Stitching core objects and Exif data.
    void SetImgInfo(IImgInfo* info) override;
    IImgInfo* GetImgInfo() override { return m_imgInfo; }
    ExifInfo* getExifInfo(bool read) override;

    // Names and places.
    void SetName(const char* name);
    const char* GetName() const { return m_name.get(); }
    const char* GetShortName() const;
    void GetStampLocation(short* x, short* y) const;
    void SetStampLocation(short x, short y);
    void GetOverlapWndLocation(short* x, short* y) const;
    void SetOverlapWndLocation(short x, short y);
    int GetBlendIndex() const { return m_blendIndex; }
    void SetBlendIndex(short index) { m_blendIndex = index; }
    int GetBlendWidth() override { return m_blendWidth; }
    int GetBlendLine() override { return m_blendLine; }
    void SetBlendWidth(short width) override { m_blendWidth = width; }
    void SetBlendLine(short line) override { m_blendLine = line; }
    unsigned char GetBlendMethod() override;
    void SetBlendMethod(unsigned char method) override;
    RECT* GetRect() { return &m_rect; }
    void set_eFLd(float value) { m_eFLd = value; }
    float get_eFLd() const { return m_eFLd; }

    // State word.
    int32_t GetState() const { return m_state; }
    void SetState(int32_t state) { m_state = state; }
    void SetAllowLinkOut() { m_state |= kFrameLinkOut; }
    void RemoveAllowLinkOut() { m_state &= ~kFrameLinkOut; }
    bool IsLinkOutAllowed() const { return (m_state & kFrameLinkOut) != 0; }
    bool IsCenterFrame() const { return (m_state & kFrameCenter) != 0; }
    void SetAsCenter() { m_state |= kFrameCenter; }
    void SetAsNoneCenter() { m_state &= ~(kFrameCenter | kFrameLinkOut); }
    void SetOverlapState(bool on) { SetBit(kFrameOverlapState, on); }
    bool IsOverlapStateSet() const { return (m_state & kFrameOverlapState) != 0; }
    void SetBeamDownState(bool on) { SetBit(kFrameBeamDown, on); }
    bool IsBeamDown() const { return (m_state & kFrameBeamDown) != 0; }
    void SetDistortionState(bool on) { SetBit(kFrameDistortionCorrected, on); }
    bool IsDistortionCorrected() const { return (m_state & kFrameDistortionCorrected) != 0; }
    bool IsFMatched() const { return (m_state & kFrameFMatched) != 0; }
    void SetFMatchState(bool on) { SetBit(kFrameFMatched, on); }

    // Links.
    Neighbor* AddNeighbor(ImageFrame* other);
    void RemoveNeighbor(ImageFrame* other);
    Neighbor* FindNeighbor(const ImageFrame* other) const;
    List* GetNeighbor() { return &m_neighbors; }
    int GetNeighborFramesRL(IImageFrame** frames) override;
    bool GetMarker(IImageFrame* other, Marker** mine, Marker** theirs) override;
    Marker* GetMarker(IImageFrame* other) override;
    bool GetMarkerFa(IImageFrame* other, Marker** mine, Marker** theirs) override;
    Marker* GetMarkerFa(IImageFrame* other) override;
    IPairShareInfo* GetPairShareInfo(IImageFrame* other) override;
    void SetPairShareInfo(IImageFrame* other, IPairShareInfo* info) override;
    bool GetPairInfo(IImageFrame* other, IPairInfo** mine, IPairInfo** theirs) override;
    IPairInfo* GetPairInfo(IImageFrame* other) override;
    void SetPairInfo(IImageFrame* other, IPairInfo* mine, IPairInfo* theirs) override;
    bool SetAtuoMarkerType(IImageFrame* other, bool on) override;
    bool IsAutoMarkerF(IImageFrame* other) override;
    bool SetAtuoStitchStatus(IImageFrame* other, bool ok) override;
    bool IsAtuoStitchOk(IImageFrame* other) override;
    bool GetAutoMarker(IImageFrame* other, Marker** mine, Marker** theirs) override;
    void SetAutoMarker(IImageFrame* other, Marker* mine, Marker* theirs, bool on) override;
    bool IsStartFrm(IImageFrame* other, bool& linked) override;

    // Merging.
    bool IsMerged() override { return (m_state & kFrameMerged) != 0; }
    void SetMerged(IImageFrame* other) override;
    void SetMerged() override { m_state |= kFrameMerged; }
    void SetNotMerged(IImageFrame* other) override;
    void SetNotMerged() override { m_state &= ~kFrameMerged; }
    void SetNotMergedAll() override;
    bool IsMergedPair(IImageFrame* other) override;

    // Scene file: made empty on first request; Set deletes the one held.
    KestovaFile* GetKestovaFile() override;
    void SetKestovaFile(KestovaFile* file) override;

    // Writes or reads this frame's block of the record stream (the third
    // argument is not used). Reading returns false on a malformed or
    // truncated block (with a level-1 log line); writing on a write error.
    bool IO(FILE* file, bool write, int unused);
    // The same on the group's reader or writer, which track the bytes left
    // in the file across the frame blocks and the link blocks.
    bool WriteRecords(RecordWriter& writer);
    bool ReadRecords(RecordReader& reader);

private:
    void SetBit(int32_t bit, bool on) { m_state = on ? (m_state | bit) : (m_state & ~bit); }
    static ImageFrame* Frame(IImageFrame* other);
    bool HasOtherMergedLink() const;

    // Fields, in this order.
    Image* m_image = nullptr;        // the photograph as loaded
    Image* m_stampBmp = nullptr;     // the tray thumbnail after the colour tables
    Image* m_warpedBmp = nullptr;
    Image* m_thumbSource = nullptr;  // the thumbnail before the colour tables
    KestovaFile* m_kestovaFile = nullptr;
    List m_neighbors;                // of Neighbor*, deleted by the list
    std::unique_ptr<char[]> m_name;  // the image path
    int16_t m_stampX = 0;
    int16_t m_stampY = 0;
    int16_t m_overlapX = 0;
    int16_t m_overlapY = 0;
    int16_t m_blendIndex = 0;
    int16_t m_blendWidth = 10;       // percent of the image's shorter side
    int16_t m_blendLine = 50;
    int32_t m_state = 0;
    RECT m_rect{};
    IImgInfo* m_imgInfo = nullptr;   // owned
    ColorCtrl m_colorCtrl;
    ExifInfo* m_exif = nullptr;      // owned, read on demand
    float m_eFLd = 0.0f;             // reference length of the normalised focal mode

public:
    // The focal value in pixels that the stitching manager computes for the
    // frame and the pair stitching reads.
    float m_focalValue = 0.0f;
};
