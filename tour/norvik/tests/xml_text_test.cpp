// Texts and names on their way into the documents: what passes unchanged,
// what is dropped and what is re-encoded.
#include "tour/norvik/xml_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TextCase {
    const char* label;
    std::string input;
    std::string expected;
};

TEST(XmlCharacterData, KeepsValidTextAndRepairsTheRest)
{
    const TextCase cases[] = {
        {"ascii", "Hall & <Stairs> \"q\" 'a'", "Hall & <Stairs> \"q\" 'a'"},
        {"allowed controls", "t\tn\nr\r.", "t\tn\nr\r."},
        {"other controls dropped", "a\x01" "b\x08" "c\x1f" "d\x0b" "e", "abcde"},
        {"two-byte utf-8", "Z\xc3\xbcrich", "Z\xc3\xbcrich"},
        {"three-byte utf-8", "\xe6\x9d\xb1\xe4\xba\xac", "\xe6\x9d\xb1\xe4\xba\xac"},
        {"four-byte utf-8", "\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
        {"highest code point", "\xf4\x8f\xbf\xbd", "\xf4\x8f\xbf\xbd"},
        // Bytes that are no UTF-8 are read as Windows-1252.
        {"latin-1 e acute", "caf\xe9", "caf\xc3\xa9"},
        {"cp1252 euro", "\x80", "\xe2\x82\xac"},
        {"cp1252 quotes", "\x93q\x94", "\xe2\x80\x9cq\xe2\x80\x9d"},
        {"cp1252 unassigned", "\x81", "\xc2\x81"},
        {"overlong slash", "\xc0\xaf", "\xc3\x80\xc2\xaf"},
        {"surrogate", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac"},
        {"above U+10FFFF", "\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xe2\x82\xac\xe2\x82\xac"},
        {"cut short at the end", "x\xe6\x9d", "x\xc3\xa6\xc2\x9d"},
        {"lone continuation", "\xbf", "\xc2\xbf"},
        {"non-characters dropped", "a\xef\xbf\xbe" "b\xef\xbf\xbf" "c", "abc"},
        {"U+FFFD kept", "\xef\xbf\xbd", "\xef\xbf\xbd"},
        {"empty", "", ""},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(norvik::XmlCharacterData(c.input.c_str()), c.expected) << c.label;
    EXPECT_EQ(norvik::XmlCharacterData(nullptr), "");
}

TEST(IsXmlName, AcceptsNamesTheDocumentsUseAndRefusesTheRest)
{
    for (const char* name : {"pano", "vistaTimeMs_list", "_x", "a:b", "a-b.c1", "Z\xc3\xbcrich", "x9"})
        EXPECT_TRUE(norvik::IsXmlName(name)) << name;
    for (const char* name : {"", "9lives", "-a", ".a", "a b", "a<b", "a\"b", "a/b", "a&b", "caf\xe9", "a\tb"})
        EXPECT_FALSE(norvik::IsXmlName(name)) << name;
    EXPECT_FALSE(norvik::IsXmlName(nullptr));
}

}  // namespace
