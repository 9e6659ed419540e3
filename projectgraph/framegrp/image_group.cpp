#include "projectgraph/framegrp/image_group.h"

#include "imaging/image.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/curvekit/two_d_curves.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"
#include "worldmap/world_map.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

void DeleteFrame(void* frame)
{
    delete static_cast<ImageFrame*>(frame);
}

}  // namespace

ImageGroup::ImageGroup() : m_frames(DeleteFrame, 4) {}

ImageGroup::~ImageGroup()
{
    if (m_worldMap) m_worldMap->Release();
    m_worldMap = nullptr;
    m_centerFrame = nullptr;
    // m_frames deletes the frames; each takes its links out of its neighbours.
}

// --- frames ------------------------------------------------------------------

void ImageGroup::AppendImageFrame(ImageFrame* frame)
{
    if (!frame) return;
    frame->SetBlendIndex(static_cast<short>(m_frames.m_count));
    if (m_frames.Append(frame) < 0) {
        Logger::log("ERROR ImageGroup::AppendImageFrame: the frame list is full", 1);
        return;
    }
    if (!m_centerFrame) {
        m_centerFrame = frame;
        frame->SetAsCenter();
        frame->SetAllowLinkOut();
    }
}

void ImageGroup::AddImageFrame(ImageFrame* frame)
{
    if (!frame) return;
    if (m_frames.Insert(frame, 0) < 0) {
        Logger::log("ERROR ImageGroup::AddImageFrame: the frame list is full", 1);
        return;
    }
    if (!m_centerFrame) {
        m_centerFrame = frame;
        frame->SetAsCenter();
        frame->SetAllowLinkOut();
    }
}

void ImageGroup::RemoveImageFrame(ImageFrame* frame)
{
    if (!frame || m_frames.GetIndex(frame) < 0) return;
    const bool wasCenter = frame == m_centerFrame;
    m_frames.RemoveData(frame);  // deletes the frame
    if (wasCenter) {
        m_centerFrame = GetFirstFrame();
        if (m_centerFrame) m_centerFrame->SetAsCenter();
    }
}

ImageFrame* ImageGroup::GetImageFrame(int index) const
{
    if (index < 0 || index >= m_frames.m_count) return nullptr;
    return static_cast<ImageFrame*>(m_frames.GetData(index));
}

ImageFrame* ImageGroup::GetFirstFrame() const
{
    return GetImageFrame(0);
}

ImageFrame* ImageGroup::GetLastFrame() const
{
    return GetImageFrame(m_frames.m_count - 1);
}

int ImageGroup::IndexOf(const ImageFrame* frame) const
{
    for (int i = 0; i < m_frames.m_count; ++i)
        if (m_frames.GetData(i) == frame) return i;
    return -1;
}

ImageFrame* ImageGroup::FindImageFrame(const char* name) const
{
    if (!name) return nullptr;
    for (int i = 0; i < m_frames.m_count; ++i) {
        ImageFrame* frame = GetImageFrame(i);
        if (frame->GetName() && std::strcmp(frame->GetName(), name) == 0) return frame;
    }
    return nullptr;
}

ImageFrame* ImageGroup::FindStampFrame(short x, short y) const
{
    for (int i = 0; i < m_frames.m_count; ++i) {
        ImageFrame* frame = GetImageFrame(i);
        const Image* stamp = frame->GetStampBmp();
        if (!stamp) continue;
        short sx, sy;
        frame->GetStampLocation(&sx, &sy);
        const int hw = stamp->GetWidth() / 2;
        const int hh = stamp->GetHeight() / 2;
        if (sx - hw < x && x < sx + hw && sy - hh < y && y < sy + hh) return frame;
    }
    return nullptr;
}

void ImageGroup::SetCenterFrame(ImageFrame* frame)
{
    if (!frame || frame == m_centerFrame) return;
    m_centerFrame = frame;
    for (int i = 0; i < m_frames.m_count; ++i) GetImageFrame(i)->SetAsNoneCenter();
    frame->SetAsCenter();
    frame->SetAllowLinkOut();
}

void ImageGroup::SetCenterFrame(int index)
{
    SetCenterFrame(GetImageFrame(index));
}

void ImageGroup::SetAsTop(ImageFrame* frame)
{
    const int index = m_frames.GetIndex(frame);
    if (index > 0) m_frames.MoveToTop(index);
}

// --- merging and blending order ------------------------------------------------------

void ImageGroup::GetMergedImages(int* indices, int& n, int& pairs) const
{
    n = 0;
    pairs = 0;
    const int count = m_frames.m_count;
    for (int i = 0; i + 1 < count; ++i) {
        ImageFrame* a = GetImageFrame(i);
        bool merged = false;
        for (int j = i + 1; j < count; ++j) {
            if (a->IsMergedPair(GetImageFrame(j))) {
                ++pairs;
                merged = true;
            }
        }
        for (int j = 0; j < i && !merged; ++j)
            if (GetImageFrame(j)->IsMergedPair(a)) merged = true;
        if (merged && indices) indices[n++] = i;
        else if (merged) ++n;
    }
    if (count > 0) {
        ImageFrame* last = GetImageFrame(count - 1);
        bool merged = false;
        for (int j = 0; j + 1 < count && !merged; ++j)
            if (GetImageFrame(j)->IsMergedPair(last)) merged = true;
        if (merged) {
            if (indices) indices[n] = count - 1;
            ++n;
        }
    }
    if (!indices) return;
    // Ordered by the stamps' x place in the tray; equal places keep their order.
    for (int i = 1; i < n; ++i) {
        for (int k = i; k > 0; --k) {
            short xa, xb;
            GetImageFrame(indices[k - 1])->GetStampLocation(&xa, nullptr);
            GetImageFrame(indices[k])->GetStampLocation(&xb, nullptr);
            if (xa <= xb) break;
            std::swap(indices[k - 1], indices[k]);
        }
    }
}

int ImageGroup::GetNumbMergedImages() const
{
    int n = 0;
    for (int i = 0; i < m_frames.m_count; ++i)
        if (GetImageFrame(i)->IsMerged()) ++n;
    return n;
}

void ImageGroup::MakeBlendOrder(int* indices, int n) const
{
    if (!indices) return;
    auto blendIndex = [this](int i) {
        const ImageFrame* f = GetImageFrame(i);
        return f ? f->GetBlendIndex() : -1;
    };
    // Highest blend index first; equal ones keep their order.
    for (int i = 1; i < n; ++i)
        for (int k = i; k > 0 && blendIndex(indices[k - 1]) < blendIndex(indices[k]); --k)
            std::swap(indices[k - 1], indices[k]);
}

int ImageGroup::MoveFrameUp(bool up, ImageFrame* frame)
{
    if (!frame) return -1;
    const int b = frame->GetBlendIndex();
    const int count = m_frames.m_count;
    if (up ? b + 1 >= count : b == 0) return up ? b : 0;
    const int target = up ? b + 1 : b - 1;
    for (int i = 0; i < count; ++i) {
        ImageFrame* other = GetImageFrame(i);
        if (other->GetBlendIndex() == target) {
            other->SetBlendIndex(static_cast<short>(b));
            break;
        }
    }
    frame->SetBlendIndex(static_cast<short>(target));
    return target;
}

int ImageGroup::MoveFrameTop(bool top, ImageFrame* frame)
{
    if (!frame) return -1;
    const int b = frame->GetBlendIndex();
    const int count = m_frames.m_count;
    if (top) {
        if (b + 1 >= count) return b;
        for (int i = 0; i < count; ++i) {
            ImageFrame* other = GetImageFrame(i);
            if (other->GetBlendIndex() > b) other->SetBlendIndex(static_cast<short>(other->GetBlendIndex() - 1));
        }
        frame->SetBlendIndex(static_cast<short>(count - 1));
        return count - 1;
    }
    if (b == 0) return 0;
    for (int i = 0; i < count; ++i) {
        ImageFrame* other = GetImageFrame(i);
        if (other->GetBlendIndex() < b) other->SetBlendIndex(static_cast<short>(other->GetBlendIndex() + 1));
    }
    frame->SetBlendIndex(0);
    return 0;
}

// --- scene centre ----------------------------------------------------------------------

void ImageGroup::SetKestovaCenter(float yaw, float pitch)
{
    if (!std::isfinite(yaw) || !std::isfinite(pitch)) {
        Logger::log("ERROR ImageGroup::SetKestovaCenter: yaw %f, pitch %f is not a direction", 1, yaw, pitch);
        return;
    }
    // Whole turns are removed in one step (a loop of subtractions never ends
    // for a yaw whose spacing exceeds 360). As before, a yaw above 360 comes
    // down to (0, 360] and one below 0 up to [0, 360).
    if (yaw > 360.0f) {
        yaw = std::fmod(yaw, 360.0f);
        if (yaw == 0.0f) yaw = 360.0f;
    } else if (yaw < 0.0f) {
        yaw = std::fmod(yaw, 360.0f);
        if (yaw < 0.0f) yaw += 360.0f;
        if (yaw == 0.0f) yaw = 0.0f;  // no negative zero
    }
    if (pitch > 90.0f) pitch = 90.0f;
    if (pitch < -90.0f) pitch = -90.0f;
    m_centerYaw = yaw;
    m_centerPitch = pitch;
}

void ImageGroup::GetKestovaCenter(float* yaw, float* pitch) const
{
    if (yaw) *yaw = m_centerYaw;
    if (pitch) *pitch = m_centerPitch;
}

void ImageGroup::ShiftKestovaCenter(float dyaw, float dpitch)
{
    SetKestovaCenter(m_centerYaw + dyaw, m_centerPitch + dpitch);
}

float ImageGroup::GetSamplingRate() const
{
    return m_samplingRate ? m_samplingRate() : 5.0f;
}

void ImageGroup::GetVantorViewCenter(int& x, int& y) const
{
    const float s = GetSamplingRate();
    float yaw = m_centerYaw;
    if (yaw > std::fabs(360.0f - yaw)) yaw -= 360.0f;
    x = static_cast<int>(s * yaw);
    y = static_cast<int>(s * m_centerPitch);
}

// --- world map -------------------------------------------------------------------------

WorldMap* ImageGroup::GetRectWorldMap(unsigned short equatorWidth, REGION2* region, int mapType, int channels)
{
    if (!m_worldMap && equatorWidth != 0) m_worldMap = new WorldMap(equatorWidth, region, mapType, channels);
    return m_worldMap;
}

WorldMap* ImageGroup::GetRectWorldMap(bool create)
{
    if (!m_worldMap && create) m_worldMap = new WorldMap();
    return m_worldMap;
}

void ImageGroup::SetRectWorldMap(WorldMap* map)
{
    if (map) map->AddReference();
    if (m_worldMap) m_worldMap->Release();
    m_worldMap = map;
}

void ImageGroup::CreateRectWorldMap(Image* image)
{
    if (m_worldMap && image) m_worldMap->AddData(image, 0, 0);
}

void ImageGroup::ComputeCompositBmp(Image* image, float zoom, float, bool noGrid)
{
    // Without a world map there is nothing to draw.
    if (!m_worldMap || !image) return;
    int x, y;
    GetVantorViewCenter(x, y);
    m_worldMap->SetZoomFactor(zoom);
    m_worldMap->ComputeWorldMapImage(image, zoom, true, true);
    if (!noGrid) m_worldMap->ComputeWorldMapGrid(image, x, y);
}

// --- links and labels ----------------------------------------------------------------------

bool ImageGroup::ToggleMarkerIndex(char mode)
{
    bool changed = false;
    for (int i = 0; i < m_frames.m_count; ++i) {
        List* links = GetImageFrame(i)->GetNeighbor();
        for (int k = 0; k < links->m_count; ++k) {
            auto* link = static_cast<Neighbor*>(links->GetData(k));
            if (Marker* markers = link->GetMarkers()) {
                const bool answer = markers->ToggleMarkerIndex(mode);
                if (!changed) changed = answer;
            }
            if (TwoDCurves* curves = link->GetCurves()) {
                const bool answer = curves->ToggleLineIndex(mode);
                if (!changed) changed = answer;
            }
        }
    }
    if (changed) {
        if (GetMarkerIndexState()) {
            m_state |= kGroupMarkerIndexHidden;
            Marker::SetMarkerIndexState(false);
        } else {
            m_state &= ~kGroupMarkerIndexHidden;
            Marker::SetMarkerIndexState(true);
        }
    }
    return changed;
}

void ImageGroup::DeactivateAllLink()
{
    for (int i = 0; i < m_frames.m_count; ++i) {
        List* links = GetImageFrame(i)->GetNeighbor();
        for (int k = 0; k < links->m_count; ++k) static_cast<Neighbor*>(links->GetData(k))->Activate(false);
    }
}

void ImageGroup::SetFisheye(bool on)
{
    m_state = on ? (m_state | kGroupFisheye) : (m_state & ~kGroupFisheye);
}
