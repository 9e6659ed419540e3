// The stand-in registry file and what the template server and the shell
// registration record in it.
#include "platform/win/ole_server.h"
#include "platform/win/registry_file.h"
#include "platform/win/resources.h"
#include "platform/win/tests/win_test_fixture.h"

#include <fstream>

namespace {

class RegistryFileTest : public WinTest {};

class PlainDoc : public CDocument {};
class PlainView : public CView {
public:
    void OnDraw(CDC*) override {}
};

TEST_F(RegistryFileTest, ValuesPersistWithAwkwardCharactersAndKeysRemoveWithTheirSubkeys)
{
    EXPECT_FALSE(win::RegistryFile::Entries().size());
    const std::string odd = "tab\there\\back\nline";
    ASSERT_TRUE(win::RegistryFile::SetValue("A\\B", "", "one"));
    ASSERT_TRUE(win::RegistryFile::SetValue("A\\B\\C", "name", odd));
    ASSERT_TRUE(win::RegistryFile::SetValue("A\\B", "", "two"));  // replaced, not added
    ASSERT_TRUE(win::RegistryFile::SetValue("AB", "", "sibling"));
    std::string value;
    ASSERT_TRUE(win::RegistryFile::GetValue("A\\B\\C", "name", value));
    EXPECT_EQ(value, odd);
    ASSERT_TRUE(win::RegistryFile::GetValue("A\\B", "", value));
    EXPECT_EQ(value, "two");
    EXPECT_FALSE(win::RegistryFile::GetValue("A\\B", "other", value));
    EXPECT_EQ(win::RegistryFile::Entries("A\\").size(), 2u);
    ASSERT_TRUE(win::RegistryFile::RemoveKey("A\\B"));
    EXPECT_FALSE(win::RegistryFile::GetValue("A\\B\\C", "name", value));
    ASSERT_TRUE(win::RegistryFile::GetValue("AB", "", value));  // a key that only shares the prefix stays
    EXPECT_EQ(value, "sibling");
    // The file is where the per-user configuration lives.
    EXPECT_EQ(win::RegistryFile::Path(), Home().file("config") + "/fendrake/registry");
}

TEST_F(RegistryFileTest, TemplateServerAndShellRegistrationRecordTheirEntries)
{
    win::Resources::App().AddString(700, "Viewer\n\nDoc\nDoc Files (*.dx)\n.dx\nMaker.Doc\nMaker Document");
    CSingleDocTemplate docTemplate(700, win::ClassOf<PlainDoc>(), win::ClassOf<CFrameWnd>(), win::ClassOf<PlainView>());
    COleTemplateServer server;
    EXPECT_FALSE(server.RegisterAll());  // nothing connected yet
    server.ConnectTemplate("{1234}", &docTemplate, false);
    ASSERT_TRUE(server.RegisterAll());
    ASSERT_TRUE(server.UpdateRegistry(COleTemplateServer::Registration::InPlaceServer, "/opt/x/Viewer"));
    ASSERT_TRUE(win::RegisterShellFileType(docTemplate, "/opt/x/Viewer"));
    std::string value;
    ASSERT_TRUE(win::RegistryFile::GetValue("CLSID\\{1234}", "ClassFactory", value));
    EXPECT_EQ(value, "single");
    ASSERT_TRUE(win::RegistryFile::GetValue("CLSID\\{1234}\\LocalServer32", "", value));
    EXPECT_EQ(value, "/opt/x/Viewer");
    ASSERT_TRUE(win::RegistryFile::GetValue("Maker.Doc\\CLSID", "", value));
    EXPECT_EQ(value, "{1234}");
    ASSERT_TRUE(win::RegistryFile::GetValue(".dx", "", value));
    EXPECT_EQ(value, "Maker.Doc");
    ASSERT_TRUE(win::RegistryFile::GetValue("Maker.Doc\\shell\\open\\command", "", value));
    EXPECT_EQ(value, "\"/opt/x/Viewer\" \"%1\"");
    win::Resources::ClearAll();
}

TEST_F(RegistryFileTest, AnUnwritableFolderIsAFailureNotASilentLoss)
{
    // The configuration folder is a plain file: nothing can be written below it.
    std::ofstream(Home().file("blocked")) << "x";
    setenv("XDG_CONFIG_HOME", Home().file("blocked").c_str(), 1);
    EXPECT_FALSE(win::RegistryFile::SetValue("K", "", "v"));
    std::string value;
    EXPECT_FALSE(win::RegistryFile::GetValue("K", "", value));
}

}  // namespace
