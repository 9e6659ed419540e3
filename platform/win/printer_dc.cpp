#include "platform/win/printer_dc.h"

#include "core/logger.h"
#include "platform/win/doc_view.h"
#include "platform/win/win_app.h"
#include "platform/win/window_dc.h"

#include <algorithm>
#include <cmath>

CPrinterDC::CPrinterDC()
{
    m_hDC = nullptr;
}

CPrinterDC::~CPrinterDC()
{
    if (m_bPrinting) AbortDoc();
}

int CPrinterDC::Pixels(int thousandths) const
{
    return static_cast<int>(std::lround(thousandths * static_cast<double>(m_dotsPerInch) / 1000.0));
}

bool CPrinterDC::CreatePrinter(const std::string& pdfPath, int dotsPerInch, POINT paperSize, RECT minMargins)
{
    if (pdfPath.empty() || dotsPerInch <= 0 || dotsPerInch > 2400 || paperSize.x <= 0 || paperSize.y <= 0 ||
        minMargins.left < 0 || minMargins.top < 0 || minMargins.right < 0 || minMargins.bottom < 0 ||
        minMargins.left + minMargins.right >= paperSize.x || minMargins.top + minMargins.bottom >= paperSize.y) {
        Logger::log("ERROR CPrinterDC::CreatePrinter unusable paper or resolution", 1);
        return false;
    }
    m_path = pdfPath;
    m_dotsPerInch = dotsPerInch;
    m_paper = POINT{Pixels(paperSize.x), Pixels(paperSize.y)};
    m_margins = RECT{Pixels(minMargins.left), Pixels(minMargins.top), Pixels(minMargins.right), Pixels(minMargins.bottom)};
    m_hDC = this;
    return true;
}

int CPrinterDC::StartDoc(const char*)
{
    if (!m_hDC || m_bPrinting) return -1;
    m_bPrinting = TRUE;
    m_pdf = win::PdfWriter();
    return 1;
}

int CPrinterDC::StartPage()
{
    if (!m_bPrinting || m_inPage) return -1;
    // A white sheet; drawing begins at the printable corner and stays inside.
    try {
        m_page = std::make_shared<std::vector<unsigned char>>(static_cast<size_t>(m_paper.x) * m_paper.y * 4, 0xFF);
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR CPrinterDC::StartPage %d x %d pixels are not available", 1, m_paper.x, m_paper.y);
        return -1;
    }
    AttachPixels(m_page, m_page->data(), m_paper.x, m_paper.y, m_paper.x * 4, 4);
    SetDeviceOrigin(POINT{m_margins.left, m_margins.top});
    const RECT printable{m_margins.left, m_margins.top, m_paper.x - m_margins.right, m_paper.y - m_margins.bottom};
    SetDeviceClip(&printable);
    m_inPage = true;
    return 1;
}

int CPrinterDC::EndPage()
{
    if (!m_inPage) return -1;
    m_inPage = false;
    const double points = 72.0 / m_dotsPerInch;
    const bool ok = m_pdf.AddPage(m_page->data(), m_paper.x, m_paper.y, m_paper.x * 4, 4, m_paper.x * points,
                                  m_paper.y * points);
    Detach();
    m_page.reset();
    return ok ? 1 : -1;
}

int CPrinterDC::EndDoc()
{
    if (!m_bPrinting) return -1;
    if (m_inPage) EndPage();
    m_bPrinting = FALSE;
    return m_pdf.Save(m_path) ? 1 : -1;
}

int CPrinterDC::AbortDoc()
{
    m_inPage = false;
    Detach();
    m_page.reset();
    m_pdf = win::PdfWriter();
    m_bPrinting = FALSE;
    return 1;
}

int CPrinterDC::GetDeviceCaps(int index) const
{
    const int width = m_paper.x - m_margins.left - m_margins.right;
    const int height = m_paper.y - m_margins.top - m_margins.bottom;
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return m_dotsPerInch;
    case HORZRES: return width;
    case VERTRES: return height;
    case PHYSICALWIDTH: return m_paper.x;
    case PHYSICALHEIGHT: return m_paper.y;
    case PHYSICALOFFSETX: return m_margins.left;
    case PHYSICALOFFSETY: return m_margins.top;
    case HORZSIZE: return static_cast<int>(std::lround(width * 25.4 / m_dotsPerInch));
    case VERTSIZE: return static_cast<int>(std::lround(height * 25.4 / m_dotsPerInch));
    case BITSPIXEL: return 24;
    default: return CDC::GetDeviceCaps(index);
    }
}

// ---- the view's paint and print commands -------------------------------------------------

void CView::OnPaint()
{
    CPaintDC dc(this);
    OnPrepareDC(&dc);
    OnDraw(&dc);
}

void CView::OnFilePrint()
{
    CPrintInfo info;
    if (!OnPreparePrinting(&info)) return;
    CPrinterDC dc;
    if (!dc.CreatePrinter(info.m_outputPath, info.m_dotsPerInch, info.m_paperSize, info.m_minMargins)) return;
    OnBeginPrinting(&dc, &info);
    const std::string title = m_pDocument ? m_pDocument->GetTitle() : std::string();
    if (dc.StartDoc(title.c_str()) < 0) {
        OnEndPrinting(&dc, &info);
        return;
    }
    for (UINT page = info.m_nFromPage; page <= info.m_nToPage && info.m_bContinuePrinting; ++page) {
        info.m_nCurPage = page;
        OnPrepareDC(&dc, &info);
        if (!info.m_bContinuePrinting) break;
        if (dc.StartPage() < 0) break;
        OnPrepareDC(&dc, &info);
        info.m_rectDraw = RECT{0, 0, dc.GetDeviceCaps(HORZRES), dc.GetDeviceCaps(VERTRES)};
        OnPrint(&dc, &info);
        if (dc.EndPage() < 0) break;
    }
    OnEndPrinting(&dc, &info);
    if (dc.EndDoc() < 0) AfxMessageBox("The document could not be printed.", MB_OK | MB_ICONEXCLAMATION);
}
