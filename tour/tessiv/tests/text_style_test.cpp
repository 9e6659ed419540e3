#include "tour/tessiv/text_style.h"

#include "tour/tessiv/config_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Little-endian bytes written by hand, the test's own reference of the
// record layout.
void Put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(Bytes& b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutText(Bytes& b, const std::string& s)
{
    Put32(b, static_cast<uint32_t>(s.size()));
    if (s.empty()) return;
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}

Bytes RecordOf(const TextStyle& style)
{
    tessiv::ConfigWriter out;
    style.WriteRecord(out);
    return out.GetBytes();
}

TEST(TextStyle, FreshStyleHasTheDocumentedDefaults)
{
    const TextStyle s;
    EXPECT_EQ(s.GetText(), nullptr);
    EXPECT_STREQ(s.GetFaceName(), "MS Serif");
    EXPECT_EQ(s.GetSize(), 200);
    EXPECT_EQ(s.GetStyle(), 0);
    EXPECT_EQ(s.GetTextColor(), 0x000000u);
    EXPECT_EQ(s.GetBgColor(), 0xFFFFFFu);
    EXPECT_EQ(s.GetOpacity(), 80);
    EXPECT_EQ(s.GetTransparency(), 100);
    EXPECT_FALSE(s.IsShown());
    EXPECT_EQ(s.GetAlignment(), 0);
}

// Each setter reports a change once and then no change for the same value.
TEST(TextStyle, SettersReportChanges)
{
    struct Case {
        const char* name;
        std::function<bool(TextStyle&)> set;
        std::function<bool(const TextStyle&)> holds;
    };
    const std::vector<Case> cases = {
        {"text", [](TextStyle& s) { return s.SetText("Hall"); },
         [](const TextStyle& s) { return s.GetText() && std::strcmp(s.GetText(), "Hall") == 0; }},
        {"face", [](TextStyle& s) { return s.SetFace("Arial", 240, 3); },
         [](const TextStyle& s) {
             return std::strcmp(s.GetFaceName(), "Arial") == 0 && s.GetSize() == 240 && s.IsBold() && s.IsItalic();
         }},
        {"text colour", [](TextStyle& s) { return s.SetTextColor(0x123456); },
         [](const TextStyle& s) { return s.GetTextColor() == 0x123456u; }},
        {"background", [](TextStyle& s) { return s.SetBgColor(0x010203); },
         [](const TextStyle& s) { return s.GetBgColor() == 0x010203u; }},
        {"transparency", [](TextStyle& s) { return s.SetTransparency(40); },
         [](const TextStyle& s) { return s.GetTransparency() == 40; }},
        {"opacity", [](TextStyle& s) { return s.SetOpacity(55); },
         [](const TextStyle& s) { return s.GetOpacity() == 55; }},
        {"opaque", [](TextStyle& s) { return s.SetOpaque(true); },
         [](const TextStyle& s) { return s.GetOpacity() == 100 && s.IsOpaque(); }},
        {"shown", [](TextStyle& s) { return s.SetShown(true); }, [](const TextStyle& s) { return s.IsShown(); }},
        {"centre", [](TextStyle& s) { return s.SetAlignCenter(); },
         [](const TextStyle& s) { return s.GetAlignment() == 2; }},
        {"right", [](TextStyle& s) { return s.SetAlignRight(); },
         [](const TextStyle& s) { return s.GetAlignment() == 4; }},
    };
    for (const Case& c : cases) {
        TextStyle s;
        EXPECT_TRUE(c.set(s)) << c.name;
        EXPECT_TRUE(c.holds(s)) << c.name;
        EXPECT_FALSE(c.set(s)) << c.name << " again";
    }
}

TEST(TextStyle, FaceSizeAndStyleChangeTogether)
{
    TextStyle s;
    EXPECT_FALSE(s.SetFace("MS Serif", 200, 0));
    EXPECT_TRUE(s.SetFace("MS Serif", 200, 1));  // only the style differs
    EXPECT_TRUE(s.SetFace("MS Serif", 220, 1));  // only the size
    EXPECT_TRUE(s.SetFace("ms serif", 220, 1));  // faces compare exactly
    EXPECT_TRUE(s.SetFace(nullptr, 220, 1));
    EXPECT_EQ(s.GetFaceName(), nullptr);
}

TEST(TextStyle, EmptyTextIsNoTextAndAlignmentsReplaceEachOther)
{
    TextStyle s;
    EXPECT_FALSE(s.SetText(""));
    EXPECT_TRUE(s.SetText("x"));
    EXPECT_TRUE(s.SetText(""));
    EXPECT_EQ(s.GetText(), nullptr);

    EXPECT_TRUE(s.SetShown(true));
    EXPECT_TRUE(s.SetAlignRight());
    EXPECT_TRUE(s.SetAlignCenter());
    EXPECT_EQ(s.GetFlags(), 1 | 2);  // shown kept, right replaced
    EXPECT_TRUE(s.SetAlignLeft());
    EXPECT_EQ(s.GetFlags(), 1);
    EXPECT_TRUE(s.SetOpaque(false));
    EXPECT_EQ(s.GetOpacity(), 0);
}

TEST(TextStyle, CopyTakesTheLookButNotTheTextOrFlags)
{
    TextStyle source;
    source.SetText("Label");
    source.SetFace("Arial", 300, 2);
    source.SetTextColor(0x0000FF);
    source.SetBgColor(0x00FF00);
    source.SetOpacity(33);
    source.SetTransparency(7);
    source.SetShown(true);

    TextStyle copy;
    copy.SetText("mine");
    copy.SetAlignRight();
    copy.SetTransparency(12);
    copy.CopyFrom(source);
    EXPECT_STREQ(copy.GetText(), "mine");
    EXPECT_STREQ(copy.GetFaceName(), "Arial");
    EXPECT_EQ(copy.GetSize(), 300);
    EXPECT_EQ(copy.GetStyle(), 2);
    EXPECT_EQ(copy.GetTextColor(), 0x0000FFu);
    EXPECT_EQ(copy.GetBgColor(), 0x00FF00u);
    EXPECT_EQ(copy.GetOpacity(), 33);
    EXPECT_EQ(copy.GetFlags(), 0);
    EXPECT_EQ(copy.GetTransparency(), 100);

    TextStyle faceless;
    faceless.SetFace(nullptr, 90, 1);
    copy.CopyFrom(faceless);
    EXPECT_STREQ(copy.GetFaceName(), "MS Serif");
    EXPECT_EQ(copy.GetSize(), 200);
    EXPECT_EQ(copy.GetStyle(), 1);
}

TEST(TextStyle, DefaultRecordIs32BytesInTheFileOrder)
{
    Bytes expected;
    Put32(expected, 0x000000);  // text colour
    Put32(expected, 0xFFFFFF);  // background
    Put16(expected, 200);       // size
    expected.push_back(0);      // style
    expected.push_back(0);      // flags
    expected.push_back(80);     // opacity
    PutText(expected, "");      // no text
    PutText(expected, "MS Serif");
    Put16(expected, 100);       // transparency
    const TextStyle s;
    EXPECT_EQ(s.GetRecordSize(), 32u);
    EXPECT_EQ(RecordOf(s), expected);
}

TEST(TextStyle, RecordRoundTripAndOldRecordsWithoutTransparency)
{
    TextStyle s;
    s.SetText("Tour of the hall");
    s.SetFace("Arial", 240, 3);
    s.SetTextColor(0x102030);
    s.SetBgColor(0x405060);
    s.SetOpacity(7);
    s.SetTransparency(-3);
    s.SetShown(true);
    s.SetAlignRight();
    const Bytes bytes = RecordOf(s);
    ASSERT_EQ(bytes.size(), s.GetRecordSize());
    EXPECT_EQ(bytes.size(), 23u + 17 + 6);

    TextStyle back;
    tessiv::ConfigReader in(bytes.data(), bytes.size());
    ASSERT_TRUE(back.ReadRecord(in, true));
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(back, s);

    // A record of a version-105 file ends after the face name.
    TextStyle old;
    old.SetTransparency(55);
    tessiv::ConfigReader shortIn(bytes.data(), bytes.size() - 2);
    ASSERT_TRUE(old.ReadRecord(shortIn, false));
    EXPECT_EQ(shortIn.Remaining(), 0u);
    EXPECT_EQ(old.GetTransparency(), 55);
    EXPECT_STREQ(old.GetText(), "Tour of the hall");
}

TEST(TextStyle, RecordWithoutFaceHasNoSizeOrStyle)
{
    Bytes b;
    Put32(b, 1);
    Put32(b, 2);
    Put16(b, 240);
    b.push_back(3);
    b.push_back(1);
    b.push_back(9);
    PutText(b, "T");
    PutText(b, "");
    Put16(b, 50);
    TextStyle s;
    tessiv::ConfigReader in(b.data(), b.size());
    ASSERT_TRUE(s.ReadRecord(in, true));
    EXPECT_EQ(s.GetFaceName(), nullptr);
    EXPECT_EQ(s.GetSize(), 0);
    EXPECT_EQ(s.GetStyle(), 0);
    EXPECT_TRUE(s.IsShown());
    EXPECT_EQ(s.GetTransparency(), 50);
}

TEST(TextStyle, DamagedRecordsChangeNothing)
{
    TextStyle s;
    s.SetText("abc");
    const Bytes good = RecordOf(s);
    const TextStyle before;
    // Cut short anywhere.
    for (size_t n = 0; n < good.size(); ++n) {
        TextStyle target;
        tessiv::ConfigReader in(good.data(), n);
        EXPECT_FALSE(target.ReadRecord(in, true)) << n;
        EXPECT_EQ(target, before) << n;
    }
    // A text whose zero is missing, or whose length runs past the record.
    Bytes noZero = good;
    noZero[20] = 'x';  // the zero after "abc": 13 bytes of fields, 4 of length, 3 letters
    Bytes longText = good;
    longText[13] = 0xFF;   // low byte of the text's length
    for (const Bytes& bad : {noZero, longText}) {
        TextStyle target;
        tessiv::ConfigReader in(bad.data(), bad.size());
        EXPECT_FALSE(target.ReadRecord(in, true));
        EXPECT_EQ(target, before);
    }
}

}  // namespace
