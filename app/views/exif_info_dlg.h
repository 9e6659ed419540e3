// The modeless "Image Exif Info" report (dialog 125): one image's file name,
// folder and Exif record as one multi-line text. One instance for the whole
// program, created on demand.
#pragma once

#include "platform/win/dialog.h"

#include <string>

class ExifInfo;
class ImageFrame;

namespace win {
class ResourceModule;
}

// The report for a file at `path` (split at its last "\" or "/") and its Exif
// record; a null record or one without a camera make gives the three-line
// "no Exif" report.
std::string BuildExifReport(const ExifInfo* info, const char* path);

class CExifInfoDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 125;
    static constexpr UINT kReportText = 1315;

    CExifInfoDlg() : CDialog(kTemplateId) {}
    // Replaces the shown report at once; the dialog keeps no copy.
    void ShowReport(const ExifInfo* info, const char* path);
    std::string GetReport() const;

protected:
    void OnCancel() override;
    void PostNcDestroy() override;
};

// The open dialog, or null.
CExifInfoDlg* GetExifInfoDialog();
// Nothing when no dialog is open and `create` is false; otherwise creates it
// when needed and shows the report of the frame's (or the given) image.
void ShowExifInfoDialog(ImageFrame* frame, bool create);
void ShowExifInfoForImage(const ExifInfo* info, const char* path, bool create);
// Deletes the dialog unless it is closing itself; clears the pointer.
void CloseExifInfoDialog(bool closingItself);
void AddExifInfoDialog(win::ResourceModule& module);
