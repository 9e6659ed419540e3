// The thumbnail board, the right pane of the image browser: a form on
// dialog 228 that lists the image files of the folder tree's folder, either
// as names with a preview of the selected file (list mode) or as a grid of
// 96-pixel thumbnails (thumbnail mode) loaded by a worker. From here images
// go into the project: double click, "Load Selections", or a drag to the
// image tray. Coordinates are client pixels of the board, moved by the
// scroll position where the text says "content".
#pragma once

#include "app/shell/thumbnail_worker.h"
#include "platform/win/controls.h"
#include "platform/win/doc_view.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CDirTree;
class CListBox;
class Image;
class List;

// Bits of the board's flag word.
constexpr uint32_t kBoardThumbnails = 0x1;
constexpr uint32_t kBoardReady = 0x2;
constexpr uint32_t kBoardNames = 0x4;
constexpr uint32_t kBoardPressed = 0x8;      // the left button went down on a thumbnail
constexpr uint32_t kBoardDragging = 0x10;    // a drag was started from it
constexpr uint32_t kBoardPlainWait = 0x20;   // a plain click on a marked thumbnail waits for the release
constexpr uint32_t kBoardCtrlWait = 0x40;    // a Ctrl click on a marked thumbnail waits for the release
constexpr uint32_t kBoardInterrupted = 0x80; // the worker stopped early; the loaded thumbnails are kept

// The grid of thumbnail cells for a client width and item count.
struct CellLayout {
    int cellWidth = 100;
    int cellHeight = 112;
    int columns = 1;
    int rows = 0;
};

class CImgBoard;

// The preview control of list mode (static 1013): it paints the board's
// preview image into itself.
class PreviewBox : public CStatic {
public:
    explicit PreviewBox(CImgBoard* board) : m_board(board) {}
    void OnPaint() override;

private:
    CImgBoard* m_board;
};

class CImgBoard : public CFormView {
public:
    static constexpr UINT kDialogId = 228;
    static constexpr UINT kPreview = 1013;
    static constexpr UINT kFileList = 1200;
    static constexpr int kThumbnailSize = 96;
    static constexpr const char* kDragText = "KQVZ-NOTIFY-FROM-PREVIEW";

    CImgBoard();
    ~CImgBoard() override;

    static CellLayout GetCellLayout(int clientWidth, int count);
    // The top left of the thumbnail square of item `index` in content
    // coordinates.
    static POINT CellOrigin(const CellLayout& layout, int index);
    // The total scrolled size of the grid.
    static SIZE GridSize(const CellLayout& layout);
    // True when the JPEG file carries a world-map record.
    static bool IsWorldMapFile(const char* path);
    // The loader of thumbnails (tests put a slow or failing one in); null
    // restores LoadThumbnail.
    static void SetThumbnailLoader(ThumbnailLoader loader);
    // The length of one of the 101 rounds a stop waits for the worker
    // (100 ms; tests shorten it).
    static void SetStopWaitRound(std::chrono::milliseconds round);

    void SetDirTree(CDirTree* tree) { m_tree = tree; }
    void SetReady() { m_flags |= kBoardReady; }
    uint32_t GetFlags() const { return m_flags; }

    void ReadFolder();
    void SetListMode(bool list);
    void SetShowNames(bool show);
    bool IsListMode() const { return (m_flags & kBoardThumbnails) == 0; }
    const std::string& GetCurrentFile() const { return m_previewPath; }
    // A copy of the preview image (one reference for the caller), or null.
    Image* GetCurrentImageCopy() const;
    Image* GetPreviewImage() const { return m_preview; }
    void AddCurrentImage(const POINT* point);
    void LoadSelections(const POINT* point);
    bool LoadFiles(const int* indices, int count, bool preview, const POINT* point);
    void StartLoading();
    void StopLoading();
    LRESULT OnThumbnailMessage(WPARAM wParam, LPARAM lParam);
    // Draws a thumbnail into its 96 x 96 square at (x, y): centred when
    // smaller, its middle when larger, pixels copied 1:1.
    static void DrawThumbnail(CDC* dc, Image* image, int x, int y);
    void OnDraw(CDC* dc) override;
    // Draws the preview into a context of the preview control.
    void DrawPreview(CDC* dc);
    // The item under a content point, -1 for none.
    int HitTest(POINT content) const;
    void SetMarked(int index, bool on);
    void SelectRange(int index);
    void StartDrag();

    // Mouse rules with the key state (MK_CONTROL, MK_SHIFT) and a client
    // point; the window's handlers call these.
    void LeftPress(UINT keys, POINT client);
    void MouseMoved(UINT keys, POINT client);
    void LeftRelease(UINT keys, POINT client);
    void DoubleClicked(POINT client);

    // Thumbnails loaded so far (null when there is no list).
    List* GetThumbnails() const { return m_list.get(); }
    int GetCurrentIndex() const { return m_current; }
    bool IsMarked(int index) const;
    bool IsLoading() const;
    CListBox* GetFileList() const;
    // The file name of a list-box entry.
    std::string FileName(int index) const;

    void OnInitialUpdate() override;
    const win::MessageMap* GetMessageMap() const override;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    void OnDestroy() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;

private:
    void OnListSelChange();
    void OnListDblClk();
    void OnPreviewClicked();
    void OnPreviewNotify2();
    void LayoutListMode(int cx, int cy);
    void UpdateScrollSizes();
    void SetScrollSizesForItems();
    void DeleteThumbnails();
    // Moves the job's reports into the list and relays status texts.
    void DrainReports(bool draw);
    void RelayStatus(const std::string& text);
    void ShowStatus(const char* text);
    void SetPreview(Image* image, const std::string& path);
    void UnmarkAll();
    void DrawCellFrame(int index);
    ThumbnailItem* Item(int index) const;
    void ShowControls(bool show);
    // Stops the worker; without waiting for it when it stays in a load,
    // the board lets go of the job (the worker holds its own share).
    void StopWorker(bool pump);

    CDirTree* m_tree = nullptr;
    uint32_t m_flags = 0;
    Image* m_preview = nullptr;
    std::string m_previewPath;
    std::unique_ptr<List> m_list;
    int m_current = -1;
    std::shared_ptr<ThumbnailJob> m_job;
    std::string m_statusText;  // the text the last 0x814F pointed at
    PreviewBox m_previewBox{this};
    bool m_settingScrollSizes = false;
};
