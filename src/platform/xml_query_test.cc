// Tests of the XML path queries on the shapes the payment service answers.
#include "platform/xml_query.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(XmlQueryTest, FindsElementsByPath) {
  auto xml = XmlQuery::Create();
  ASSERT_TRUE(xml->Load("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                        "<NativeMethods.POSData xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n"
                        "  <TerminalId>T0001</TerminalId>\r\n"
                        "  <TransactionResult> 00 </TransactionResult>\r\n"
                        "  <PAN></PAN>\r\n"
                        "  <AuthorizationCode>AB<![CDATA[12]]></AuthorizationCode>\r\n"
                        "</NativeMethods.POSData>"));
  struct Case {
    const char* path;
    bool found;
    const char* text;
  } cases[] = {
      {"/NativeMethods.POSData/TerminalId", true, "T0001"},
      {"/NativeMethods.POSData/TransactionResult", true, "00"},
      {"/NativeMethods.POSData/PAN", true, ""},
      {"NativeMethods.POSData/AuthorizationCode", true, "AB12"},
      {"/NativeMethods.POSData/STAN", false, ""},
      {"/Error/Message", false, ""},
      {"/TerminalId", false, ""},
  };
  for (const auto& c : cases) {
    std::string text = "unchanged";
    EXPECT_EQ(c.found, xml->SelectText(c.path, &text)) << c.path;
    EXPECT_EQ(c.found ? c.text : "unchanged", text) << c.path;
  }
}

TEST(XmlQueryTest, ErrorAnswer) {
  auto xml = XmlQuery::Create();
  ASSERT_TRUE(xml->Load("<Error><Message>An error has occurred.</Message>"
                        "<ExceptionMessage>Terminale non raggiungibile</ExceptionMessage></Error>"));
  std::string text;
  EXPECT_TRUE(xml->SelectText("/Error/Message", &text));
  EXPECT_EQ("An error has occurred.", text);
  EXPECT_TRUE(xml->SelectText("/Error/ExceptionMessage", &text));
  EXPECT_EQ("Terminale non raggiungibile", text);
  EXPECT_FALSE(xml->SelectText("/NativeMethods.POSData/TransactionResult", &text));
}

TEST(XmlQueryTest, MalformedTextFindsNothing) {
  auto xml = XmlQuery::Create();
  ASSERT_TRUE(xml->Load("<Error><Message>m</Message></Error>"));
  const char* bad[] = {"", "Timed out.", "<Error><Message>m</Error>", "<a></a><b></b>"};
  for (const char* text : bad) {
    EXPECT_FALSE(xml->Load(text)) << text;
    std::string value;
    EXPECT_FALSE(xml->SelectText("/Error/Message", &value)) << text;
  }
}

// A hostile answer is refused whole, before the parser: deep nesting (no
// crash, no recursion) and any DTD; the shapes the service sends pass.
TEST(XmlQueryTest, DeepNestingAndDtdAreRefused) {
  auto nested = [](int depth, const std::string& inner) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "<a x='>'>";
    s += inner;
    for (int i = 0; i < depth; ++i) s += "</a>";
    return s;
  };
  struct Case {
    std::string text;
    bool accepted;
  } cases[] = {
      {nested(100000, "x"), false},
      {nested(kMaxXmlDepth + 1, ""), false},
      {nested(kMaxXmlDepth, "<b/><!-- <c><c> --><![CDATA[<d><d>]]><?pi <e>?>"), true},
      {"<!DOCTYPE a [<!ENTITY e \"boom\">]><a>&e;</a>", false},
      {"<?xml version=\"1.0\"?>\r\n<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a/>", false},
  };
  auto xml = XmlQuery::Create();
  for (const auto& c : cases) {
    EXPECT_EQ(c.accepted, WithinXmlLimits(c.text)) << c.text.substr(0, 60);
    EXPECT_EQ(c.accepted, xml->Load(c.text)) << c.text.substr(0, 60);
    std::string text;
    EXPECT_EQ(c.accepted, xml->SelectText("/a", &text)) << c.text.substr(0, 60);
  }
}

TEST(XmlQueryTest, BytesAboveAsciiPassUnchanged) {
  auto xml = XmlQuery::Create();
  ASSERT_TRUE(xml->Load("<Error><Message>Carta non valida \xe8 scaduta</Message></Error>"));
  std::string text;
  ASSERT_TRUE(xml->SelectText("/Error/Message", &text));
  EXPECT_EQ("Carta non valida \xe8 scaduta", text);
}

TEST(XmlQueryTest, CharacterReferencesGiveWindows1252Bytes) {
  auto xml = XmlQuery::Create();
  ASSERT_TRUE(xml->Load("<Error><Message>Perch&#233; &#8364; &#x201C;x&#x201D; &#20013;</Message></Error>"));
  std::string text;
  ASSERT_TRUE(xml->SelectText("/Error/Message", &text));
  // A character the code page lacks becomes "?".
  EXPECT_EQ("Perch\xe9 \x80 \x93x\x94 ?", text);
}

TEST(Utf8ToWindows1252Test, ConvertsValidUtf8Only) {
  struct Case {
    const char* utf8;
    bool valid;
    const char* bytes;
  } cases[] = {
      {"plain ASCII", true, "plain ASCII"},
      {"Citt\xc3\xa0 \xe2\x82\xac" "5 \xe2\x80\x99", true, "Citt\xe0 \x80" "5 \x92"},
      {"\xc2\x81\xc2\x9f", true, "\x81\x9f"},
      {"\xe4\xb8\xad\xf0\x9f\x98\x80", true, "??"},
      {"Citt\xe0", false, ""},
      {"\xc3", false, ""},
      {"\xc0\xaf", false, ""},          // overlong
      {"\xed\xa0\x80", false, ""},     // surrogate
      {"\xf4\x90\x80\x80", false, ""}, // beyond U+10FFFF
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(c.valid, Utf8ToWindows1252(c.utf8, &out)) << c.utf8;
    EXPECT_EQ(c.valid ? c.bytes : "untouched", out) << c.utf8;
  }
}

}  // namespace
}  // namespace platform
