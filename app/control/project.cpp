// The project side of the manager that start-up and close need: a new,
// closed or untitled project, the save question, the project name and the
// main window title. Reading and writing the ".kzp" file itself come with the
// project file.
#include "app/control/super_manager.h"
#include "app/control/stitch_pair.h"

#include "app/control/tool_state.h"
#include "app/shell/fendrake_app.h"
#include "core/logger.h"
#include "platform/win/file_system.h"
#include "platform/win/win_app.h"
#include "projectgraph/framegrp/image_group.h"
#include "worldmap/world_map.h"

#include <cstring>

namespace {

constexpr const char* kUntitled = "Untitled.kzp";

}  // namespace

bool SuperManager::NewProject()
{
    if (!CanStitch()) {
        if (HasProjectName()) {
            // A one-image project closes too (not while loading); with no
            // image there is nothing to close.
            const int images = m_group ? m_group->GetNumbOfImages() : 0;
            if (images != 1 || (m_flags & kFlagLoading)) return false;
        }
    } else if (!QuerySaveProject()) {
        return false;
    }
    CloseProject();
    // The "Project" folder is made by the first save, not here.
    SetProjectName(win::ToPosixPath(CFendrakeApp::GetProgramDir() + "\\Project\\" + kUntitled).c_str());
    return true;
}

bool SuperManager::QuerySaveProject()
{
    if (m_flags & kFlagSaved) return true;
    const char* name = GetProjectName(false);
    std::string question;
    if (name && std::strcmp(name, kUntitled) != 0)
        question = std::string("Do you want save change to current project file:\n   ") + name;
    else
        question = "Do you want to save current project?";
    switch (AfxMessageBox(question.c_str(), MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDCANCEL:
        return false;
    case IDNO:
        return true;
    default:
        return SaveProject(true);
    }
}

void SuperManager::CloseProject()
{
    ClearStitchThreadBlock();
    CloseImageTray(false);
    ClosePairWindow(false);
    CloseBrightnessDialog(false);
    CloseOverlapDialog(false);
    if (m_group) {
        if (m_group->HasRectWorldMap()) {
            WorldMap* map = m_group->GetRectWorldMap(false);
            map->NotifyViewers(10007, 0);
            map->NotifyViewers(19, 0);
        }
        m_group.reset();
    }
    ResetLevelingRotation();
    ModifyFlags(kFlagBlendStage, kFlagSaved);
    m_reductionCode = 0;
    m_useExif = 1;
    m_settingsOption = 1;
    UpdateFocalType();
}

void SuperManager::SetProjectName(const char* path)
{
    Logger::log("Enter SuperManager::SetProjectName()", 3);
    m_projectName = path ? path : "";
    std::string title;
    BuildWindowTitle(title);
    if (CWnd* main = AfxGetMainWnd()) main->SetWindowText(title.c_str());
    Logger::log("Leave SuperManager::SetProjectName(): FillTitle=%s", 3, title.c_str());
}

const char* SuperManager::GetProjectName(bool full) const
{
    Logger::log("Enter SuperManager::GetProjectName()", 3);
    if (m_projectName.empty()) return nullptr;
    return full ? m_projectName.c_str() : GetName(m_projectName.c_str());
}

void SuperManager::BuildWindowTitle(std::string& out) const
{
    out = "Quorvane Fendrake";
    if (const char* name = GetProjectName(false)) {
        out += " - [";
        out += name;
        out += "]";
    }
}
