// The Exif summary of an image set: the state table from hand-made records,
// then real photographs read by our Exif reader, with the state that
// exiftool's make, model and focal length values predict.
#include "app/matching/exif_summary.h"
#include "platform/imgcore/exif_info.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

namespace {

struct Shot {
    const char* make;  // null: no Exif identity
    const char* model;
    float focal;
};

TEST(ExifSummaryTest, StatesOfHandMadeSets)
{
    const Shot none{nullptr, nullptr, 0};
    const Shot a5{"Canon", "EOS", 5}, a7{"Canon", "EOS", 7}, b5{"Nikon", "D70", 5};
    const Shot makeOnly{"Canon", nullptr, 5};
    struct Case {
        const char* label;
        std::vector<Shot> shots;
        int state;
    };
    const std::vector<Case> cases = {
        {"empty", {}, 0},
        {"all without Exif", {none, none}, 0},
        {"make without model counts as none", {makeOnly, none}, 0},
        {"several models", {a5, b5}, 1},
        {"one model, some without, focal lengths differ", {a5, a7, none}, 2},
        {"one with and one without", {a5, none}, 3},
        {"the first Exif image after one without", {none, a7}, 3},
        {"all with Exif, focal lengths differ", {a5, a5, a7}, 4},
        {"all with Exif, one focal length", {a5, a5, a5}, 5},
        {"back to the first focal length still differs", {a5, a7, a5}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ExifSummary summary;
        int withIdentity = 0;
        for (const Shot& shot : c.shots) {
            ExifInfo exif;
            if (shot.make) exif.SetMake(shot.make);
            if (shot.model) exif.SetModel(shot.model);
            exif.m_focalLength = shot.focal;
            const bool counted = summary.Add(shot.make ? &exif : nullptr);
            EXPECT_EQ(counted, shot.make && shot.model);
            withIdentity += counted;
        }
        EXPECT_EQ(summary.GetState(), c.state);
        EXPECT_EQ(summary.state, c.state);
        EXPECT_EQ(summary.imageCount, static_cast<int>(c.shots.size()));
        EXPECT_EQ(summary.noExifCount, static_cast<int>(c.shots.size()) - withIdentity);
    }
}

TEST(ExifSummaryTest, IdsAndFocalRange)
{
    ExifSummary summary;
    for (const Shot& shot : {Shot{"Nikon", "D70", 18}, Shot{"Canon", "EOS", 50}, Shot{"Nikon", "D70", 35}}) {
        ExifInfo exif;
        exif.SetMake(shot.make);
        exif.SetModel(shot.model);
        exif.m_focalLength = shot.focal;
        summary.Add(&exif);
    }
    EXPECT_EQ(summary.modelCount, 2);
    EXPECT_EQ(summary.modelIds.at("Nikon:D70"), 1);
    EXPECT_EQ(summary.modelIds.at("Canon:EOS"), 2);
    EXPECT_EQ(summary.minFocal, 18.0f);
    EXPECT_EQ(summary.maxFocal, 50.0f);
    EXPECT_EQ(summary.lastFocal, 35.0f);
    EXPECT_EQ(summary.sameFocal, 0);
}

// ---- Real photographs -------------------------------------------------------

struct ToolValues {
    std::string make, model;  // empty when exiftool names none
    double focal = -1;
};

// exiftool -T -n prints one tab-separated line per file, "-" for a missing tag.
std::vector<ToolValues> ExiftoolValues(const std::vector<std::string>& files)
{
    std::string command = "exiftool -T -n -Make -Model -FocalLength";
    for (const std::string& f : files) command += " '" + f + "'";
    const testkit::CommandResult result = testkit::Run(command);
    EXPECT_EQ(result.status, 0) << result.output;
    std::vector<ToolValues> values;
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) fields.push_back(cell == "-" ? std::string() : cell);
        fields.resize(3);
        values.push_back({fields[0], fields[1], fields[2].empty() ? -1.0 : std::atof(fields[2].c_str())});
    }
    return values;
}

// The state the Exif data of the set calls for, from exiftool's values.
int PredictedState(const std::vector<ToolValues>& values)
{
    std::set<std::string> models;
    std::set<double> focals;
    int without = 0;
    for (const ToolValues& v : values) {
        if (v.make.empty() || v.model.empty()) {
            ++without;
            continue;
        }
        models.insert(v.make + ":" + v.model);
        focals.insert(v.focal);
    }
    if (models.empty()) return 0;
    if (models.size() > 1) return 1;
    const bool oneFocal = focals.size() == 1;
    if (without > 0) return oneFocal ? 3 : 2;
    return oneFocal ? 5 : 4;
}

std::vector<std::string> Photos(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(testkit::TestData(folder)))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ExifSummaryTest, RealPhotographsGiveTheStateExiftoolPredicts)
{
    ASSERT_TRUE(testkit::RequireTool("exiftool"));
    const std::vector<std::string> durlach = Photos("huginsample-durlach/half");
    ASSERT_EQ(durlach.size(), 25u);
    const std::vector<std::string> nikon = Photos("skimage-tutorials-pano");
    ASSERT_FALSE(nikon.empty());
    const std::string noExif = testkit::TestData("pannellum/examplepano.jpg").string();
    struct Case {
        const char* label;
        std::vector<std::string> files;
        int state;  // what the sets are known to be, beside exiftool's prediction
    };
    std::vector<std::string> mixed = durlach;
    mixed.push_back(noExif);
    std::vector<std::string> twoCameras = durlach;
    twoCameras.push_back(nikon.front());
    const std::vector<Case> cases = {
        {"Durlach alone", durlach, 5},
        {"Durlach and a photograph without Exif", mixed, 3},
        {"Durlach and a Nikon photograph", twoCameras, 1},
        {"Nikon at two focal lengths", nikon, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::vector<ToolValues> tool = ExiftoolValues(c.files);
        ASSERT_EQ(tool.size(), c.files.size());
        ExifSummary summary;
        for (size_t i = 0; i < c.files.size(); ++i) {
            ExifInfo exif;
            ExtractExif::Run(c.files[i].c_str(), exif);
            EXPECT_STREQ(exif.GetMake() ? exif.GetMake() : "", tool[i].make.c_str()) << c.files[i];
            EXPECT_STREQ(exif.GetModel() ? exif.GetModel() : "", tool[i].model.c_str()) << c.files[i];
            if (tool[i].focal >= 0) {
                EXPECT_NEAR(exif.m_focalLength, tool[i].focal, 1e-3) << c.files[i];
            }
            summary.Add(&exif);
        }
        EXPECT_EQ(summary.GetState(), PredictedState(tool));
        EXPECT_EQ(summary.state, c.state);
    }
}

}  // namespace
