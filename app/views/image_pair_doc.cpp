#include "app/views/image_pair_doc.h"

void CImagePairDoc::SetImagePair(ImageFrame* a, ImageFrame* b, int mode)
{
    (void)mode;
    m_a = a;
    m_b = b;
    SetTitle("Image Pair");
}
