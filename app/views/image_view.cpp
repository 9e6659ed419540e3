#include "app/views/image_view.h"
#include "app/views/image_doc.h"

#include "imaging/image.h"
#include "platform/win/dib.h"
#include "platform/win/gdi.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

void CImageView::OnDraw(CDC* dc)
{
    auto* doc = dynamic_cast<CImageDoc*>(GetDocument());
    if (!doc || !doc->GetImage()) return;
    win::DrawImage(*dc, *doc->GetImage(), 0, 0);
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
