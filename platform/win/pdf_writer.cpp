#include "platform/win/pdf_writer.h"

#include "core/logger.h"

#include <cstdio>
#include <zlib.h>

namespace win {

bool PdfWriter::AddPage(const unsigned char* pixels, int width, int height, int rowBytes, int channels,
                        double widthPoints, double heightPoints)
{
    if (!pixels || width <= 0 || height <= 0 || (channels != 3 && channels != 4) || rowBytes < width * channels) {
        Logger::log("ERROR PdfWriter::AddPage unusable picture", 1);
        return false;
    }
    // PDF images are R, G, B.
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = pixels + static_cast<size_t>(y) * rowBytes;
        unsigned char* out = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            out[3 * x] = in[channels * x + 2];
            out[3 * x + 1] = in[channels * x + 1];
            out[3 * x + 2] = in[channels * x];
        }
    }
    uLongf size = compressBound(static_cast<uLong>(rgb.size()));
    Page page{width, height, widthPoints, heightPoints, std::vector<unsigned char>(size)};
    if (compress2(page.compressed.data(), &size, rgb.data(), static_cast<uLong>(rgb.size()), 6) != Z_OK) {
        Logger::log("ERROR PdfWriter::AddPage compression failed", 1);
        return false;
    }
    page.compressed.resize(size);
    m_pages.push_back(std::move(page));
    return true;
}

bool PdfWriter::Save(const std::string& path) const
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        Logger::log("ERROR PdfWriter::Save cannot write %s", 1, path.c_str());
        return false;
    }
    std::vector<long> offsets;  // byte offset of object n at n - 1
    auto begin = [&](int number) {
        offsets.resize(static_cast<size_t>(number));
        offsets[static_cast<size_t>(number - 1)] = std::ftell(f);
        std::fprintf(f, "%d 0 obj\n", number);
    };
    std::fprintf(f, "%%PDF-1.4\n%%\xE2\xE3\xCF\xD3\n");
    begin(1);
    std::fprintf(f, "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    begin(2);
    std::fprintf(f, "<< /Type /Pages /Kids [");
    for (size_t i = 0; i < m_pages.size(); ++i) std::fprintf(f, " %zu 0 R", 3 + 3 * i);
    std::fprintf(f, " ] /Count %zu >>\nendobj\n", m_pages.size());
    for (size_t i = 0; i < m_pages.size(); ++i) {
        const Page& p = m_pages[i];
        const int pageObject = static_cast<int>(3 + 3 * i);
        char content[256];
        const int contentLength = std::snprintf(content, sizeof content, "q %.4f 0 0 %.4f 0 0 cm /Im0 Do Q\n",
                                                p.widthPoints, p.heightPoints);
        begin(pageObject);
        std::fprintf(f,
                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.4f %.4f] /Resources << /XObject << /Im0 %d 0 R >> >> "
                     "/Contents %d 0 R >>\nendobj\n",
                     p.widthPoints, p.heightPoints, pageObject + 2, pageObject + 1);
        begin(pageObject + 1);
        std::fprintf(f, "<< /Length %d >>\nstream\n%s\nendstream\nendobj\n", contentLength, content);
        begin(pageObject + 2);
        std::fprintf(f,
                     "<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB /BitsPerComponent 8 "
                     "/Filter /FlateDecode /Length %zu >>\nstream\n",
                     p.width, p.height, p.compressed.size());
        std::fwrite(p.compressed.data(), 1, p.compressed.size(), f);
        std::fprintf(f, "\nendstream\nendobj\n");
    }
    const long xref = std::ftell(f);
    std::fprintf(f, "xref\n0 %zu\n0000000000 65535 f \n", offsets.size() + 1);
    for (long o : offsets) std::fprintf(f, "%010ld 00000 n \n", o);
    std::fprintf(f, "trailer\n<< /Size %zu /Root 1 0 R >>\nstartxref\n%ld\n%%%%EOF\n", offsets.size() + 1, xref);
    const bool ok = !std::ferror(f);
    if (std::fclose(f) != 0 || !ok) {
        Logger::log("ERROR PdfWriter::Save writing %s failed", 1, path.c_str());
        return false;
    }
    return true;
}

}  // namespace win
