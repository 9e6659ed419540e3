// Flash call messages: reading received messages, building new ones, numbers
// in "%e" and build-print-parse round trips of texts that are hard to carry.
#include "tour/norvik/flash_xml_msg.h"

#include "tour/norvik/tests/norvik_test_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace {

using norvik_test::CapturedStdout;
using norvik_test::WellFormedText;

TEST(FlashXmlMsg, ReadsAReceivedCall)
{
    FlashXmlMsg message(
        "<invoke name=\"f\" returntype=\"xml\"><arguments><number>2.5</number><string>x</string></arguments>"
        "</invoke>");
    EXPECT_STREQ(message.GetFuncName(), "f");
    EXPECT_EQ(message.GetArgNumber(0), 2.5);
    EXPECT_EQ(message.GetArgString(1), "x");
    EXPECT_EQ(message.GetArgNumber(1), FlashXmlMsg::kNoNumber);
    EXPECT_EQ(message.GetArgString(0), "");
    EXPECT_EQ(message.GetArgNumber(2), FlashXmlMsg::kNoNumber);
    EXPECT_EQ(message.GetArgString(2), "");
    EXPECT_EQ(message.GetArgNumber(-1), FlashXmlMsg::kNoNumber);
    EXPECT_EQ(message.GetArgString(-1), "");
}

TEST(FlashXmlMsg, ReadsEntitiesAndOddArguments)
{
    FlashXmlMsg message(
        "<invoke name=\"a&amp;b\" returntype=\"xml\"><arguments>"
        "<string>&lt;tag&gt; &amp; &quot;q&quot; &#x41;&#66;</string>"
        "<number></number><number>abc</number><string/><number> -1e3 </number>"
        "</arguments></invoke>");
    EXPECT_STREQ(message.GetFuncName(), "a&b");
    EXPECT_EQ(message.GetArgString(0), "<tag> & \"q\" AB");
    EXPECT_EQ(message.GetArgNumber(1), FlashXmlMsg::kNoNumber);
    EXPECT_EQ(message.GetArgNumber(2), FlashXmlMsg::kNoNumber);
    EXPECT_EQ(message.GetArgString(3), "");
    EXPECT_EQ(message.GetArgNumber(4), -1000.0);
}

TEST(FlashXmlMsg, WithoutAMessageNothingIsFound)
{
    FlashXmlMsg message;
    EXPECT_EQ(message.GetFuncName(), nullptr);
    EXPECT_EQ(message.GetArgNumber(0), FlashXmlMsg::kNoNumber);
    EXPECT_EQ(message.GetArgString(0), "");
    std::string text = "unchanged";
    EXPECT_FALSE(message.GetXml(text));
    EXPECT_EQ(text, "unchanged");

    // A message that is no call has no function name either.
    FlashXmlMsg other("<other name=\"x\"/>");
    EXPECT_EQ(other.GetFuncName(), nullptr);
    EXPECT_FALSE(other.InsertArgNumber(1.0));  // nowhere to put it
}

TEST(FlashXmlMsg, InsertOnAnEmptyObjectMakesTheFrame)
{
    FlashXmlMsg message;
    EXPECT_TRUE(message.InsertArgNumber(2.5));
    std::string text;
    ASSERT_TRUE(message.GetXml(text));
    EXPECT_EQ(text,
              "<invoke name=\"func\" returntype=\"xml\"><arguments><number>2.500000e+00</number></arguments>"
              "</invoke>");
    EXPECT_STREQ(message.GetFuncName(), "func");
    EXPECT_EQ(message.GetArgNumber(0), 2.5);

    EXPECT_TRUE(message.InsertArgString("second"));
    EXPECT_EQ(message.GetArgNumber(0), 2.5);
    EXPECT_EQ(message.GetArgString(1), "second");
    ASSERT_TRUE(message.GetXml(text));
    EXPECT_EQ(text,
              "<invoke name=\"func\" returntype=\"xml\"><arguments><number>2.500000e+00</number>"
              "<string>second</string></arguments></invoke>");
    EXPECT_TRUE(WellFormedText(text));
}

TEST(FlashXmlMsg, InsertAppendsToAReceivedCall)
{
    FlashXmlMsg message("<invoke name=\"g\" returntype=\"xml\"><arguments><string>a</string></arguments></invoke>");
    EXPECT_TRUE(message.InsertArgNumber(-3.0));
    EXPECT_STREQ(message.GetFuncName(), "g");
    EXPECT_EQ(message.GetArgString(0), "a");
    EXPECT_EQ(message.GetArgNumber(1), -3.0);
}

// Numbers go out as the C library's "%e" writes them (six decimals) and
// come back as that text reads.
TEST(FlashXmlMsg, NumbersAreWrittenWithPercentE)
{
    struct Case {
        double value;
        const char* text;
        double readBack;
    };
    const Case cases[] = {
        {2.5, "2.500000e+00", 2.5},
        {1.0 / 3.0, "3.333333e-01", 0.3333333},
        {0.0, "0.000000e+00", 0.0},
        {-0.0, "-0.000000e+00", -0.0},
        {-99999.0, "-9.999900e+04", -99999.0},
        {-123456789.123456, "-1.234568e+08", -123456800.0},
        {6.02214076e23, "6.022141e+23", 6.022141e23},
        {1e-300, "1.000000e-300", 1e-300},
        {DBL_MAX, "1.797693e+308", 1.797693e308},
        {9.9999996, "1.000000e+01", 10.0},
    };
    FlashXmlMsg built;
    for (const Case& c : cases) ASSERT_TRUE(built.InsertArgNumber(c.value));
    std::string text;
    ASSERT_TRUE(built.GetXml(text));
    EXPECT_TRUE(WellFormedText(text));
    std::string expected = "<invoke name=\"func\" returntype=\"xml\"><arguments>";
    for (const Case& c : cases) expected += std::string("<number>") + c.text + "</number>";
    expected += "</arguments></invoke>";
    EXPECT_EQ(text, expected);
    FlashXmlMsg received(text.c_str());
    for (size_t k = 0; k < std::size(cases); ++k) {
        const double read = received.GetArgNumber(static_cast<int>(k));
        EXPECT_EQ(read, cases[k].readBack) << k;
        EXPECT_EQ(std::signbit(read), std::signbit(cases[k].value)) << k;
    }
}

TEST(FlashXmlMsg, InfinityAndNanAreWrittenAsCDoes)
{
    FlashXmlMsg built;
    ASSERT_TRUE(built.InsertArgNumber(std::numeric_limits<double>::infinity()));
    ASSERT_TRUE(built.InsertArgNumber(std::nan("")));
    std::string text;
    ASSERT_TRUE(built.GetXml(text));
    FlashXmlMsg received(text.c_str());
    EXPECT_EQ(received.GetArgNumber(0), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(received.GetArgNumber(1)));
}

TEST(FlashXmlMsg, StringsSurviveBuildPrintParse)
{
    const std::string strings[] = {
        "plain",
        "a & b < c > d",
        "quote \" and apostrophe '",
        "  leading, inner  and trailing blanks  ",
        "tab\tnewline\nreturn\r",
        "Z\xc3\xbcrich \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x98\x80",
        "&#x41; &amp; ]]>",
        "</string></arguments></invoke>",
        "",
    };
    FlashXmlMsg built;
    for (const std::string& s : strings) ASSERT_TRUE(built.InsertArgString(s.c_str()));
    // Read straight from the built message.
    for (size_t k = 0; k < std::size(strings); ++k) EXPECT_EQ(built.GetArgString(static_cast<int>(k)), strings[k]) << k;

    std::string text;
    ASSERT_TRUE(built.GetXml(text));
    EXPECT_TRUE(WellFormedText(text)) << text;
    FlashXmlMsg received(text.c_str());
    EXPECT_STREQ(received.GetFuncName(), "func");
    for (size_t k = 0; k < std::size(strings); ++k)
        EXPECT_EQ(received.GetArgString(static_cast<int>(k)), strings[k]) << k;
    EXPECT_EQ(received.GetArgString(static_cast<int>(std::size(strings))), "");
}

TEST(FlashXmlMsg, ControlAndLegacyBytesAreMadeCarriable)
{
    FlashXmlMsg built;
    ASSERT_TRUE(built.InsertArgString("bell\x07 caf\xe9"));
    EXPECT_EQ(built.GetArgString(0), "bell caf\xc3\xa9");
    std::string text;
    ASSERT_TRUE(built.GetXml(text));
    EXPECT_TRUE(WellFormedText(text)) << text;
}

TEST(FlashXmlMsg, LoadAndClear)
{
    FlashXmlMsg message;
    EXPECT_FALSE(message.LoadXml(nullptr));
    ASSERT_TRUE(message.LoadXml("<invoke name=\"h\"><arguments><number>1</number></arguments></invoke>"));
    EXPECT_STREQ(message.GetFuncName(), "h");
    // A null text keeps the message held.
    EXPECT_FALSE(message.LoadXml(nullptr));
    EXPECT_STREQ(message.GetFuncName(), "h");
    EXPECT_EQ(message.GetArgNumber(0), 1.0);

    // A text that does not parse gives false, still replaces the message,
    // and says so.
    bool loaded = true;
    CapturedStdout([&] { loaded = message.LoadXml("<invoke"); });
    EXPECT_FALSE(loaded);
    EXPECT_EQ(message.GetFuncName(), nullptr);
    loaded = true;
    const std::string out = CapturedStdout([&] { loaded = message.LoadXml("<invoke name=\"k\"><arguments>"); });
    EXPECT_FALSE(loaded);
    EXPECT_EQ(out, "ERROR Norvik::CreateXMLDocument: parsing xmlData=<invoke name=\"k\"><arguments>\n");
    EXPECT_NE(message.GetFuncName(), nullptr);  // what the parser built before the end
    EXPECT_STREQ(message.GetFuncName(), "k");

    message.ClearXml();
    EXPECT_EQ(message.GetFuncName(), nullptr);
    EXPECT_TRUE(message.InsertArgString("again"));
    EXPECT_STREQ(message.GetFuncName(), "func");
    EXPECT_EQ(message.GetArgString(0), "again");
}

}  // namespace
