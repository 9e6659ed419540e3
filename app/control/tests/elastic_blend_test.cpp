// The elastic blend for real: three views rendered from a painted world,
// chips saved by Mergekit, blended by the Swelder program through Debian's
// enblend, read back into the map. Then the user's Cancel during the run.
#include "app/control/blend_driver.h"
#include "app/control/progress_dlg.h"
#include "app/control/super_manager.h"
#include "app/matching/match_channel.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/win_thread.h"
#include "platform/xformkit/camera_model.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "worldmap/data_viewer.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace xformkit;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

double World(double lon, double lat)
{
    return 128.0 + 70.0 * std::sin(3 * lon) * std::cos(2 * lat) + 30.0 * std::sin(5 * lat);
}

Image* Shoot(double pan, int w, int h, double rcp, double gain)
{
    Image* img = new Image(w, h, 3);
    const Mat3 place = PlacementMatrix(pan, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double lon, lat;
            RayToSphere(Apply(place, Vec3{(x - w / 2) * rcp, (y - h / 2) * rcp, 1.0}), lon, lat);
            const auto v = static_cast<uint8_t>(std::lround(std::clamp(gain * World(lon, lat), 1.0, 255.0)));
            uint8_t* p = img->GetData() + static_cast<size_t>(y) * img->GetRowByte() + 3 * x;
            p[0] = p[1] = p[2] = v;
        }
    return img;
}

class Events : public DataViewer {
public:
    int Notify(int event, WorldMap*, std::uintptr_t param) override
    {
        if (event != 10006) seen.push_back({event, static_cast<int>(param)});
        return 0;
    }
    std::vector<std::pair<int, int>> seen;
};

// Processes of ours still alive whose command line mentions `part`.
int ProcessesMentioning(const std::string& part)
{
    int found = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    while (dirent* entry = readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string pid, name, state;
        stat >> pid >> name >> state;
        if (state == "Z") continue;
        std::ifstream in(std::string("/proc/") + entry->d_name + "/cmdline", std::ios::binary);
        const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (line.find(part) != std::string::npos && std::to_string(getpid()) != pid) ++found;
    }
    closedir(proc);
    return found;
}

class ElasticBlendTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();
        // Swelder beside the program, as the installation puts it.
        std::filesystem::create_symlink(SWELDER_PROGRAM, ProgramDir() + "/Swelder");
        LogBase::SetAppDir0Override(ProgramDir());
        m_temp = Home().file("tmp");
        std::filesystem::create_directories(m_temp);
        setenv("TMPDIR", m_temp.c_str(), 1);
        g_childWaitTiming = {20, 3600, 5000};
        m_manager = std::make_unique<SuperManager>();
        m_previous = GetSuperManager();
        SetSuperManager(m_manager.get());
    }
    void TearDown() override
    {
        win::JoinWorkerThreads(60000);
        if (m_map) m_map->RemoveViewer(&m_events);
        CloseProgressDialog();
        SetSuperManager(m_previous);
        m_manager.reset();
        g_childWaitTiming = {};
        unsetenv("TMPDIR");
        LogBase::SetAppDir0Override("");
        AppTest::TearDown();
    }

    // Three 320 x 240 views 40 degrees apart (gains 0.9, 1.0, 1.1), linked,
    // stitched and previewed; then the blend stage with elastic blending.
    void Prepare()
    {
        ImageGroup* group = m_manager->GetImageGroup(true);
        const double rcp = 1.0 / 300.0;
        for (int k = 0; k < 3; ++k) {
            auto* frame = new ImageFrame();
            Image* image = Shoot((k - 1) * 40 * kDeg, 320, 240, rcp, 0.9 + 0.1 * k);
            frame->SetImage(image, false);
            ReleaseImage(image);
            group->AppendImageFrame(frame);
            InitPanoramaPlacement(frame->GetImgInfo(), static_cast<float>((k - 1) * 40 * kDeg), 0.0f, 0.0f, 160.0f, 120.0f);
            frame->GetImgInfo()->GetParams()->rcpFocal = static_cast<float>(rcp);
        }
        for (int k = 0; k < 2; ++k) {
            group->GetImageFrame(k)->AddNeighbor(group->GetImageFrame(k + 1));
            group->GetImageFrame(k + 1)->AddNeighbor(group->GetImageFrame(k));
            group->GetImageFrame(k)->SetMerged(group->GetImageFrame(k + 1));
        }
        m_manager->RemapPanorama(false);
        m_map = group->GetRectWorldMap(false);
        ASSERT_NE(m_map, nullptr);
        m_map->AddViewer(&m_events);
        m_manager->SetElasticBlend(true);
        m_manager->ModifyFlags(0, kFlagBlendStage);
        m_manager->SetReductionCode(1);
        m_manager->GetBlendSettings()->autoBalance = 0;
        m_manager->SetOutputScale(1.0f);
    }

    // Waits for the worker and handles its message as the main frame does.
    void Finish()
    {
        ASSERT_TRUE(win::JoinWorkerThreads(120000));
        m_manager->FinishRemap();
    }

    bool TempFilesGone() const
    {
        for (const std::string& name : g_RemapEnblendReEntryParams.chipNames)
            if (std::filesystem::exists(name)) return false;
        return !std::filesystem::exists(g_RemapEnblendReEntryParams.enblendedFileName);
    }

    std::unique_ptr<SuperManager> m_manager;
    SuperManager* m_previous = nullptr;
    WorldMap* m_map = nullptr;
    Events m_events;
    std::string m_temp;
};

}  // namespace

TEST_F(ElasticBlendTest, EnblendBlendsTheChipsIntoTheMap)
{
    ASSERT_EQ(std::system("command -v enblend > /dev/null"), 0) << "Debian's enblend is needed (package enblend)";
    Prepare();
    const float panBefore = m_manager->GetImageGroup(false)->GetImageFrame(0)->GetImgInfo()->GetParams()->pan;
    m_events.seen.clear();
    ASSERT_TRUE(m_manager->BlendPanorama());
    EXPECT_TRUE(m_manager->IsWorkerActive());
    Finish();
    EXPECT_EQ(m_manager->GetBlenderResult(), 0);
    EXPECT_EQ(g_RemapEnblendReEntryParams.chipNames.size(), 3u);
    EXPECT_TRUE(TempFilesGone());
    ASSERT_FALSE(m_events.seen.empty());
    EXPECT_EQ(m_events.seen.front(), std::make_pair(10008, 1));
    EXPECT_TRUE(m_manager->GetFlags() & kFlagBlendStage);

    // The map's samples against the world: the pans were shifted by the
    // data region's centre.
    const double centre = panBefore - m_manager->GetImageGroup(false)->GetImageFrame(0)->GetImgInfo()->GetParams()->pan;
    const RECT* block = m_map->GetMapRect();
    const int W = m_map->GetWidth(), H = m_map->GetHeight();
    double sum = 0;
    long covered = 0;
    for (int y = 0; y <= block->bottom - block->top; ++y) {
        const WorldMapBase::ScanLine* line = m_map->GetScanLine(y + block->top);
        for (int x = 0; x <= block->right - block->left; ++x) {
            const uint8_t* p = m_map->GetData() + static_cast<size_t>(y) * m_map->GetRowBytes() + 3 * x;
            const double lon = (x + line->m_first - W / 2) * 2 * kPi / W + centre;
            const double lat = (y + block->top - H / 2) * 2 * kPi / W;
            // Inside the views (gains 0.9 to 1.1): within their spread.
            if (std::abs(lat) > 20 * kDeg || std::abs(lon) > 55 * kDeg) continue;
            sum += std::abs(p[0] - World(lon, lat));
            ++covered;
        }
    }
    ASSERT_GT(covered, 1000);
    std::printf("elastic blend of three views: mean difference %.2f levels over %ld samples\n", sum / covered, covered);
    EXPECT_LT(sum / covered, 10.0);
}

TEST_F(ElasticBlendTest, CancelEndsTheBlenderAndShowsThePreviewAgain)
{
    ASSERT_EQ(std::system("command -v enblend > /dev/null"), 0) << "Debian's enblend is needed (package enblend)";
    Prepare();
    m_events.seen.clear();
    ASSERT_TRUE(m_manager->BlendPanorama());
    CancelProgress();  // the user presses Cancel in the progress dialog
    Finish();
    EXPECT_EQ(m_manager->GetBlenderResult(), -3);
    EXPECT_EQ(ProcessesMentioning(m_temp), 0) << "Swelder or enblend still running";
    EXPECT_TRUE(TempFilesGone());
    // No message for the user's own Cancel; the preview again.
    EXPECT_FALSE(m_manager->GetFlags() & kFlagBlendStage);
    EXPECT_EQ(m_events.seen, (std::vector<std::pair<int, int>>{{10008, 0}, {15, 0}, {10009, 2}}));
    EXPECT_EQ(GetProgressDialog(), nullptr);
}

TEST_F(ElasticBlendTest, AMissingBlenderIsReportedAndThePreviewComesBack)
{
    Prepare();
    setenv("SWELDER_ENBLEND", (m_temp + "/no-such-enblend").c_str(), 1);
    Prompter().ExpectMessageBox("Elastic blending failed (code -2).", IDOK);
    ASSERT_TRUE(m_manager->BlendPanorama());
    Finish();
    unsetenv("SWELDER_ENBLEND");
    EXPECT_EQ(m_manager->GetBlenderResult(), -2);
    EXPECT_TRUE(TempFilesGone());
    EXPECT_FALSE(m_manager->GetFlags() & kFlagBlendStage);
}
