// The path query against libxml2's XPath: every path form the Norvik
// documents use, with the XPath expression that means the same, selects the
// same elements in the same order as xmllint does.
#include "tour/norvik/path_query.h"

#include "testkit/testkit.h"
#include "tour/norvik/norvik.h"
#include "tour/norvik/tests/norvik_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using norvik_test::XPathUids;

// Every element carries a unique "uid" so that a selection can be named.
// The text of element 16 is "viewer": a text is never what a path selects.
const char* const kDocument =
    "<?xml version=\"1.0\" ?>"
    "<QuorvaneTour uid=\"1\">"
    "<framework uid=\"2\"><viewer uid=\"3\"><x uid=\"4\"/></viewer></framework>"
    "<viewer uid=\"5\">"
    "<pano_list uid=\"6\">"
    "<pano uid=\"7\" id=\"0\"><hotspot_list uid=\"8\"><hotspot uid=\"9\"/></hotspot_list></pano>"
    "<pano uid=\"10\" id=\"1\"/>"
    "</pano_list>"
    "<viewer uid=\"11\"><pano uid=\"12\"/></viewer>"
    "</viewer>"
    "<a uid=\"13\"><b uid=\"14\"><a uid=\"15\"><b uid=\"16\">viewer</b></a></b></a>"
    "</QuorvaneTour>";

std::vector<std::string> Uids(const std::vector<TiXmlNode*>& nodes)
{
    std::vector<std::string> uids;
    for (TiXmlNode* node : nodes) {
        const char* uid = node->ToElement() ? node->ToElement()->Attribute("uid") : nullptr;
        uids.push_back(uid ? uid : "(not an element)");
    }
    return uids;
}

std::vector<std::string> Tokens(const char* text)
{
    PathTokenizer tokenizer(text);
    std::vector<std::string> tokens;
    std::string token;
    const int count = tokenizer.CountTokens();
    while (tokenizer.NextToken(token)) tokens.push_back(token);
    EXPECT_EQ(count, static_cast<int>(tokens.size())) << text;
    return tokens;
}

TEST(PathTokenizer, DropsOneOuterDelimiterEachSideAndKeepsEmptyTokens)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Tokens(""), V{});
    EXPECT_EQ(Tokens("/"), V{});
    EXPECT_EQ(Tokens("//"), V{});
    EXPECT_EQ(Tokens("a"), V{"a"});
    EXPECT_EQ(Tokens("/a/b"), (V{"a", "b"}));
    EXPECT_EQ(Tokens("a/b/"), (V{"a", "b"}));
    EXPECT_EQ(Tokens("//a"), (V{"", "a"}));
    EXPECT_EQ(Tokens("a//b"), (V{"a", "", "b"}));
    EXPECT_EQ(Tokens("/a/b//"), (V{"a", "b", ""}));
    EXPECT_EQ(Tokens("///"), (V{"", ""}));
    EXPECT_EQ(Tokens(nullptr), V{});
}

TEST(PathQuery, ParseSetsStepsAndTheAbsoluteFlag)
{
    struct Case {
        const char* path;
        std::vector<std::string> steps;
        bool absolute;
    };
    const Case cases[] = {
        {"/a/b", {"a", "b"}, true},
        {"//a", {"", "a"}, false},
        {"a/b", {"a", "b"}, false},
        {"a//b", {"a", "", "b"}, false},
        {"/a//b/", {"a", "", "b"}, true},
        {"", {}, false},
        {"/", {}, false},
    };
    for (const Case& c : cases) {
        PathQuery query;
        EXPECT_EQ(query.Parse(c.path), static_cast<int>(c.steps.size())) << c.path;
        EXPECT_EQ(query.Steps(), c.steps) << c.path;
        EXPECT_EQ(query.IsAbsolute(), c.absolute) << c.path;
    }
}

class PathSelection : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_norvik.CreateXMLDocument(kDocument));
        m_path = m_dir.file("query.xml");
        norvik_test::WriteBytes(m_path, kDocument);
    }

    TiXmlElement* ByUid(const char* uid) const
    {
        const TiXmlNode* doc = m_norvik.Document();
        for (const TiXmlNode* n = NextNodeInWalk(doc, doc); n; n = NextNodeInWalk(n, doc)) {
            const TiXmlElement* e = n->ToElement();
            if (e && e->Attribute("uid") && std::string(e->Attribute("uid")) == uid)
                return const_cast<TiXmlElement*>(e);
        }
        return nullptr;
    }

    testkit::TempDir m_dir;
    std::string m_path;
    Norvik m_norvik;
};

TEST_F(PathSelection, SelectsWhatTheEquivalentXPathSelects)
{
    struct Case {
        const char* path;
        const char* xpath;  // the same selection in XPath; null: nothing
        std::vector<std::string> uids;
    };
    const Case cases[] = {
        {"//QuorvaneTour/viewer", "//QuorvaneTour/viewer", {"5"}},
        {"/QuorvaneTour/viewer", "/QuorvaneTour/viewer", {"5"}},
        {"/viewer", "/viewer", {}},
        {"//QuorvaneTour/", "//QuorvaneTour", {"1"}},
        {"//viewer", "//viewer", {"3", "5", "11"}},
        {"viewer", "//viewer", {"3", "5", "11"}},
        {"//pano", "//pano", {"7", "10", "12"}},
        {"//viewer/pano", "//viewer/pano", {"12"}},
        {"//QuorvaneTour/viewer/pano_list/pano", "//QuorvaneTour/viewer/pano_list/pano", {"7", "10"}},
        {"//QuorvaneTour//pano", "//QuorvaneTour//pano", {"7", "10", "12"}},
        {"viewer//pano", "//viewer//pano", {"7", "10", "12"}},
        {"//hotspot_list/hotspot", "//hotspot_list/hotspot", {"9"}},
        {"a/b", "//a/b", {"14", "16"}},
        {"a//b", "//a//b", {"14", "16"}},
        {"/QuorvaneTour//b", "/QuorvaneTour//b", {"14", "16"}},
        {"/QuorvaneTour/a//a/b", "/QuorvaneTour/a//a/b", {"16"}},
        {"/QuorvaneTour/viewer//", "/QuorvaneTour/viewer/descendant-or-self::*",
         {"5", "6", "7", "8", "9", "10", "11", "12"}},
        // A nearer ancestor of the same name must not hide the one that fits.
        {"/QuorvaneTour/a//b", "/QuorvaneTour/a//b", {"14", "16"}},
        {"/QuorvaneTour/viewer//pano", "/QuorvaneTour/viewer//pano", {"7", "10", "12"}},
        {"//QuorvaneTour/a//a//b", "//QuorvaneTour/a//a//b", {"16"}},
        {"a///b", "//a//b", {"14", "16"}},
        {"//nothing", "//nothing", {}},
        {"", nullptr, {}},
        {"/", nullptr, {}},
        {"//", nullptr, {}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> ours = Uids(m_norvik.SelectNodes(c.path));
        EXPECT_EQ(ours, c.uids) << c.path;
        if (c.xpath) {
            EXPECT_EQ(ours, XPathUids(m_path, c.xpath)) << c.path << " against " << c.xpath;
        }
        // The single-node form is the first of the list.
        TiXmlNode* first = m_norvik.SelectNode(c.path);
        if (c.uids.empty()) {
            EXPECT_EQ(first, nullptr) << c.path;
        } else {
            ASSERT_NE(first, nullptr) << c.path;
            EXPECT_STREQ(first->ToElement()->Attribute("uid"), c.uids.front().c_str()) << c.path;
        }
    }
}

TEST_F(PathSelection, SearchesBelowTheStartNodeOnlyButMatchesAncestorsAboveIt)
{
    TiXmlElement* viewer = ByUid("5");
    ASSERT_NE(viewer, nullptr);
    std::vector<TiXmlNode*> found;
    SelectNodes(viewer, "//viewer", found);
    // The start node is not tested itself.
    EXPECT_EQ(Uids(found), std::vector<std::string>{"11"});

    found.clear();
    SelectNodes(ByUid("6"), "/QuorvaneTour/viewer/pano_list/pano", found);
    EXPECT_EQ(Uids(found), (std::vector<std::string>{"7", "10"}));

    EXPECT_EQ(SelectSingleNode(ByUid("4"), "//x"), nullptr);  // a leaf has nothing below it
    EXPECT_EQ(SelectSingleNode(nullptr, "//x"), nullptr);
}

TEST_F(PathSelection, WalkVisitsEveryElementInDocumentOrder)
{
    std::vector<std::string> walked;
    const TiXmlNode* doc = m_norvik.Document();
    for (const TiXmlNode* n = NextNodeInWalk(doc, doc); n; n = NextNodeInWalk(n, doc))
        if (n->ToElement()) walked.push_back(n->ToElement()->Attribute("uid"));
    EXPECT_EQ(walked, XPathUids(m_path, "//*"));
    EXPECT_EQ(walked.size(), 16u);
}

}  // namespace
