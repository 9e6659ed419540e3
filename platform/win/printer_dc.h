// The printer: a device context whose pages are white pictures of the paper
// at the printer's resolution; drawing starts at the printable area's corner
// (the paper less the unprintable border) and each finished page becomes a
// page of the PDF file named at the start (one PDF page per printed page).
#pragma once

#include "platform/win/gdi.h"
#include "platform/win/pdf_writer.h"

#include <memory>
#include <string>
#include <vector>

class CPrinterDC : public CDC {
public:
    CPrinterDC();
    ~CPrinterDC() override;

    // A printer writing `pdfPath`; paper and border in thousandths of an inch.
    // Until then the context has no handle (m_hDC is null).
    bool CreatePrinter(const std::string& pdfPath, int dotsPerInch, POINT paperSize, RECT minMargins);

    int StartDoc(const char* docName) override;
    int StartPage() override;
    int EndPage() override;
    int EndDoc() override;
    int AbortDoc() override;
    int GetDeviceCaps(int index) const override;
    int PagesPrinted() const { return static_cast<int>(m_pdf.PageCount()); }

private:
    int Pixels(int thousandths) const;
    std::string m_path;
    POINT m_paper{0, 0};     // pixels
    RECT m_margins{0, 0, 0, 0};  // pixels
    bool m_inPage = false;
    std::shared_ptr<std::vector<unsigned char>> m_page;
    win::PdfWriter m_pdf;
};
