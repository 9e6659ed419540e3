// Shared fixture of the image browser's tests: a started program, a drive
// E: mapped to a folder of the test's own, the browser opened through the
// manager, and small helpers to make folders and files.
#pragma once

#include "app/shell/dir_tree.h"
#include "app/shell/img_board.h"
#include "app/shell/img_browser.h"
#include "app/tests/app_test_fixture.h"
#include "imaging/list.h"
#include "platform/win/file_system.h"
#include "platform/win/control_bars.h"
#include "platform/win/controls.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class BrowserTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        std::filesystem::create_directories(DriveE());
        win::MapDrive('E', DriveE());
        ASSERT_TRUE(Start());
        Manager().ShowImageBrowser(0, true);
        ASSERT_NE(Manager().GetImageBrowser(), nullptr);
        ASSERT_NE(Browser().GetDirTree(), nullptr);
        ASSERT_NE(Browser().GetBoard(), nullptr);
    }

    void TearDown() override
    {
        CImgBoard::SetThumbnailLoader(nullptr);
        AppTest::TearDown();
    }

    std::string DriveE() const { return Home().file("e"); }
    // A folder below E: (slashes), made with its parents; its POSIX path.
    std::string Folder(const std::string& relative) const
    {
        const std::string path = DriveE() + "/" + relative;
        std::filesystem::create_directories(path);
        return path;
    }
    static void WriteBytes(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static void CopyFile(const std::string& from, const std::string& to)
    {
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    }

    CImgBrowser& Browser() { return *Manager().GetImageBrowser(); }
    CDirTree& Tree() { return *Browser().GetDirTree(); }
    CImgBoard& Board() { return *Browser().GetBoard(); }
    CTreeCtrl& TreeCtrl() { return *Tree().GetTree(); }

    // The child of `parent` with that text, or null.
    HTREEITEM Child(HTREEITEM parent, const std::string& text)
    {
        for (HTREEITEM c = TreeCtrl().GetChildItem(parent); c; c = TreeCtrl().GetNextSiblingItem(c))
            if (TreeCtrl().GetItemText(c) == text) return c;
        return nullptr;
    }
    std::vector<std::string> ChildTexts(HTREEITEM parent)
    {
        std::vector<std::string> texts;
        for (HTREEITEM c = TreeCtrl().GetChildItem(parent); c; c = TreeCtrl().GetNextSiblingItem(c))
            texts.push_back(TreeCtrl().GetItemText(c));
        return texts;
    }
    HTREEITEM DriveItem(char letter)
    {
        const std::string tail = std::string("(") + letter + ":)";
        for (HTREEITEM c = TreeCtrl().GetChildItem(TreeCtrl().GetRootItem()); c; c = TreeCtrl().GetNextSiblingItem(c)) {
            const std::string text = TreeCtrl().GetItemText(c);
            if (text.size() >= 4 && text.compare(text.size() - 4, 4, tail) == 0) return c;
        }
        return nullptr;
    }
    // The names in the board's file list, in order.
    std::vector<std::string> ListedFiles()
    {
        std::vector<std::string> names;
        CListBox* list = Board().GetFileList();
        for (int i = 0; list && i < list->GetCount(); ++i) names.push_back(Board().FileName(i));
        return names;
    }
    int ThumbnailCount() { return Board().GetThumbnails() ? Board().GetThumbnails()->m_count : 0; }
    std::string Pane(UINT id)
    {
        CStatusBar& bar = Main().GetStatusBar();
        return bar.GetPaneText(bar.CommandToIndex(id));
    }
};
