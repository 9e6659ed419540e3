// The image graph of one stitching project: the ordered frames, the centre
// frame, the scene centre of the panorama, the project's world map, the
// blending order and the marker label switch. The stitching manager keeps one
// per project; the project file stores it through the tagged record stream.
#pragma once

#include "core/geometry_records.h"
#include "imaging/list.h"

#include <cstdint>
#include <cstdio>

class Image;
class ImageFrame;
class WorldMap;

enum ImageGroupState : int32_t {
    kGroupMarkerIndexHidden = 0x20,
    kGroupFisheye = 0x10000000,
};

// Results of the record stream's readers and of a failed write.
enum ImageGroupStreamResult : int {
    kStreamOk = 0,
    kStreamMalformed = -1,   // malformed or truncated input; the group is left as it was
    kStreamWriteError = -2,  // the file could not be written
};

class ImageGroup {
public:
    ImageGroup();
    ~ImageGroup();
    ImageGroup(const ImageGroup&) = delete;
    ImageGroup& operator=(const ImageGroup&) = delete;

    // Frames (the group owns them).
    void AppendImageFrame(ImageFrame* frame);
    void AddImageFrame(ImageFrame* frame);
    void RemoveImageFrame(ImageFrame* frame);
    int GetNumbOfImages() const { return m_frames.m_count; }
    List* GetList() { return &m_frames; }
    ImageFrame* GetImageFrame(int index) const;
    ImageFrame* GetFirstFrame() const;
    ImageFrame* GetLastFrame() const;
    ImageFrame* GetCentralImageFrame() const { return m_centerFrame; }
    ImageFrame* FindImageFrame(const char* name) const;
    ImageFrame* FindStampFrame(short x, short y) const;
    void SetCenterFrame(ImageFrame* frame);
    void SetCenterFrame(int index);
    void SetAsTop(ImageFrame* frame);

    // Merging and blending order.
    void GetMergedImages(int* indices, int& n, int& pairs) const;
    int GetNumbMergedImages() const;
    void MakeBlendOrder(int* indices, int n) const;
    int MoveFrameUp(bool up, ImageFrame* frame);
    int MoveFrameTop(bool top, ImageFrame* frame);

    // Scene centre, degrees: yaw in [0, 360], pitch in [-90, 90].
    void SetKestovaCenter(float yaw, float pitch);
    void GetKestovaCenter(float* yaw, float* pitch) const;
    void ShiftKestovaCenter(float dyaw, float dpitch);
    // The centre in panorama pixels (yaw taken the short way round).
    void GetVantorViewCenter(int& x, int& y) const;
    void SetGetSamplingRateFunc(float (*callback)(void)) { m_samplingRate = callback; }

    // The project's world map; the group holds one reference.
    WorldMap* GetRectWorldMap(unsigned short equatorWidth, REGION2* region, int mapType, int channels);
    WorldMap* GetRectWorldMap(bool create);
    void SetRectWorldMap(WorldMap* map);
    bool HasRectWorldMap() const { return m_worldMap != nullptr; }
    void CreateRectWorldMap(Image* image);
    void ComputeCompositBmp(Image* image, float zoom, float unused, bool noGrid);

    // Marker labels of the whole project.
    bool ToggleMarkerIndex(char mode);
    bool GetMarkerIndexState() const { return (m_state & kGroupMarkerIndexHidden) == 0; }
    void DeactivateAllLink();
    void SetFisheye(bool on);
    bool IsFisheye() const { return (m_state & kGroupFisheye) != 0; }

    // Documents of the stitching application, stored and read back only.
    void SetStampDoc(void* doc) { m_stampDoc = doc; }
    void* GetStampDoc() const { return m_stampDoc; }
    void SetCompDoc(void* doc) { m_compDoc = doc; }
    void* GetCompDoc() const { return m_compDoc; }
    void SetVantorDoc(void* doc) { m_vantorDoc = doc; }
    void* GetVantorDoc() const { return m_vantorDoc; }

    // Record stream. SaveAs_InitInfo returns 1 when only the opening and
    // closing entries were written (fewer than two frames, not fisheye), 0
    // when the whole graph was, kStreamWriteError when writing failed. The
    // readers expect a group without frames and return kStreamOk, or
    // kStreamMalformed (with a level-1 log line) leaving the group empty.
    int SaveAs_InitInfo(FILE* file);
    int Open_InitInfo(FILE* file);
    int Open_InitInfo_version001(FILE* file);

private:
    float GetSamplingRate() const;
    int IndexOf(const ImageFrame* frame) const;
    // Record stream helpers (image_group_stream.cpp).
    class StreamReader;
    friend class StreamReader;

    // Fields, in this order.
    float m_centerYaw = 0.0f;
    float m_centerPitch = 0.0f;
    List m_frames;                 // of ImageFrame*, deleted by the list
    ImageFrame* m_centerFrame = nullptr;
    int32_t m_state = 0;
    WorldMap* m_worldMap = nullptr;
    float (*m_samplingRate)(void) = nullptr;  // pixels per degree of the panorama
    void* m_stampDoc = nullptr;
    void* m_compDoc = nullptr;
    void* m_vantorDoc = nullptr;
};
