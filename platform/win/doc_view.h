// Documents, views and document templates: a template makes a document, a
// frame and its view by their class records; a document keeps its title,
// path and views and tells them of changes (UpdateAllViews); views draw the
// document (scroll views with scroll sizes and position, form views from a
// dialog template with data exchange).
#pragma once

#include "platform/win/frame_wnd.h"
#include "platform/win/gdi.h"
#include "platform/win/resources.h"

#include <string>
#include <vector>

class CDataExchange;
class CPrintInfo;


class CDocument : public CCmdTarget {
public:
    CDocument();
    ~CDocument() override;

    const std::string& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(const char* title);
    const std::string& GetPathName() const { return m_strPathName; }
    // Also makes the title the file's name and, with addToRecent, adds the
    // path to the application's recent-file list.
    virtual void SetPathName(const char* path, BOOL addToRecent = TRUE);
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }
    virtual BOOL IsModified() { return m_bModified; }
    virtual void SetModifiedFlag(BOOL modified = TRUE) { m_bModified = modified; }

    void AddView(CView* view);
    void RemoveView(CView* view);
    const std::vector<CView*>& GetViews() const { return m_views; }
    // Calls OnUpdate of every view but the sender.
    void UpdateAllViews(CView* sender, LPARAM hint = 0, CObject* hintObject = nullptr);
    // Refreshes the titles of the document's frames (":1", ":2" with several).
    void UpdateFrameCounts();

    virtual BOOL OnNewDocument();
    virtual BOOL OnOpenDocument(const char* path);
    virtual BOOL OnSaveDocument(const char* path);
    // Destroys the document's frames and, with auto-delete, the document.
    virtual void OnCloseDocument();
    virtual void DeleteContents() {}
    // Asks to save a modified document: false when the user cancels.
    virtual BOOL SaveModified();
    virtual BOOL CanCloseFrame(CFrameWnd* frame);
    virtual void OnChangedViewList();
    virtual BOOL DoSave(const char* path, BOOL replace = TRUE);

    BOOL OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info) override;
    const win::MessageMap* GetMessageMap() const override;

    BOOL m_bAutoDelete = TRUE;

protected:
    void OnFileSave() { DoSave(m_strPathName.empty() ? nullptr : m_strPathName.c_str()); }
    void OnFileSaveAs() { DoSave(nullptr); }
    void OnFileClose();

    std::string m_strTitle;
    std::string m_strPathName;
    CDocTemplate* m_pDocTemplate = nullptr;
    std::vector<CView*> m_views;
    BOOL m_bModified = FALSE;
    bool m_closing = false;

    friend class CDocTemplate;
    friend class CMultiDocTemplate;
    friend class CSingleDocTemplate;
};

class CView : public CWnd {
public:
    CView();
    ~CView() override;

    CDocument* GetDocument() const { return m_pDocument; }
    virtual void OnDraw(CDC* dc) = 0;
    virtual void OnInitialUpdate();
    virtual void OnUpdate(CView* sender, LPARAM hint, CObject* hintObject);
    virtual void OnActivateView(BOOL activate, CView* activated, CView* deactivated);
    virtual void OnPrepareDC(CDC* dc, CPrintInfo* info = nullptr);

    // Printing: the print command asks the prompter (print dialog), prints
    // pages into the printer surface and writes the PDF it named.
    virtual BOOL OnPreparePrinting(CPrintInfo* info);
    virtual void OnBeginPrinting(CDC* dc, CPrintInfo* info);
    virtual void OnPrint(CDC* dc, CPrintInfo* info);
    virtual void OnEndPrinting(CDC* dc, CPrintInfo* info);
    BOOL DoPreparePrinting(CPrintInfo* info);
    void OnFilePrint();

    BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect, CWnd* parent,
                UINT id, void* context = nullptr) override;
    BOOL OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info) override;
    const win::MessageMap* GetMessageMap() const override;

protected:
    int OnCreate(LPCREATESTRUCT cs) override;
    void OnDestroy() override;
    void PostNcDestroy() override;
    void OnPaint() override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    CDocument* m_pDocument = nullptr;
    friend class CDocument;
    friend class CFrameWnd;
};

class CScrollView : public CView {
public:
    static const SIZE sizeDefault;
    // Sizes in pixels (text mapping mode); the default page is a tenth of
    // the total, the default line a tenth of the page.
    void SetScrollSizes(int mapMode, SIZE total, const SIZE& page = sizeDefault, const SIZE& line = sizeDefault);
    CPoint GetScrollPosition() const;
    void ScrollToPosition(POINT pos);
    CSize GetTotalSize() const { return m_totalLog; }
    void GetDeviceScrollSizes(int& mapMode, SIZE& total, SIZE& page, SIZE& line) const;
    // Sizes the parent frame so that the client area fits the total size.
    void ResizeParentToFit(BOOL shrinkOnly = TRUE);
    void OnPrepareDC(CDC* dc, CPrintInfo* info = nullptr) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    void OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    BOOL OnScroll(UINT codes, UINT pos, BOOL doScroll = TRUE);
    BOOL OnScrollBy(CSize size, BOOL doScroll = TRUE);

protected:
    void OnSize(UINT type, int cx, int cy) override;
    void UpdateBars();

    int m_nMapMode = 0;
    CSize m_totalLog;
    CSize m_pageDev;
    CSize m_lineDev;
    bool m_pageDefault = true;
    bool m_lineDefault = true;
};

class CFormView : public CScrollView {
public:
    explicit CFormView(UINT templateId);
    BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect, CWnd* parent,
                UINT id, void* context = nullptr) override;
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* dx);
    void OnInitialUpdate() override;
    void OnDraw(CDC*) override {}
    UINT GetTemplateId() const { return m_templateId; }

protected:
    UINT m_templateId;
};

class CDocTemplate : public CCmdTarget {
public:
    enum DocStringIndex { windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName };
    enum Confidence { noAttempt, maybeAttemptForeign, maybeAttemptNative, yesAttemptForeign, yesAttemptNative,
                      yesAlreadyOpen };

    CDocTemplate(UINT resourceId, const CRuntimeClass* docClass, const CRuntimeClass* frameClass,
                 const CRuntimeClass* viewClass);
    ~CDocTemplate() override;

    UINT GetResourceId() const { return m_resourceId; }
    BOOL GetDocString(std::string& out, DocStringIndex index) const;
    virtual CDocument* CreateNewDocument();
    virtual CFrameWnd* CreateNewFrame(CDocument* doc, CFrameWnd* other);
    virtual void InitialUpdateFrame(CFrameWnd* frame, CDocument* doc, BOOL makeVisible = TRUE);
    virtual CDocument* OpenDocumentFile(const char* path, BOOL makeVisible = TRUE) = 0;
    virtual void AddDocument(CDocument* doc);
    virtual void RemoveDocument(CDocument* doc);
    virtual std::vector<CDocument*> GetDocuments() const = 0;
    virtual void SetDefaultTitle(CDocument* doc) = 0;
    virtual Confidence MatchDocType(const char* path, CDocument*& match);
    void CloseAllDocuments(BOOL endSession);
    BOOL SaveAllModified();

protected:
    UINT m_resourceId;
    const CRuntimeClass* m_pDocClass;
    const CRuntimeClass* m_pFrameClass;
    const CRuntimeClass* m_pViewClass;
    std::string m_docString;
};

class CMultiDocTemplate : public CDocTemplate {
public:
    using CDocTemplate::CDocTemplate;
    ~CMultiDocTemplate() override;
    CDocument* OpenDocumentFile(const char* path, BOOL makeVisible = TRUE) override;
    void AddDocument(CDocument* doc) override;
    void RemoveDocument(CDocument* doc) override;
    std::vector<CDocument*> GetDocuments() const override { return m_docs; }
    void SetDefaultTitle(CDocument* doc) override;

private:
    std::vector<CDocument*> m_docs;
    unsigned m_untitledCount = 0;
};

class CSingleDocTemplate : public CDocTemplate {
public:
    using CDocTemplate::CDocTemplate;
    ~CSingleDocTemplate() override;
    CDocument* OpenDocumentFile(const char* path, BOOL makeVisible = TRUE) override;
    void AddDocument(CDocument* doc) override;
    void RemoveDocument(CDocument* doc) override;
    std::vector<CDocument*> GetDocuments() const override;
    void SetDefaultTitle(CDocument* doc) override;

private:
    CDocument* m_pOnlyDoc = nullptr;
};

// Page range and state of one print job (the view's printing steps).
class CPrintInfo {
public:
    UINT GetMinPage() const { return m_nMinPage; }
    UINT GetMaxPage() const { return m_nMaxPage; }
    void SetMinPage(UINT page) { m_nMinPage = page; }
    void SetMaxPage(UINT page) { m_nMaxPage = page; }
    UINT GetFromPage() const { return m_nFromPage; }
    UINT GetToPage() const { return m_nToPage; }

    UINT m_nMinPage = 1;
    UINT m_nMaxPage = 0xFFFF;
    UINT m_nFromPage = 1;
    UINT m_nToPage = 0xFFFF;
    UINT m_nCurPage = 1;
    BOOL m_bContinuePrinting = TRUE;
    BOOL m_bPreview = FALSE;
    RECT m_rectDraw{};
    std::string m_outputPath;  // the PDF the printer writes
    int m_dotsPerInch = 300;
    POINT m_paperSize{8500, 11000};  // thousandths of an inch
    RECT m_minMargins{250, 250, 250, 250};
};
