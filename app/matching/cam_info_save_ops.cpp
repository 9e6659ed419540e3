// The manager's two other camera-information commands after a finished
// stitch: writing a new camera-information file from the stitch's focal
// length and correction ("Save to Camera Info File"), and opening the
// legacy camera wizard with them.
#include "app/control/stitch_settings.h"
#include "app/control/super_manager.h"
#include "app/matching/cam_info.h"
#include "app/matching/cam_info_file.h"
#include "app/matching/cam_info_wizard.h"
#include "app/matching/distortion_record.h"
#include "app/matching/save_cam_info_dlg.h"
#include "core/logger.h"
#include "platform/imgcore/exif_info.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/win_app.h"
#include "platform/win/wnd.h"
#include "projectgraph/framegrp/image_frame.h"

#include <string>

bool SuperManager::SaveCamInfoFile()
{
    if (GetCamInfoFileName()) {
        AfxMessageBox("Cannot save: already using Camera Info file!");
        return false;
    }
    float focal35 = 0.0f;
    ImageFrame* frame = nullptr;
    if (!CalibrateFocalLength(&focal35, &frame)) return false;

    std::string folder;
    LogBase::GetCommonAppDataDir("\\Quorvane\\CameraInfo", folder);
    CSaveCamInfoDlg dialog(AfxGetMainWnd());
    dialog.SetFolder(folder);
    ExifInfo* exif = frame->getExifInfo(true);
    if (exif) {
        const char* make = exif->GetMake();
        const char* model = exif->GetModel();
        dialog.SetFileName(std::string(make ? make : "") + "-" + (model ? model : ""));
    }
    if (dialog.DoModal() != IDOK) return false;

    const std::string fileName = dialog.GetFileName();
    const std::string comment = dialog.GetComment() ? dialog.GetComment() : "";
    const bool externalLens = dialog.IsExternalLens();
    const std::string lens = externalLens && dialog.GetExternalLensName() ? dialog.GetExternalLensName() : "";
    if (!exif && AfxMessageBox("No exif info in first image! Still save camera info file?", MB_YESNO) != IDYES)
        return false;
    const DistortionRecord* correction = m_distortion.get();
    const bool saved = SaveCamInfo(fileName.c_str(), false, comment.empty() ? nullptr : comment.c_str(),
                                   externalLens && !lens.empty() ? lens.c_str() : nullptr, exif, correction,
                                   correction != nullptr, false, focal35, -1.0f);
    if (!saved) Logger::log("ERROR SuperManager::SaveCamInfoFile: cannot write the camera info file", 1);
    AfxMessageBox(saved ? "Save camera info file: OK!" : "Save camera info file: failed!");
    return saved;
}

CCamInfoWizard* SuperManager::ShowCamInfoWizard()
{
    const bool runtime = m_stitchSettings->runtimeDistortion != 0;
    if (runtime && GetCamInfoFileName()) {
        AfxMessageBox(40030);
        return nullptr;
    }
    if (m_stitchSettings->focalType == 1) {
        AfxMessageBox(40031);
        return nullptr;
    }
    const bool known = m_stitchSettings->focalType == 2;
    auto* wizard = new CCamInfoWizard;
    wizard->SetFocalLength(known ? m_stitchSettings->focalLength : GetEquivalentFocalLength(false));
    // The wizard keeps its own copy: later changes of the manager's record
    // do not reach what it writes.
    wizard->SetCorrection(runtime ? m_distortion.get() : nullptr);
    wizard->SetFocalKnown(known);
    if (!wizard->Create(AfxGetMainWnd())) {
        Logger::log("ERROR SuperManager::ShowCamInfoWizard: cannot create the wizard window", 1);
        delete wizard;
        return nullptr;
    }
    wizard->ShowWindow(SW_SHOW);
    return wizard;
}
