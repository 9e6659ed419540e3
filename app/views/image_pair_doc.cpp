#include "app/views/image_pair_doc.h"

#include "app/views/image_loaders.h"
#include "imaging/image.h"
#include "projectgraph/framegrp/image_frame.h"

namespace {

// The photograph of a frame that has none, turned by the frame's rotation.
void LoadMissingImage(ImageFrame* frame)
{
    if (!frame || frame->GetImage() || !frame->GetName()) return;
    Image* image = nullptr;
    if (LoadImage(frame->GetName(), &image) != 1 || !image) return;  // the loader logs its failure
    frame->SetImage(image, true);  // the frame takes its own reference
    ReleaseImage(image);
}

}  // namespace

void CImagePairDoc::SetImagePair(ImageFrame* first, ImageFrame* second, const std::string* title)
{
    m_a = first;
    m_b = second;
    LoadMissingImage(first);
    LoadMissingImage(second);
    if (title) m_title = *title;
}
