#include "platform/win/doc_view.h"

#include "core/logger.h"
#include "platform/win/data_exchange.h"
#include "platform/win/dialog.h"
#include "platform/win/prompter.h"
#include "platform/win/system.h"
#include "platform/win/win_app.h"
#include "platform/win/window_system.h"

namespace win {
// Moves the drawing origin of a device context by the scroll position.
void ApplyScrollOrigin(CDC* dc, POINT scroll);
}  // namespace win

#include <algorithm>
#include <set>
#include <strings.h>

// ---- CDocument ---------------------------------------------------------------------

CDocument::CDocument() = default;

CDocument::~CDocument()
{
    if (m_pDocTemplate) m_pDocTemplate->RemoveDocument(this);
    for (CView* v : m_views) v->m_pDocument = nullptr;
}

const win::MessageMap* CDocument::GetMessageMap() const
{
    static const win::MessageMap map(CCmdTarget::GetMessageMap(),
                                     {
                                         win::on::Command(ID_FILE_SAVE, &CDocument::OnFileSave),
                                         win::on::Command(ID_FILE_SAVE_AS, &CDocument::OnFileSaveAs),
                                         win::on::Command(ID_FILE_CLOSE, &CDocument::OnFileClose),
                                     });
    return &map;
}

void CDocument::SetTitle(const char* title)
{
    m_strTitle = title ? title : "";
    UpdateFrameCounts();
}

void CDocument::SetPathName(const char* path, BOOL addToRecent)
{
    m_strPathName = path ? path : "";
    // The title is the file's name: after the last separator of either kind.
    const size_t cut = m_strPathName.find_last_of("/\\");
    SetTitle((cut == std::string::npos ? m_strPathName : m_strPathName.substr(cut + 1)).c_str());
    if (addToRecent && !m_strPathName.empty()) {
        if (CWinApp* app = AfxGetApp()) app->AddToRecentFileList(m_strPathName.c_str());
    }
}

void CDocument::AddView(CView* view)
{
    if (!view || std::find(m_views.begin(), m_views.end(), view) != m_views.end()) return;
    m_views.push_back(view);
    view->m_pDocument = this;
    OnChangedViewList();
}

void CDocument::RemoveView(CView* view)
{
    auto it = std::find(m_views.begin(), m_views.end(), view);
    if (it == m_views.end()) return;
    m_views.erase(it);
    view->m_pDocument = nullptr;
    OnChangedViewList();
}

void CDocument::OnChangedViewList()
{
    // The last view gone closes an auto-deleting document.
    if (m_views.empty() && m_bAutoDelete && !m_closing) {
        OnCloseDocument();
        return;
    }
    UpdateFrameCounts();
}

void CDocument::UpdateAllViews(CView* sender, LPARAM hint, CObject* hintObject)
{
    const std::vector<CView*> views = m_views;
    for (CView* v : views) {
        if (v == sender) continue;
        if (std::find(m_views.begin(), m_views.end(), v) == m_views.end()) continue;
        v->OnUpdate(sender, hint, hintObject);
    }
}

void CDocument::UpdateFrameCounts()
{
    std::vector<CFrameWnd*> frames;
    for (CView* v : m_views) {
        CFrameWnd* f = v->GetParentFrame();
        if (f && std::find(frames.begin(), frames.end(), f) == frames.end()) frames.push_back(f);
    }
    const bool several = frames.size() > 1;
    int n = 1;
    for (CFrameWnd* f : frames) {
        f->m_nWindow = several ? n++ : 0;
        f->OnUpdateFrameTitle(TRUE);
    }
}

BOOL CDocument::OnNewDocument()
{
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::OnOpenDocument(const char*)
{
    DeleteContents();
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::OnSaveDocument(const char*)
{
    SetModifiedFlag(FALSE);
    return TRUE;
}

void CDocument::OnCloseDocument()
{
    if (m_closing) return;
    m_closing = true;
    std::vector<CFrameWnd*> frames;
    for (CView* v : m_views) {
        CFrameWnd* f = v->GetParentFrame();
        if (f && std::find(frames.begin(), frames.end(), f) == frames.end()) frames.push_back(f);
    }
    for (CFrameWnd* f : frames) {
        if (f->m_hWnd) f->DestroyWindow();
    }
    m_closing = false;
    DeleteContents();
    if (m_bAutoDelete) delete this;
}

BOOL CDocument::SaveModified()
{
    if (!IsModified()) return TRUE;
    const std::string name = m_strTitle.empty() ? "Untitled" : m_strTitle;
    const std::string text = "Save changes to " + name + "?";
    switch (AfxMessageBox(text.c_str(), MB_YESNOCANCEL | MB_ICONEXCLAMATION)) {
    case IDCANCEL: return FALSE;
    case IDYES: return DoSave(m_strPathName.empty() ? nullptr : m_strPathName.c_str());
    default: return TRUE;
    }
}

BOOL CDocument::DoSave(const char* path, BOOL replace)
{
    std::string target = path ? path : "";
    if (target.empty()) {
        win::FileDialogRequest request;
        request.open = false;
        request.title = "Save As";
        request.fileName = m_strTitle;
        if (m_pDocTemplate) {
            std::string filterName, filterExt;
            m_pDocTemplate->GetDocString(filterName, CDocTemplate::filterName);
            m_pDocTemplate->GetDocString(filterExt, CDocTemplate::filterExt);
            if (!filterExt.empty()) {
                request.defaultExt = filterExt;
                request.filter = filterName + "|*" + filterExt + "||";
            }
        }
        const win::FileDialogAnswer answer = win::GetPrompter().FileDialog(request);
        if (!answer.ok || answer.paths.empty()) return FALSE;
        target = answer.paths.front();
    }
    if (!OnSaveDocument(target.c_str())) return FALSE;
    if (replace) SetPathName(target.c_str());
    return TRUE;
}

BOOL CDocument::CanCloseFrame(CFrameWnd* frame)
{
    for (CView* v : m_views) {
        if (v->GetParentFrame() != frame) return TRUE;  // another frame stays open
    }
    return SaveModified();
}

void CDocument::OnFileClose()
{
    if (!SaveModified()) return;
    OnCloseDocument();
}

BOOL CDocument::OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info)
{
    if (CCmdTarget::OnCmdMsg(id, code, extra, info)) return TRUE;
    return m_pDocTemplate ? m_pDocTemplate->OnCmdMsg(id, code, extra, info) : FALSE;
}

// ---- CView ------------------------------------------------------------------------------

CView::CView() = default;

CView::~CView()
{
    if (m_pDocument) m_pDocument->RemoveView(this);
}

const win::MessageMap* CView::GetMessageMap() const
{
    static const win::MessageMap map(CWnd::GetMessageMap(), {
                                                                win::on::Command(ID_FILE_PRINT, &CView::OnFilePrint),
                                                            });
    return &map;
}

BOOL CView::Create(const char* className, const char* windowName, DWORD style, const RECT& rect, CWnd* parent,
                   UINT id, void* context)
{
    return CreateOrDispose(WS_EX_CLIENTEDGE, className, windowName, style | WS_CHILD, rect, parent, id, context);
}

int CView::OnCreate(LPCREATESTRUCT cs)
{
    if (CWnd::OnCreate(cs) == -1) return -1;
    auto* context = static_cast<CCreateContext*>(cs ? cs->lpCreateParams : nullptr);
    if (context && context->m_pCurrentDoc) context->m_pCurrentDoc->AddView(this);
    return 0;
}

void CView::OnDestroy()
{
    if (CFrameWnd* frame = GetParentFrame()) {
        if (frame->m_pViewActive == this) frame->SetActiveView(nullptr, FALSE);
    }
    CWnd::OnDestroy();
}

void CView::PostNcDestroy()
{
    delete this;
}

BOOL CView::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_INITIALUPDATE) {
        OnInitialUpdate();
        if (result) *result = 0;
        return TRUE;
    }
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
        // A click makes this the active view of its frame, and the frame the
        // active child of the main frame.
        if (CFrameWnd* frame = GetParentFrame()) {
            if (auto* child = dynamic_cast<CMDIChildWnd*>(frame)) child->MDIActivate();
            frame->SetActiveView(this);
        }
        if (!m_hWnd) return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

void CView::OnInitialUpdate()
{
    OnUpdate(nullptr, 0, nullptr);
}

void CView::OnUpdate(CView*, LPARAM, CObject*)
{
    Invalidate(TRUE);
}

void CView::OnActivateView(BOOL, CView*, CView*) {}

void CView::OnPrepareDC(CDC*, CPrintInfo* info)
{
    // With an unknown page count one page is printed.
    if (info && info->m_nMaxPage == 0xFFFF && info->m_nCurPage != 1) info->m_bContinuePrinting = FALSE;
}

BOOL CView::OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info)
{
    if (CWnd::OnCmdMsg(id, code, extra, info)) return TRUE;
    return m_pDocument ? m_pDocument->OnCmdMsg(id, code, extra, info) : FALSE;
}

BOOL CView::OnPreparePrinting(CPrintInfo* info)
{
    return DoPreparePrinting(info);
}

BOOL CView::DoPreparePrinting(CPrintInfo* info)
{
    if (!info) return FALSE;
    win::PrintRequest request;
    request.minPage = static_cast<int>(info->m_nMinPage);
    request.maxPage = static_cast<int>(info->m_nMaxPage);
    const win::PrintAnswer answer = win::GetPrompter().Print(request);
    if (!answer.ok || answer.outputPath.empty()) return FALSE;
    info->m_outputPath = answer.outputPath;
    info->m_nFromPage = static_cast<UINT>(std::max(answer.fromPage, static_cast<int>(info->m_nMinPage)));
    info->m_nToPage = static_cast<UINT>(std::min(answer.toPage, static_cast<int>(info->m_nMaxPage)));
    info->m_dotsPerInch = answer.dotsPerInch;
    info->m_paperSize = answer.paperSize;
    info->m_minMargins = answer.minMargins;
    return TRUE;
}

void CView::OnBeginPrinting(CDC*, CPrintInfo*) {}
void CView::OnEndPrinting(CDC*, CPrintInfo*) {}

void CView::OnPrint(CDC* dc, CPrintInfo*)
{
    OnDraw(dc);
}

// ---- CScrollView ------------------------------------------------------------------------

const SIZE CScrollView::sizeDefault{0, 0};

void CScrollView::SetScrollSizes(int mapMode, SIZE total, const SIZE& page, const SIZE& line)
{
    m_nMapMode = mapMode;
    m_totalLog = CSize(std::max(0, total.cx), std::max(0, total.cy));
    m_pageDefault = page.cx == 0 && page.cy == 0;
    m_lineDefault = line.cx == 0 && line.cy == 0;
    m_pageDev = m_pageDefault ? CSize(m_totalLog.cx / 10, m_totalLog.cy / 10) : CSize(page);
    m_lineDev = m_lineDefault ? CSize(m_pageDev.cx / 10, m_pageDev.cy / 10) : CSize(line);
    UpdateBars();
}

CPoint CScrollView::GetScrollPosition() const
{
    return CPoint(GetScrollPos(SB_HORZ), GetScrollPos(SB_VERT));
}

void CScrollView::ScrollToPosition(POINT pos)
{
    SetScrollPos(SB_HORZ, pos.x);
    SetScrollPos(SB_VERT, pos.y);
    Invalidate(TRUE);
}

void CScrollView::GetDeviceScrollSizes(int& mapMode, SIZE& total, SIZE& page, SIZE& line) const
{
    mapMode = m_nMapMode;
    total = m_totalLog;
    page = m_pageDev;
    line = m_lineDev;
}

void CScrollView::UpdateBars()
{
    if (!m_hWnd) return;
    // Bars appear only where the total exceeds the client area; showing one
    // bar shrinks the client area and may call for the other.
    CRect client;
    GetClientRect(&client);
    const DWORD style = GetStyle();
    int width = client.Width() + ((style & WS_VSCROLL) ? win::kScrollBarThickness : 0);
    int height = client.Height() + ((style & WS_HSCROLL) ? win::kScrollBarThickness : 0);
    bool needH = m_totalLog.cx > width, needV = m_totalLog.cy > height;
    if (needH && !needV) needV = m_totalLog.cy > height - win::kScrollBarThickness;
    if (needV && !needH) needH = m_totalLog.cx > width - win::kScrollBarThickness;
    if (needV) width -= win::kScrollBarThickness;
    if (needH) height -= win::kScrollBarThickness;
    SCROLLINFO h{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE, 0, needH ? m_totalLog.cx - 1 : 0,
                 static_cast<UINT>(std::max(0, width)), 0, 0};
    SCROLLINFO v{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE, 0, needV ? m_totalLog.cy - 1 : 0,
                 static_cast<UINT>(std::max(0, height)), 0, 0};
    SetScrollInfo(SB_HORZ, &h);
    SetScrollInfo(SB_VERT, &v);
    if (m_pageDefault) m_pageDev = CSize(m_totalLog.cx / 10, m_totalLog.cy / 10);
}

void CScrollView::OnSize(UINT type, int cx, int cy)
{
    CView::OnSize(type, cx, cy);
    // Guards against the size changes that showing a bar causes itself.
    static thread_local int depth = 0;
    if (depth > 2) return;
    ++depth;
    UpdateBars();
    --depth;
}

void CScrollView::OnPrepareDC(CDC* dc, CPrintInfo* info)
{
    CView::OnPrepareDC(dc, info);
    // Printing shows the document from its origin, not the scrolled part.
    if (dc && !dc->IsPrinting()) win::ApplyScrollOrigin(dc, GetScrollPosition());
}

void CScrollView::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    if (scrollCtrl) {
        CView::OnHScroll(code, pos, scrollCtrl);
        return;
    }
    OnScroll(MAKEWORD(code, 0xFF), pos);
}

void CScrollView::OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    if (scrollCtrl) {
        CView::OnVScroll(code, pos, scrollCtrl);
        return;
    }
    OnScroll(MAKEWORD(0xFF, code), pos);
}

BOOL CScrollView::OnScroll(UINT codes, UINT pos, BOOL doScroll)
{
    // Low byte the horizontal code, high byte the vertical (0xFF: none).
    auto step = [&](UINT code, int bar, int page, int line) {
        SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(bar, &info);
        int target = info.nPos;
        switch (code) {
        case SB_TOP: target = 0; break;
        case SB_BOTTOM: target = INT32_MAX; break;
        case SB_LINEUP: target -= std::max(1, line); break;
        case SB_LINEDOWN: target += std::max(1, line); break;
        case SB_PAGEUP: target -= std::max(1, page); break;
        case SB_PAGEDOWN: target += std::max(1, page); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: target = static_cast<int>(pos); break;
        default: return 0;
        }
        return target - info.nPos;
    };
    const UINT hCode = codes & 0xFF, vCode = (codes >> 8) & 0xFF;
    CSize delta(hCode == 0xFF ? 0 : step(hCode, SB_HORZ, m_pageDev.cx, m_lineDev.cx),
                vCode == 0xFF ? 0 : step(vCode, SB_VERT, m_pageDev.cy, m_lineDev.cy));
    return OnScrollBy(delta, doScroll);
}

BOOL CScrollView::OnScrollBy(CSize size, BOOL doScroll)
{
    const CPoint before = GetScrollPosition();
    const int x = GetScrollLimit(SB_HORZ), y = GetScrollLimit(SB_VERT);
    const CPoint after(std::clamp(static_cast<int>(before.x + static_cast<int64_t>(size.cx)), 0, std::max(0, x)),
                       std::clamp(static_cast<int>(before.y + static_cast<int64_t>(size.cy)), 0, std::max(0, y)));
    if (after == before) return FALSE;
    if (doScroll) {
        SetScrollPos(SB_HORZ, after.x);
        SetScrollPos(SB_VERT, after.y);
        Invalidate(TRUE);
    }
    return TRUE;
}

void CScrollView::ResizeParentToFit(BOOL shrinkOnly)
{
    CFrameWnd* frame = GetParentFrame();
    if (!frame) return;
    CRect client;
    GetClientRect(&client);
    const int dx = m_totalLog.cx - client.Width(), dy = m_totalLog.cy - client.Height();
    if (shrinkOnly && dx >= 0 && dy >= 0) return;
    CRect r;
    frame->GetWindowRect(&r);
    if (CWnd* parent = frame->GetParent()) parent->ScreenToClient(&r);
    const int w = r.Width() + ((shrinkOnly && dx > 0) ? 0 : dx);
    const int h = r.Height() + ((shrinkOnly && dy > 0) ? 0 : dy);
    frame->SetWindowPos(nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- CFormView ---------------------------------------------------------------------------

CFormView::CFormView(UINT templateId) : m_templateId(templateId) {}

BOOL CFormView::Create(const char* className, const char* windowName, DWORD style, const RECT& rect, CWnd* parent,
                       UINT id, void* context)
{
    const win::DialogTemplate* t = win::Resources::FindDialog(m_templateId);
    if (!t) {
        Logger::log("ERROR CFormView::Create no dialog resource %u", 1, m_templateId);
        PostNcDestroy();
        return FALSE;
    }
    bool deleted = false;
    m_deletedFlag = &deleted;
    const BOOL ok = CreateOrDispose(0, className ? className : "Dialog", windowName, style | WS_CHILD, rect, parent,
                                    id, context);
    if (deleted) return FALSE;
    m_deletedFlag = nullptr;
    if (!ok) return FALSE;
    if (!win::CreateTemplateControls(*t, this)) {
        DestroyWindow();
        return FALSE;
    }
    SetScrollSizes(MM_TEXT, t->size);
    return TRUE;
}

BOOL CFormView::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    if (dx.Failed()) {
        if (CWnd* control = GetDlgItem(static_cast<int>(dx.m_idLastControl))) control->SetFocus();
        return FALSE;
    }
    return TRUE;
}

void CFormView::DoDataExchange(CDataExchange*) {}

void CFormView::OnInitialUpdate()
{
    UpdateData(FALSE);
    CScrollView::OnInitialUpdate();
}

// ---- CDocTemplate --------------------------------------------------------------------------

CDocTemplate::CDocTemplate(UINT resourceId, const CRuntimeClass* docClass, const CRuntimeClass* frameClass,
                           const CRuntimeClass* viewClass)
    : m_resourceId(resourceId), m_pDocClass(docClass), m_pFrameClass(frameClass), m_pViewClass(viewClass)
{
}

CDocTemplate::~CDocTemplate() = default;

BOOL CDocTemplate::GetDocString(std::string& out, DocStringIndex index) const
{
    out = win::DocStringField(win::Resources::LoadString(m_resourceId), static_cast<int>(index));
    return out.empty() ? FALSE : TRUE;
}

CDocument* CDocTemplate::CreateNewDocument()
{
    if (!m_pDocClass) return nullptr;
    CObject* object = m_pDocClass->CreateObject();
    auto* doc = dynamic_cast<CDocument*>(object);
    if (!doc) {
        Logger::log("ERROR CDocTemplate::CreateNewDocument the class makes no document", 1);
        delete object;
        return nullptr;
    }
    AddDocument(doc);
    return doc;
}

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* doc, CFrameWnd* other)
{
    CCreateContext context;
    context.m_pCurrentFrame = other;
    context.m_pCurrentDoc = doc;
    context.m_pNewViewClass = m_pViewClass;
    context.m_pNewDocTemplate = this;
    CObject* object = m_pFrameClass ? m_pFrameClass->CreateObject() : nullptr;
    auto* frame = dynamic_cast<CFrameWnd*>(object);
    if (!frame) {
        Logger::log("ERROR CDocTemplate::CreateNewFrame the class makes no frame", 1);
        delete object;
        return nullptr;
    }
    // A frame that fails has deleted itself.
    if (!frame->LoadFrame(m_resourceId, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, AfxGetMainWnd(), &context))
        return nullptr;
    return frame;
}

void CDocTemplate::InitialUpdateFrame(CFrameWnd* frame, CDocument* doc, BOOL makeVisible)
{
    if (frame) frame->InitialUpdateFrame(doc, makeVisible);
}

void CDocTemplate::AddDocument(CDocument* doc)
{
    if (doc) doc->m_pDocTemplate = this;
}

void CDocTemplate::RemoveDocument(CDocument* doc)
{
    if (doc && doc->m_pDocTemplate == this) doc->m_pDocTemplate = nullptr;
}

CDocTemplate::Confidence CDocTemplate::MatchDocType(const char* path, CDocument*& match)
{
    match = nullptr;
    const std::string p = path ? path : "";
    for (CDocument* doc : GetDocuments()) {
        if (!p.empty() && doc->GetPathName() == p) {
            match = doc;
            return yesAlreadyOpen;
        }
    }
    std::string ext;
    if (GetDocString(ext, filterExt) && p.size() >= ext.size() &&
        strcasecmp(p.c_str() + p.size() - ext.size(), ext.c_str()) == 0)
        return yesAttemptNative;
    return yesAttemptForeign;
}

void CDocTemplate::CloseAllDocuments(BOOL)
{
    for (CDocument* doc : GetDocuments()) doc->OnCloseDocument();
}

BOOL CDocTemplate::SaveAllModified()
{
    for (CDocument* doc : GetDocuments()) {
        if (!doc->SaveModified()) return FALSE;
    }
    return TRUE;
}

// ---- CMultiDocTemplate -------------------------------------------------------------------------

CMultiDocTemplate::~CMultiDocTemplate()
{
    for (CDocument* doc : m_docs) doc->m_pDocTemplate = nullptr;
}

void CMultiDocTemplate::AddDocument(CDocument* doc)
{
    CDocTemplate::AddDocument(doc);
    if (doc && std::find(m_docs.begin(), m_docs.end(), doc) == m_docs.end()) m_docs.push_back(doc);
}

void CMultiDocTemplate::RemoveDocument(CDocument* doc)
{
    CDocTemplate::RemoveDocument(doc);
    m_docs.erase(std::remove(m_docs.begin(), m_docs.end(), doc), m_docs.end());
}

void CMultiDocTemplate::SetDefaultTitle(CDocument* doc)
{
    std::string name;
    if (!GetDocString(name, docName)) name = "Untitled";
    doc->SetTitle((name + std::to_string(m_untitledCount + 1)).c_str());
}

namespace {
constexpr const char* kCannotCreate = "The document could not be created.";
}

CDocument* CMultiDocTemplate::OpenDocumentFile(const char* path, BOOL makeVisible)
{
    CDocument* doc = CreateNewDocument();
    if (!doc) {
        AfxMessageBox(kCannotCreate);
        return nullptr;
    }
    // The document must outlive a frame that fails to come up.
    const BOOL autoDelete = doc->m_bAutoDelete;
    doc->m_bAutoDelete = FALSE;
    CFrameWnd* frame = CreateNewFrame(doc, nullptr);
    doc->m_bAutoDelete = autoDelete;
    if (!frame) {
        AfxMessageBox(kCannotCreate);
        delete doc;
        return nullptr;
    }
    if (!path) {
        SetDefaultTitle(doc);
        if (!doc->OnNewDocument()) {
            frame->DestroyWindow();  // takes the document with its view
            return nullptr;
        }
        ++m_untitledCount;
    } else {
        win::PushWaitCursor();
        const BOOL opened = doc->OnOpenDocument(path);
        win::PopWaitCursor();
        if (!opened) {
            frame->DestroyWindow();
            return nullptr;
        }
        doc->SetPathName(path);
    }
    InitialUpdateFrame(frame, doc, makeVisible);
    return doc;
}

// ---- CSingleDocTemplate ---------------------------------------------------------------------------

CSingleDocTemplate::~CSingleDocTemplate()
{
    if (m_pOnlyDoc) m_pOnlyDoc->m_pDocTemplate = nullptr;
}

void CSingleDocTemplate::AddDocument(CDocument* doc)
{
    CDocTemplate::AddDocument(doc);
    m_pOnlyDoc = doc;
}

void CSingleDocTemplate::RemoveDocument(CDocument* doc)
{
    CDocTemplate::RemoveDocument(doc);
    if (m_pOnlyDoc == doc) m_pOnlyDoc = nullptr;
}

std::vector<CDocument*> CSingleDocTemplate::GetDocuments() const
{
    return m_pOnlyDoc ? std::vector<CDocument*>{m_pOnlyDoc} : std::vector<CDocument*>{};
}

void CSingleDocTemplate::SetDefaultTitle(CDocument* doc)
{
    doc->SetTitle("Untitled");
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const char* path, BOOL makeVisible)
{
    CDocument* doc = m_pOnlyDoc;
    CFrameWnd* frame = nullptr;
    bool created = false;
    if (doc) {
        // The one document is reused: its changes are offered for saving first.
        if (!doc->SaveModified()) return nullptr;
        for (CView* v : doc->GetViews()) {
            if ((frame = v->GetParentFrame())) break;
        }
    } else {
        doc = CreateNewDocument();
        if (!doc) {
            AfxMessageBox(kCannotCreate);
            return nullptr;
        }
        const BOOL autoDelete = doc->m_bAutoDelete;
        doc->m_bAutoDelete = FALSE;
        frame = CreateNewFrame(doc, nullptr);
        doc->m_bAutoDelete = autoDelete;
        if (!frame) {
            AfxMessageBox(kCannotCreate);
            delete doc;
            return nullptr;
        }
        created = true;
    }
    if (!path) {
        SetDefaultTitle(doc);
        if (!doc->OnNewDocument()) {
            if (created) frame->DestroyWindow();
            return nullptr;
        }
    } else {
        if (!doc->OnOpenDocument(path)) {
            if (created) frame->DestroyWindow();
            return nullptr;
        }
        doc->SetPathName(path);
    }
    CWinApp* app = AfxGetApp();
    if (created && app && !app->m_pMainWnd) app->m_pMainWnd = frame;
    if (frame) InitialUpdateFrame(frame, doc, makeVisible);
    return doc;
}
