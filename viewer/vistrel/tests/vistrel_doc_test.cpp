// The viewer's document: which paths it takes as pointer files, images or
// refuses, what a pointer file's first line opens, which loads fail, and
// the embedded item's extent and drawing.
#include "viewer/vistrel/tests/vistrel_test_support.h"

#include "platform/win/gdi.h"

#include <filesystem>

namespace {

using namespace vistreltest;

class VistrelDocTest : public VistrelTest {
protected:
    // A real panorama (the full sphere of the test photograph) named `name`.
    std::string Panorama(const std::string& name)
    {
        return WithDescriptor(RealPanorama(), m_dir.file(name), "kqvz", 4096, 0, 0);
    }
    // A small plain photograph as JPEG, under `name`.
    std::string Plain(const std::string& name)
    {
        Image* image = testkit::MakePatternImage(64, 48, 3);
        const std::string jpg = WriteJpeg(*image, m_dir, "plain");
        ReleaseImage(image);
        std::filesystem::copy_file(jpg, m_dir.file(name), std::filesystem::copy_options::overwrite_existing);
        return m_dir.file(name);
    }
    std::string Pointer(const std::string& name, const std::string& firstLine)
    {
        std::ofstream(m_dir.file(name)) << firstLine << "\nsecond line ignored\n";
        return m_dir.file(name);
    }

    testkit::TempDir m_dir;
};

TEST_F(VistrelDocTest, ExtensionsTable)
{
    const struct {
        const char* path;
        VistrelFileKind kind;
    } cases[] = {
        {"a.qxl", VistrelFileKind::Pointer},     {"a.QXL", VistrelFileKind::Pointer},
        {"a.Qxl", VistrelFileKind::Unsupported}, {"a.jpg", VistrelFileKind::Image},
        {"a.JPG", VistrelFileKind::Image},       {"a.Jpg", VistrelFileKind::Unsupported},
        {"a.tif", VistrelFileKind::Image},       {"a.TIF", VistrelFileKind::Image},
        {"a.bmp", VistrelFileKind::Image},       {"a.GIF", VistrelFileKind::Image},
        {"a.png", VistrelFileKind::Unsupported}, {"a.jpeg", VistrelFileKind::Image},
        {"a.tiff", VistrelFileKind::Image},      {"noextension", VistrelFileKind::Image},
        {".jpg", VistrelFileKind::Image},        {"jpg", VistrelFileKind::Image},
        {"x.p", VistrelFileKind::Image},         {"", VistrelFileKind::Image},
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifyVistrelPath(c.path), c.kind) << c.path;
    EXPECT_EQ(ClassifyVistrelPath(nullptr), VistrelFileKind::Image);
}

TEST_F(VistrelDocTest, OpeningTable)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    const std::string panorama = Panorama("pano.jpg");
    // A pointer whose path is 300 characters long: folders of long names.
    std::string deep = m_dir.file("");
    while (deep.size() < 300 - 10) deep += std::string(std::min<size_t>(60, 300 - 10 - deep.size()), 'd') + "/";
    std::filesystem::create_directories(deep);
    std::string longPath = deep + std::string(300 - deep.size() - 4, 'p') + ".jpg";
    ASSERT_EQ(longPath.size(), 300u);
    std::filesystem::copy_file(panorama, longPath);
    // A six-face strip of 6 x 40 squares.
    Image* strip = testkit::MakePatternImage(240, 40, 3);
    const std::string stripFile = WithDescriptor(WriteJpeg(*strip, m_dir, "strip"), m_dir.file("strip.jpg"), "mjr6",
                                                 400, 0, 0);
    ReleaseImage(strip);
    // A GIF of one pixel.
    WriteBytes(m_dir.file("dot.gif"), {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                                       ',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, ';'});

    enum Shows { Nothing, Map, PlainImage, Strip };
    const struct {
        const char* name;
        std::string path;
        bool opens;
        Shows shows;
        const char* message;
    } cases[] = {
        {"panorama", panorama, true, Map, nullptr},
        {"long pointer", Pointer("long.qxl", longPath), true, Map, nullptr},
        {"pointer with CR LF", Pointer("crlf.QXL", panorama + "\r"), true, Map, nullptr},
        {"pointer to a plain image", Pointer("plain.qxl", Plain("p.jpg")), false, Nothing, nullptr},
        {"pointer to nothing", Pointer("none.qxl", m_dir.file("missing.jpg")), false, Nothing, nullptr},
        {"missing pointer", m_dir.file("absent.qxl"), false, Nothing, nullptr},
        {"jpeg", Plain("x.jpeg"), true, PlainImage, nullptr},
        {"no extension", Plain("photo"), true, PlainImage, nullptr},
        {"mixed case", Plain("x.Jpg"), false, Nothing, "Unsuported file extension."},
        {"png", Plain("x.png"), false, Nothing, "Unsuported file extension."},
        {"gif", m_dir.file("dot.gif"), false, Nothing, nullptr},
        {"strip", stripFile, true, Strip, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.message) Prompter().ExpectMessageBox(c.message, IDOK);
        CVistrelDoc doc;
        EXPECT_EQ(doc.OnOpenDocument(c.path.c_str()) != FALSE, c.opens);
        EXPECT_EQ(doc.worldMap != nullptr, c.shows == Map);
        EXPECT_EQ(doc.image != nullptr, c.shows == PlainImage || c.shows == Strip);
        EXPECT_EQ(doc.isFaceStrip, c.shows == Strip);
        if (c.shows == Map) {
            EXPECT_EQ(doc.worldMap->GetWidth(), 4096);
            EXPECT_EQ(doc.worldMap->GetRefCount(), 1);
        }
    }
}

TEST_F(VistrelDocTest, AFailedOpenKeepsWhatTheDocumentHeld)
{
    ASSERT_TRUE(testkit::RequireTool("cjpeg"));
    CVistrelDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(Plain("first.jpg").c_str()));
    Image* held = doc.image;
    EXPECT_FALSE(doc.OnOpenDocument(Pointer("bad.qxl", m_dir.file("nothing.jpg")).c_str()));
    EXPECT_FALSE(doc.OnOpenDocument(m_dir.file("gone.jpg").c_str()));
    EXPECT_EQ(doc.image, held);
    // A panorama replaces the plain image.
    ASSERT_TRUE(doc.OnOpenDocument(Panorama("p.jpg").c_str()));
    EXPECT_EQ(doc.image, nullptr);
    ASSERT_NE(doc.worldMap, nullptr);
}

TEST_F(VistrelDocTest, TheEmbeddedItemIsThreeThousandSquareAndDrawsNothing)
{
    CVistrelDoc doc;
    COleServerItem* item = doc.GetEmbeddedItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item, doc.GetEmbeddedItem());  // one item per document
    CSize size;
    ASSERT_TRUE(item->OnGetExtent(DVASPECT_CONTENT, size));
    EXPECT_EQ(size.cx, 3000);
    EXPECT_EQ(size.cy, 3000);
    EXPECT_FALSE(item->OnGetExtent(DVASPECT_CONTENT + 1, size));
    // Drawing on a white surface leaves it white, in the anisotropic mapping.
    Image* surface = new Image(50, 40, 3);
    surface->Fill(0xFFFFFF);
    CDC dc;
    ASSERT_TRUE(dc.Attach(surface));
    ASSERT_TRUE(item->OnDraw(&dc, size));
    EXPECT_EQ(dc.GetMapMode(), MM_ANISOTROPIC);
    EXPECT_EQ(dc.GetWindowExt().cx, 3000);
    EXPECT_EQ(dc.GetWindowExt().cy, 3000);
    for (size_t i = 0; i < surface->GetDataSize(); ++i) ASSERT_EQ(surface->GetData()[i], 255) << i;
    dc.Detach();
    ReleaseImage(surface);
}

}  // namespace
