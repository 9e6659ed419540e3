// The view of an image window: shows its document's image. It is a data
// viewer, so the brightness dialog can take it as its target and address it
// through the notification slot.
#pragma once

#include "app/matching/distortion_adjust_dlg.h"
#include "platform/win/doc_view.h"
#include "viewkit/data_viewer_wnd.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CImageSizeDlg;
class CPrinting;
class ExifInfo;
class Image;
struct CamInfo;

class CImageView : public CScrollView, public DataViewerWnd, public IDistortionView {
public:
    // Commands of the view (main menu, image popup menu, toolbar).
    static constexpr UINT kZoom25 = 32801;  // to 32806: 25, 50, 75, 100, 150, 200 %
    static constexpr UINT kZoom200 = 32806;
    static constexpr UINT kZoomFit = 32831;
    static constexpr UINT kZoomDialog = 32887;
    static constexpr UINT kZoomIn = 32791;
    static constexpr UINT kZoomOut = 32792;
    static constexpr UINT kWindowZoomIn = 32813;
    static constexpr UINT kWindowZoomOut = 32814;
    static constexpr UINT kWindowZoomReset = 32815;
    static constexpr UINT kRotateLeft = 32849;
    static constexpr UINT kRotateRight = 33021;
    static constexpr UINT kRotateHalf = 33022;
    static constexpr UINT kMirrorLeftRight = 33023;
    static constexpr UINT kMirrorUpDown = 33024;
    static constexpr UINT kSelectCropMenu = 32871;
    static constexpr UINT kCropTool = 33001;
    static constexpr UINT kCrop = 32872;
    static constexpr UINT kSaveFull = 32876;
    static constexpr UINT kSaveAs = 32774;
    static constexpr UINT kSaveScreen = 32878;
    static constexpr UINT kSaveScreen2 = 32873;
    static constexpr UINT kShowExif = 33174;
    static constexpr UINT kReconvert = 32870;
    static constexpr UINT kDistortionDialog = 32897;
    static constexpr UINT kDistortionCopy = 33132;
    static constexpr UINT kMarkerIndex = 33169;
    static constexpr UINT kShowLines = 32794;
    static constexpr UINT kLineIndex = 32795;
    static constexpr UINT kWebUpload = 32888;
    static constexpr UINT kConvertLegacyCamInfo = 33176;
    static constexpr UINT kCreateCamInfoList = 33177;
    static constexpr UINT kStatusPane = 59001;
    static constexpr UINT kPrintToggle = 57607;
    static constexpr UINT kCancelPrint = 32811;
    static constexpr UINT kPrinterSetup = 32812;
    static constexpr UINT kSendToPrinter = 32810;
    static constexpr UINT kFitOnePage = 32890;  // to 32895: the six page layouts
    static constexpr UINT kFit2x3Pages = 32895;
    static constexpr UINT kPageImages = 32816;
    // The print layout's cursors for its states 1 to 6 (ratio handle, left,
    // right, top and bottom margin, image), as in the panorama view.
    static constexpr UINT kPrintLayoutCursors[6] = {236, 231, 232, 233, 234, 245};
    static constexpr UINT kPageSetupCommand = 32775;  // the main window's "Page Setup"
    // The cropped flag of the view's mode word.
    static constexpr uint16_t kCropped = 0x0200;

    CImageView() = default;
    ~CImageView() override;
    CImageView(const CImageView&) = delete;
    CImageView& operator=(const CImageView&) = delete;

    // Puts the document's image into the view's cell layer (the document
    // then holds the cell) and composes the screen image at zoom 1.
    void OnInitialUpdate() override;
    void OnDraw(CDC* dc) override;
    // Zooms to z; false when the zoom did not change.
    bool ZoomTo(float z);
    // The toolbar's step of 0.05, applied only up to 2.1 (in) or down to
    // 0.2 (out).
    bool ZoomStep(bool in);
    float GetZoom() const;
    // "name (percent%)".
    void UpdateTitle();
    // Events 1-14 change the current cell's appearance and repaint; 18
    // copies the document name into the caller's buffer (capacity in its
    // second byte); 20 writes the last changed channel through the
    // parameter. All answer 0.
    int Notify(int event, WorldMap* map, std::uintptr_t param) override;

    // Rotations and mirrors by their Image::Rotate code (-90 left, 90 right,
    // 180 half turn, 270 mirror left-right, -180 mirror up-down); a user
    // selection stays on the same pixels. False when nothing turned.
    bool RotateImage(int code);
    // Crops the screen image to the selection, or undoes a crop in force.
    void OnCrop();
    bool IsCropped() const { return (m_mode & kCropped) != 0; }
    // "Save Image": the selection at full resolution or at the view's zoom,
    // as JPEG, TIFF or GIF; a failed write is reported.
    void SaveImage(bool trueSize);
    // The document's Exif record, read on the first call with `read`; null
    // when the file names no camera make.
    const ExifInfo* GetExifRecord(bool read);
    void ShowImageInfo();
    // Re-converts the image to a panorama; the window closes when it did.
    void OnReconvert();
    // Whether the image's camera matches the manager's camera information
    // (questions and refusals through message boxes).
    bool CheckCamera();
    // "Correct distortion" from the image popup: the distortion dialog on
    // this view.
    void OpenDistortionDialog();
    // "Correct distortion" from the main menu: a corrected copy in a new
    // image window named "<name>--distortion corrected".
    void CorrectDistortionCopy();
    void PreviewDistortion(float a, float b) override;
    void ApplyDistortionToStitching(float a, float b) override;
    void CloseDistortionDlg(bool closingItself) override;
    float GetAspectRatio() override;
    // Writes the manager's legacy camera record as a camera-information
    // file in the share library named after the Exif make and model.
    void ConvertLegacyCamInfo();
    void CreateCamInfoLibList();
    void OnWebUpload();
    // The "Select image size" dialog of this view and its callback.
    void OpenSizeDialog();
    void OnZoomDialogNotify(int code, float value);
    CImageSizeDlg* GetSizeDialog() const { return m_sizeDialog; }
    // Sizes the frame to the view inside the main frame's free client area.
    void FitFrameToView(bool keepPosition);
    // The zoom that fits the image into the free client area (at least 0.1),
    // with the frame moved to the area's top-left corner.
    void ZoomToFit();
    // Toggles the marker indices, line visibility or line indices; true
    // when anything changed.
    bool ToggleMarkerIndex();
    bool ToggleLines(bool index);
    // Print layout mode: on while a layout exists.
    void TogglePrintLayout();
    CPrinting* GetPrintLayout() const { return m_printLayout; }
    // Columns x rows of the layout commands 32890..32895; true when it changed.
    bool ChangePrintLayout(UINT id);
    // Opens each page of the layout as an image window "Page%02d".
    void OpenPageImages();
    void OnPrinterSetup();
    BOOL OnPreparePrinting(CPrintInfo* info) override;
    void OnBeginPrinting(CDC* dc, CPrintInfo* info) override;
    void OnPrint(CDC* dc, CPrintInfo* info) override;
    void OnEndPrinting(CDC* dc, CPrintInfo* info) override;
    // Sets the selection (null: the whole image) in image and window pixels.
    void SetSelection(const RECT* rect);

protected:
    const win::MessageMap* GetMessageMap() const override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnRButtonUp(UINT flags, CPoint point) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    void OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    BOOL OnEraseBkgnd(CDC* dc) override;

private:
    void OnZoomCommand(UINT id);
    void OnZoomStep(UINT id);
    void OnWindowZoom(UINT id);
    void OnRotateCommand(UINT id);
    void OnCropTool();
    void OnSelectCropMenu();
    void OnSaveFull() { SaveImage(true); }
    void OnSaveScreen() { SaveImage(false); }
    void OnMarkerIndex();
    void OnShowLines();
    void OnLineIndex();
    void OnUpdateCropTool(CCmdUI* ui);
    void OnUpdateWebUpload(CCmdUI* ui);
    void OnUpdateStatusPane(CCmdUI* ui);
    void DrawOverlays(CDC* dc);
    CPoint PreviewPoint(CPoint point) const;
    void BeginPrintLayout();
    void EndPrintLayout();
    void OnLayoutCommand(UINT id) { ChangePrintLayout(id); }

    // Kept in this order.
    CPrinting* m_printLayout = nullptr;   // owned; set while the print layout shows
    CImageSizeDlg* m_sizeDialog = nullptr;  // owned while open
    ExifInfo* m_exif = nullptr;           // owned once read
    uint16_t m_mode = 0;
    bool m_exifRead = false;
    // The layout's own placement, kept between two print layouts.
    POINT m_printOffset{0, 0};
    float m_printRatio = -1.0f;
    SIZE m_printImageSize{0, 0};
};

// The selection rectangle (inclusive pixels) of an image of width x height
// after Image::Rotate(code): the same pixels in the turned image.
RECT MapRectThroughRotation(int code, const RECT& rect, int width, int height);

// The legacy camera file's name, make + "-" + model + ".camInfo_", with path
// separators, ".." and control characters replaced by "_" so that it stays
// in the library folder.
std::string LegacyCamInfoFileName(const char* make, const char* model);

// The camera check's decision on the image's and the record's Exif identity
// (null or empty: none): 0 passes, 1 asks the first question, 2 the second,
// 3 refuses. `text` gets the message to show.
int CameraCheckCase(const char* imageMake, const char* imageModel, const char* recordMake, const char* recordModel,
                    std::string& text);

// Copies `name` into `buffer`, whose second byte holds its capacity c as an
// unsigned byte: at most c - 1 characters and a zero byte; nothing at all
// when c is 0.
void CopyNameToQueryBuffer(const std::string& name, char* buffer);

// The zoom that fits an image of width x height into an area of W x H: the
// smaller ratio, never below 0.1.
float FitZoom(int areaWidth, int areaHeight, int width, int height);
