// The embedded-object side of a program, as far as it exists on Linux:
// there is no container to serve, so the template server only records its
// class factory and server entries in the stand-in registry
// (registry_file.h), server documents hand out their item to whoever asks
// (tests, the program's own drawing), and the in-place frame is a plain
// frame that keeps its bars and drop target like any other.
#pragma once

#include "platform/win/doc_view.h"
#include "platform/win/drag_drop.h"
#include "platform/win/frame_wnd.h"
#include "platform/win/win_rect.h"

#include <memory>
#include <string>

class CDC;

// Aspects an item is asked to draw or measure.
constexpr int DVASPECT_CONTENT = 1;

class COleServerItem : public CObject {
public:
    explicit COleServerItem(CDocument* document) : m_document(document) {}
    CDocument* GetDocument() const { return m_document; }
    // The item's size in the container's metric units (hundredths of a mm).
    virtual BOOL OnGetExtent(int aspect, CSize& size) = 0;
    virtual BOOL OnDraw(CDC* dc, CSize& size) = 0;

private:
    CDocument* m_document;
};

class COleServerDoc : public CDocument {
public:
    ~COleServerDoc() override;
    // The item that stands for the whole document, made on first use.
    COleServerItem* GetEmbeddedItem();

protected:
    virtual COleServerItem* OnGetEmbeddedItem() = 0;

private:
    std::unique_ptr<COleServerItem> m_item;
};

// The in-place frame: a plain frame here (no container frame to borrow).
class COleIPFrameWnd : public CFrameWnd {};

// Connects a document template to a class identifier; the program's one
// server object.
class COleTemplateServer {
public:
    enum class Registration { Server, InPlaceServer };

    // multiInstance false: one object per running program.
    void ConnectTemplate(const std::string& clsid, CDocTemplate* docTemplate, bool multiInstance);
    // Records the class factory ("CLSID\\<id>" "ClassFactory" = "registered").
    BOOL RegisterAll();
    // Records the server entries of the template's file type.
    BOOL UpdateRegistry(Registration kind, const std::string& program);
    CDocTemplate* GetTemplate() const { return m_template; }
    const std::string& GetClsid() const { return m_clsid; }

private:
    std::string m_clsid;
    CDocTemplate* m_template = nullptr;
    bool m_multiInstance = false;
};
