// A stand-in movie writer for the QuickTime save tests. Each entry writes a
// one-line account of its call to info->path and returns the first 32-bit
// word of the settings record (a field the tests reserve for it); a movie
// that cannot be written gives 1. Built once with all three entries and once
// without WriteQT_ObjectMovie (ordinal 3).
#include "imaging/image.h"
#include "core/win_types.h"
#include "core/file_records.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The settings record as far as the writer reads it: the quality code at
// byte 12 and the codec at byte 16; bytes 0-3 carry the test's answer.
int32_t Word(const QUORVANE_FileInfo* info, int byte)
{
    int32_t v = 0;
    if (info && info->extra) std::memcpy(&v, static_cast<const char*>(info->extra) + byte, 4);
    return v;
}

int Account(const QUORVANE_FileInfo* info, const char* text)
{
    if (!info || !info->path) return 1;
    FILE* f = std::fopen(info->path, "w");
    if (!f) return 1;
    std::fprintf(f, "%s quality=%d codec=%d\n", text, Word(info, 12), Word(info, 16));
    if (std::fclose(f) != 0) return 1;
    return Word(info, 0);
}

}  // namespace

extern "C" {

int WriteQT_PanoMovie(Image** images, RECT* rect, QUORVANE_FileInfo* info)
{
    char text[128];
    std::snprintf(text, sizeof text, "pano %dx%d second=%d rect=%d,%d,%d,%d", images[0]->GetWidth(),
                  images[0]->GetHeight(), images[1] ? 1 : 0, rect ? rect->left : -1, rect ? rect->top : -1,
                  rect ? rect->right : -1, rect ? rect->bottom : -1);
    return Account(info, text);
}

int WriteQT_CubicMovie(Image** images, RECT*, QUORVANE_FileInfo* info)
{
    int faces = 0;
    for (int i = 0; i < 6; ++i) faces += images[i] ? 1 : 0;
    char text[64];
    std::snprintf(text, sizeof text, "cubic faces=%d", faces);
    return Account(info, text);
}

#ifndef FAKE_CINVORA_WITHOUT_OBJECT
int WriteQT_ObjectMovie(Image** images, RECT* rect, QUORVANE_FileInfo* info)
{
    return Account(info, images || rect ? "object with images" : "object");
}
#endif

}  // extern "C"
