// The view of a project frame that the stitching core and the global
// adjustment library work through: its image, its information objects, its
// links' markers and pair objects, merge state and blend settings.
// ImageFrame implements it; the stitching application uses ImageFrame itself.
#pragma once

class ExifInfo;
class IImgInfo;
class IPairInfo;
class IPairShareInfo;
class Image;
class KestovaFile;
class Marker;

class IImageFrame {
public:
    virtual Image* GetImage() = 0;
    virtual void SetImage(Image* image, bool rotate) = 0;
    virtual void SetImgInfo(IImgInfo* info) = 0;
    virtual IImgInfo* GetImgInfo() = 0;
    virtual bool GetMarker(IImageFrame* other, Marker** mine, Marker** theirs) = 0;
    virtual Marker* GetMarker(IImageFrame* other) = 0;
    virtual IPairShareInfo* GetPairShareInfo(IImageFrame* other) = 0;
    virtual void SetPairShareInfo(IImageFrame* other, IPairShareInfo* info) = 0;
    virtual bool GetPairInfo(IImageFrame* other, IPairInfo** mine, IPairInfo** theirs) = 0;
    virtual IPairInfo* GetPairInfo(IImageFrame* other) = 0;
    virtual void SetPairInfo(IImageFrame* other, IPairInfo* mine, IPairInfo* theirs) = 0;
    virtual KestovaFile* GetKestovaFile() = 0;
    virtual void SetKestovaFile(KestovaFile* file) = 0;
    virtual int GetNeighborFramesRL(IImageFrame** frames) = 0;
    virtual bool GetMarkerFa(IImageFrame* other, Marker** mine, Marker** theirs) = 0;
    virtual Marker* GetMarkerFa(IImageFrame* other) = 0;
    virtual bool SetAtuoMarkerType(IImageFrame* other, bool on) = 0;
    virtual bool IsAutoMarkerF(IImageFrame* other) = 0;
    virtual bool SetAtuoStitchStatus(IImageFrame* other, bool ok) = 0;
    virtual bool IsAtuoStitchOk(IImageFrame* other) = 0;
    virtual bool GetAutoMarker(IImageFrame* other, Marker** mine, Marker** theirs) = 0;
    virtual void SetAutoMarker(IImageFrame* other, Marker* mine, Marker* theirs, bool on) = 0;
    virtual bool IsMerged() = 0;
    virtual void SetMerged(IImageFrame* other) = 0;
    virtual void SetMerged() = 0;
    virtual void SetNotMerged(IImageFrame* other) = 0;
    virtual void SetNotMerged() = 0;
    virtual void SetNotMergedAll() = 0;
    virtual bool IsMergedPair(IImageFrame* other) = 0;
    virtual unsigned char GetBlendMethod() = 0;
    virtual void SetBlendMethod(unsigned char method) = 0;
    virtual int GetBlendWidth() = 0;
    virtual int GetBlendLine() = 0;
    virtual void SetBlendWidth(short width) = 0;
    virtual void SetBlendLine(short line) = 0;
    virtual bool IsStartFrm(IImageFrame* other, bool& linked) = 0;
    virtual ExifInfo* getExifInfo(bool read) = 0;

protected:
    // No destruction through the interface: frames belong to their group.
    ~IImageFrame() = default;
};
