// The matchers' text output: names from "#-imgfile" or 'i' lines, control
// points from 'c' lines, the refusals that leave the graph as it was (name
// counts, unknown names, image numbers outside the list, over-long lines),
// and the file-based run that reads it after the child has ended.
#include "app/matching/tests/child_run_fixture.h"

#include <algorithm>

namespace {

using matching_test::ChildRunTest;
using matching_test::FaPoints;

class MatchFileTest : public ChildRunTest {
protected:
    std::string File(const std::string& text)
    {
        const std::string path = Home().file("match" + std::to_string(++files) + ".txt");
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string NameLine(int k, bool imageLine) const
    {
        return (imageLine ? "i w640 h480 f0 n\"" : "#-imgfile 640 480 \"") + std::string(frames[k]->GetName()) +
               "\"\n";
    }
    // Whether any frame has a link.
    bool AnyLink() const
    {
        for (ImageFrame* f : frames)
            if (f->GetNeighbor()->m_count) return true;
        return false;
    }
    int files = 0;
};

TEST_F(MatchFileTest, ControlPointsBecomeFaSetsInEitherNameForm)
{
    MakeFrames(3);
    for (bool imageLines : {false, true}) {
        SCOPED_TRACE(imageLines);
        // Names listed in another order than the frames: numbers refer to
        // the file's list.
        const std::string text = "# matches\n" + NameLine(2, imageLines) + NameLine(0, imageLines) +
                                 NameLine(1, imageLines) +
                                 "c n1 N2 x10.5 y20 X30 Y40 t0\n"
                                 "c n1 N2 x11 y21 X31 Y41.25 t0\n"
                                 "c n0 N1 x1 y2 X3 Y4\n";
        ASSERT_EQ(importMarkerPairs(File(text), frames, 0, 0, imageLines), 0);
        const std::vector<POINT2> a = FaPoints(frames[0], frames[1]);
        const std::vector<POINT2> b = FaPoints(frames[1], frames[0]);
        ASSERT_EQ(a.size(), 2u);
        ASSERT_EQ(b.size(), 2u);
        EXPECT_EQ(a[0].x, 10.5f);
        EXPECT_EQ(a[1].y, 21.0f);
        EXPECT_EQ(b[0].x, 30.0f);
        EXPECT_EQ(b[1].y, 41.25f);
        const std::vector<POINT2> c = FaPoints(frames[2], frames[0]);
        ASSERT_EQ(c.size(), 1u);
        EXPECT_EQ(c[0].x, 1.0f);
        EXPECT_EQ(FaPoints(frames[0], frames[2])[0].y, 4.0f);
    }
}

TEST_F(MatchFileTest, APairSeenAgainLaterGetsNewSets)
{
    MakeFrames(3);
    const std::string text = NameLine(0, false) + NameLine(1, false) + NameLine(2, false) +
                             "c n0 N1 x1 y1 X1 Y1\nc n0 N1 x2 y2 X2 Y2\nc n1 N2 x5 y5 X5 Y5\nc n0 N1 x9 y9 X9 Y9\n";
    ASSERT_EQ(importMarkerPairs(File(text), frames, 0, 0, false), 0);
    const std::vector<POINT2> a = FaPoints(frames[0], frames[1]);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].x, 9.0f);
    EXPECT_EQ(FaPoints(frames[1], frames[2]).size(), 1u);
}

TEST_F(MatchFileTest, RefusedFilesChangeNothing)
{
    MakeFrames(2);
    const std::string names = NameLine(0, false) + NameLine(1, false);
    const std::string point = "c n0 N1 x1 y2 X3 Y4\n";
    struct Case {
        std::string text;
        std::string printed;
    } cases[] = {
        {NameLine(0, false) + point,
         "ERROR extractFMarkers::importMarkerPairs(): inputImgFileNames.size(1) != matchImageList.size(2)\n"},
        {NameLine(0, false) + "#-imgfile 640 480 \"/elsewhere/x.jpg\"\n" + point,
         "ERROR extractFMarkers::importMarkerPairs(): numMatch(1) != numImages(2)\n"},
        {names + "c n0 N2 x1 y2 X3 Y4\n", "ERROR extractFMarkers::importMarkerPairs(): control point of images 0 & 2"},
        {names + "c n-1 N1 x1 y2 X3 Y4\n", "ERROR extractFMarkers::importMarkerPairs(): control point of images -1 & 1"},
        {names + "c n1 N1 x1 y2 X3 Y4\n", "ERROR extractFMarkers::importMarkerPairs(): control point of images 1 & 1"},
        {names + point + "# " + std::string(600, 'z') + "\n",
         "ERROR extractFMarkers::ReadMatchFile(): line 4 longer than 512 characters\n"},
        {names + "c n0 N1 xnan y2 X3 Y4\n", "ERROR extractFMarkers::ReadMatchFile(): bad control point on line 3\n"},
        {names + "c n0 N1 x1 y2 X3\n", "ERROR extractFMarkers::ReadMatchFile(): bad control point on line 3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printed);
        testing::internal::CaptureStdout();
        EXPECT_EQ(importMarkerPairs(File(c.text), frames, 0, 0, false), -1);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(c.printed), std::string::npos) << out;
        EXPECT_FALSE(AnyLink());
    }
}

TEST_F(MatchFileTest, NoControlPointOrNoFileLeavesTheLinks)
{
    MakeFrames(2);
    EXPECT_EQ(importMarkerPairs(File(NameLine(0, false)), frames, 0, 0, false), 0);
    EXPECT_FALSE(AnyLink());
    testing::internal::CaptureStdout();
    const std::string missing = Home().file("none.txt");
    EXPECT_EQ(importMarkerPairs(missing, frames, 0, 0, false), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR Could not open outMatchFileName: " + missing);
    EXPECT_FALSE(AnyLink());
}

TEST_F(MatchFileTest, FileRunReadsWhatTheChildWrote)
{
    MakeFrames(2);
    const std::string source =
        File(NameLine(0, false) + NameLine(1, false) + "c n0 N1 x7 y8 X9 Y10\n");
    Script("copy " + source + "\n");
    const std::string output = Home().file("out put.txt");
    EXPECT_EQ(RunMatchExeWait(output, frames, 1, 0, false, true, true, false, 180.0f), 0);
    const std::vector<std::string> args = ChildArgs();
    ASSERT_GE(args.size(), 3u);
    EXPECT_EQ(args[0], "Hollet.exe");
    EXPECT_EQ(std::find(args.begin(), args.end(), "--shmname"), args.end());
    const std::vector<POINT2> a = FaPoints(frames[0], frames[1]);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].x, 7.0f);
    EXPECT_EQ(FaPoints(frames[1], frames[0])[0].y, 10.0f);

    std::filesystem::remove(ProgramDir() + "/Nerrow");
    EXPECT_EQ(RunMatchExeWait(output, frames, 1, 0, false, false, true, false, 180.0f), -1);
}

}  // namespace
