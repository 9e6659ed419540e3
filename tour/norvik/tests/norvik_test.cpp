// The document wrapper: parsing and its error line, printing round trips,
// child and id lookups, saving, and reading files back whole.
#include "tour/norvik/norvik.h"

#include "testkit/testkit.h"
#include "tour/norvik/flash_xml_msg.h"
#include "tour/norvik/tests/norvik_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

using norvik_test::CapturedStdout;
using norvik_test::ReadBytes;
using norvik_test::WellFormedFile;
using norvik_test::WriteBytes;
using norvik_test::XPathString;

std::string Saved(const Norvik& norvik)
{
    testkit::TempDir dir;
    const std::string path = dir.file("saved.xml");
    EXPECT_TRUE(norvik.SaveFile(path.c_str()));
    return ReadBytes(path);
}

TEST(Norvik, NewDocumentHoldsOnlyTheDeclaration)
{
    Norvik norvik;
    EXPECT_EQ(Saved(norvik), "<?xml version=\"1.0\" ?>\n");
    EXPECT_EQ(norvik.SelectNode("//QuorvaneTour"), nullptr);
}

TEST(Norvik, TextsThatDoNotParseGiveFalseAndOneLineOnStandardOutput)
{
    const char* const texts[] = {
        "<a><b></a>", "<a>", "not xml at all", "<a x='1></a>", "<a></b>", "", "<?xml version=\"1.0\" ?>",
        "<!-- only a comment -->",
    };
    for (const char* text : texts) {
        Norvik norvik;
        bool parsed = true;
        const std::string out = CapturedStdout([&] { parsed = norvik.CreateXMLDocument(text); });
        EXPECT_FALSE(parsed) << text;
        EXPECT_EQ(out, std::string("ERROR Norvik::CreateXMLDocument: parsing xmlData=") + text + "\n");
        // The partly built document stays and can still be asked.
        ASSERT_NE(norvik.Document(), nullptr);
        EXPECT_EQ(norvik.SelectNode("//zz"), nullptr);
    }
    Norvik none;
    const std::string out = CapturedStdout([&] { EXPECT_FALSE(none.CreateXMLDocument(nullptr)); });
    EXPECT_EQ(out, "ERROR Norvik::CreateXMLDocument: parsing xmlData=(null)\n");
}

// A text whose terminating zero is the last byte before a page that cannot
// be read: any read past the text faults, in every build (the sanitizers do
// not see reads made inside the uninstrumented TinyXML library).
class TextBeforeAGuardPage {
public:
    explicit TextBeforeAGuardPage(const char* text)
    {
        const size_t length = std::strlen(text);
        m_page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        m_base = mmap(nullptr, 2 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m_base == MAP_FAILED || length >= m_page ||
            mprotect(static_cast<char*>(m_base) + m_page, m_page, PROT_NONE) != 0) {
            ADD_FAILURE() << "no guard page";
            std::abort();
        }
        m_text = static_cast<char*>(m_base) + m_page - (length + 1);
        std::memcpy(m_text, text, length + 1);
    }
    ~TextBeforeAGuardPage() { munmap(m_base, 2 * m_page); }
    TextBeforeAGuardPage(const TextBeforeAGuardPage&) = delete;
    TextBeforeAGuardPage& operator=(const TextBeforeAGuardPage&) = delete;
    const char* get() const { return m_text; }

private:
    size_t m_page = 0;
    void* m_base = nullptr;
    char* m_text = nullptr;
};

// TinyXML steps over a UTF-8 sequence whole, so a text whose last bytes
// start a sequence they do not finish must still keep the parser inside the
// text: reached from the document wrapper and from the Flash message loader.
TEST(Norvik, TextsEndingInsideAUtf8SequenceAreReadWithinTheirBuffer)
{
    struct Case {
        const char* text;
        bool parses;
    };
    // TinyXML reads UTF-8 after a byte-order mark or a declaration (without
    // them it reads one byte at a time).
#define DECLARED "<?xml version=\"1.0\"?>"
#define MARKED "\xEF\xBB\xBF"
    const Case cases[] = {
        {"<a>\xC2", false},
        {DECLARED "\xF0", false},
        {DECLARED "<\xF0", false},
        {DECLARED "<a>\xC2", false},
        {DECLARED "<a>\xF0\x9F\x98", false},
        {DECLARED "<a b=\"\xE2\x82", false},
        {DECLARED "<a b='x'\xC2", false},
        {DECLARED "<a \xC2", false},
        {DECLARED "<a><!--\xE2", false},
        {DECLARED "<a><![CDATA[\xE2", false},
        {DECLARED "<a>&\xC2", false},
        {DECLARED "<a>&#x\xF0", false},
        {DECLARED "<a>x</\xC2", false},
        {MARKED "<a>\xC2", false},
        {MARKED "<a>x</a>\xC2", true},
        {DECLARED "<invoke name=\"f\"><arguments><string>\xE2\x82", false},
    };
#undef DECLARED
#undef MARKED
    for (const Case& c : cases) {
        const TextBeforeAGuardPage text(c.text);
        Norvik norvik;
        bool parsed = !c.parses;
        CapturedStdout([&] { parsed = norvik.CreateXMLDocument(text.get()); });
        EXPECT_EQ(parsed, c.parses) << c.text;
        FlashXmlMsg message;
        CapturedStdout([&] { parsed = message.LoadXml(text.get()); });
        EXPECT_EQ(parsed, c.parses) << c.text;
    }
}

TEST(Norvik, ParsedDocumentsPrintAsTinyXmlPrintsAndReparseToTheSameText)
{
    testkit::TempDir dir;
    const std::string compact =
        "<?xml version=\"1.0\"?><r a=\"1\" b='x &quot;y&quot;'><e/><t>a &amp; b &lt; c</t>"
        "<n><m k=\"&lt;&gt;&apos;\">  two  spaces  </m></n><u>Z\xc3\xbcrich</u></r>";
    const std::string expected =
        "<?xml version=\"1.0\" ?>\n"
        "<r a=\"1\" b='x &quot;y&quot;'>\n"
        "    <e />\n"
        "    <t>a &amp; b &lt; c</t>\n"
        "    <n>\n"
        "        <m k=\"&lt;&gt;&apos;\">  two  spaces  </m>\n"
        "    </n>\n"
        "    <u>Z\xc3\xbcrich</u>\n"
        "</r>\n";
    Norvik first;
    ASSERT_TRUE(first.CreateXMLDocument(compact.c_str()));
    const std::string printed = Saved(first);
    EXPECT_EQ(printed, expected);

    // Printing is a fixed point: the printed text parses to the same text.
    Norvik second;
    ASSERT_TRUE(second.CreateXMLDocument(printed.c_str()));
    EXPECT_EQ(Saved(second), expected);

    // libxml2 reads the values that were parsed.
    const std::string path = dir.file("printed.xml");
    WriteBytes(path, printed);
    EXPECT_TRUE(WellFormedFile(path));
    EXPECT_EQ(XPathString(path, "/r/@b"), "x \"y\"");
    EXPECT_EQ(XPathString(path, "/r/t"), "a & b < c");
    EXPECT_EQ(XPathString(path, "/r/n/m"), "  two  spaces  ");
    EXPECT_EQ(XPathString(path, "/r/n/m/@k"), "<>'");
    EXPECT_STREQ(second.SelectElement("//n/m")->GetText(), "  two  spaces  ");
}

TEST(Norvik, ChildElementCreatesOnceAndSelectElementRefusesTexts)
{
    Norvik norvik("<r><a>text</a><c/></r>");
    TiXmlElement* root = norvik.SelectElement("/r");
    ASSERT_NE(root, nullptr);

    EXPECT_EQ(Norvik::ChildElement(root, "b", false), nullptr);
    TiXmlElement* made = Norvik::ChildElement(root, "b", true);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(root->LastChild(), made);
    EXPECT_EQ(Norvik::ChildElement(root, "b", true), made);
    int children = 0;
    for (TiXmlNode* n = root->FirstChild(); n; n = n->NextSibling()) ++children;
    EXPECT_EQ(children, 3);

    EXPECT_EQ(Norvik::ChildElement(nullptr, "b", true), nullptr);
    EXPECT_EQ(Norvik::ChildElement(root, "bad name", true), nullptr);
    EXPECT_EQ(norvik.PathChildElement("/r", "a", false), root->FirstChildElement("a"));
    EXPECT_EQ(norvik.PathChildElement("/missing", "a", true), nullptr);
}

TEST(Norvik, IdLookupsTakeTheFirstElementWithThatId)
{
    Norvik norvik(
        "<r><list><p id=\"2\" n=\"first\"/><p n=\"no id\"/><q id=\"2\"/><p id=\"2\" n=\"second\"/>"
        "<p id=\"-7\" n=\"negative\"/></list></r>");
    TiXmlElement* list = norvik.SelectElement("//r/list");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(Norvik::ChildById(list, "p", 2)->Attribute("n"), "first");
    EXPECT_STREQ(Norvik::ChildById(list, "p", -7)->Attribute("n"), "negative");
    EXPECT_EQ(Norvik::ChildById(list, "p", 3), nullptr);
    EXPECT_EQ(Norvik::ChildById(nullptr, "p", 2), nullptr);

    EXPECT_STREQ(norvik.SelectById("//r/list", "p", 2)->Attribute("n"), "first");
    EXPECT_EQ(norvik.SelectById("//r/list", "q", 2)->ValueStr(), "q");
    // Without a name the path itself names the candidates.
    EXPECT_STREQ(norvik.SelectById("//r/list/p", nullptr, -7)->Attribute("n"), "negative");
    EXPECT_EQ(norvik.SelectById("//r/list", "p", 9), nullptr);
}

TEST(Norvik, LoadFileReturnsEveryByteOfTheFile)
{
    testkit::TempDir dir;
    std::string bytes;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    bytes += "line\r\nend\x1a after ctrl-z";
    const std::string path = dir.file("bytes.bin");
    WriteBytes(path, bytes);

    size_t length = 0;
    char* buffer = loadFile(path.c_str(), &length);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(length, bytes.size());
    EXPECT_EQ(std::string(buffer, length), bytes);
    EXPECT_EQ(buffer[length], '\0');
    std::free(buffer);

    std::string text = "old";
    EXPECT_TRUE(Norvik::LoadTextFile(path.c_str(), text));
    EXPECT_EQ(text, bytes);

    const std::string empty = dir.file("empty.txt");
    WriteBytes(empty, "");
    buffer = loadFile(empty.c_str(), &length);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], '\0');
    std::free(buffer);
}

TEST(Norvik, UnreadableFilesGiveNullAndOneLineOnStandardOutput)
{
    testkit::TempDir dir;
    const std::string missing = dir.file("missing.xml");
    char* buffer = reinterpret_cast<char*>(1);
    std::string out = CapturedStdout([&] { buffer = loadFile(missing.c_str()); });
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(out, "Norvik::loadFile: cannot open file " + missing + "\n");

    // A folder opens on Linux but cannot be read.
    out = CapturedStdout([&] { buffer = loadFile(dir.path().string().c_str()); });
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(out, "Norvik::loadFile: cannot open file " + dir.path().string() + "\n");

    std::string text = "unchanged";
    out = CapturedStdout([&] { EXPECT_FALSE(Norvik::LoadTextFile(missing.c_str(), text)); });
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(out, "Norvik::loadFile: cannot open file " + missing + "\n");
}

TEST(Norvik, SaveFileReportsFilesThatCannotBeWritten)
{
    testkit::TempDir dir;
    Norvik norvik("<r/>");
    EXPECT_FALSE(norvik.SaveFile(dir.file("no/such/folder/x.xml").c_str()));
    EXPECT_FALSE(norvik.SaveFile(dir.path().string().c_str()));
    EXPECT_FALSE(norvik.SaveFile(nullptr));
    // A full device takes the bytes into the stream buffer and fails only
    // when they are flushed: that must still be a failure.
    if (norvik_test::FileExists("/dev/full")) {
        EXPECT_FALSE(norvik.SaveFile("/dev/full"));
        EXPECT_TRUE(norvik_test::FileExists("/dev/full"));
    }
}

TEST(Norvik, WindowsStylePathsReachTheFile)
{
    testkit::TempDir dir;
    Norvik norvik("<r/>");
    std::string windowsPath = dir.file("win.xml");
    std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
    ASSERT_TRUE(norvik.SaveFile(windowsPath.c_str()));
    EXPECT_EQ(ReadBytes(dir.file("win.xml")), "<r />\n");
    std::string text;
    EXPECT_TRUE(Norvik::LoadTextFile(windowsPath.c_str(), text));
    EXPECT_EQ(text, "<r />\n");
}

}  // namespace
