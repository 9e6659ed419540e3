#include "platform/win/gdi_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace GdiFont {
namespace {

// One FreeType library and up to two faces for the process. FreeType faces
// are not thread-safe, so every use goes through the one lock.
struct FontState {
    std::mutex lock;
    FT_Library library = nullptr;
    bool libraryTried = false;
    FT_Face faces[2] = {nullptr, nullptr};
    bool faceTried[2] = {false, false};
    std::string forcedFile;  // FENDRAKE_FONT_FILE when the faces were looked up

    void DropFaces()
    {
        for (int i = 0; i < 2; ++i) {
            if (faces[i]) FT_Done_Face(faces[i]);
            faces[i] = nullptr;
            faceTried[i] = false;
        }
    }

    ~FontState()
    {
        for (FT_Face f : faces)
            if (f) FT_Done_Face(f);
        if (library) FT_Done_FreeType(library);
    }
};

FontState& state()
{
    static FontState s;
    return s;
}

FT_Face FaceLocked(FontState& s, bool bold)
{
    // A changed FENDRAKE_FONT_FILE takes effect at the next call.
    const char* forced = std::getenv("FENDRAKE_FONT_FILE");
    const std::string forcedNow = forced ? forced : "";
    if (forcedNow != s.forcedFile) {
        s.DropFaces();
        s.forcedFile = forcedNow;
    }
    const int i = bold ? 1 : 0;
    if (s.faceTried[i]) return s.faces[i];
    s.faceTried[i] = true;
    if (!s.libraryTried) {
        s.libraryTried = true;
        if (FT_Init_FreeType(&s.library) != 0) s.library = nullptr;
    }
    if (!s.library) return nullptr;
    const std::string file = FindFontFile(bold);
    if (file.empty()) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(s.library, file.c_str(), 0, &face) != 0) return nullptr;
    s.faces[i] = face;
    return face;
}

// Scales the face so that ascent + descent fill the cell height.
bool SizeFace(FT_Face face, int cellHeight)
{
    const double cellEm = static_cast<double>(face->ascender - face->descender) / face->units_per_EM;
    const double em = std::max(1.0, cellHeight / cellEm);
    return FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72) == 0;
}

void CellMetrics(FT_Face face, int cellHeight, int* ascent, int* descent)
{
    *ascent = static_cast<int>((face->size->metrics.ascender + 63) / 64);
    *descent = std::max(0, cellHeight - *ascent);
}

std::vector<uint32_t> DecodeUtf8(const std::string& text)
{
    std::vector<uint32_t> out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned c = s[i];
        int extra = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (c >= 0xF8) extra = 0;
        uint32_t cp = extra == 3 ? (c & 7) : extra == 2 ? (c & 15) : extra == 1 ? (c & 31) : c;
        bool ok = i + extra < n;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (!ok || extra == 0) {
            out.push_back(c);  // ASCII, or a stray byte read as Latin-1
            ++i;
        } else {
            out.push_back(cp);
            i += static_cast<size_t>(extra) + 1;
        }
    }
    return out;
}

}  // namespace

std::string FindFontFile(bool bold)
{
    const char* name = bold ? "DejaVuSans-Bold.ttf" : "DejaVuSans.ttf";
    std::error_code ec;
    if (const char* forced = std::getenv("FENDRAKE_FONT_FILE"); forced && *forced)
        return std::filesystem::is_regular_file(forced, ec) ? std::string(forced) : std::string();
    const std::string direct = std::string("/usr/share/fonts/truetype/dejavu/") + name;
    if (std::filesystem::is_regular_file(direct, ec)) return direct;
    std::vector<std::filesystem::path> roots{"/usr/share/fonts", "/usr/local/share/fonts"};
    if (const char* home = std::getenv("HOME"); home && *home) roots.emplace_back(std::string(home) + "/.fonts");
    for (const auto& root : roots) {
        if (!std::filesystem::is_directory(root, ec)) continue;
        for (auto it = std::filesystem::recursive_directory_iterator(
                 root, std::filesystem::directory_options::skip_permission_denied, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().filename() == name) return it->path().string();
        }
    }
    return {};
}

bool GetMetrics(int cellHeight, bool bold, Metrics* out)
{
    FontState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    FT_Face face = FaceLocked(s, bold);
    if (!face || !out || !SizeFace(face, cellHeight)) return false;
    CellMetrics(face, cellHeight, &out->ascent, &out->descent);
    out->maxWidth = static_cast<int>((face->size->metrics.max_advance + 63) / 64);
    out->averageWidth = 0;
    if (FT_Load_Char(face, 'x', FT_LOAD_DEFAULT) == 0)
        out->averageWidth = static_cast<int>((face->glyph->advance.x + 32) / 64);
    return true;
}

bool Render(const std::string& text, int cellHeight, bool bold, Layout* out)
{
    FontState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    FT_Face face = FaceLocked(s, bold);
    if (!face || !out || !SizeFace(face, cellHeight)) return false;
    int ascent = 0, descent = 0;
    CellMetrics(face, cellHeight, &ascent, &descent);
    const std::vector<uint32_t> codes = DecodeUtf8(text);

    // First pass: the advances give the box width.
    int width = 0;
    for (uint32_t code : codes) {
        if (FT_Load_Char(face, code, FT_LOAD_DEFAULT) != 0) continue;
        width += static_cast<int>((face->glyph->advance.x + 32) / 64);
    }
    out->width = width;
    out->height = ascent + descent;
    out->coverage.assign(static_cast<size_t>(out->width) * static_cast<size_t>(out->height), 0);

    // Second pass: glyph bitmaps on the baseline, clipped to the box.
    int penX = 0;
    for (uint32_t code : codes) {
        if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& bm = g->bitmap;
        if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
            for (unsigned r = 0; r < bm.rows; ++r) {
                const int y = ascent - g->bitmap_top + static_cast<int>(r);
                if (y < 0 || y >= out->height) continue;
                const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch;
                for (unsigned c = 0; c < bm.width; ++c) {
                    const int x = penX + g->bitmap_left + static_cast<int>(c);
                    if (x < 0 || x >= out->width) continue;
                    uint8_t& cover = out->coverage[static_cast<size_t>(y) * out->width + x];
                    cover = std::max(cover, row[c]);
                }
            }
        }
        penX += static_cast<int>((g->advance.x + 32) / 64);
    }
    return true;
}

}  // namespace GdiFont
