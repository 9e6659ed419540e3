#include "platform/win/file_dialog.h"

#include "platform/win/prompter.h"

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName, DWORD flags,
                         const char* filter, CWnd*)
    : m_open(openFileDialog != FALSE), m_defaultExt(defaultExt ? defaultExt : ""),
      m_fileName(fileName ? fileName : ""), m_filter(filter ? filter : "")
{
    m_ofn.Flags = flags;
}

INT_PTR CFileDialog::DoModal()
{
    win::FileDialogRequest request;
    request.open = m_open;
    request.title = m_ofn.lpstrTitle ? m_ofn.lpstrTitle : (m_open ? "Open" : "Save As");
    request.filter = m_filter;
    request.filterIndex = static_cast<int>(m_ofn.nFilterIndex);
    request.initialDir = m_ofn.lpstrInitialDir ? m_ofn.lpstrInitialDir : "";
    request.fileName = m_fileName;
    request.defaultExt = m_defaultExt;
    request.flags = m_ofn.Flags;
    request.lockedFolder = m_lockedFolder;
    const win::FileDialogAnswer answer = win::GetPrompter().FileDialog(request);
    if (!answer.ok || answer.paths.empty() || answer.paths.front().empty()) return IDCANCEL;
    if (!win::InLockedFolder(request, answer.paths.front())) return IDCANCEL;
    m_path = answer.paths.front();
    m_ofn.nFilterIndex = static_cast<DWORD>(answer.filterIndex);
    // A name typed without an extension gets the default one.
    const size_t slash = m_path.find_last_of("/\\");
    const size_t dot = m_path.rfind('.');
    if (!m_defaultExt.empty() && (dot == std::string::npos || (slash != std::string::npos && dot < slash)))
        m_path += "." + m_defaultExt;
    return IDOK;
}

std::string CFileDialog::GetFileName() const
{
    const size_t slash = m_path.find_last_of("/\\");
    return slash == std::string::npos ? m_path : m_path.substr(slash + 1);
}

std::string CFileDialog::GetFileExt() const
{
    const std::string name = GetFileName();
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}
