// A stand-in Jpegkit for the binding tests, whose entries all "succeed":
// every JPEG loads as a 7 x 7 image of value 77, so a test sees which
// library was bound. Built complete, and once without SetForce0To1
// (ordinal 8), which must then bind nothing.
#include "imaging/image.h"
#include "core/win_types.h"
#include "core/file_records.h"

extern "C" {

int GetJpegHeader(Image* image, QUORVANE_FileInfo*)
{
    image->SetSize(7, 7);
    image->SetChannels(3);
    image->SetDataType(IMG_UINT8);
    return 0;
}
int ReadJpegData(Image* image, QUORVANE_FileInfo*)
{
    for (int y = 0; y < image->GetHeight(); ++y)
        for (int i = 0; i < image->GetWidth() * 3; ++i) image->GetData()[y * image->GetRowByte() + i] = 77;
    return 0;
}
void JpegCleanup(QUORVANE_FileInfo*) {}
int WriteJpeg(Image*, RECT*, QUORVANE_FileInfo*) { return 0; }
FileExtraData* GetQuorvanePD(QUORVANE_FileInfo*) { return nullptr; }
int OrgWHFunction(int* width, int* height, QUORVANE_FileInfo*)
{
    *width = 7;
    *height = 7;
    return 0;
}
int NoReadThumbnail(QUORVANE_FileInfo*) { return 0; }
#ifndef FAKE_JPEGKIT_WITHOUT_ORDINAL_8
bool SetForce0To1(bool on) { return on; }
#endif

}  // extern "C"
