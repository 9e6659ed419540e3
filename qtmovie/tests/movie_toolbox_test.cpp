// The movie toolbox on its own: atom containers, a movie written and read
// back, and files that are not movies.
#include "platform/quicktime/movie_toolbox.h"
#include "qtmovie/tests/qt_atom_walker.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// More samples than one vectored write takes, of many sizes (some empty),
// in two tracks: every sample must land whole at the offset its table
// gives, and a movie read back and flattened over the very file it came
// from must come out byte for byte the same.
TEST(MovieToolbox, ManySamplesLandAtTheirOffsetsAndSurviveFlatteningOverTheirFile)
{
    testkit::TempDir dir;
    FSSpec where{dir.file("many.mov")};
    short file = 0;
    Movie movie = nullptr;
    ASSERT_EQ(CreateMovieFile(&where, FourCC("TVOD"), -2, createMovieFileDeleteCurFile, &file, &movie), noErr);
    Handle desc = NewHandleClear(16);
    HandleData(desc)[3] = 16;
    Handle data = NewHandle(0);
    std::vector<std::vector<uint8_t>> added[2];
    uint32_t seed = 12345;
    for (int t = 0; t < 2; ++t) {
        Track track = NewMovieTrack(movie, FixedFromInt(8), FixedFromInt(8), 0);
        Media media = NewTrackMedia(track, FourCC("vide"), 600, nullptr, 0);
        ASSERT_EQ(BeginMediaEdits(media), noErr);
        const int count = t == 0 ? 1500 : 700;  // 2200 samples: beyond 1024 parts per write
        for (int i = 0; i < count; ++i) {
            const size_t size = i % 97 == 5 ? 0 : size_t(1 + (i * 131) % 3000);
            ASSERT_EQ(SetHandleSize(data, size + 3), noErr);
            std::vector<uint8_t> bytes(size);
            for (auto& b : bytes) {
                seed = seed * 1664525u + 1013904223u;
                b = uint8_t(seed >> 24);
            }
            std::copy(bytes.begin(), bytes.end(), HandleData(data) + 3);
            ASSERT_EQ(AddMediaSample(media, data, 3, size, 10, desc, 1, 0, nullptr), noErr);
            added[t].push_back(bytes);
        }
        ASSERT_EQ(EndMediaEdits(media), noErr);
        ASSERT_EQ(InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1), noErr);
    }
    ASSERT_EQ(AddMovieResource(movie, file, nullptr, nullptr), noErr);
    CloseMovieFile(file);
    DisposeMovie(movie);

    // The file as an outside reader sees it.
    std::vector<qtwalk::Atom> top;
    std::vector<qtwalk::Track> tracks;
    std::string error;
    ASSERT_TRUE(qtwalk::ReadFile(where.path, top, error)) << error;
    ASSERT_EQ(top.size(), 2u);
    ASSERT_EQ(top[1].type, "mdat");
    ASSERT_TRUE(qtwalk::ReadTracks(top[0], tracks, error)) << error;
    ASSERT_EQ(tracks.size(), 2u);
    uint64_t expectedOffset = top[1].offset + 8;  // samples follow one another in track order
    for (int t = 0; t < 2; ++t) {
        ASSERT_EQ(tracks[t].sampleSizes.size(), added[t].size());
        for (size_t i = 0; i < added[t].size(); ++i) {
            ASSERT_EQ(tracks[t].offsets[i], expectedOffset) << t << " " << i;
            ASSERT_EQ(qtwalk::SampleBytes(where.path, tracks[t], i), added[t][i]) << t << " " << i;
            expectedOffset += added[t][i].size();
        }
    }
    EXPECT_EQ(expectedOffset, testkit::ReadBytes(where.path).size());

    // Read back, then flattened over the same file.
    const testkit::Bytes original = testkit::ReadBytes(where.path);
    short reopened = 0;
    ASSERT_EQ(OpenMovieFile(&where, &reopened, fsRdPerm), noErr);
    Movie back = nullptr;
    ASSERT_EQ(NewMovieFromFile(&back, reopened, nullptr, nullptr, 0, nullptr), noErr);
    CloseMovieFile(reopened);
    EXPECT_EQ(FlattenMovieData(back, flattenAddMovieToDataFork | flattenForceMovieResourceBeforeMovieData, &where,
                               FourCC("TVOD"), -1, createMovieFileDeleteCurFile),
              nullptr);
    ASSERT_EQ(GetMoviesError(), noErr);
    EXPECT_EQ(testkit::ReadBytes(where.path), original);
    // The samples read back still hold their bytes after the file changed under them.
    long size = 0;
    ASSERT_EQ(GetMediaSample(GetTrackMedia(GetMovieIndTrack(back, 2)), data, 0, &size, 10 * 699, nullptr, nullptr,
                             nullptr, nullptr, 1, nullptr, nullptr),
              noErr);
    EXPECT_EQ(std::vector<uint8_t>(HandleData(data), HandleData(data) + size), added[1].back());
    DisposeMovie(back);
    DisposeHandle(data);
    DisposeHandle(desc);
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
