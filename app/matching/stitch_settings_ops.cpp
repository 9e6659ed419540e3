// The manager's side of the stitch settings: applying what the "Stitch
// Settings" dialog chose to the manager's records and camera-information
// state, the silent check before a stitch or after a project opened, and
// the counts the camera-information menu items depend on.
#include "app/control/image_chain.h"
#include "app/control/stitch_settings.h"
#include "app/control/super_manager.h"
#include "app/matching/auto_markers.h"
#include "app/matching/cam_info.h"
#include "app/matching/distortion_record.h"
#include "app/matching/exif_summary.h"
#include "app/matching/stitch_settings_dlg.h"
#include "app/shell/stitch_bar.h"
#include "core/logger.h"
#include "projectgraph/framegrp/image_group.h"

#include <cstring>

namespace {

bool SameName(const char* a, const char* b)
{
    if (!a || !b) return a == b;
    return std::strcmp(a, b) == 0;
}

}  // namespace

bool SuperManager::ShowStitchSettings(bool showDialog)
{
    ExifSummary summary;
    FillExifSummary(m_chain, &summary);
    const int mergedPairs = m_chain ? m_chain->CountMergedPairs() : 0;
    StitchSettings* stitch = m_stitchSettings.get();
    BlendSettings* blend = m_blendSettings.get();
    if (!stitch || !blend) {
        Logger::log("ERROR SuperManager::ShowStitchSettings: no settings records", 1);
        return false;
    }
    CStitchSettingsDlg dlg(m_useExif != 0, stitch, blend, m_automaticMode != 0, m_elasticBlend != 0,
                           stitch->runtimeDistortion != 0, GetCamInfoFileName(), &summary);
    auto updateBar = [this] {
        if (m_stitchBar) m_stitchBar->UpdateSettingsText();
    };

    if (!showDialog) {
        bool runDialog = false;
        if (!dlg.IsConsistent()) {
            AfxMessageBox(dlg.GetMessageText().c_str(), MB_OK);
            runDialog = true;
        } else if (dlg.GetFocalType() != stitch->focalType && mergedPairs == 0) {
            stitch->focalType = dlg.GetFocalType();
            updateBar();
            return true;
        } else if (mergedPairs == 0 && !m_pairWindow && m_useExif && summary.state == 0 && m_camInfo &&
                   m_camInfo->exifFocalLength > 0.0f) {
            if (AfxMessageBox("CameraInfo file has Exif info while images do not!\nPlease confirm they match?\n",
                              MB_YESNO) == IDYES)
                return true;
            dlg.DropCamInfo();
            runDialog = true;
        }
        if (!runDialog) return true;
    }

    if (dlg.DoModal() != IDOK) return dlg.IsConsistent();

    m_useExif = dlg.IsUseExif() ? 1 : 0;
    const bool oldAutoBalance = blend->autoBalance != 0;
    dlg.ApplyBlend(blend);
    if (oldAutoBalance && !blend->autoBalance) ResetAutoColorTables();
    m_automaticMode = dlg.IsAutoStitch() ? 1 : 0;
    m_elasticBlend = dlg.IsElastic() ? 1 : 0;
    bool changed = false;
    const float oldFocal = stitch->focalLength;

    if (dlg.IsRuntimeCorrection()) {
        if (stitch->runtimeDistortion) {
            changed = dlg.GetFocalType() != stitch->focalType;
        } else {
            changed = true;
            if (m_flags & kFlagDistortionOn) {
                bool pairsReset = false;
                SetDistortionCorrection(false, &pairsReset);
            }
            SetCamInfoFileName(nullptr);
            SetCamInfo(nullptr);
        }
        if (changed) {
            dlg.ApplyFocal(stitch);
            m_distortion.reset();
        }
        // The run-time correction is applied when the next stitch loads the
        // images; the computed pairs stay.
        updateBar();
        return true;
    }

    const char* oldName = GetCamInfoFileName();
    const bool use = dlg.GetCamInfoName() && dlg.IsUsingCamInfo();
    if (!use) {
        const bool focalChanged = dlg.ApplyFocal(stitch);
        bool pairsReset = false;
        if (!SetDistortionCorrection(false, &pairsReset)) {
            changed = false;
        } else {
            changed = focalChanged && !pairsReset;
            if (m_overlapDialog) {
                if (stitch->focalLength == oldFocal) {
                    if (m_overlapHooks.updateFocalCombo) m_overlapHooks.updateFocalCombo(m_overlapDialog);
                } else if (m_overlapHooks.applyFocalSetting) {
                    m_overlapHooks.applyFocalSetting(m_overlapDialog, 1);
                }
            }
            m_distortion.reset();
            SetCamInfoFileName(nullptr);
            SetCamInfo(nullptr);
        }
    } else if (!oldName || !SameName(oldName, dlg.GetCamInfoName()) || dlg.GetFocalType() != stitch->focalType) {
        changed = true;
        const bool filled = dlg.FillDistortionRecord(GetDistortionRecord(true));
        bool pairsReset = false;
        SetDistortionCorrection(filled, &pairsReset);
        if (!filled) m_distortion.reset();
        dlg.ApplyFocal(stitch);
        if (m_overlapDialog && stitch->focalLength != oldFocal && m_overlapHooks.applyFocalSetting)
            m_overlapHooks.applyFocalSetting(m_overlapDialog, 1);
        const std::string name = dlg.GetCamInfoName();
        SetCamInfoFileName(name.c_str());
        SetCamInfo(std::unique_ptr<CamInfo>(dlg.TakeCamInfo()));
    }

    if (changed && mergedPairs > 0) ResetStitching(false);
    updateBar();
    return true;
}

bool SuperManager::AreAllImagesMerged()
{
    return m_group && m_group->GetNumbMergedImages() >= m_group->GetNumbOfImages();
}

int SuperManager::GetImageCount() { return m_group ? m_group->GetNumbOfImages() : 0; }

bool SuperManager::CanSaveCamInfoFile()
{
    const bool runtime = m_stitchSettings && m_stitchSettings->runtimeDistortion;
    return !m_camInfo && AreAllImagesMerged() && GetImageCount() >= (runtime ? 8 : 5);
}

bool SuperManager::CanAddFocalLengthToCamInfo()
{
    const bool runtime = m_stitchSettings && m_stitchSettings->runtimeDistortion;
    return m_camInfo && !runtime && GetImageCount() >= 5 && AreAllImagesMerged();
}
