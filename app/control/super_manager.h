// The one stitching manager of the main program. The main frame creates it
// and deletes it; every window, dialog and worker reaches it through
// GetSuperManager(). It owns the stitch and blend settings, the configuration
// record, the project's image group and the references to the windows that
// take part in stitching, and it carries the state flags the whole
// application tests.
#pragma once

#include "app/control/stitch_settings.h"
#include "core/geometry_records.h"
#include "platform/win/win_defs.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct AppConfig;
struct CamInfo;
class CBrightContrastDlg;
class CCamInfoWizard;
class CDialog;
class CImgBrowser;
class CStitchBar;
class CRectMapView;
class CView;
class CWnd;
class DataViewer;
class Image;
class ImageChain;
class ImageFrame;
class ImageGroup;
class List;
class Pellicot;
class WorldMap;
struct DistortionRecord;
class GlobalAlign;

// State flags of the manager.
constexpr uint32_t kFlagAligned = 0x1;           // global alignment has run
constexpr uint32_t kFlagBlendStage = 0x2;        // the final sampling rate applies
constexpr uint32_t kFlagStopped = 0x4;           // no stitch run going
constexpr uint32_t kFlagDistortionOn = 0x10;     // distortion correction on
constexpr uint32_t kFlagOverlapMarked = 0x100;   // overlap state marked
constexpr uint32_t kFlagSaved = 0x200;           // no unsaved changes
constexpr uint32_t kFlagWebLinks = 0x400;        // a web-link line exists
constexpr uint32_t kFlagPairInProgress = 0x800;  // the stitch driver runs a pair
constexpr uint32_t kFlagMarkerMethod = 0x1000;   // the pair window uses the marker method
constexpr uint32_t kFlagRuntimeDistortion = 0x2000;
constexpr uint32_t kFlagLoading = 0x4000;        // a project is being loaded

class ToolState;

// The print page setup the panorama views print with (thousandths of an inch).
struct PageSetupRecord {
    POINT paperSize{8500, 11000};
    RECT minMargins{};
    RECT margins{};
    // Written by the panorama print layout: its ratio (-1.0: not set), its
    // offset and the picture size it was made for.
    float ratio = -1.0f;
    POINT offset{0, 0};
    POINT imageSize{0, 0};
};
static_assert(sizeof(PageSetupRecord) == 60, "fifteen four-byte values");

class SuperManager {
public:
    SuperManager();
    ~SuperManager();
    SuperManager(const SuperManager&) = delete;
    SuperManager& operator=(const SuperManager&) = delete;

    // The web-link id is a deployment setting (0: no web links). It is read
    // once, by the constructor.
    static void SetWebLinkId(int id);
    static int GetWebLinkId();

    // ---- Records --------------------------------------------------------
    StitchSettings* GetStitchSettings() { return m_stitchSettings.get(); }
    BlendSettings* GetBlendSettings() { return m_blendSettings.get(); }
    AppConfig* GetConfig() { return m_config.get(); }
    // With create, a zeroed record with d = 1 is made when none exists.
    DistortionRecord* GetDistortionRecord(bool create);
    CamInfo* GetCamInfo() const { return m_camInfo.get(); }
    void SetCamInfo(std::unique_ptr<CamInfo> info);
    // The name of the camera-information file in use; null when none.
    const char* GetCamInfoFileName() const;
    // Null or empty clears it.
    void SetCamInfoFileName(const char* name);
    uint32_t GetFlags() const { return m_flags; }
    void ModifyFlags(uint32_t clearMask, uint32_t setBits) { m_flags = (m_flags & ~clearMask) | setBits; }
    float GetSamplingRate() const;
    uint8_t GetReductionCode() const { return m_reductionCode; }
    int GetFocalType() const { return m_stitchSettings->focalType; }
    short GetStampSize() const { return m_stampSize; }
    bool GetCameraInfoFlag() const { return (m_flags & kFlagDistortionOn) != 0; }
    bool IsElasticBlend() const { return m_elasticBlend != 0; }

    // ---- State ----------------------------------------------------------
    // Busy: no stitch run stopped, a pair in progress, or a worker active.
    bool IsBusy() const;
    // A worker (matcher, pair, elastic blender) uses the chain, the frames
    // or the map until its finishing message is handled. Whoever starts the
    // worker sets this; the handler of its finishing message clears it.
    void SetWorkerActive(bool active) { m_workerActive = active; }
    bool IsWorkerActive() const { return m_workerActive; }
    bool CanStitch() const;
    bool HasProjectContent() const;
    bool IsExpressMode() const { return m_expressMode != 0; }
    void SetExpressMode(bool on);
    bool IsExpressBlendPending() const { return m_expressBlendPending != 0; }
    void SetExpressBlendPending(bool on) { m_expressBlendPending = on ? 1 : 0; }
    bool HasProjectName() const { return !m_projectName.empty(); }
    bool HasPanorama() const;
    bool IsPreviewStage() const { return (m_flags & kFlagBlendStage) == 0; }
    bool HasWebLinks() const { return (m_flags & kFlagWebLinks) != 0; }
    void SetRuntimeDistortion(bool on) { ModifyFlags(kFlagRuntimeDistortion, on ? kFlagRuntimeDistortion : 0); }
    void SetBrowserMode(int mode) { m_browserMode = mode; }
    int GetBrowserMode() const { return m_browserMode; }

    // ---- Images ---------------------------------------------------------
    ImageGroup* GetImageGroup(bool create);
    // Offers a new frame with its stamp to the tray (see the .cpp).
    void AddImageFrame(Image* stamp, const char* name, const POINT* drop);
    // keepFlags keeps the overlap mark (0x100) only; any removal is an
    // unsaved change.
    void RemoveImageFrame(ImageFrame* frame, bool keepFlags);
    bool HasImageFrame(const char* name) const;
    ImageFrame* FindImageFrame(const char* name) const;
    // The group's centre frame (nothing without a group).
    void SetCenterFrame(ImageFrame* frame);
    Image* GetFrameStamp(const char* name) const;
    void ToggleMarkerIndex();
    bool GetMarkerIndexState() const;

    // ---- Windows --------------------------------------------------------
    void ShowImageTray();
    void CloseImageTray(bool alreadyGone);
    Pellicot* GetImageTray() const { return m_tray; }
    ImageChain* GetChain() const { return m_chain; }
    bool GetTrayState() const;
    void OpenPairWindow(ImageFrame* a, ImageFrame* b, bool keepMethod, bool loopPair);
    void ClosePairWindow(bool alreadyGone);
    void SwitchPairMethod();
    void SetPairMethod(bool markers);
    CView* GetPairWindow() const { return m_pairWindow; }
    bool PairNeedsMarkers(ImageFrame* a, ImageFrame* b);
    bool CanUseOverlayMethod(ImageFrame* a, ImageFrame* b);
    void ShowBrightnessDialog(int mode, ImageFrame* frame);
    void CloseBrightnessDialog(bool alreadyGone);
    bool IsBrightnessDialogOpen() const { return m_brightnessDialog != nullptr; }
    void SetBrightnessDialogTarget(DataViewer* viewer);
    void ClearBrightnessDialogTarget(DataViewer* viewer);
    CBrightContrastDlg* GetBrightnessDialog() const { return m_brightnessDialog; }
    void RefreshOverlapDialog();
    bool IsOverlapDialogOpen() const { return m_overlapDialog != nullptr; }
    void CloseOverlapDialog(bool alreadyGone);
    void ShowImageBrowser(int mode, bool show);
    CImgBrowser* GetImageBrowser() const { return m_browser; }
    // The browser window goes: its placement is kept in the profile.
    void OnBrowserDestroyed();
    void NotifyBrowserOfDrop(POINT point);
    // Blend side of a pair (0 middle line, 1 right over left, 2 left over
    // right), kept by the pair's shared information; both links must exist.
    void SetPairBlendMode(ImageFrame* a, ImageFrame* b, uint8_t mode);
    bool GetPairBlendMode(ImageFrame* a, ImageFrame* b, int* mode) const;

    // ---- Operations whose packages are not built yet ---------------------
    // Each records its call (name, frames, value) and does nothing more.
    struct DeferredCall {
        std::string name;
        ImageFrame* a;
        ImageFrame* b;
        int value;
    };
    void AdjustImagePair(ImageFrame* a, ImageFrame* b);
    bool ToggleOverlapDialog();
    bool ExpressStitch();
    void RecordDeferredCall(const char* name, ImageFrame* a = nullptr, ImageFrame* b = nullptr, int value = 0);
    const std::vector<DeferredCall>& GetDeferredCalls() const { return m_deferredCalls; }
    void SetStitchBar(CStitchBar* bar) { m_stitchBar = bar; }
    bool HasStitchBar() const { return m_stitchBar != nullptr; }
    CStitchBar* GetStitchBar() const { return m_stitchBar; }

    // ---- Open panorama and image windows --------------------------------
    bool AddWorldMapWindow(WorldMap* map);
    void RemoveWorldMapWindow(WorldMap* map);
    bool HasWorldMapNamed(const char* name) const;
    bool IsPanoramaWorldMap(WorldMap* map) const;

    // ---- Project --------------------------------------------------------
    bool NewProject();
    void CloseProject();
    bool QuerySaveProject();
    bool SaveProject(bool useCurrentName);
    bool OpenProject(const char* path);
    void SetProjectName(const char* path);
    // The full path, or its name part; null when no name is set.
    const char* GetProjectName(bool full) const;
    void BuildWindowTitle(std::string& out) const;

    // ---- Services -------------------------------------------------------
    // Takes the paper size and the two margin rectangles of `record`.
    void SetPageSetup(const PageSetupRecord& record)
    {
        if (!m_pageSetup) m_pageSetup = std::make_unique<PageSetupRecord>();
        m_pageSetup->paperSize = record.paperSize;
        m_pageSetup->minMargins = record.minMargins;
        m_pageSetup->margins = record.margins;
    }
    const PageSetupRecord* GetPageSetup() const { return m_pageSetup.get(); }
    // Panorama print layout: the view keeps its layout's settings here.
    PageSetupRecord* EditPageSetup() { return m_pageSetup.get(); }
    bool FindWebLink(char* buffer, int size) const;
    void ResetLevelingRotation();
    void LoadConfigFile();
    void SaveConfigFile();
    void UpdateFocalType();
    // The 35-mm focal length of the first merged frame; without one, the
    // stitch settings' value when useSettings, else 0.
    float GetEquivalentFocalLength(bool useSettings);
    void ShowConfigurationDialog();
    // Handlers of the workers' finishing messages (0x814C, 0x819A).
    void DoStitching();
    void FinishRemap();
    // Asked when the main window closes while a worker runs: false keeps
    // the program running; true once the workers are stopped and joined.
    bool StopWorkersForClose();
    // Set when the user chose to stop the running workers; they poll it.
    bool IsStopRequested() const { return m_stopRequested; }

    // ---- Project file and manager services ------------------------------
    // Reads a project file from its start (the magic, then the entries up to
    // tag 44); false for a file that is not a readable project.
    bool RestoreProjectSettings(FILE* file);
    // Opens the project file's stream for writing (tests replace it to make
    // a write fail part way); fopen by default.
    using ProjectFileOpener = FILE* (*)(const char* path, const char* mode);
    void SetProjectFileOpener(ProjectFileOpener opener);
    // Run-time distortion correction of every loaded image (flag 0x10).
    // *changed becomes true when an image changed and the pairs were reset.
    // Always 1.
    int SetDistortionCorrection(bool on, bool* changed);
    // Drops every computed result: pair states, blend state, the panorama
    // map and the leveling rotation, after an OK-only notice. Always true.
    bool ResetStitching(bool clearAutoMarkers);
    // The Stitch Settings dialog: with showDialog it always runs; without it
    // the settings are checked against the images and the dialog runs only
    // when they do not fit. False: the user left settings that do not fit.
    bool ShowStitchSettings(bool showDialog);
    // Reloading a frame's image and its focal ratio are the pair stitching's
    // (LoadFrameImage, FrameFocalRatio); tests may put doubles in, null
    // restores them.
    using FrameLoader = bool (*)(ImageFrame* frame, bool correct);
    using FrameRatio = float (*)(ImageFrame* frame);
    void SetFrameImageHooks(FrameLoader loader, FrameRatio ratio);
    // The overlap dialog's pair list and the re-convert dialog come with the
    // pair views; these hooks make them (tests put doubles here).
    struct OverlapDialogHooks {
        CDialog* (*create)() = nullptr;          // a created, modeless dialog or null
        bool (*fillPairList)(CDialog*) = nullptr;
        void (*updateFocalCombo)(CDialog*) = nullptr;        // the focal length is unchanged
        void (*applyFocalSetting)(CDialog*, int) = nullptr;  // the focal length changed
    };
    void SetOverlapDialogHooks(const OverlapDialogHooks& hooks) { m_overlapHooks = hooks; }
    // The "Re-convert To Panorama Format" dialog on an image of w x h: false
    // for Cancel, else the angular width and vertical offset (degrees) and
    // the full-circle flag.
    using ReconvertDialog = bool (*)(int w, int h, float* angle, float* offset, bool* fullCircle);
    void SetReconvertDialog(ReconvertDialog dialog) { m_reconvertDialog = dialog; }
    void SetPairOverlap(int i, float overlap);
    void GetPairOverlap(int i, float* horizontal, float* vertical) const;
    void NextPanoramaNumber() { ++m_panoramaNumber; }
    int FormatPanoramaNumber(char* out, size_t size) const;
    void OnViewDestroyed(void*, void*) {}
    void ResetAutoColorTables();
    const char* GetFirstImageName() const;
    const char* GetPanoramaFileName() const;
    void SetPanoramaFileName(const char* path);
    void SuggestPanoramaFileName(std::string& folder, std::string& name, const char* path) const;
    // The view argument of the panorama views is accepted and not used: the
    // front panorama view's map is shown.
    void ViewInViewer(CView* view = nullptr);
    bool ReconvertToPanorama(Image* image);
    bool HasStitchedPairs() const;
    void CloseScreenSaverTip(bool destroy);
    void AddLevelingRotation(const float rotation[3]);
    const float* GetLevelingRotation() const { return m_levelingRotation; }
    bool GetLevelingAngles(float* pan, float* tilt, float* roll) const;
    bool ComputeLevelingMatrix(float m[9]) const;
    float GetOutputScale() const { return m_outputScale; }
    bool IsAutomaticMode() const { return m_automaticMode != 0; }
    bool GetUseExif() const { return m_useExif != 0; }

private:
    void PlaceNewBrowser(int mode);
    DataViewer* BrightnessTargetViewer() const;
    void SaveBrowserPlacement();

    ImageChain* m_chain = nullptr;
    std::unique_ptr<PageSetupRecord> m_pageSetup;
    std::unique_ptr<StitchSettings> m_stitchSettings;
    std::unique_ptr<DistortionRecord> m_distortion;
    std::string m_camInfoFileName;
    std::unique_ptr<CamInfo> m_camInfo;
    uint8_t m_settingsOption = 1;
    std::unique_ptr<BlendSettings> m_blendSettings;
    std::unique_ptr<AppConfig> m_config;
    std::string m_configFileName;  // the settings file read, written back at exit
    std::string m_projectName;
    float m_outputScale = 0.75f;
    float m_finalSamplingRate = 5.0f;
    int32_t m_globalAlignMode = 0;
    float m_globalAlignAngle = 75.0f;
    float m_previewSamplingRate = 5.0f;
    uint32_t m_flags = kFlagStopped | kFlagSaved;
    uint8_t m_pendingPairBlend = 1;
    std::unique_ptr<List> m_worldMapWindows;
    uint8_t m_reductionCode = 0;
    int32_t m_panoramaNumber = 1;
    std::string m_albumFileName;
    uint8_t m_automaticMode = 1;
    uint8_t m_elasticBlend = 0;
    uint8_t m_expressMode = 0;
    uint8_t m_expressBlendPending = 0;
    CDialog* m_screenSaverTip = nullptr;
    std::string m_lastPanoramaFileName;
    int32_t m_browserMode = 0;
    float m_levelingRotation[3] = {};
    float m_panoramaDataArea[6] = {};
    short m_stampSize = 196;
    std::unique_ptr<ImageGroup> m_group;
    Pellicot* m_tray = nullptr;
    CImgBrowser* m_browser = nullptr;
    CView* m_pairWindow = nullptr;
    CBrightContrastDlg* m_brightnessDialog = nullptr;
    CDialog* m_overlapDialog = nullptr;
    CStitchBar* m_stitchBar = nullptr;
    uint8_t m_useExif = 1;
    std::unique_ptr<ToolState> m_toolState;
    bool m_workerActive = false;
    bool m_stopRequested = false;
    std::vector<DeferredCall> m_deferredCalls;
    // Project file and manager services.
    ProjectFileOpener m_projectFileOpener = nullptr;
    FrameLoader m_frameLoader = nullptr;
    FrameRatio m_frameRatio = nullptr;
    OverlapDialogHooks m_overlapHooks;
    ReconvertDialog m_reconvertDialog = nullptr;
    bool LoadProjectFrames(const std::string& path);
    bool WriteProjectFile(FILE* file);
    void MakeUntitled();

    // ---- Stitch runs: pair stitching and the stitch driver ----------------
public:
    bool ComputePixelFocals(int* frames, int count);
    // The first pair's scale of the panorama (500 / (width + height) of the
    // first frame's working image); 0 before a first pair.
    void SetFirstPairScale(float scale) { m_firstPairScale = scale; }
    float GetFirstPairScale() const { return m_firstPairScale; }
    int StartMatchingThread();
    bool MarkerStitch(bool fromPairWindow);
    void ResumeAutoStitch();
    void SetAutomaticMode(bool on) { m_automaticMode = on ? 1 : 0; }
    // The remap (Remap_WM; blend false: the preview) and the Blend step. Both
    // are recorded too (RecordDeferredCall) for the stitch-run tests.
    void RemapPanorama(bool blend);
    bool BlendPanorama();
    // Width and height of the merged panorama at the output scale; false
    // without one. Tests replace it through SetPanoramaSizeSource.
    bool GetPanoramaSize(int* width, int* height);
    using PanoramaSizeSource = bool (*)(int* width, int* height);
    void SetPanoramaSizeSource(PanoramaSizeSource source) { m_panoramaSizeSource = source; }
    void SetOutputScale(float scale) { m_outputScale = scale; }
    bool FinishExpressStitch();
    void SetElasticBlendForTest(bool on) { m_elasticBlend = on ? 1 : 0; }

    // Stitch settings and focal-length calibration (camera-information menu items).
    bool AreAllImagesMerged();
    int GetImageCount();
    bool CalibrateFocalLength(float* focal35, ImageFrame** frame);
    bool AddFocalLengthToCamInfo();

private:
    float m_firstPairScale = 0.0f;
    PanoramaSizeSource m_panoramaSizeSource = nullptr;

    // ---- Global alignment after every pair and panorama leveling ----------
public:
    // Re-solves every merged frame (n is not used; mode nonzero: the loop was
    // just closed; pairwise: replay the chain pair by pair). False only
    // without a merged pair. Recorded too (RecordDeferredCall), the focal
    // type seen as the value.
    bool PairToGlobal(int n, int mode, bool pairwise);
    // Levels the panorama; with remap the preview is redrawn. False without
    // frames or merged pairs. Recorded too.
    bool LevelPanorama(bool remap);
    void ApplyLevelingRotation(float pan, float tilt, float angle);
    int32_t GetGlobalAlignMode() const { return m_globalAlignMode; }
    // Tests watch every solve: the word given to the solver and the
    // arguments of its Init.
    using GlobalSolveObserver = void (*)(int word, int count, int pairs);
    void SetGlobalSolveObserver(GlobalSolveObserver observer) { m_globalSolveObserver = observer; }

private:
    int RunGlobalSolve(GlobalAlign& solver, int word, int* list, int count, int pairs);
    GlobalSolveObserver m_globalSolveObserver = nullptr;

    // ---- Blending driver, Blend step, express stitching, perspective render ----
public:
    // Blends the merged frames into target (8-bit, 1 or 3 channels) seen
    // from viewDirection (pan x, tilt y, radians) with the view rolled by
    // viewAngle and fieldOfView radians across its width. False without
    // merged frames, for an unusable target or first frame, and when the
    // user cancels (the frames are left as they were).
    bool RenderPerspectiveView(Image* target, POINT2* viewDirection, float viewAngle, float fieldOfView);
    void SetReductionCode(uint8_t code) { m_reductionCode = code; }
    // One remap of the merged frames into the group's map: the preview way
    // (blend false), else the in-process or the elastic blend. The elastic
    // blend returns after starting its worker; FinishRemap follows on 0x819A.
    void Remap_WM(bool blend);
    void SetSamplingRate(float rate) { m_finalSamplingRate = rate; }
    float GetPreviewSamplingRate() const { return m_previewSamplingRate; }
    // Size of the panorama at output scale `scale`; 0 x 0 without merged
    // frames or map.
    void GetPanoramaSize(float scale, int* width, int* height);
    // Page setup from the print dialog: paper size, minimum margins, margins.
    void SetPageSetup(const int32_t paper[2], const int32_t minMargins[4], const int32_t margins[4]);
    void SetElasticBlend(bool on) { m_elasticBlend = on ? 1 : 0; }
    bool GetPendingPairBlend() const { return m_pendingPairBlend != 0; }
    void SetPendingPairBlend(bool on) { m_pendingPairBlend = on ? 1 : 0; }
    // The stored data region of the last preview (radians).
    REGION2 GetDataRegion() const;
    // The parts of the panorama views the driver uses (the front view's
    // leveling map, its crop selection and cropped state). Until the views
    // carry them, the manager keeps the selection and the views answer
    // through these hooks; tests put recording doubles here.
    struct PanoramaViewHooks {
        bool (*hasFrontView)() = nullptr;
        WorldMap* (*levelingMap)() = nullptr;    // the front view's leveling map or null
        void (*discardLevelingMap)() = nullptr;
        void (*setCropped)(bool) = nullptr;
    };
    void SetPanoramaViewHooks(const PanoramaViewHooks& hooks) { m_viewHooks = hooks; }
    // Writes the automatic crop rectangle of the map (map pixels, inclusive)
    // into the front view's selection.
    void CalcCropRegion();
    const RECT& GetCropSelection() const { return m_cropSelection; }
    void SetCropSelection(const RECT& rect) { m_cropSelection = rect; }
    // The elastic run's blender result (0 finished, -1, -2, -3).
    int GetBlenderResult() const;
    // Tests watch the exposure balance: the pair-blend flag given to the
    // solver's Init and its answer.
    using BalanceObserver = void (*)(bool pairBlend, bool ready);
    void SetBalanceObserver(BalanceObserver observer) { m_balanceObserver = observer; }

private:
    bool HasFrontPanoramaView() const;
    WorldMap* FrontLevelingMap() const;
    void DiscardFrontLevelingMap();
    void SetFrontViewCropped(bool on);
    void RunRemapBlend(bool elastic);
    bool BlendStepBody();
    PanoramaViewHooks m_viewHooks;
    RECT m_cropSelection = {0, 0, -1, -1};
    bool m_blendFailed = false;  // the last blend run ended without a blended map
    BalanceObserver m_balanceObserver = nullptr;
    // The pair stitching's loader, or the double a test put in.
    FrameLoader FrameLoaderInUse() const { return m_frameLoader ? m_frameLoader : &LoadFrameImageDefault; }
    static bool LoadFrameImageDefault(ImageFrame* frame, bool correct);

    // ---- Camera-information file and wizard from a finished stitch --------
public:
    // "Save to Camera Info File": a new camera-information file from the
    // calibrated focal length and the correction; true when written.
    bool SaveCamInfoFile();
    // Opens the modeless camera wizard (it owns itself); null when refused.
    CCamInfoWizard* ShowCamInfoWizard();
    // The silent settings check after a project opened: a camera file that
    // does not fit the images shows its message and the dialog, a camera file
    // with Exif over images without asks; the stored focal type is kept. The
    // stitch bar's settings text is refreshed. False as ShowStitchSettings.
    bool CheckStitchSettingsAfterOpen();

private:
    bool RunStitchSettings(bool showDialog, bool afterOpen);

    // ---- Publishing commands (web page, e-mail, screen saver) --------------
public:
    // "Set as Screen Saver" for the view's saved panorama; 40021 when unsaved.
    void SetAsScreenSaver(CRectMapView* view);
    // The same for a panorama file: writes the album hand-over file
    // ("quorvanealbum.txt" in the temporary folder, one line), starts the
    // screen saver's configuration and shows the tips note once; false when
    // the temporary folder is refused or the file cannot be written.
    bool SetAsScreenSaverFile(const char* panoramaName);
    const std::string& GetAlbumPath() const { return m_albumPath; }
    // "Send by E-mail": the e-mail dialog for the saved panorama.
    void EmailPanorama(CRectMapView* view);
    // With false the web page dialog for a QuickTime movie the user browses
    // for; with true nothing.
    void ShowWebPageDialog(bool panoramaMode);
    // "Create Web Virtual Tour": the main frame's tour maker for the saved
    // panorama.
    void CreateWebTour(CRectMapView* view);
    CDialog* GetScreenSaverTip() const { return m_screenSaverTip; }

private:
    std::string m_albumPath;

    // ---- Panorama tools: a new perspective picture of the merged frames ----
public:
    // A new picture (one reference for the caller), or null when the render
    // above gives nothing: the frames seen from `direction` (pan x, tilt y,
    // radians) over angularWidth x angularHeight radians (each below pi),
    // unrolled. `shown` is the region as the user sees it: the picture has
    // its channels and fieldFactor times its width, the height following
    // the two angles.
    Image* RenderPerspectiveView(const Image* shown, float angularWidth, float angularHeight, const POINT2* direction,
                                 float fieldFactor);

    // ---- Publishing: the QuickTime tour page, the crop toggle, the frames --
public:
    // Crops the front panorama view to its selection, or undoes the crop
    // (its event 10001); nothing when no panorama view is open.
    void ToggleFrontViewCrop();
    // "Make QuickTime Tour": the web page dialog, run modally, for the movie
    // the view saved last; without one the user is told to save one first.
    void MakeQuickTimeTour(CRectMapView* view);
    // A new array of the chain's frames in chain order (the caller deletes
    // it with delete[]); null, with count 0, without a chain or frames.
    ImageFrame** GetFrameArray(uint32_t* count, bool* loop) const;
};

// The modeless "Image Exif Info" dialog for a frame; without create only an
// open dialog follows the frame. Recorded on the manager until it is built.
void ShowExifInfoDialog(ImageFrame* frame, bool create);

// The program's manager (set by the main frame's constructor), or null.
SuperManager* GetSuperManager();
void SetSuperManager(SuperManager* manager);

// Global accessors; each answers 0 or does nothing without its object.
StitchSettings* GetCurrentStitchSettings();
void SetBrightnessDialogTarget(DataViewer* viewer);
void ClearBrightnessDialogTarget(DataViewer* viewer);
float GetSamplingRateCallback();
bool StitchPrecondition();
int MinMarkerPairs();

// The image browser's rectangle from the packed profile values (left/right
// and top/bottom in the low/high 16 bits), clamped to the screen.
RECT BrowserPlacement(int32_t hPosition, int32_t vPosition, int screenWidth, int screenHeight);

// Path helpers of the project file names: the name after the last backslash
// or slash (the whole path without one, null for null), and the folder
// before it (empty without a separator or when it is the first character).
const char* GetName(const char* path);
void ExtractFolder(const char* path, std::string& out);
// "0".."9" -> 0..9, "A".."Z" -> 10..35, any other character its code - 87.
signed char Base36DigitValue(char c);
