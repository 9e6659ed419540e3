// The class library's common file dialog over the prompter: the program
// builds one with its default extension, file name, flags and filter
// ("Name|*.ext||" pairs), may set the title and the initial folder through
// m_ofn, runs DoModal and reads the chosen path.
#pragma once

#include "platform/win/win_defs.h"

#include <string>

class CWnd;

constexpr DWORD OFN_READONLY = 0x1;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x2;
constexpr DWORD OFN_HIDEREADONLY = 0x4;
constexpr DWORD OFN_NOCHANGEDIR = 0x8;
constexpr DWORD OFN_ALLOWMULTISELECT = 0x200;
constexpr DWORD OFN_PATHMUSTEXIST = 0x800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x1000;

class CFileDialog {
public:
    CFileDialog(BOOL openFileDialog, const char* defaultExt = nullptr, const char* fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
                CWnd* parent = nullptr);
    virtual ~CFileDialog() = default;

    // IDOK with a chosen path, IDCANCEL otherwise.
    virtual INT_PTR DoModal();

    // Keeps the chooser in `folder`: it cannot be left, and an answer from
    // elsewhere counts as a cancel.
    void LockFolder(const std::string& folder) { m_lockedFolder = folder; }

    // The chosen path, its name part and its extension (after the last '.').
    std::string GetPathName() const { return m_path; }
    std::string GetFileName() const;
    std::string GetFileExt() const;

    // The fields of the platform's record that the program sets.
    struct OpenFileName {
        const char* lpstrTitle = nullptr;
        const char* lpstrInitialDir = nullptr;
        DWORD Flags = 0;
        DWORD nFilterIndex = 1;
    } m_ofn;

private:
    bool m_open;
    std::string m_defaultExt;
    std::string m_fileName;
    std::string m_filter;
    std::string m_path;
    std::string m_lockedFolder;
};
