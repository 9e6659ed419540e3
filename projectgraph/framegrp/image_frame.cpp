#include "projectgraph/framegrp/image_frame.h"

#include "imaging/image.h"
#include "platform/imgcore/exif_info.h"
#include "platform/panocore/img_info.h"
#include "projectgraph/curvekit/pair_info.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/sceneio/kestova_file.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/color_ctrl_access.h"
#include "projectgraph/framegrp/neighbor.h"

#include <cstring>
#include <new>

namespace {

void DeleteNeighbor(void* link)
{
    delete static_cast<Neighbor*>(link);
}

// Frame rotation code (state bits 1-2) for an angle.
int AngleStep(int angle)
{
    switch (angle) {
    case 90: return 2;
    case -90: return 6;
    case 180: return 4;
    default: return 0;
    }
}

// Holds `image` for a frame: a reference is taken on the new image before
// the old one is dropped, so that setting the image held is harmless.
void Hold(Image*& slot, Image* image)
{
    RefAdd(image);
    Image* old = slot;
    slot = image;
    ReleaseImage(old);
}

}  // namespace

ImageFrame::ImageFrame() : m_neighbors(DeleteNeighbor, 4)
{
    m_imgInfo = GetImgInfoInterface();
    ResetAotoColorTab();
}

ImageFrame::~ImageFrame()
{
    ReleaseImage(m_image);
    ReleaseImage(m_stampBmp);
    ReleaseImage(m_warpedBmp);
    ReleaseImage(m_thumbSource);
    delete m_kestovaFile;
    // Every neighbour drops its link back to this frame first, so that no
    // link is left pointing at a destroyed frame; then the list deletes ours.
    for (int i = 0; i < m_neighbors.m_count; ++i) {
        auto* link = static_cast<Neighbor*>(m_neighbors.GetData(i));
        if (link && link->m_neighborFrame && link->m_neighborFrame != this)
            link->m_neighborFrame->RemoveNeighbor(this);
    }
    delete m_imgInfo;
    delete m_exif;
}

// --- images ------------------------------------------------------------------

void ImageFrame::SetImage(Image* image, bool rotate)
{
    if (image && rotate) {
        const int angle = GetImageRotationAngle();
        if (angle) image->Rotate(angle);
    }
    Hold(m_image, image);
}

void ImageFrame::RemoveOrgImage()
{
    Hold(m_image, nullptr);
    SetBeamDownState(false);
}

void ImageFrame::SetStampImage(Image* source)
{
    RefAdd(source);  // the caller's image survives the release of the old ones
    Hold(m_stampBmp, nullptr);
    Hold(m_thumbSource, nullptr);
    if (source) {
        const int angle = GetImageRotationAngle();
        if (angle) source->Rotate(angle);
        Hold(m_thumbSource, source);
        // The duplicate comes with its creator's reference, which the frame keeps.
        m_stampBmp = source->Duplicate();
        if (m_stampBmp) RemapImage(m_stampBmp, nullptr);
    }
    ReleaseImage(source);
}

void ImageFrame::RemapImages()
{
    if (m_stampBmp && m_thumbSource) RemapImage(m_stampBmp, m_thumbSource);
}

void ImageFrame::SetWarpedImage(Image* image)
{
    Hold(m_warpedBmp, image);
}

void ImageFrame::RotateImage(int angle)
{
    if (angle == 0) return;
    // The three turns advance the rotation code; the mirrors (270 and -180)
    // are applied to the images held but recorded nowhere, as callers expect
    // of a mirror command.
    const int step = AngleStep(angle);
    m_state = (m_state & ~kFrameRotationMask) | (((m_state & kFrameRotationMask) + step) & kFrameRotationMask);
    for (Image* image : {m_thumbSource, m_stampBmp, m_image, m_warpedBmp})
        if (image) image->Rotate(angle);
}

int ImageFrame::GetImageRotationAngle() const
{
    switch (m_state & kFrameRotationMask) {
    case 2: return 90;
    case 4: return 180;
    case 6: return -90;
    default: return 0;
    }
}

void ImageFrame::GetOpticalCenter(float& x, float& y) const
{
    x = m_image ? m_image->GetWidth() / 2.0f : 0.0f;
    y = m_image ? m_image->GetHeight() / 2.0f : 0.0f;
}

void ImageFrame::RemapImage(Image* target, Image* source)
{
    Logger::log("enter mageFrame::RemapImage", 3);
    const Image* from = source ? source : target;
    if (!target || !target->GetData() || !from->GetData() || target->GetDataType() != IMG_UINT8 ||
        from->GetDataType() != IMG_UINT8 || !target->IsInterleaved() || !from->IsInterleaved() ||
        from->GetWidth() != target->GetWidth() || from->GetHeight() != target->GetHeight() ||
        from->GetChannels() != target->GetChannels() || (target->GetChannels() != 1 && target->GetChannels() != 3)) {
        if (target) Logger::log("ERROR ImageFrame::RemapImage: images do not match (8-bit, 1 or 3 channels, same size)", 1);
        Logger::log("leave mageFrame::RemapImage", 3);
        return;
    }
    unsigned char *red, *green, *blue;
    GetColorTable_Manu(&red, &green, &blue);
    const int channels = target->GetChannels();
    const int width = target->GetWidth();
    for (int y = 0; y < target->GetHeight(); ++y) {
        const unsigned char* s = from->GetData() + static_cast<size_t>(y) * from->GetRowByte();
        unsigned char* d = target->GetData() + static_cast<size_t>(y) * target->GetRowByte();
        if (channels == 1) {
            for (int x = 0; x < width; ++x) d[x] = blue[s[x]];
        } else {
            // Samples are stored blue, green, red.
            for (int x = 0; x < width; ++x, s += 3, d += 3) {
                d[0] = blue[s[0]];
                d[1] = green[s[1]];
                d[2] = red[s[2]];
            }
        }
    }
    Logger::log("leave mageFrame::RemapImage", 3);
}

void ImageFrame::GetColorTable_Manu(unsigned char** red, unsigned char** green, unsigned char** blue)
{
    if (red) *red = ColorTable(m_colorCtrl, 0);
    if (green) *green = ColorTable(m_colorCtrl, 1);
    if (blue) *blue = ColorTable(m_colorCtrl, 2);
}

void ImageFrame::ResetAotoColorTab()
{
    if (!m_imgInfo) return;
    TRANSFORM_RS* rs = m_imgInfo->GetParams();
    if (!rs) return;
    if (!rs->colorTable) rs->colorTable = AllocColorTable();
    unsigned char *red, *green, *blue;
    GetColorTable_Manu(&red, &green, &blue);
    for (int i = 0; i < 256; ++i) {
        rs->colorTable[3 * i] = blue[i];
        rs->colorTable[3 * i + 1] = green[i];
        rs->colorTable[3 * i + 2] = red[i];
    }
}

// --- information objects -------------------------------------------------------

void ImageFrame::SetImgInfo(IImgInfo* info)
{
    if (info == m_imgInfo) return;
    delete m_imgInfo;
    m_imgInfo = info;
}

ExifInfo* ImageFrame::getExifInfo(bool read)
{
    if (!m_exif) {
        if (!read) return nullptr;
        m_exif = new ExifInfo();
        ExtractExif::Run(GetName(), *m_exif);
    }
    return m_exif->m_hasExif ? m_exif : nullptr;
}

// --- names and places ------------------------------------------------------------

void ImageFrame::SetName(const char* name)
{
    if (!name) {
        m_name.reset();
        return;
    }
    const size_t n = std::strlen(name);
    std::unique_ptr<char[]> copy(new char[n + 1]);
    std::memcpy(copy.get(), name, n + 1);
    m_name = std::move(copy);
}

const char* ImageFrame::GetShortName() const
{
    const char* name = m_name.get();
    if (!name) return nullptr;
    const char* slash = std::strrchr(name, '/');
    const char* backslash = std::strrchr(name, '\\');
    const char* last = slash > backslash ? slash : backslash;
    return last ? last + 1 : name;
}

void ImageFrame::GetStampLocation(short* x, short* y) const
{
    if (x) *x = m_stampX;
    if (y) *y = m_stampY;
}

void ImageFrame::SetStampLocation(short x, short y)
{
    m_stampX = x;
    m_stampY = y;
}

void ImageFrame::GetOverlapWndLocation(short* x, short* y) const
{
    if (x) *x = m_overlapX;
    if (y) *y = m_overlapY;
}

void ImageFrame::SetOverlapWndLocation(short x, short y)
{
    m_overlapX = x;
    m_overlapY = y;
}

unsigned char ImageFrame::GetBlendMethod()
{
    switch (m_state & kFrameBlendMethodMask) {
    case 0x200: return 1;
    case 0x400: return 2;
    default: return 0;
    }
}

void ImageFrame::SetBlendMethod(unsigned char method)
{
    m_state &= ~kFrameBlendMethodMask;
    if (method == 1) m_state |= 0x200;
    else if (method == 2) m_state |= 0x400;
}

// --- scene file ----------------------------------------------------------------------

KestovaFile* ImageFrame::GetKestovaFile()
{
    if (!m_kestovaFile) m_kestovaFile = new KestovaFile();
    return m_kestovaFile;
}

void ImageFrame::SetKestovaFile(KestovaFile* file)
{
    if (file == m_kestovaFile) return;
    delete m_kestovaFile;
    m_kestovaFile = file;
}

// --- links ------------------------------------------------------------------------------

ImageFrame* ImageFrame::Frame(IImageFrame* other)
{
    return dynamic_cast<ImageFrame*>(other);
}

Neighbor* ImageFrame::FindNeighbor(const ImageFrame* other) const
{
    if (!other) return nullptr;
    for (int i = 0; i < m_neighbors.m_count; ++i) {
        auto* link = static_cast<Neighbor*>(m_neighbors.GetData(i));
        if (link && link->m_neighborFrame == other) return link;
    }
    return nullptr;
}

Neighbor* ImageFrame::AddNeighbor(ImageFrame* other)
{
    if (!other) return nullptr;
    if (other == this) {
        // A frame does not overlap itself; a self link would also remove
        // itself from the list being walked when the frame is destroyed.
        Logger::log("ERROR ImageFrame::AddNeighbor: a frame cannot link to itself", 1);
        return nullptr;
    }
    if (Neighbor* existing = FindNeighbor(other)) return existing;

    // Both links are made before either is attached, so that a failure
    // leaves no half pair behind.
    std::unique_ptr<Neighbor> link;
    std::unique_ptr<Neighbor> back;
    try {
        link = std::make_unique<Neighbor>(true);
        if (!other->FindNeighbor(this)) back = std::make_unique<Neighbor>(false);
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR ImageFrame::AddNeighbor: cannot allocate Neighbor", 1);
        return nullptr;
    }
    link->m_neighborFrame = other;
    if (back) {
        back->m_neighborFrame = this;
        link->SetPairShareInfo(back->GetPairShareInfo());
    }
    if (m_neighbors.Append(link.get()) < 0) {
        Logger::log("ERROR ImageFrame::AddNeighbor: cannot allocate Neighbor", 1);
        link->SetPairShareInfo(nullptr);
        return nullptr;
    }
    Neighbor* result = link.release();
    if (back) {
        if (other->m_neighbors.Append(back.get()) < 0) {
            Logger::log("ERROR ImageFrame::AddNeighbor: cannot allocate Neighbor", 1);
            result->m_pairShareInfo = nullptr;
            m_neighbors.RemoveData(result);
            return nullptr;
        }
        back.release();
    }
    return result;
}

void ImageFrame::RemoveNeighbor(ImageFrame* other)
{
    Neighbor* link = FindNeighbor(other);
    if (!link) return;
    // When the link going away owns the pair-share object that the link back
    // still holds, the two swap roles first: the object then lives on with
    // the remaining link and is released exactly once.
    if (!link->IsEndImageFrame() && link->m_pairShareInfo) {
        Neighbor* reverse = other ? other->FindNeighbor(this) : nullptr;
        if (reverse && reverse->m_pairShareInfo == link->m_pairShareInfo && reverse->IsEndImageFrame()) {
            reverse->SetAsStartFrame();
            link->SetAsEndFrame();
        }
    }
    m_neighbors.RemoveData(link);
}

int ImageFrame::GetNeighborFramesRL(IImageFrame** frames)
{
    int n = 0;
    for (int i = 0; i < m_neighbors.m_count && n < 2; ++i) {
        auto* link = static_cast<Neighbor*>(m_neighbors.GetData(i));
        if (frames) frames[n] = link->m_neighborFrame;
        ++n;
    }
    return n;
}

Marker* ImageFrame::GetMarker(IImageFrame* other)
{
    Neighbor* link = FindNeighbor(Frame(other));
    return link ? link->GetMarkers() : nullptr;
}

bool ImageFrame::GetMarker(IImageFrame* other, Marker** mine, Marker** theirs)
{
    ImageFrame* frame = Frame(other);
    Marker* a = GetMarker(other);
    Marker* b = frame ? frame->GetMarker(this) : nullptr;
    if (mine) *mine = a;
    if (theirs) *theirs = b;
    return a && b;
}

Marker* ImageFrame::GetMarkerFa(IImageFrame* other)
{
    Neighbor* link = FindNeighbor(Frame(other));
    return link ? link->GetMarkerFa() : nullptr;
}

bool ImageFrame::GetMarkerFa(IImageFrame* other, Marker** mine, Marker** theirs)
{
    ImageFrame* frame = Frame(other);
    Marker* a = GetMarkerFa(other);
    Marker* b = frame ? frame->GetMarkerFa(this) : nullptr;
    if (mine) *mine = a;
    if (theirs) *theirs = b;
    return a && b;
}

IPairShareInfo* ImageFrame::GetPairShareInfo(IImageFrame* other)
{
    Neighbor* link = FindNeighbor(Frame(other));
    return link ? link->GetPairShareInfo() : nullptr;
}

void ImageFrame::SetPairShareInfo(IImageFrame* other, IPairShareInfo* info)
{
    ImageFrame* frame = Frame(other);
    Neighbor* link = FindNeighbor(frame);
    Neighbor* back = frame ? frame->FindNeighbor(this) : nullptr;
    // The owning link releases the old object only after the other link has
    // stopped pointing at it.
    if (link && link->IsEndImageFrame()) {
        link->SetPairShareInfo(info);
        if (back) back->SetPairShareInfo(info);
    } else {
        if (back) back->SetPairShareInfo(info);
        if (link) link->SetPairShareInfo(info);
    }
}

IPairInfo* ImageFrame::GetPairInfo(IImageFrame* other)
{
    Neighbor* link = FindNeighbor(Frame(other));
    return link ? link->GetPairInfo() : nullptr;
}

bool ImageFrame::GetPairInfo(IImageFrame* other, IPairInfo** mine, IPairInfo** theirs)
{
    ImageFrame* frame = Frame(other);
    IPairInfo* a = GetPairInfo(other);
    IPairInfo* b = frame ? frame->GetPairInfo(this) : nullptr;
    if (mine) *mine = a;
    if (theirs) *theirs = b;
    return a && b;
}

void ImageFrame::SetPairInfo(IImageFrame* other, IPairInfo* mine, IPairInfo* theirs)
{
    ImageFrame* frame = Frame(other);
    Neighbor* link = AddNeighbor(frame);
    Neighbor* back = frame ? frame->FindNeighbor(this) : nullptr;
    // Objects that find no link to hold them are released, not leaked.
    if (link) link->SetPairInfo(mine);
    else delete mine;
    if (back) back->SetPairInfo(theirs);
    else delete theirs;
}

bool ImageFrame::SetAtuoMarkerType(IImageFrame* other, bool on)
{
    Neighbor* link = FindNeighbor(Frame(other));
    if (!link) return false;
    link->SetAtuoMarkerType(on);
    return true;
}

bool ImageFrame::IsAutoMarkerF(IImageFrame* other)
{
    Neighbor* link = FindNeighbor(Frame(other));
    return link && link->IsAutoMarkerF();
}

bool ImageFrame::SetAtuoStitchStatus(IImageFrame* other, bool ok)
{
    Neighbor* link = FindNeighbor(Frame(other));
    if (!link) return false;
    link->SetAtuoStitchStatus(ok);
    return true;
}

bool ImageFrame::IsAtuoStitchOk(IImageFrame* other)
{
    Neighbor* link = FindNeighbor(Frame(other));
    return link && link->IsAtuoStitchOk();
}

bool ImageFrame::GetAutoMarker(IImageFrame* other, Marker** mine, Marker** theirs)
{
    ImageFrame* frame = Frame(other);
    Neighbor* link = FindNeighbor(frame);
    Neighbor* back = frame ? frame->FindNeighbor(this) : nullptr;
    if (link && back && link->GetPairInfo() && back->GetPairInfo()) {
        Marker* a = link->GetPairInfo()->GetMarker(0);
        Marker* b = back->GetPairInfo()->GetMarker(0);
        if (mine && theirs) {
            *mine = a;
            *theirs = b;
        }
        if (a && b) return true;
    }
    if (mine) *mine = nullptr;
    if (theirs) *theirs = nullptr;
    return false;
}

void ImageFrame::SetAutoMarker(IImageFrame* other, Marker* mine, Marker* theirs, bool on)
{
    ImageFrame* frame = Frame(other);
    if (!frame || frame == this) {
        delete mine;
        delete theirs;
        return;
    }
    Neighbor* link = FindNeighbor(frame);
    if (!link || !link->GetPairInfo()) {
        SetPairInfo(frame, GetPairInfoInterface(), GetPairInfoInterface());
        link = FindNeighbor(frame);
    }
    Neighbor* back = frame->FindNeighbor(this);
    if (back && !back->GetPairInfo()) back->SetPairInfo(GetPairInfoInterface());
    if (link) link->GetPairInfo()->SetMarker(mine);
    else delete mine;
    if (back) back->GetPairInfo()->SetMarker(theirs);
    else delete theirs;
    if (link) link->SetAtuoMarkerType(on);
    if (back) back->SetAtuoMarkerType(on);
}

bool ImageFrame::IsStartFrm(IImageFrame* other, bool& linked)
{
    Neighbor* link = FindNeighbor(Frame(other));
    linked = link != nullptr;
    return link && link->IsEndImageFrame();
}

// --- merging ------------------------------------------------------------------------

bool ImageFrame::HasOtherMergedLink() const
{
    for (int i = 0; i < m_neighbors.m_count; ++i)
        if (static_cast<Neighbor*>(m_neighbors.GetData(i))->IsMerged()) return true;
    return false;
}

void ImageFrame::SetMerged(IImageFrame* other)
{
    ImageFrame* frame = Frame(other);
    Neighbor* link = FindNeighbor(frame);
    Neighbor* back = frame ? frame->FindNeighbor(this) : nullptr;
    if (link) link->SetMerged();
    if (back) back->SetMerged();
    SetMerged();
    if (frame) frame->SetMerged();
}

bool ImageFrame::IsMergedPair(IImageFrame* other)
{
    Neighbor* link = FindNeighbor(Frame(other));
    return link && link->IsMerged();
}

void ImageFrame::SetNotMerged(IImageFrame* other)
{
    ImageFrame* frame = Frame(other);
    if (Neighbor* link = FindNeighbor(frame)) link->SetNotMerged();
    if (!HasOtherMergedLink()) SetNotMerged();
    if (!frame) return;
    if (Neighbor* back = frame->FindNeighbor(this)) back->SetNotMerged();
    if (!frame->HasOtherMergedLink()) frame->SetNotMerged();
}

void ImageFrame::SetNotMergedAll()
{
    for (int i = 0; i < m_neighbors.m_count; ++i) {
        auto* link = static_cast<Neighbor*>(m_neighbors.GetData(i));
        if (!link->IsMerged()) continue;
        link->SetNotMerged();
        ImageFrame* frame = link->m_neighborFrame;
        if (!frame) continue;
        if (Neighbor* back = frame->FindNeighbor(this)) back->SetNotMerged();
        if (!frame->HasOtherMergedLink()) frame->SetNotMerged();
    }
    SetNotMerged();
}
