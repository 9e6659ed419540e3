// The manager's side of the stitch settings: applying what the "Stitch
// Settings" dialog chose to the manager's records and camera-information
// state, the silent check before a stitch or after a project opened, and
// the counts the camera-information menu items depend on.
#include "app/control/image_chain.h"
#include "app/control/stitch_pair.h"
#include "app/control/stitch_settings.h"
#include "app/control/super_manager.h"
#include "app/matching/auto_markers.h"
#include "app/matching/cam_info.h"
#include "app/matching/distortion_record.h"
#include "app/matching/exif_summary.h"
#include "app/matching/stitch_settings_dlg.h"
#include "app/shell/stitch_bar.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <cstring>

namespace {

bool SameName(const char* a, const char* b)
{
    if (!a || !b) return a == b;
    return std::strcmp(a, b) == 0;
}

}  // namespace

bool SuperManager::ShowStitchSettings(bool showDialog) { return RunStitchSettings(showDialog, false); }

bool SuperManager::CheckStitchSettingsAfterOpen()
{
    // A project without images has nothing to be checked against.
    bool fits = true;
    if (GetImageCount() > 0) fits = RunStitchSettings(false, true);
    if (m_stitchBar) m_stitchBar->UpdateSettingsText();
    return fits;
}

bool SuperManager::RunStitchSettings(bool showDialog, bool afterOpen)
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
        } else if (dlg.GetFocalType() != stitch->focalType && mergedPairs == 0 && !afterOpen) {
            // Right after an open the focal type stays as the project stored
            // it (a re-save writes the same file); the check before the next
            // stitch adopts the suggestion.
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

// ---- Focal-length calibration from a finished stitch ------------------------------

bool SuperManager::CalibrateFocalLength(float* focal35, ImageFrame** frame)
{
    const int type = m_stitchSettings ? m_stitchSettings->focalType : 0;
    const bool runtime = m_stitchSettings && m_stitchSettings->runtimeDistortion;
    const char* kDifferent = "Update focal length not allowed: its setting is \"Defferent Unknown\"!";
    if (type == 1) {
        AfxMessageBox(kDifferent);
        return false;
    }
    if (type == 4) {
        AfxMessageBox("Update focal length not allowed: already known in camInfo file!\nIf still want to update, go "
                      "to Settings and load the camInfo file again\nwith \"Ignore Focal Length to re-calibrate\" "
                      "checked.");
        return false;
    }
    if (runtime && !m_distortion) {
        AfxMessageBox("Save runtime distortion correction & focal length calibration not allowed:\ndistortion "
                      "correction not calibrated due to low-quality images or found markers.\nPlease use a better "
                      "image set to make camera info file.");
        return false;
    }
    if (!m_group) {
        AfxMessageBox("Update focal length not allowed: no image in Pellicot!");
        return false;
    }
    ExifSummary summary;
    const int n = FillExifSummary(m_chain, &summary);
    const int minimum = runtime ? 8 : 5;
    if (n < minimum) {
        const char* format = runtime ? "Save runtime distortion correction & focal length calibration not allowed: "
                                       "too few images (<%d)!"
                             : !m_camInfo ? "Save focal length calibration not allowed: too few images (<%d)!"
                                          : "Update focal length not allowed: too few images (<%d)!";
        char text[256];
        std::snprintf(text, sizeof text, format, minimum);
        AfxMessageBox(text);
        return false;
    }
    const char* kUnfinished = "Update focal length not allowed: stitching unfinished!";
    if (m_group->GetNumbMergedImages() < n) {
        AfxMessageBox(kUnfinished);
        return false;
    }
    const bool corrected = m_camInfo && (m_camInfo->hasDistortion || m_camInfo->hasColorRegistration);
    if (type == 3 && corrected) {
        if (summary.minFocal != summary.maxFocal) {
            AfxMessageBox("Update focal length not allowed with available distortion/aberration correction:\nimage "
                          "set has different zooms!");
            return false;
        }
        if (m_camInfo->exifFocalLength != summary.maxFocal) {
            AfxMessageBox("Update focal length not allowed with available distortion/aberration correction:\nimage "
                          "set zoom is different from cal image!");
            return false;
        }
    }
    if ((type == 0 || type == 2) && m_camInfo && summary.maxFocal > 0.0f) {
        AfxMessageBox(!corrected ? "Update focal length not allowed: at least one image has Exif info\nbut current "
                                   "camInfo file does not. Please re-stitch without the camInfo\nfile, to create a "
                                   "new camInfo file."
                                 : "Update focal length not allowed: at least one image has Exif info,\nbut current "
                                   "camInfo file does not. Please create new camInfo file with\nOptarvo from an "
                                   "image with Exif info.");
        return false;
    }
    const int count = m_group->GetNumbOfImages();
    std::vector<int> merged(static_cast<size_t>(count > 0 ? count : 1));
    int m = 0;
    int pairs = 0;
    m_group->GetMergedImages(merged.data(), m, pairs);
    if (type == 2 && pairs != m) {
        AfxMessageBox(kDifferent);
        return false;
    }
    ImageFrame* first = m > 0 ? m_group->GetImageFrame(merged[0]) : nullptr;
    // A reopened project keeps stamps only: the image is loaded as the stitch
    // loads it, so that S is measured at the scale f was solved at.
    if (first && !first->GetImage()) LoadFrameImage(first, true);
    Image* image = first ? first->GetImage() : nullptr;
    IImgInfo* info = first ? first->GetImgInfo() : nullptr;
    const float shorter = image ? static_cast<float>(std::min(image->GetWidth(), image->GetHeight())) : 0.0f;
    const float f = info ? info->GetFocal() : 0.0f;
    if (shorter <= 0.0f || f <= 0.0f) {
        Logger::log("ERROR SuperManager::CalibrateFocalLength: no image or focal length in the first merged frame", 1);
        AfxMessageBox(kUnfinished);
        return false;
    }
    if (focal35) *focal35 = 24.0f * f / shorter;
    if (frame) *frame = first;
    return true;
}

bool SuperManager::AddFocalLengthToCamInfo()
{
    if (!GetCamInfoFileName() || !m_camInfo) {
        AfxMessageBox("No Camera Info file selected to add focal length!");
        return false;
    }
    if (m_camInfo->calMethod == 0) {
        AfxMessageBox("Update focal length not allowed: Camera Info file is legacy!");
        return false;
    }
    float focal35 = 0.0f;
    if (!CalibrateFocalLength(&focal35, nullptr)) return false;
    const bool overwrite = m_camInfo->GetFocalLength() != 0.0f;
    if (overwrite && AfxMessageBox("Overwrite existing focal length value?", MB_YESNO) != IDYES) return false;
    const float oldFocal = m_camInfo->focalLength;
    const uint8_t oldHas = m_camInfo->hasFocalLength;
    m_camInfo->SetFocalLength(focal35);
    if (!m_camInfo->Save()) {
        // The record in memory goes back to what its file still holds.
        m_camInfo->focalLength = oldFocal;
        m_camInfo->hasFocalLength = oldHas;
        Logger::log("ERROR SuperManager::AddFocalLengthToCamInfo: cannot write the camera info file", 1);
        AfxMessageBox("Update focal length: failed!");
        return false;
    }
    AfxMessageBox("Update focal length: to camera info file OK!");
    if (overwrite) return true;
    m_stitchSettings->focalLength = focal35;
    m_stitchSettings->focalType = m_camInfo->exifFocalLength != 0.0f ? 3 : 2;
    return true;
}
