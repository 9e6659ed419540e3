// The movie toolbox on its own: atom containers, a movie written and read
// back, and files that are not movies.
#include "platform/quicktime/movie_toolbox.h"
#include "qtmovie/tests/qt_atom_walker.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace {

TEST(MovieToolbox, AtomIdsZeroPicksTheNextFreeIdOfThatType)
{
    QTAtomContainer c = nullptr;
    ASSERT_EQ(QTNewAtomContainer(&c), noErr);
    QTAtom parent = 0, a = 0, b = 0, d = 0;
    ASSERT_EQ(QTInsertChild(c, 0, FourCC("hspa"), 1, 0, 0, nullptr, &parent), noErr);
    const char x[3] = {'x', 'y', 'z'};
    ASSERT_EQ(QTInsertChild(c, parent, FourCC("vrsg"), 7, 0, 3, x, &a), noErr);
    ASSERT_EQ(QTInsertChild(c, parent, FourCC("vrsg"), 0, 0, 3, x, &b), noErr);
    ASSERT_EQ(QTInsertChild(c, parent, FourCC("url "), 0, 0, 0, nullptr, &d), noErr);
    EXPECT_NE(QTInsertChild(c, parent, FourCC("vrsg"), 7, 0, 0, nullptr, nullptr), noErr);  // taken
    EXPECT_NE(QTInsertChild(c, a, FourCC("vrsg"), 1, 0, 0, nullptr, nullptr), noErr);       // a holds data
    QTAtomID id = 0;
    QTGetAtomTypeAndID(c, b, nullptr, &id);
    EXPECT_EQ(id, 8);
    QTGetAtomTypeAndID(c, d, nullptr, &id);
    EXPECT_EQ(id, 1);

    qtwalk::Atom root;
    std::string error;
    ASSERT_TRUE(qtwalk::ReadContainer(std::vector<uint8_t>(HandleData(c), HandleData(c) + GetHandleSize(c)), root, error))
        << error;
    const qtwalk::Atom* list = root.Find("hspa");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->children.size(), 3u);
    EXPECT_EQ(list->children[0].id, 7u);
    EXPECT_EQ(list->children[1].id, 8u);
    EXPECT_EQ(std::string(list->children[1].data.begin(), list->children[1].data.end()), "xyz");
    QTDisposeAtomContainer(c);
}

TEST(MovieToolbox, MovieFileRoundTrip)
{
    testkit::TempDir dir;
    FSSpec where{dir.file("m.mov")};
    short file = 0;
    Movie movie = nullptr;
    ASSERT_EQ(CreateMovieFile(&where, FourCC("TVOD"), -2, createMovieFileDeleteCurFile, &file, &movie), noErr);
    SetMovieTimeScale(movie, 3600);
    Track a = NewMovieTrack(movie, FixedFromInt(32), FixedFromInt(16), 0);
    Track b = NewMovieTrack(movie, FixedFromInt(8), FixedFromInt(8), 256);
    Media ma = NewTrackMedia(a, FourCC("vide"), 3600, nullptr, 0);
    ASSERT_TRUE(NewTrackMedia(b, FourCC("pano"), 600, nullptr, 0));
    Handle desc = NewHandleClear(16);
    HandleData(desc)[3] = 16;
    std::memcpy(HandleData(desc) + 4, "abcd", 4);
    Handle data = NewHandle(5);
    ASSERT_EQ(BeginMediaEdits(ma), noErr);
    for (int i = 0; i < 3; ++i) {
        std::memset(HandleData(data), 'a' + i, 5);
        ASSERT_EQ(AddMediaSample(ma, data, i, 5 - i, 100 * (i + 1), desc, 1, 0, nullptr), noErr);
    }
    ASSERT_EQ(EndMediaEdits(ma), noErr);
    ASSERT_EQ(InsertMediaIntoTrack(a, 0, 0, GetMediaDuration(ma), fixed1), noErr);
    EXPECT_NE(InsertMediaIntoTrack(a, 0, 0, GetMediaDuration(ma) + 1, fixed1), noErr);  // beyond the media
    long index = 0;
    ASSERT_EQ(AddTrackReference(b, a, FourCC("imgt"), &index), noErr);
    EXPECT_EQ(index, 1);
    SetTrackEnabled(a, false);
    const uint8_t vr[4] = {'q', 't', 'v', 'r'};
    ASSERT_EQ(SetMovieUserDataItem(movie, FourCC("ctyp"), vr, 4), noErr);
    ASSERT_EQ(AddMovieResource(movie, file, nullptr, nullptr), noErr);
    CloseMovieFile(file);
    DisposeMovie(movie);
    DisposeHandle(desc);

    short reopened = 0;
    ASSERT_EQ(OpenMovieFile(&where, &reopened, fsRdPerm), noErr);
    Movie back = nullptr;
    ASSERT_EQ(NewMovieFromFile(&back, reopened, nullptr, nullptr, 0, nullptr), noErr);
    ASSERT_EQ(GetMovieTrackCount(back), 2);
    EXPECT_EQ(GetMovieTimeScale(back), 3600);
    Track ra = GetMovieIndTrack(back, 1);
    Track rb = GetMovieIndTrack(back, 2);
    EXPECT_FALSE(GetTrackEnabled(ra));
    EXPECT_EQ(GetTrackVolume(rb), 256);
    EXPECT_EQ(GetTrackReference(rb, FourCC("imgt"), 1), ra);
    Media rma = GetTrackMedia(ra);
    EXPECT_EQ(GetMediaSampleCount(rma), 3);
    EXPECT_EQ(GetMediaDuration(rma), 600);
    EXPECT_EQ(GetTrackDuration(ra), 600);
    long size = 0;
    TimeValue start = 0, duration = 0;
    ASSERT_EQ(GetMediaSample(rma, data, 0, &size, 250, &start, &duration, nullptr, nullptr, 1, nullptr, nullptr), noErr);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(start, 100);
    EXPECT_EQ(duration, 200);
    EXPECT_EQ(std::string(HandleData(data), HandleData(data) + 4), "bbbb");
    EXPECT_EQ(GetMovieUserDataItem(back, FourCC("ctyp")), std::vector<uint8_t>(vr, vr + 4));
    DisposeMovie(back);
    CloseMovieFile(reopened);
    DisposeHandle(data);
}

TEST(MovieToolbox, FilesThatAreNotMoviesAreRefused)
{
    testkit::TempDir dir;
    // A real movie cut short at several points, and a file of garbage.
    FSSpec where{dir.file("m.mov")};
    short file = 0;
    Movie movie = nullptr;
    ASSERT_EQ(CreateMovieFile(&where, 0, 0, createMovieFileDeleteCurFile, &file, &movie), noErr);
    Track t = NewMovieTrack(movie, FixedFromInt(4), FixedFromInt(4), 0);
    Media m = NewTrackMedia(t, FourCC("vide"), 600, nullptr, 0);
    Handle desc = NewHandleClear(16);
    HandleData(desc)[3] = 16;
    Handle data = NewHandleClear(100);
    BeginMediaEdits(m);
    AddMediaSample(m, data, 0, 100, 10, desc, 1, 0, nullptr);
    EndMediaEdits(m);
    InsertMediaIntoTrack(t, 0, 0, 10, fixed1);
    ASSERT_EQ(AddMovieResource(movie, file, nullptr, nullptr), noErr);
    CloseMovieFile(file);
    DisposeMovie(movie);
    DisposeHandle(desc);
    DisposeHandle(data);
    std::ifstream in(where.path, std::ios::binary);
    std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t cut : {size_t(0), size_t(7), size_t(40), whole.size() / 2, whole.size() - 1}) {
        FSSpec part{dir.file("cut.mov")};
        std::ofstream(part.path, std::ios::binary) << whole.substr(0, cut);
        short ref = 0;
        ASSERT_EQ(OpenMovieFile(&part, &ref, fsRdPerm), noErr);
        Movie bad = nullptr;
        EXPECT_NE(NewMovieFromFile(&bad, ref, nullptr, nullptr, 0, nullptr), noErr) << cut;
        EXPECT_EQ(bad, nullptr);
        CloseMovieFile(ref);
    }
    // Sample tables pointing outside the file.
    std::string corrupt = whole;
    const size_t stco = corrupt.find("stco");
    ASSERT_NE(stco, std::string::npos);
    corrupt[stco + 12] = char(0x7f);
    FSSpec part{dir.file("corrupt.mov")};
    std::ofstream(part.path, std::ios::binary) << corrupt;
    short ref = 0;
    ASSERT_EQ(OpenMovieFile(&part, &ref, fsRdPerm), noErr);
    Movie bad = nullptr;
    EXPECT_EQ(NewMovieFromFile(&bad, ref, nullptr, nullptr, 0, nullptr), invalidMovie);
    CloseMovieFile(ref);
}

}  // namespace
