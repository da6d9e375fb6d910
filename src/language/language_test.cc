// Document lines and verb and field lookup of the command language.
#include "language/language.h"

#include "gtest/gtest.h"

namespace language {
namespace {

TEST(FindField, Verbs) {
  struct Case {
    const char* line;
    const char* verb;
    bool found;
  } cases[] = {
      {"sale,n1,p100;", "SALE", true},     {"SALES,N1,P100;", "SALE", true},
      {"PRNTX,:A;", "PRNT,", false},       {"PRNT,:A;", "PRNT,", true},
      {"NDCR;", "NDCR,", false},           {" SALE,N1;", "SALE", false},
      {"XSALE,N1;", "SALE", false},        {"SAL", "SALE", false},
      {"", "CASH", false},                 {"TEND,N1,V5;", "TEND,N1", false},
  };
  for (const Case& c : cases) {
    std::string value = "unchanged";
    EXPECT_EQ(FindField(true, &value, c.line, c.verb), c.found) << c.line << " " << c.verb;
    if (!c.found) {
      EXPECT_EQ(value, "unchanged") << c.line;
    }
  }
}

TEST(FindField, Values) {
  struct Case {
    const char* line;
    const char* marker;
    bool found;
    const char* value;
  } cases[] = {
      {"SALE,N12,P100;", ",N", true, "12"},
      {"SALE,N12,P100;", ",P", true, "100"},
      {"SALE,N12,P100", ",P", true, "100"},
      {"sale,n12,p100;", ",N", true, "12"},
      {"PRNT,:;", ",:", true, ""},
      {"PRNT,:A;B;", ",:", true, "A"},
      {"PLUD,N1,:PANE,SALATO,P100;", ",:", true, "PANE"},
      {"PLUD,N1,:PANE,SALATO,P100;", ",S", true, "SALATO"},
      {"SALE,N1,P100,R;", ",R", true, "R"},
      {"SALE,N1,P100;", ",R", false, "unchanged"},
      {"SALE,N1,P100,S1;", ",S1", true, "S1"},
      {"SALE,N1,P100,S;", ",S1", false, "unchanged"},
      {"DISP,N2,:CIAO", ",:", true, "CIAO"},
      {"SALE,N", ",N", true, ""},
  };
  for (const Case& c : cases) {
    std::string value = "unchanged";
    EXPECT_EQ(FindField(false, &value, c.line, c.marker), c.found) << c.line << " " << c.marker;
    EXPECT_EQ(value, c.value) << c.line << " " << c.marker;
  }
}

TEST(FindField, TenderSynonymsNeedTheExactNumber) {
  EXPECT_TRUE(IsTenderSynonym("TEND,N1;", '1'));
  EXPECT_TRUE(IsTenderSynonym("TEND,N1,V500;", '1'));
  EXPECT_TRUE(IsTenderSynonym("TEND,N3", '3'));
  EXPECT_FALSE(IsTenderSynonym("TEND,N31,V500;", '3'));
  EXPECT_FALSE(IsTenderSynonym("TEND,N1.5;", '1'));
  EXPECT_FALSE(IsTenderSynonym("tend,n1;", '1'));
  EXPECT_FALSE(IsTenderSynonym("TEND,V500,N1;", '1'));
}

TEST(BlankControlBytes, OnlyBytesBelowBlank) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string blanked = all, keptTabs = all;
  EXPECT_EQ(BlankControlBytes(blanked), 32u);
  EXPECT_EQ(BlankControlBytes(keptTabs, true), 31u);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(blanked[b], b < 0x20 ? ' ' : all[b]) << b;
    EXPECT_EQ(keptTabs[b], b < 0x20 && b != '\t' ? ' ' : all[b]) << b;
  }
}

// Exactly the lines the settings' document reader gives for the same bytes.
TEST(SplitLines, LineEnds) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("\r\n"), Lines{""});
  EXPECT_EQ(SplitLines("A\r\nB\nC\rD"), (Lines{"A", "B", "C", "D"}));
  EXPECT_EQ(SplitLines("A\r\r\n\n"), (Lines{"A", "", ""}));
  EXPECT_EQ(SplitLines(std::string_view("\0\xFF;\n", 4)), Lines{std::string("\0\xFF;", 3)});
}

}  // namespace
}  // namespace language
