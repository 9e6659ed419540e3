#include "app/views/image_view.h"
#include "app/views/image_doc.h"

#include "imaging/image.h"
#include "worldmap/bmp_cell.h"
#include "worldmap/bmp_layer.h"
#include "platform/win/dib.h"
#include "platform/win/gdi.h"
#include "platform/win/system.h"

#include <algorithm>
#include <cmath>
#include <bit>
#include <cstring>
#include <vector>

void CopyNameToQueryBuffer(const std::string& name, char* buffer)
{
    if (!buffer) return;
    // The capacity is a byte count, never negative: 0 leaves room for nothing.
    const size_t capacity = static_cast<unsigned char>(buffer[1]);
    if (capacity == 0) return;
    const size_t n = std::min(name.size(), capacity - 1);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
}

float FitZoom(int areaWidth, int areaHeight, int width, int height)
{
    if (width <= 0 || height <= 0) return 1.0f;
    const float z = std::min(static_cast<float>(areaWidth) / static_cast<float>(width),
                             static_cast<float>(areaHeight) / static_cast<float>(height));
    return std::max(z, 0.1f);
}

void CImageView::OnInitialUpdate()
{
    auto* doc = dynamic_cast<CImageDoc*>(GetDocument());
    Image* image = doc ? doc->GetImage() : nullptr;
    if (!image || !image->GetData() || GetBmpLayer()->GetCount() > 0) return;
    // The cell gets a copy of the pixels: whoever handed the image to the
    // window keeps an intact image of its own.
    auto* cell = new BmpCell();  // a new cell holds its creator's reference
    if (cell->BmpInit(image->GetWidth(), image->GetHeight(), image->GetChannels()) != 0) {
        RefRelease(cell);
        return;
    }
    const size_t rowBytes = static_cast<size_t>(std::min(cell->GetRowByte(), image->GetRowByte()));
    for (int y = 0; y < image->GetHeight(); ++y)
        std::memcpy(cell->GetData() + static_cast<size_t>(y) * cell->GetRowByte(),
                    image->GetData() + static_cast<size_t>(y) * image->GetRowByte(), rowBytes);
    AddBmpCell(cell);
    doc->SetImage(cell);
    GetScreen()->BmpInit(cell->GetWidth(), cell->GetHeight(), cell->GetChannels());
    RefRelease(cell);
    ComposeScreenBmp();
    UpdateTitle();
    UpdateViewSize();
    int w = 0, h = 0;
    GetViewSize(w, h);
    SetScrollSizes(MM_TEXT, SIZE{w, h});
}

namespace {

// The screen image reduced to width x height by averaging every source pixel
// that each output pixel covers (a box filter), so that a photo shown below
// 100 % keeps its detail instead of dropping pixels. Null when it cannot be
// made.
Image* BoxReduce(const Image& source, int width, int height)
{
    const int sw = source.GetWidth();
    const int sh = source.GetHeight();
    const int channels = source.GetChannels();
    if (width <= 0 || height <= 0 || sw <= 0 || sh <= 0 || !source.GetData() || source.GetPixelBytes() != channels)
        return nullptr;
    auto* out = new Image();
    if (out->BmpInit(width, height, channels) != 0) {
        delete out;
        return nullptr;
    }
    std::vector<uint32_t> sums(static_cast<size_t>(width) * channels);
    for (int y = 0; y < height; ++y) {
        const int y0 = static_cast<int>(static_cast<int64_t>(y) * sh / height);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<int64_t>(y + 1) * sh / height));
        uint8_t* row = out->GetData() + static_cast<size_t>(y) * out->GetRowByte();
        for (int x = 0; x < width; ++x) {
            const int x0 = static_cast<int>(static_cast<int64_t>(x) * sw / width);
            const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<int64_t>(x + 1) * sw / width));
            const uint32_t count = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
            for (int c = 0; c < channels; ++c) {
                uint32_t sum = 0;
                for (int sy = y0; sy < y1; ++sy) {
                    const uint8_t* src = source.GetData() + static_cast<size_t>(sy) * source.GetRowByte();
                    for (int sx = x0; sx < x1; ++sx) sum += src[sx * channels + c];
                }
                row[x * channels + c] = static_cast<uint8_t>((sum + count / 2) / count);
            }
        }
    }
    return out;
}

}  // namespace

void CImageView::OnDraw(CDC* dc)
{
    if (!dc) return;
    Image* screen = GetScreen();
    int w = 0, h = 0;
    GetViewSize(w, h);
    if (screen && w > 0 && h > 0 && (w < screen->GetWidth() || h < screen->GetHeight())) {
        if (Image* reduced = BoxReduce(*screen, w, h)) {
            DrawBkground(dc, reduced, GetSysColor(COLOR_3DFACE));
            RefRelease(reduced);
            DrawOverlays(dc);
            return;
        }
    }
    DrawBkground(dc, screen, GetSysColor(COLOR_3DFACE));
    DrawOverlays(dc);
}

float CImageView::GetZoom() const
{
    float x = 1.0f, y = 1.0f;
    GetCurrentZoom(x, y);
    return x;
}

void CImageView::UpdateTitle()
{
    auto* doc = dynamic_cast<CImageDoc*>(GetDocument());
    if (!doc) return;
    const int percent = static_cast<int>(GetZoom() * 100.0f + 0.5f);
    doc->SetTitle((doc->GetName() + " (" + std::to_string(percent) + "%)").c_str());
}

bool CImageView::ZoomTo(float z)
{
    if (!ChangeZoom(z, z)) return false;
    UpdateViewSize();
    int w = 0, h = 0;
    GetViewSize(w, h);
    if (GetSafeHwnd()) {
        SetScrollSizes(MM_TEXT, SIZE{w, h});
        Invalidate();
    }
    UpdateTitle();
    return true;
}

bool CImageView::ZoomStep(bool in)
{
    // Zooms are multiples of 0.05; the limits allow for float rounding.
    const float z = GetZoom() + (in ? 0.05f : -0.05f);
    if (in ? z > 2.1f + 1e-4f : z < 0.2f - 1e-4f) return false;
    return ZoomTo(std::round(z * 100.0f) / 100.0f);
}

int CImageView::Notify(int event, WorldMap*, std::uintptr_t param)
{
    // The dialog passes a float's bits in the low 32 bits of the parameter.
    const float value = std::bit_cast<float>(static_cast<uint32_t>(param));
    if (event >= 1 && event <= 14) {
        if (event == 1) ChangeTransparency(static_cast<uint16_t>(param));
        else if (event <= 5) SetGamma(value, event - 2);
        else if (event <= 9) SetContrast(value, event - 6);
        else if (event <= 13) SetBrightness(static_cast<char>(static_cast<int>(value)), event - 10);
        else ResetBCG();
        if (GetSafeHwnd()) Invalidate();
    } else if (event == 18) {
        auto* doc = dynamic_cast<CImageDoc*>(GetDocument());
        CopyNameToQueryBuffer(doc ? doc->GetName() : std::string(), reinterpret_cast<char*>(param));
    } else if (event == 20 && param) {
        *reinterpret_cast<int*>(param) = GetLastUpdatedChannel();
    }
    return 0;
}
