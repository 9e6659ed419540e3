// The project file: the bytes the writer puts down entry by entry, the
// reader over a table of well-formed, foreign and hostile files, saving that
// fails part way, and reopening a project whose photographs moved.
#include "app/control/image_chain.h"
#include "app/control/super_manager.h"
#include "app/matching/cam_info.h"
#include "app/matching/cam_info_file.h"
#include "app/matching/distortion_record.h"
#include "app/matching/utilities.h"
#include "app/shell/image_tray.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/pellicot.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "platform/win/dialog.h"
#include "app/views/image_loaders.h"
#include "core/byte_order.h"
#include "imaging/image.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/win/window_dc.h"
#include "platform/win/window_system.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"
#include "projectgraph/framegrp/record_stream.h"
#include "worldmap/data_viewer.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A project file built entry by entry in the test.
struct FileBuilder {
    Bytes bytes{'k', 'z', 'p', 0};

    FileBuilder& Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
    {
        uint8_t e[12];
        byteorder::PutU16LE(e, tag);
        byteorder::PutU16LE(e + 2, type);
        byteorder::PutU32LE(e + 4, count);
        byteorder::PutU32LE(e + 8, value);
        bytes.insert(bytes.end(), e, e + 12);
        return *this;
    }
    FileBuilder& Float(uint16_t tag, uint32_t count, float first) { return Entry(tag, 5, count, FloatBits(first)); }
    FileBuilder& Raw(const Bytes& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    FileBuilder& Word(uint32_t v)
    {
        uint8_t b[4];
        byteorder::PutU32LE(b, v);
        bytes.insert(bytes.end(), b, b + 4);
        return *this;
    }
    FileBuilder& Version(int v) { return Entry(1, 3, 1, static_cast<uint16_t>(v)); }
    FileBuilder& End() { return Float(44, 3, 0.0f); }
};

// One entry as the test reads it back.
struct Parsed {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint8_t value[4];
    Bytes data;  // the bytes following the entry
};

class ProjectFileTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_savedOverlap = *Neighbor::GetPairAlignInitSetting();
    }
    void TearDown() override
    {
        *Neighbor::GetPairAlignInitSetting() = m_savedOverlap;
        m_manager.reset();
        AppTest::TearDown();
    }

    // A manager of its own (no main frame), reached through the global.
    SuperManager& Bare()
    {
        m_manager = std::make_unique<SuperManager>();
        SetSuperManager(m_manager.get());
        return *m_manager;
    }

    std::string Dir(const std::string& name) const
    {
        const std::string dir = Home().file(name);
        fs::create_directories(dir);
        return dir;
    }

    static std::vector<std::string> Durlach(int n)
    {
        std::vector<std::string> paths;
        for (const auto& entry : fs::directory_iterator(TestData("huginsample-durlach/half")))
            paths.push_back(entry.path().string());
        std::sort(paths.begin(), paths.end());
        paths.resize(static_cast<size_t>(n));
        return paths;
    }

    // The photograph's stamp as the loader makes it (one reference).
    static RefPtr<Image> StampOf(const std::string& photo)
    {
        Image* image = nullptr;
        EXPECT_EQ(LoadImage(photo.c_str(), &image), 1) << photo;
        RefPtr<Image> stamp = RefPtr<Image>::adopt(MakeStampImage(image));
        ReleaseImage(image);
        return stamp;
    }

    // The photographs offered to the started program's tray.
    void AddPhotos(const std::vector<std::string>& photos)
    {
        for (const std::string& photo : photos) {
            Image* image = nullptr;
            ASSERT_EQ(LoadImage(photo.c_str(), &image), 1) << photo;
            Manager().AddImageFrame(MakeStampImage(image), photo.c_str(), nullptr);
            ReleaseImage(image);
        }
    }

    static win::FileDialogAnswer Chosen(const std::string& path)
    {
        win::FileDialogAnswer answer;
        answer.ok = true;
        answer.paths = {path};
        return answer;
    }

    // Walks the file; the image graph's records are taken whole (they are
    // compared on their own).
    static std::vector<Parsed> Walk(const Bytes& file, size_t graphBytes, Bytes* graph)
    {
        std::vector<Parsed> out;
        size_t at = 4;
        while (at + 12 <= file.size()) {
            Parsed p;
            p.tag = byteorder::GetU16LE(&file[at]);
            p.type = byteorder::GetU16LE(&file[at + 2]);
            p.count = byteorder::GetU32LE(&file[at + 4]);
            std::memcpy(p.value, &file[at + 8], 4);
            size_t follow = 0;
            if (p.tag == 41) {
                if (graph) graph->assign(file.begin() + static_cast<std::ptrdiff_t>(at),
                                         file.begin() + static_cast<std::ptrdiff_t>(std::min(file.size(), at + graphBytes)));
                at += graphBytes;
                out.push_back(p);
                continue;
            }
            // The end entry is alone: the reader looks at its tag only.
            if (p.type == 5 && p.count > 1 && p.tag != 44) follow = 4 * (p.count - 1);
            if (p.type == 6) follow = p.count;
            at += 12;
            p.data.assign(file.begin() + static_cast<std::ptrdiff_t>(at),
                          file.begin() + static_cast<std::ptrdiff_t>(std::min(file.size(), at + follow)));
            at += follow;
            out.push_back(p);
            if (p.tag == 44) break;
        }
        EXPECT_EQ(at, file.size()) << "bytes after the end entry";
        return out;
    }

    // The graph's own records for the manager's group, as it writes them.
    static Bytes GraphBytes(ImageGroup* group)
    {
        FILE* file = std::tmpfile();
        EXPECT_NE(group->SaveAs_InitInfo(file), kStreamWriteError);
        const long size = std::ftell(file);
        Bytes out(static_cast<size_t>(size));
        std::rewind(file);
        EXPECT_EQ(std::fread(out.data(), 1, out.size(), file), out.size());
        std::fclose(file);
        return out;
    }

    std::unique_ptr<SuperManager> m_manager;
    PAIR_ALIGN_INIT_SETTING m_savedOverlap{};
};

uint32_t Word(const uint8_t v[4]) { return byteorder::GetU32LE(v); }

// ---- The writer ---------------------------------------------------------------------

TEST_F(ProjectFileTest, GoldenBytesEntryByEntryAndAnUnchangedSecondSave)
{
    ASSERT_TRUE(Start());
    const std::vector<std::string> photos = Durlach(3);
    AddPhotos(photos);
    ImageGroup* group = Manager().GetImageGroup(false);
    ASSERT_EQ(group->GetNumbOfImages(), 3);
    ImageFrame* f0 = group->GetImageFrame(0);
    ImageFrame* f1 = group->GetImageFrame(1);
    f0->AddNeighbor(f1);
    auto* markers = new Marker;
    markers->AppendMarker(10.5f, 20.25f);
    markers->AppendMarker(300.0f, 40.0f);
    markers->AppendMarker(500.0f, 700.0f);
    f0->FindNeighbor(f1)->SetMarkers(markers);

    DistortionRecord lens;
    lens.a = 0.01f;
    lens.b = -0.02f;
    lens.d = 1.01f;
    ASSERT_TRUE(SaveCamInfo("lens.camInfo", true, "test lens", nullptr, nullptr, &lens, true, false, 31.0f, 1.0f));
    Manager().SetCamInfoFileName("lens.camInfo");
    Manager().ModifyFlags(0, kFlagDistortionOn);
    const float leveling[3] = {0.1f, -0.05f, 0.02f};
    Manager().AddLevelingRotation(leveling);
    StitchSettings& s = *Manager().GetStitchSettings();
    s.focalLength = 31.0f;
    s.focalType = 4;
    s.runtimeDistortion = 1;
    s.fewImages = 1;
    s.solverOption = 0;
    s.firstFlag = 1;
    s.values[0] = 1.5f;
    s.values[1] = 2.5f;
    s.values[2] = 3.5f;
    BlendSettings& b = *Manager().GetBlendSettings();
    b.autoBalance = 0;
    b.blendWord = 7;
    b.blendWidth = 33;
    Manager().GetImageTray()->GetHost()->SetShowNames(true);
    Neighbor::GetPairAlignInitSetting()->overlapH = 0.3f;
    Neighbor::GetPairAlignInitSetting()->overlapV = 0.125f;

    const std::string path = Dir("golden") + "/golden.kzp";
    Prompter().ExpectFileDialog("Save Project", Chosen(path));
    ASSERT_TRUE(Manager().SaveProject(true));
    ASSERT_EQ(Prompter().FileDialogs().size(), 1u);
    EXPECT_EQ(Prompter().FileDialogs()[0].initialDir, photos[0]);  // untitled: the first image's path
    EXPECT_EQ(Prompter().FileDialogs()[0].filter, "Fendrake project file (*.kzp)|*.kzp||");
    EXPECT_EQ(Prompter().FileDialogs()[0].defaultExt, "kzp");
    EXPECT_NE(Manager().GetFlags() & kFlagSaved, 0u);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    EXPECT_EQ(Main().GetWindowText(), "Quorvane Fendrake - [golden.kzp]");

    const Bytes file = ReadBytes(path);
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'k', 'z', 'p', 0}));
    const Bytes graphExpected = GraphBytes(group);
    Bytes graph;
    const std::vector<Parsed> entries = Walk(file, graphExpected.size(), &graph);
    EXPECT_EQ(graph, graphExpected);

    // tag, type, count, value word (unused bytes zero), following words.
    struct Expect {
        uint16_t tag, type;
        uint32_t count, value;
        std::vector<uint32_t> follow;
    };
    const std::vector<Expect> expected = {
        {1, 3, 1, 5968, {}},
        {2, 5, 1, FloatBits(0.75f), {}},
        {3, 5, 1, FloatBits(31.0f), {}},
        {4, 2, 1, 4, {}},
        {5, 1, 1, 1, {}},
        {61, 1, 1, 1, {}},
        {6, 1, 1, 0, {}},
        {10, 1, 1, 1, {}},
        {7, 5, 1, FloatBits(1.5f), {}},
        {8, 5, 1, FloatBits(2.5f), {}},
        {9, 5, 1, FloatBits(3.5f), {}},
        {11, 1, 1, 0, {}},
        {12, 4, 1, 7, {}},
        {13, 4, 1, 33, {}},
        {14, 1, 1, 0, {}},
        {51, 1, 1, 1, {}},
        {15, 1, 1, 0, {}},
        {46, 1, 1, 1, {}},
        {60, 1, 1, 1, {}},
        {56, 1, 1, Manager().IsElasticBlend() ? 1u : 0u, {}},
        {16, 6, 12, 0, {}},
        {50, 5, 2, FloatBits(0.3f), {FloatBits(0.125f)}},
        {41, 0, 0, 0, {}},
        {58, 5, 3, FloatBits(Manager().GetLevelingRotation()[0]),
         {FloatBits(Manager().GetLevelingRotation()[1]), FloatBits(Manager().GetLevelingRotation()[2])}},
        {44, 5, 3, 0, {}},
    };
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Expect& x = expected[i];
        const Parsed& p = entries[i];
        EXPECT_EQ(p.tag, x.tag) << i;
        if (p.tag == 41) continue;
        EXPECT_EQ(p.type, x.type) << "tag " << p.tag;
        EXPECT_EQ(p.count, x.count) << "tag " << p.tag;
        EXPECT_EQ(Word(p.value), x.value) << "tag " << p.tag;
        if (p.tag == 16) {
            EXPECT_EQ(std::string(p.data.begin(), p.data.end()), "lens.camInfo");
            continue;
        }
        ASSERT_EQ(p.data.size(), 4 * x.follow.size()) << "tag " << p.tag;
        for (size_t k = 0; k < x.follow.size(); ++k) EXPECT_EQ(byteorder::GetU32LE(&p.data[4 * k]), x.follow[k]);
    }
    EXPECT_NE(Manager().GetLevelingRotation()[0], 0.0f);

    // Reopened and saved under its name: the same bytes.
    ASSERT_TRUE(Manager().OpenProject(path.c_str()));
    ASSERT_NE(Manager().GetCamInfo(), nullptr);
    EXPECT_EQ(Manager().GetStitchSettings()->focalLength, 31.0f);
    EXPECT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), 3);
    EXPECT_EQ(Manager().GetImageTray()->GetFrameCount(), 3);
    ASSERT_TRUE(Manager().SaveProject(true));  // titled: no dialog
    EXPECT_EQ(ReadBytes(path), file);

    // With flag 0x10 clear no name is written.
    Manager().ModifyFlags(kFlagDistortionOn, 0);
    ASSERT_TRUE(Manager().SaveProject(true));
    const Bytes plain = ReadBytes(path);
    const std::vector<Parsed> again = Walk(plain, graphExpected.size(), nullptr);
    auto tag16 = std::find_if(again.begin(), again.end(), [](const Parsed& p) { return p.tag == 16; });
    ASSERT_NE(tag16, again.end());
    EXPECT_EQ(tag16->count, 0u);
    EXPECT_TRUE(tag16->data.empty());
    EXPECT_EQ((tag16 + 1)->tag, 50);
    EXPECT_EQ(plain.size(), file.size() - 12);
}

// ---- The reader ---------------------------------------------------------------------

TEST_F(ProjectFileTest, ReaderTable)
{
    SuperManager& m = Bare();
    const std::string dir = Dir("reader");
    // Payload of unknown entries that would read as "version 257" if it were
    // taken for an entry.
    FileBuilder trap;
    trap.bytes.clear();
    trap.Version(257);
    const Bytes looksLikeEntry = trap.bytes;

    struct Case {
        const char* name;
        FileBuilder file;
        bool opens;
        int blendWidth;          // checked when it opens
        bool overlapMarked;      // flag 0x100 after the open
        int focalType;           // -1: not checked
    };
    auto base = [](int version) { return FileBuilder().Version(version).Entry(13, 4, 1, 33); };
    std::vector<Case> cases = {
        {"version 257", base(257).End(), false, 0, true, -1},
        {"version 258", base(258).End(), true, 20, true, -1},
        {"version 5968", base(5968).End(), true, 33, true, -1},
        {"tag 15 zero", base(5968).Entry(15, 1, 1, 0).End(), true, 33, false, -1},
        {"tag 15 set", base(5968).Entry(15, 1, 1, 1).End(), true, 33, true, -1},
        {"another order", FileBuilder().Entry(13, 4, 1, 41).Entry(15, 1, 1, 0).Version(5968).Entry(4, 2, 1, 2).End(),
         true, 41, false, 2},
        {"unknown types 1 to 6",
         base(5968)
             .Entry(200, 1, 1, 1)
             .Entry(201, 2, 1, 0xFF)
             .Entry(202, 3, 2, 0x12345678)
             .Entry(203, 4, 1, 99)
             .Float(204, 4, 1.0f)
             .Raw(looksLikeEntry)
             .Entry(205, 6, 12, 0)
             .Raw(looksLikeEntry)
             .End(),
         true, 33, true, -1},
        {"no end entry", base(5968), false, 0, true, -1},
        {"bytes after the end", base(5968).End().Raw(looksLikeEntry).Raw({1, 2, 3}), true, 33, true, -1},
        {"focal type 0x80", base(5968).Entry(4, 2, 1, 0x80).End(), true, 33, true, 0},
        {"focal type 5", base(5968).Entry(4, 2, 1, 5).End(), true, 33, true, 0},
        {"no version entry", FileBuilder().Entry(13, 4, 1, 33).End(), false, 0, true, -1},
        {"not a project", FileBuilder{{'k', 'z', 'q', 0}}.Version(5968).End(), false, 0, true, -1},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/case.kzp";
        WriteBytes(path, c.file.bytes);
        m.GetBlendSettings()->blendWidth = 77;
        m.GetStitchSettings()->focalType = 3;
        m.ModifyFlags(0, kFlagOverlapMarked);
        if (m.GetImageGroup(false) && !(m.GetFlags() & kFlagSaved))
            Prompter().ExpectMessageBox("Do you want to save current project?", IDNO);
        if (!c.opens) Prompter().ExpectMessageBox("Can't restore project " + path, IDOK);
        EXPECT_EQ(m.OpenProject(path.c_str()), c.opens);
        if (c.opens) {
            EXPECT_EQ(m.GetBlendSettings()->blendWidth, c.blendWidth);
            EXPECT_EQ((m.GetFlags() & kFlagOverlapMarked) != 0, c.overlapMarked);
            if (c.focalType >= 0) {
                EXPECT_EQ(m.GetStitchSettings()->focalType, c.focalType);
            }
            EXPECT_STREQ(m.GetProjectName(true), path.c_str());
        } else {
            EXPECT_STREQ(m.GetProjectName(false), "Untitled.kzp");
        }
    }
}

TEST_F(ProjectFileTest, AMissingCameraInfoFileTurnsCorrectionOffAndOpensTheSettings)
{
    SuperManager& m = Bare();
    const std::string name = "gone.camInfo";
    FileBuilder file;
    file.Version(5968).Entry(4, 2, 1, 2).Entry(16, 6, static_cast<uint32_t>(name.size()), 0)
        .Raw(Bytes(name.begin(), name.end())).End();
    const std::string path = Dir("caminfo") + "/p.kzp";
    WriteBytes(path, file.bytes);
    Prompter().ExpectMessageBox("Cannot load camInfo file used by the project:\n  gone.camInfo\n"
                                "Please get the camInfo file and reload the project\n",
                                IDOK);
    // The Stitch Settings dialog opens; Cancel keeps what the reader left.
    RegisterAppResources();
    bool settingsShown = false;
    Prompter().ExpectDialog(230, [&](CDialog& d) {
        settingsShown = true;
        d.EndDialog(IDCANCEL);
    });
    ASSERT_TRUE(m.OpenProject(path.c_str()));
    EXPECT_TRUE(settingsShown);
    EXPECT_EQ(m.GetFlags() & (kFlagDistortionOn | kFlagLoading), 0u);
    EXPECT_EQ(m.GetStitchSettings()->focalType, 0);  // known focal length without its file: same unknown
    EXPECT_EQ(m.GetCamInfo(), nullptr);
    EXPECT_STREQ(m.GetProjectName(true), path.c_str());
}

TEST_F(ProjectFileTest, HostileFilesAreRefused)
{
    SuperManager& m = Bare();
    const std::string dir = Dir("hostile");
    auto base = [] { return FileBuilder().Version(5968); };
    struct Case {
        const char* name;
        FileBuilder file;
    };
    const std::vector<Case> cases = {
        {"tag 16 count 2^31", base().Entry(16, 6, 0x80000000u, 0).Raw(Bytes(64, 'a')).End()},
        {"tag 16 past the end", base().Entry(16, 6, 100, 0).Raw(Bytes(5, 'a'))},
        {"tag 16 above 4096", base().Entry(16, 6, 5000, 0).Raw(Bytes(5000, 'a')).End()},
        {"tag 41 before tag 1", FileBuilder().Entry(41, 0, 0, 0).Entry(42, 0, 0, 0).Version(5968).End()},
        {"tag 50 float cut", base().Float(50, 2, 0.3f)},
        {"tag 58 float cut", base().Float(58, 3, 0.1f).Word(0)},
        {"malformed graph",
         base().Entry(41, 0, 0, 0).Entry(17, 4, 1, 1000).Entry(18, 4, 1, 0).Entry(19, 0, 0, 0).Entry(21, 0, 0, 0).End()},
        {"unknown entry data past the end", base().Float(300, 1000000, 1.0f).End()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/bad.kzp";
        WriteBytes(path, c.file.bytes);
        if (m.GetImageGroup(false) && !(m.GetFlags() & kFlagSaved))
            Prompter().ExpectMessageBox("Do you want to save current project?", IDNO);
        Prompter().ExpectMessageBox("Can't restore project " + path, IDOK);
        EXPECT_FALSE(m.OpenProject(path.c_str()));
        EXPECT_STREQ(m.GetProjectName(false), "Untitled.kzp");
        EXPECT_EQ(m.GetFlags() & kFlagLoading, 0u);
    }
}

TEST_F(ProjectFileTest, EveryTruncationOfASavedProjectIsRefused)
{
    SuperManager& m = Bare();
    const std::vector<std::string> photos = Durlach(3);
    ImageGroup* group = m.GetImageGroup(true);
    for (int i = 0; i < 3; ++i) {
        auto* frame = new ImageFrame;
        frame->SetName(photos[static_cast<size_t>(i)].c_str());
        frame->SetStampLocation(static_cast<short>(200 * i), 0);
        group->AppendImageFrame(frame);
    }
    group->GetImageFrame(0)->AddNeighbor(group->GetImageFrame(1));
    auto* markers = new Marker;
    markers->AppendMarker(1.0f, 2.0f);
    group->GetImageFrame(0)->FindNeighbor(group->GetImageFrame(1))->SetMarkers(markers);
    m.SetCamInfoFileName("some.camInfo");
    m.ModifyFlags(0, kFlagDistortionOn);
    const std::string dir = Dir("cut");
    const std::string path = dir + "/whole.kzp";
    m.SetProjectName(path.c_str());
    ASSERT_TRUE(m.SaveProject(true));
    const Bytes whole = ReadBytes(path);
    ASSERT_GT(whole.size(), 300u);

    const std::string cut = dir + "/cut.kzp";
    for (size_t n = 0; n < whole.size(); ++n) {
        WriteBytes(cut, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
        if (m.GetImageGroup(false) && !(m.GetFlags() & kFlagSaved))
            Prompter().ExpectMessageBox("Do you want to save current project?", IDNO);
        Prompter().ExpectMessageBox("Can't restore project " + cut, IDOK);
        EXPECT_FALSE(m.OpenProject(cut.c_str())) << n;
        EXPECT_STREQ(m.GetProjectName(false), "Untitled.kzp") << n;
    }
}

// ---- Failed opens and saves -----------------------------------------------------------

TEST_F(ProjectFileTest, AFailedOpenLeavesAnUntitledUnsavedProjectAndANullNameFailsIt)
{
    SuperManager& m = Bare();
    const std::vector<std::string> photos = Durlach(2);
    ImageGroup* group = m.GetImageGroup(true);
    auto* named = new ImageFrame;
    named->SetName(photos[0].c_str());
    named->SetStampLocation(0, 0);
    group->AppendImageFrame(named);
    auto* nameless = new ImageFrame;  // the second frame in tray order has no name
    nameless->SetStampLocation(300, 0);
    group->AppendImageFrame(nameless);
    const std::string path = Dir("nameless") + "/p.kzp";
    m.SetProjectName(path.c_str());
    ASSERT_TRUE(m.SaveProject(true));
    const Bytes before = ReadBytes(path);

    EXPECT_FALSE(m.OpenProject(path.c_str()));
    EXPECT_STREQ(m.GetProjectName(false), "Untitled.kzp");
    EXPECT_EQ(m.GetFlags() & (kFlagSaved | kFlagLoading), 0u);
    // What loaded stays: the first frame has its stamp.
    ASSERT_EQ(m.GetImageGroup(false)->GetNumbOfImages(), 2);
    EXPECT_NE(m.GetImageGroup(false)->GetImageFrame(0)->GetStampBmp(), nullptr);
    // A later save cannot reach the good file without a new name.
    Prompter().ExpectFileDialog("Save Project", win::FileDialogAnswer{});
    EXPECT_FALSE(m.SaveProject(true));
    EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(ProjectFileTest, FailedSavesKeepTheOldFileAndTheUnsavedState)
{
    SuperManager& m = Bare();
    const std::string dir = Dir("full");
    const std::string path = dir + "/keep.kzp";
    ImageGroup* group = m.GetImageGroup(true);
    for (int i = 0; i < 4; ++i) {
        auto* frame = new ImageFrame;
        frame->SetName(("/photos/long-folder-name/image-" + std::to_string(i) + ".jpg").c_str());
        group->AppendImageFrame(frame);
    }
    m.SetProjectName(path.c_str());
    ASSERT_TRUE(m.SaveProject(true));
    const Bytes old = ReadBytes(path);
    ASSERT_GT(old.size(), 400u);

    // A folder that cannot take the file.
    const std::string nowhere = dir + "/missing/x.kzp";
    m.SetProjectName(nowhere.c_str());
    m.ModifyFlags(kFlagSaved, 0);
    Prompter().ExpectMessageBox("can't open file  " + nowhere + " for writting", IDOK);
    EXPECT_FALSE(m.SaveProject(true));
    EXPECT_EQ(m.GetFlags() & kFlagSaved, 0u);
    EXPECT_FALSE(fs::exists(nowhere));

    // The disk fills up part way (a file-size limit of 200 bytes).
    m.SetProjectName(path.c_str());
    Prompter().ExpectMessageBox("can't open file  " + path + " for writting", IDOK);
    struct rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved200 = m.SaveProject(true);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved200);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    EXPECT_EQ(m.GetFlags() & kFlagSaved, 0u);

    // A stream that takes nothing (every write fails at its flush).
    m.SetProjectFileOpener([](const char*, const char* mode) { return std::fopen("/dev/full", mode); });
    Prompter().ExpectMessageBox("can't open file  " + path + " for writting", IDOK);
    EXPECT_FALSE(m.SaveProject(true));
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(m.GetFlags() & kFlagSaved, 0u);
    m.SetProjectFileOpener(nullptr);
    ASSERT_TRUE(m.SaveProject(true));
    EXPECT_NE(m.GetFlags() & kFlagSaved, 0u);
}

// A panorama view that has a leveling rotation it has not handed over yet.
class PendingRotationView : public DataViewer {
public:
    int Notify(int event, WorldMap*, std::uintptr_t param) override
    {
        events.push_back(event);
        if (event == 10006) {
            auto* out = reinterpret_cast<float*>(param);
            out[0] = 1.0f;
            std::memcpy(out + 1, rotation, sizeof rotation);
        }
        return 0;
    }
    std::vector<int> events;
    float rotation[3] = {0.0f, 0.2f, 0.0f};
};

TEST_F(ProjectFileTest, APendingLevelingRotationIsWrittenComposedAndSaveAsAlwaysAsks)
{
    SuperManager& m = Bare();
    ImageGroup* group = m.GetImageGroup(true);
    for (const char* name : {"/p/a.jpg", "/p/b.jpg"}) {
        auto* frame = new ImageFrame;
        frame->SetName(name);
        group->AppendImageFrame(frame);
    }
    auto* map = new WorldMap(400, 3);
    PendingRotationView view;
    map->AddViewer(&view);
    group->SetRectWorldMap(map);
    map->Release();
    const float stored[3] = {0.1f, 0.0f, 0.0f};
    m.AddLevelingRotation(stored);
    const std::string path = Dir("level") + "/level.kzp";
    m.SetProjectName(path.c_str());
    ASSERT_TRUE(m.SaveProject(true));  // titled: no dialog
    EXPECT_EQ(view.events, std::vector<int>{10006});
    // The stored rotation is not changed; the file holds it composed with
    // the view's.
    EXPECT_EQ(m.GetLevelingRotation()[0], 0.1f);
    EXPECT_EQ(m.GetLevelingRotation()[1], 0.0f);
    float expected[3] = {0.1f, 0.0f, 0.0f};
    Utilities::ComposeRotVec(expected, view.rotation);
    EXPECT_GT(std::fabs(expected[1]), 0.1f);
    const Bytes file = ReadBytes(path);
    ASSERT_GE(file.size(), 36u);
    const uint8_t* leveling = &file[file.size() - 32];  // tag 58, two floats, then tag 44
    EXPECT_EQ(byteorder::GetU16LE(leveling), 58);
    EXPECT_EQ(byteorder::GetU32LE(leveling + 8), FloatBits(expected[0]));
    EXPECT_EQ(byteorder::GetU32LE(leveling + 12), FloatBits(expected[1]));
    EXPECT_EQ(byteorder::GetU32LE(leveling + 16), FloatBits(expected[2]));
    EXPECT_EQ(byteorder::GetU16LE(&file[file.size() - 12]), 44);
    // Reopened, the composed rotation is the project's.
    group->SetRectWorldMap(nullptr);
    FILE* reopened = std::fopen(path.c_str(), "rb");
    ASSERT_NE(reopened, nullptr);
    EXPECT_TRUE(m.RestoreProjectSettings(reopened));
    std::fclose(reopened);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.GetLevelingRotation()[i], expected[i]) << i;
    EXPECT_EQ(m.GetImageGroup(false)->GetNumbOfImages(), 2);

    // Save As asks even for a titled project; Cancel saves nothing.
    Prompter().ExpectFileDialog("Save Project", win::FileDialogAnswer{});
    EXPECT_FALSE(m.SaveProject(false));
    EXPECT_EQ(Prompter().FileDialogs().back().initialDir, path);
}

// ---- Moved photographs --------------------------------------------------------------

// Each tray square shows the stamp of the frame's photograph (below the
// number and name texts at the top).
void ExpectTrayShowsStamps(SuperManager& manager)
{
    Pellicot* tray = manager.GetImageTray();
    ASSERT_NE(tray, nullptr);
    ImageTrayHost* host = tray->GetHost();
    host->Refresh(true);
    win::PaintAll();
    ImageChain* chain = tray->GetChain();
    int checked = 0;
    for (ImageTray* row = host->GetFirstRow(); row; row = row->m_next) {
        RefPtr<Image> shown = RefPtr<Image>::adopt(win::CaptureWindow(row->m_hWnd));
        ASSERT_TRUE(shown);
        for (int k = 0; k < row->m_count; ++k) {
            ImageFrame* frame = chain->GetFrame(row->m_first + k);
            Image* image = nullptr;
            ASSERT_EQ(LoadImage(frame->GetName(), &image), 1) << frame->GetName();
            RefPtr<Image> stamp = RefPtr<Image>::adopt(MakeStampImage(image));
            ReleaseImage(image);
            const RECT t = row->ThumbRect(k);
            ASSERT_EQ(t.right - t.left, stamp->GetWidth());
            int differ = 0;
            for (int y = 24; y < stamp->GetHeight(); ++y)
                for (int x = 3; x < stamp->GetWidth() - 3; ++x) {
                    if (t.left + x < 0 || t.left + x >= shown->GetWidth() || t.top + y >= shown->GetHeight()) continue;
                    const unsigned char* a = shown->GetData() + static_cast<size_t>(t.top + y) * shown->GetRowByte() + 3 * (t.left + x);
                    const unsigned char* b = stamp->GetData() + static_cast<size_t>(y) * stamp->GetRowByte() + 3 * x;
                    differ += std::memcmp(a, b, 3) != 0;
                }
            EXPECT_EQ(differ, 0) << frame->GetName();
            ++checked;
        }
    }
    EXPECT_EQ(checked, chain->GetCount());
}

TEST_F(ProjectFileTest, ReopenedWithMovedPhotographs)
{
    ASSERT_TRUE(Start());
    const std::vector<std::string> originals = Durlach(4);
    const std::string first = Dir("first");
    std::vector<std::string> photos;
    for (const std::string& p : originals) {
        photos.push_back(first + "/" + fs::path(p).filename().string());
        fs::copy_file(p, photos.back());
    }
    AddPhotos(photos);
    const std::string project = first + "/trip.kzp";
    Prompter().ExpectFileDialog("Save Project", Chosen(project));
    ASSERT_TRUE(Manager().SaveProject(false));

    // The folder is moved whole: the first photograph is not where it was
    // but in the project's folder, and every other one is taken from there.
    const std::string moved = Home().file("moved");
    fs::rename(first, moved);
    const std::string movedProject = moved + "/trip.kzp";
    ASSERT_TRUE(Manager().OpenProject(movedProject.c_str()));
    ASSERT_EQ(Manager().GetImageTray()->GetFrameCount(), 4);
    for (int i = 0; i < 4; ++i) {
        const std::string expected = moved + "/" + fs::path(photos[static_cast<size_t>(i)]).filename().string();
        EXPECT_EQ(std::string(Manager().GetImageTray()->GetChain()->GetFrame(i)->GetName()), expected);
    }
    EXPECT_STREQ(Manager().GetProjectName(true), movedProject.c_str());
    ExpectTrayShowsStamps(Manager());

    // The photographs went elsewhere: the user browses to the first; all
    // frames follow it.
    const std::string elsewhere = Dir("elsewhere");
    for (const std::string& p : photos) fs::rename(moved + "/" + fs::path(p).filename().string(),
                                                   elsewhere + "/" + fs::path(p).filename().string());
    const std::string firstName = fs::path(photos[0]).filename().string();
    // The file still names the first folder: it was not saved since.
    Prompter().ExpectMessageBox("can't open image file " + first + "/" + firstName + "\nBrowse its location now?", IDYES);
    Prompter().ExpectFileDialog("Browse Image: " + firstName, Chosen(elsewhere + "/" + firstName));
    ASSERT_TRUE(Manager().OpenProject(movedProject.c_str()));
    ASSERT_EQ(Prompter().FileDialogs().back().filter, "Image File (*.JPG)|*.JPG||");
    ASSERT_EQ(Manager().GetImageTray()->GetFrameCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(fs::path(Manager().GetImageTray()->GetChain()->GetFrame(i)->GetName()).parent_path(), fs::path(elsewhere));
    ExpectTrayShowsStamps(Manager());

    // Saved there, then the photographs go away again and the user says No.
    ASSERT_TRUE(Manager().SaveProject(true));
    const std::string gone = Home().file("gone");
    fs::rename(elsewhere, gone);
    Prompter().ExpectMessageBox("can't open image file " + elsewhere + "/" + firstName + "\nBrowse its location now?", IDNO);
    EXPECT_FALSE(Manager().OpenProject(movedProject.c_str()));
    EXPECT_STREQ(Manager().GetProjectName(false), "Untitled.kzp");
    EXPECT_EQ(Manager().GetFlags() & kFlagLoading, 0u);
}

TEST_F(ProjectFileTest, FramesLoadInTrayOrderAndEqualPlacesKeepGroupOrder)
{
    ASSERT_TRUE(Start());
    const std::vector<std::string> photos = Durlach(4);
    ImageGroup* group = Manager().GetImageGroup(true);
    const short xs[4] = {50, 10, 50, 10};
    for (int i = 0; i < 4; ++i) {
        auto* frame = new ImageFrame;
        frame->SetName(photos[static_cast<size_t>(i)].c_str());
        frame->SetStampLocation(xs[i], 0);
        group->AppendImageFrame(frame);
    }
    const std::string path = Dir("order") + "/order.kzp";
    Manager().SetProjectName(path.c_str());
    ASSERT_TRUE(Manager().SaveProject(true));
    ASSERT_TRUE(Manager().OpenProject(path.c_str()));
    ImageChain* chain = Manager().GetImageTray()->GetChain();
    ASSERT_EQ(chain->GetCount(), 4);
    const int expected[4] = {1, 3, 0, 2};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(std::string(chain->GetFrame(k)->GetName()), photos[static_cast<size_t>(expected[k])]) << k;
    ExpectTrayShowsStamps(Manager());
}

}  // namespace
