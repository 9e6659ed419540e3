// The project file (".kzp"): the magic "kzp\0", then 12-byte tagged entries
// (tag, type, count, value; little-endian) up to the entry of tag 44. The
// manager writes its settings as entries, the image graph writes its own
// records between them (from tag 41), and the leveling rotation closes the
// list. Reopening loads every photograph again from disk, looking for moved
// photographs in the project's folder or where the user points.
#include "app/control/super_manager.h"

#include "app/control/image_chain.h"
#include "app/matching/cam_info.h"
#include "app/matching/distortion_record.h"
#include "app/matching/utilities.h"
#include "app/shell/fendrake_app.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/main_frame.h"
#include "app/shell/pellicot.h"
#include "app/views/image_loaders.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/win/file_dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/win_app.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"
#include "projectgraph/framegrp/record_stream.h"
#include "worldmap/world_map.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kUntitled = "Untitled.kzp";
constexpr uint8_t kMagic[4] = {'k', 'z', 'p', 0};
// The version this writer stores; older files (from 258 on) are still read.
constexpr int16_t kVersion = 5968;
constexpr int16_t kOldestVersion = 258;
// Files before this version stored no usable blend width.
constexpr int16_t kBlendWidthVersion = 5968;
// A camera-information file name longer than this is not a name.
constexpr uint32_t kMaxNameBytes = 4096;

// The project's own tags (the image graph's lie between 17 and 59 too; they
// are read by the graph, never here).
enum ProjectTag : uint16_t {
    kProjVersion = 1,
    kProjOutputScale = 2,
    kProjFocalLength = 3,
    kProjFocalType = 4,
    kProjRuntimeDistortion = 5,
    kProjSolverOption = 6,
    kProjFirstFloat = 7,
    kProjSecondFloat = 8,
    kProjThirdFloat = 9,
    kProjFirstFlag = 10,
    kProjAutoBalance = 11,
    kProjBlendWord = 12,
    kProjBlendWidth = 13,
    kProjTrayLoop = 14,
    kProjOverlapMarked = 15,
    kProjCamInfoFile = 16,
    kProjGraph = 41,
    kProjEnd = 44,
    kProjStitchMode = 46,
    kProjDefaultOverlap = 50,
    kProjTrayNames = 51,
    kProjBlendMethod = 56,
    kProjLeveling = 58,
    kProjUseExif = 60,
    kProjFewImages = 61,
};

// Entry types the project uses besides the graph's.
constexpr uint16_t kTypeBool = 1;
constexpr uint16_t kTypeInt8 = 2;

TagEntry Bool(uint16_t tag, bool on)
{
    TagEntry e;
    e.tag = tag;
    e.type = kTypeBool;
    e.count = 1;
    e.value[0] = on ? 1 : 0;
    return e;
}

TagEntry Int8(uint16_t tag, int8_t v)
{
    TagEntry e;
    e.tag = tag;
    e.type = kTypeInt8;
    e.count = 1;
    e.value[0] = static_cast<uint8_t>(v);
    return e;
}

CMainFrame* MainFrame()
{
    return dynamic_cast<CMainFrame*>(AfxGetMainWnd());
}

bool IsUntitled(const char* name)
{
    return name && std::strcmp(name, kUntitled) == 0;
}

bool CanRead(const std::string& path)
{
    FILE* file = win::OpenFile(path, "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

std::string JoinPath(const std::string& folder, const char* name)
{
    return folder + "/" + name;
}

FILE* DefaultOpener(const char* path, const char* mode)
{
    return win::OpenFile(path, mode);
}

void ShowWriteFailure(const std::string& path)
{
    const std::string text = std::string("can't open file ") + " " + path + " " + "for writting";
    AfxMessageBox(text.c_str(), MB_OK);
    Logger::log("  SuperManager::SaveProject(): cannot open st0=%s", 3, text.c_str());
}

}  // namespace

void SuperManager::SetProjectFileOpener(ProjectFileOpener opener) { m_projectFileOpener = opener; }

void SuperManager::MakeUntitled()
{
    SetProjectName(win::ToPosixPath(CFendrakeApp::GetProgramDir() + "\\Project\\" + kUntitled).c_str());
    // Frames that were read stay and count as unsaved; an empty project has
    // nothing to save.
    if (m_group && m_group->GetNumbOfImages() > 0) ModifyFlags(kFlagSaved, 0);
}

// ---- Save ------------------------------------------------------------------------

bool SuperManager::WriteProjectFile(FILE* file)
{
    RecordWriter w(file);
    const StitchSettings& s = *m_stitchSettings;
    const BlendSettings& b = *m_blendSettings;
    w.Raw(kMagic, sizeof kMagic);
    Logger::log("  SuperManager::SaveProject()***1", 3);
    w.Entry(TagEntry::Int16(kProjVersion, kVersion));
    w.Entry(TagEntry::Float(kProjOutputScale, 1, m_outputScale));
    w.Entry(TagEntry::Float(kProjFocalLength, 1, s.focalLength));
    w.Entry(Int8(kProjFocalType, static_cast<int8_t>(s.focalType)));
    w.Entry(Bool(kProjRuntimeDistortion, s.runtimeDistortion != 0));
    w.Entry(Bool(kProjFewImages, s.fewImages != 0));
    w.Entry(Bool(kProjSolverOption, s.solverOption != 0));
    w.Entry(Bool(kProjFirstFlag, s.firstFlag != 0));
    w.Entry(TagEntry::Float(kProjFirstFloat, 1, s.values[0]));
    w.Entry(TagEntry::Float(kProjSecondFloat, 1, s.values[1]));
    w.Entry(TagEntry::Float(kProjThirdFloat, 1, s.values[2]));
    w.Entry(Bool(kProjAutoBalance, b.autoBalance != 0));
    w.Entry(TagEntry::Int32(kProjBlendWord, b.blendWord));
    w.Entry(TagEntry::Int32(kProjBlendWidth, b.blendWidth));
    w.Entry(Bool(kProjTrayLoop, GetTrayState()));
    Logger::log("  SuperManager::SaveProject()***2", 3);
    if (m_tray && m_tray->GetHost()) w.Entry(Bool(kProjTrayNames, m_tray->GetHost()->GetShowNames()));
    Logger::log("  SuperManager::SaveProject()***3", 3);
    w.Entry(Bool(kProjOverlapMarked, (m_flags & kFlagOverlapMarked) != 0));
    w.Entry(Bool(kProjStitchMode, m_automaticMode != 0));
    w.Entry(Bool(kProjUseExif, m_useExif != 0));
    w.Entry(Bool(kProjBlendMethod, m_elasticBlend != 0));
    Logger::log("  SuperManager::SaveProject()***4", 3);
    const char* camInfoName = (m_flags & kFlagDistortionOn) ? GetCamInfoFileName() : nullptr;
    const uint32_t nameBytes = camInfoName ? static_cast<uint32_t>(std::strlen(camInfoName)) : 0;
    w.Entry(TagEntry::Chars(kProjCamInfoFile, nameBytes));
    w.Raw(camInfoName, nameBytes);
    const PAIR_ALIGN_INIT_SETTING* overlap = Neighbor::GetPairAlignInitSetting();
    w.Entry(TagEntry::Float(kProjDefaultOverlap, 2, overlap->overlapH));
    w.Float(overlap->overlapV);
    Logger::log("  SuperManager::SaveProject()***5", 3);
    if (!w.Flush()) return false;

    // The image graph writes its own records through the same stream.
    float leveling[3] = {m_levelingRotation[0], m_levelingRotation[1], m_levelingRotation[2]};
    if (m_group) {
        if (m_group->SaveAs_InitInfo(file) == kStreamWriteError) return false;
        if (m_group->HasRectWorldMap()) {
            // The front panorama view reports a leveling rotation it has not
            // handed over yet: 1.0 and its rotation vector.
            float pending[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            m_group->GetRectWorldMap(false)->NotifyViewers(10006, reinterpret_cast<std::uintptr_t>(pending));
            if (pending[0] != 0.0f) Utilities::ComposeRotVec(leveling, pending + 1);
        }
    }
    Logger::log("  SuperManager::SaveProject()***6", 3);
    w.Entry(TagEntry::Float(kProjLeveling, 3, leveling[0]));
    w.Float(leveling[1]);
    w.Float(leveling[2]);
    // The end entry: the reader looks at its tag only; nothing follows it.
    w.Entry(TagEntry::Float(kProjEnd, 3, 0.0f));
    Logger::log("  SuperManager::SaveProject()***7", 3);
    return w.Flush();
}

bool SuperManager::SaveProject(bool useCurrentName)
{
    Logger::log("Enter SuperManager::SaveProject()", 3);
    if (!HasProjectName()) return false;
    const char* name = GetProjectName(false);
    Logger::log("  SuperManager::SaveProject(): projName=%s", 3, name);
    const bool untitled = IsUntitled(name);
    if (!useCurrentName || untitled) {
        Logger::log("  SuperManager::SaveProject(): before CFileDialog", 3);
        std::string initial = m_projectName;
        if (untitled) {
            const char* first = GetFirstImageName();
            if (first) initial = first;
        }
        CFileDialog dialog(FALSE, "kzp", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                           "Fendrake project file (*.kzp)|*.kzp||", AfxGetMainWnd());
        dialog.m_ofn.lpstrTitle = "Save Project";
        dialog.m_ofn.lpstrInitialDir = initial.c_str();
        Logger::log("  SuperManager::SaveProject(): before dlg.DoModal", 3);
        if (dialog.DoModal() != IDOK) return false;
        Logger::log("  SuperManager::SaveProject(): after dlg.DoModal", 3);
        SetProjectName(dialog.GetPathName().c_str());
    }
    const std::string path = m_projectName;
    Logger::log("  SuperManager::SaveProject(): fileName=%s", 3, path.c_str());

    // Written beside the old file and renamed over it only when every byte
    // reached the disk: a failed save leaves the old project as it was.
    const std::string target = win::ResolvePath(path);
    const std::string temporary = target + ".tmp";
    FILE* file = (m_projectFileOpener ? m_projectFileOpener : &DefaultOpener)(temporary.c_str(), "wb");
    if (!file) {
        Logger::log("ERROR SuperManager::SaveProject: cannot create %s", 1, temporary.c_str());
        ShowWriteFailure(path);
        return false;
    }
    bool written = WriteProjectFile(file);
    if (std::fclose(file) != 0) written = false;
    if (written && std::rename(temporary.c_str(), target.c_str()) != 0) {
        Logger::log("ERROR SuperManager::SaveProject: cannot replace %s", 1, target.c_str());
        written = false;
    }
    if (!written) {
        Logger::log("ERROR SuperManager::SaveProject: writing %s failed", 1, path.c_str());
        ::unlink(temporary.c_str());
        ShowWriteFailure(path);
        return false;
    }
    m_flags |= kFlagSaved;
    Logger::log("Leave SuperManager::SaveProject()", 3);
    return true;
}

// ---- Read the entries -------------------------------------------------------------

bool SuperManager::RestoreProjectSettings(FILE* file)
{
    RecordReader reader(file);
    uint8_t magic[4];
    if (!reader.Raw(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0) {
        Logger::log("ERROR SuperManager::RestoreProjectSettings: not a project file", 1);
        return false;
    }
    auto fail = [](const char* why) {
        Logger::log("ERROR SuperManager::RestoreProjectSettings: %s", 1, why);
        return false;
    };
    int16_t version = 0;
    bool haveVersion = false;
    StitchSettings& s = *m_stitchSettings;
    BlendSettings& b = *m_blendSettings;
    TagEntry e;
    for (;;) {
        if (!reader.Entry(e)) return fail("the file ends before its end entry");
        const bool on = e.value[0] != 0;
        switch (e.tag) {
        case kProjVersion:
            version = e.ValueInt16(0);
            if (version < kOldestVersion) return fail("the version is older than this reader knows");
            haveVersion = true;
            if (m_group) {
                if (m_group->HasRectWorldMap()) m_group->GetRectWorldMap(false)->NotifyViewers(19, 0);
                m_group.reset();
            }
            GetImageGroup(true);
            CloseImageTray(false);
            ShowImageTray();
            break;
        case kProjOutputScale: m_outputScale = e.ValueFloat(); break;
        case kProjFocalLength: s.focalLength = e.ValueFloat(); break;
        case kProjFocalType: {
            const int type = static_cast<int8_t>(e.value[0]);
            if (type < 0 || type > 4) {
                Logger::log("ERROR SuperManager::RestoreProjectSettings: focal type %d read as 0", 1, type);
                s.focalType = 0;
            } else {
                s.focalType = type;
            }
            break;
        }
        case kProjRuntimeDistortion: s.runtimeDistortion = on; break;
        case kProjSolverOption: s.solverOption = on; break;
        case kProjFirstFlag: s.firstFlag = on; break;
        case kProjFewImages: s.fewImages = on; break;
        case kProjFirstFloat: s.values[0] = e.ValueFloat(); break;
        case kProjSecondFloat: s.values[1] = e.ValueFloat(); break;
        case kProjThirdFloat: s.values[2] = e.ValueFloat(); break;
        case kProjAutoBalance: b.autoBalance = on; break;
        case kProjBlendWord: b.blendWord = e.ValueInt32(); break;
        case kProjBlendWidth: b.blendWidth = e.ValueInt32(); break;
        case kProjTrayLoop:
            if (m_tray) m_tray->SetLoop(on);
            break;
        case kProjTrayNames:
            if (m_tray && m_tray->GetHost()) m_tray->GetHost()->SetShowNames(on);
            break;
        case kProjOverlapMarked: ModifyFlags(kFlagOverlapMarked, on ? kFlagOverlapMarked : 0); break;
        case kProjStitchMode: m_automaticMode = on; break;
        case kProjUseExif: m_useExif = on; break;
        case kProjBlendMethod: m_elasticBlend = on; break;
        case kProjCamInfoFile: {
            bool changed = false;
            if (e.count == 0) {
                SetCamInfoFileName(nullptr);
                SetDistortionCorrection(false, &changed);
                break;
            }
            if (e.count > kMaxNameBytes || !reader.Fits(e.count, 1)) return fail("the camera-info name is too long");
            std::string name(e.count, '\0');
            if (!reader.Raw(name.data(), name.size())) return fail("the file ends inside the camera-info name");
            name.resize(std::strlen(name.c_str()));
            SetCamInfoFileName(name.c_str());
            SetDistortionCorrection(true, &changed);
            break;
        }
        case kProjDefaultOverlap: {
            float second = 0.0f;
            if (!reader.Float(second)) return fail("the file ends inside the default overlap");
            PAIR_ALIGN_INIT_SETTING* overlap = Neighbor::GetPairAlignInitSetting();
            overlap->overlapH = e.ValueFloat();
            overlap->overlapV = second;
            break;
        }
        case kProjLeveling: {
            float rest[2];
            if (!reader.Float(rest[0]) || !reader.Float(rest[1])) return fail("the file ends inside the leveling rotation");
            m_levelingRotation[0] = e.ValueFloat();
            m_levelingRotation[1] = rest[0];
            m_levelingRotation[2] = rest[1];
            break;
        }
        case kProjGraph: {
            // The graph reads its records from its own first entry on.
            if (!m_group) return fail("the image graph comes before the version entry");
            if (fseeko(file, -static_cast<off_t>(TagEntry::kSize), SEEK_CUR) != 0) return fail("cannot step back");
            if (m_group->Open_InitInfo(file) != kStreamOk) return fail("the image graph is damaged");
            reader = RecordReader(file);
            break;
        }
        case kProjEnd:
            if (!haveVersion) return fail("the file has no version entry");
            if (version < kBlendWidthVersion) b.blendWidth = 20;
            return true;
        default: {
            // Entries of other programs' versions: their data is skipped by
            // the size their type states.
            const uint64_t data = e.FollowingBytes();
            if (!reader.Skip(data)) return fail("the data of an unknown entry runs past the end");
            break;
        }
        }
    }
}

// ---- Open ------------------------------------------------------------------------

bool SuperManager::OpenProject(const char* path)
{
    if (m_group && !QuerySaveProject()) return false;
    std::string chosen;
    const bool fromDialog = path == nullptr;
    if (fromDialog) {
        CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                           "Project file (*.kzp)|*.kzp||", AfxGetMainWnd());
        dialog.m_ofn.lpstrTitle = "Open Project";
        if (dialog.DoModal() != IDOK) return false;
        chosen = dialog.GetPathName();
    } else {
        chosen = path;
    }
    FILE* file = win::OpenFile(chosen, "rb");
    if (!file) {
        AfxMessageBox((std::string("can't open file ") + chosen + " for reading.").c_str(), MB_OK);
        return false;
    }
    CloseProject();
    SetCamInfoFileName(nullptr);
    m_camInfo.reset();
    ModifyFlags(kFlagDistortionOn, 0);

    const bool restored = RestoreProjectSettings(file);
    std::fclose(file);
    if (!restored) {
        AfxMessageBox((std::string("Can't restore project ") + chosen).c_str(), MB_OK);
        // Whatever was read stays, but never under the good file's name.
        MakeUntitled();
        return false;
    }
    if (!LoadProjectFrames(chosen)) {
        ModifyFlags(kFlagLoading, 0);
        MakeUntitled();
        return false;
    }
    if (CMainFrame* main = MainFrame()) main->SetMessageText("");
    if (fromDialog)
        if (CWinApp* app = AfxGetApp()) app->AddToRecentFileList(chosen.c_str());
    SetProjectName(chosen.c_str());

    const char* camInfoName = GetCamInfoFileName();
    if ((m_flags & kFlagDistortionOn) && camInfoName) {
        auto info = std::make_unique<CamInfo>();
        if (!info->LoadFile(camInfoName, nullptr)) {
            AfxMessageBox((std::string("Cannot load camInfo file used by the project:\n  ") + camInfoName +
                           "\nPlease get the camInfo file and reload the project\n")
                              .c_str(),
                          MB_OK);
            bool changed = false;
            SetDistortionCorrection(false, &changed);
            if (m_stitchSettings->focalType == 2) m_stitchSettings->focalType = 0;
            if (m_chain) ResetPairStates(m_chain, true, true, 0, -1, false);
            ShowStitchSettings(true);
        } else {
            info->GetCorrectionParams(GetDistortionRecord(true));
            if (info->GetFocalLength() != 0.0f) m_stitchSettings->focalLength = info->GetFocalLength();
            SetCamInfo(std::move(info));
            CheckStitchSettingsAfterOpen();
        }
    } else {
        CheckStitchSettingsAfterOpen();
    }
    ModifyFlags(kFlagLoading, 0);
    PumpPendingMessages();
    return true;
}

bool SuperManager::LoadProjectFrames(const std::string& projectPath)
{
    const int count = m_group ? m_group->GetNumbOfImages() : 0;
    // Tray order: by the stored x, equal x keeping group order.
    std::vector<int> order;
    std::vector<short> xs;
    for (int i = 0; i < count; ++i) {
        short x = 0, y = 0;
        m_group->GetImageFrame(i)->GetStampLocation(&x, &y);
        size_t at = order.size();
        while (at > 0 && xs[at - 1] > x) --at;
        order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), i);
        xs.insert(xs.begin() + static_cast<std::ptrdiff_t>(at), x);
    }
    std::string projectFolder;
    ExtractFolder(projectPath.c_str(), projectFolder);
    std::string folder;  // where every frame of this project is taken from, once known
    ModifyFlags(0, kFlagLoading);
    CMainFrame* main = MainFrame();
    for (size_t k = 0; k < order.size(); ++k) {
        ImageFrame* frame = m_group->GetImageFrame(order[k]);
        if (main) main->SetMessageText(("Loading image #" + std::to_string(k + 1)).c_str());
        const char* stored = frame->GetName();
        if (!stored || !*stored) {
            Logger::log("ERROR SuperManager::OpenProject: frame %d has no image name", 1, order[k]);
            return false;
        }
        const std::string storedName = stored;
        if (folder.empty() && !CanRead(storedName)) {
            const char* namePart = GetName(storedName.c_str());
            if (!projectFolder.empty() && CanRead(JoinPath(projectFolder, namePart))) {
                folder = projectFolder;
            } else {
                const std::string question = "can't open image file " + storedName + "\n" + "Browse its location now?";
                if (AfxMessageBox(question.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
                const size_t dot = storedName.rfind('.');
                if (dot == std::string::npos) return false;
                const std::string ext = storedName.substr(dot + 1);
                const std::string filter = "Image File (*." + ext + ")|*." + ext + "||";
                const std::string title = std::string("Browse Image: ") + namePart;
                CFileDialog dialog(TRUE, nullptr, namePart, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, filter.c_str(),
                                   AfxGetMainWnd());
                dialog.m_ofn.lpstrTitle = title.c_str();
                if (dialog.DoModal() != IDOK) return false;
                ExtractFolder(dialog.GetPathName().c_str(), folder);
                if (folder.empty()) return false;
            }
        }
        if (!folder.empty()) {
            const char* namePart = GetName(storedName.c_str());
            if (namePart == storedName.c_str()) {
                Logger::log("ERROR SuperManager::OpenProject: image name %s has no folder", 1, stored);
                return false;
            }
            frame->SetName(JoinPath(folder, namePart).c_str());
        }
        const std::string imagePath = frame->GetName();
        Image* image = nullptr;
        const int kind = LoadImage(imagePath.c_str(), &image);
        if (kind != 1 || !image) {
            ReleaseImage(image);
            AfxMessageBox(("can't load image " + imagePath + ".").c_str(), MB_OK);
            return false;
        }
        Image* stamp = MakeStampImage(image);
        ReleaseImage(image);
        if (!stamp) {
            AfxMessageBox(("can't load image " + imagePath + ".").c_str(), MB_OK);
            return false;
        }
        frame->SetStampImage(stamp);
        ReleaseImage(stamp);
        if (!m_tray) ShowImageTray();
        if (m_tray) {
            short x = 0, y = 0;
            frame->GetStampLocation(&x, &y);
            const POINT at{x, y};
            m_tray->AddFrame(frame, &at, true);
        }
        PumpPendingMessages();
    }
    return true;
}
