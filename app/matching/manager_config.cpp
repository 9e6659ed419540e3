// The manager's side of the settings file and of the camera-information
// record in use: reading "fendrake.cfg" at start, writing it back at exit,
// the focal type that follows from the record, and the Initial
// Configuration dialog.
#include "app/control/super_manager.h"
#include "app/matching/app_config.h"
#include "app/matching/cam_info.h"
#include "app/matching/distortion_record.h"
#include "app/matching/init_config_dlg.h"
#include "app/shell/fendrake_app.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/utilkit/log_base.h"
#include "core/logger.h"
#include "platform/win/file_system.h"
#include "platform/win/wnd.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Linux names are case-sensitive: the file is read as "fendrake.cfg", else
// as "Fendrake.cfg", and written back under the name that was read.
std::string ConfigPath(const char* fileName)
{
    std::string folder;
    LogBase::GetCommonAppDataDir("\\Quorvane\\config", folder);
    return folder + "\\" + fileName;
}

// The focal type a camera-information record gives: calibrated focal length
// and Exif focal length decide it.
int FocalTypeOf(const CamInfo& info)
{
    const bool calibrated = info.GetFocalLength() != 0.0f;
    if (info.exifFocalLength > 0.0f) return calibrated ? 4 : 3;
    return calibrated ? 2 : 0;
}

}  // namespace

void SuperManager::LoadConfigFile()
{
    const std::string lower = ConfigPath("fendrake.cfg");
    const std::string upper = ConfigPath("Fendrake.cfg");
    if (LogBase::IsFileExists(lower.c_str())) {
        m_configFileName = lower;
    } else if (LogBase::IsFileExists(upper.c_str())) {
        m_configFileName = upper;
    } else {
        m_configFileName = lower;
        // A failed seed copy is not reported: the defaults stay.
        CopyFile((CFendrakeApp::GetProgramDir() + "\\Fendrake.cfg").c_str(), lower.c_str(), TRUE);
    }
    FILE* file = win::OpenFile(m_configFileName, "r");
    if (!file) return;
    AppConfig& config = *m_config;
    ReadConfigLines(file, config);
    std::fclose(file);

    m_stitchSettings->focalLength = config.focalLength;
    m_stitchSettings->focalType = config.focalMode;
    if (const char* name = config.GetCamInfoFile()) {
        auto info = std::make_unique<CamInfo>();
        if (info->LoadFile(name, nullptr)) {
            m_flags |= kFlagDistortionOn;
            info->GetCorrectionParams(GetDistortionRecord(true));
            if (info->GetFocalLength() != 0.0f) m_stitchSettings->focalLength = info->GetFocalLength();
            m_stitchSettings->focalType = FocalTypeOf(*info);
            SetCamInfoFileName(name);
            SetCamInfo(std::move(info));
        } else {
            Logger::log("ERROR SuperManager::LoadConfigFile: camera-information file %s not loaded", 1, name);
        }
    }
    m_blendSettings->autoBalance = config.autoBalance;
    m_blendSettings->blendWidth = config.blendWidth;
    m_elasticBlend = config.blendMethod == 0 ? 1 : 0;
}

void SuperManager::SaveConfigFile()
{
    if (!m_config || !m_config->IsModified()) return;
    const std::string path = m_configFileName.empty() ? ConfigPath("fendrake.cfg") : m_configFileName;
    FILE* file = win::OpenFile(path, "w");
    if (!file) {
        AfxMessageBox("Can not open file fendrake.cfg for saving config info.", MB_OK);
        return;
    }
    WriteConfigLines(file, *m_config);
    if (std::fclose(file) != 0) Logger::log("ERROR SuperManager::SaveConfigFile: writing %s failed", 1, path.c_str());
}

void SuperManager::UpdateFocalType()
{
    m_stitchSettings->focalType = m_camInfo ? FocalTypeOf(*m_camInfo) : 3;
}

float SuperManager::GetEquivalentFocalLength(bool useSettings)
{
    const int count = m_group ? m_group->GetNumbOfImages() : 0;
    if (count > 0) {
        std::vector<int> merged(static_cast<size_t>(count));
        int mergedCount = 0;
        int pairs = 0;
        m_group->GetMergedImages(merged.data(), mergedCount, pairs);
        ImageFrame* frame = mergedCount > 0 ? m_group->GetImageFrame(merged[0]) : nullptr;
        // Images may have been dropped from the frames: without an image or
        // a focal length the settings answer instead.
        Image* image = frame ? frame->GetImage() : nullptr;
        IImgInfo* info = frame ? frame->GetImgInfo() : nullptr;
        if (image && info) {
            const float shorter = static_cast<float>(std::min(image->GetWidth(), image->GetHeight()));
            const float focal = info->GetFocal();
            // 35-mm equivalent: the shorter side stands for 24 mm.
            if (shorter > 0.0f && focal > 0.0f) return 12.0f / (shorter / (2.0f * focal));
        }
    }
    return useSettings ? m_stitchSettings->focalLength : 0.0f;
}

void SuperManager::ShowConfigurationDialog()
{
    CInitConfigDlg dialog(AfxGetMainWnd());
    dialog.SetConfig(m_config.get());
    dialog.DoModal();
}

const char* SuperManager::GetCamInfoFileName() const
{
    return m_camInfoFileName.empty() ? nullptr : m_camInfoFileName.c_str();
}

void SuperManager::SetCamInfoFileName(const char* name)
{
    if (name && m_camInfoFileName == name) return;
    m_camInfoFileName = name ? name : "";
}
