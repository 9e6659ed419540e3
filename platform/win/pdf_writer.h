// A small PDF writer of our own: one page per picture, the picture as a
// Flate-compressed RGB image filling the page. The printer context writes
// its pages with it.
#pragma once

#include <string>
#include <vector>

namespace win {

class PdfWriter {
public:
    // Pixels top-down, B, G, R (and an unused fourth byte when channels is
    // 4); the page is width x height points (1/72 inch).
    bool AddPage(const unsigned char* pixels, int width, int height, int rowBytes, int channels, double widthPoints,
                 double heightPoints);
    size_t PageCount() const { return m_pages.size(); }
    // False (and a logged error) when the file cannot be written.
    bool Save(const std::string& path) const;

private:
    struct Page {
        int width;
        int height;
        double widthPoints;
        double heightPoints;
        std::vector<unsigned char> compressed;
    };
    std::vector<Page> m_pages;
};

}  // namespace win
