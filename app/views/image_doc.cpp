#include "app/views/image_doc.h"
#include "app/views/image_view.h"

#include "imaging/image.h"
#include "platform/win/gdi.h"

CImageDoc::~CImageDoc()
{
    ReleaseImage(m_image);
}

void CImageDoc::SetImage(Image* image)
{
    RefAdd(image);
    ReleaseImage(m_image);
    m_image = image;
}

void CImageDoc::SetImageAndName(Image* image, const char* name)
{
    SetImage(image);
    m_name = name ? name : "";
    SetTitle(m_name.c_str());
}

void CImageView::OnDraw(CDC* dc)
{
    auto* doc = dynamic_cast<CImageDoc*>(GetDocument());
    if (!doc || !doc->GetImage()) return;
    Image* image = doc->GetImage();
    if (image->GetDataBits() != 8 || (image->GetChannels() != 1 && image->GetChannels() != 3)) return;
    CDC source(image);
    dc->BitBlt(0, 0, image->GetWidth(), image->GetHeight(), &source, 0, 0, SRCCOPY);
}

int CImageView::Notify(int, WorldMap*, std::uintptr_t)
{
    return 0;
}
