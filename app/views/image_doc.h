// The document of an image window: one image (one reference held) under a
// name that is unique among the open image windows and is also the title.
// The image-documents issue adds its marker groups, curves and text layer.
#pragma once

#include "platform/win/doc_view.h"

#include <string>

class Image;

class CImageDoc : public CDocument {
public:
    ~CImageDoc() override;
    Image* GetImage() const { return m_image; }
    // Drops the old image's reference and holds the new one.
    void SetImage(Image* image);
    void SetImageAndName(Image* image, const char* name);
    const std::string& GetName() const { return m_name; }

private:
    Image* m_image = nullptr;
    std::string m_name;
};
