#include "app/views/image_doc.h"
#include "app/views/image_view.h"

#include "imaging/image.h"
#include "platform/win/dib.h"
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
    win::DrawImage(*dc, *doc->GetImage(), 0, 0);
}

int CImageView::Notify(int, WorldMap*, std::uintptr_t)
{
    return 0;
}
