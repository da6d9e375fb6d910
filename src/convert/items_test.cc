// Items, returns, voids, adjustments and the subtotal: document lines in,
// command lines out (display lines are checked apart).
#include <string>
#include <vector>

#include "testing/converted_document.h"
#include "gtest/gtest.h"

namespace convert {
namespace {

using Lines = std::vector<std::string>;

std::string Pad(const std::string& s, size_t n) { return s + std::string(n - s.size(), ' '); }

struct Case {
  const char* name;
  Lines document;
  void (*setup)(ConvertContext&);
  Lines commands;
};

void Inversion(ConvertContext& c) { c.options.chbInversioneScontiSuReso = true; }

const Case kCases[] = {
    {"department sale", {"SALE,N3,P250;"}, nullptr,
     {"31011" "03" "22" + Pad("REPARTO 3", 22) + "000000250", "1010"}},
    {"verb and markers in lower case", {"sale,n1,p100;"}, nullptr,
     {"31011" "01" "22" + Pad("REPARTO 1", 22) + "000000100", "1010"}},
    {"quantity line with three decimals", {"SALE,N1,Q2.5,P100;"}, nullptr,
     {"30021" "13" " 2,500 X 1,00", "31011" "01" "22" + Pad("REPARTO 1", 22) + "000000250", "1010"}},
    {"quantity one writes no quantity line", {"SALE,N1,Q1,P100;"}, nullptr,
     {"31011" "01" "22" + Pad("REPARTO 1", 22) + "000000100", "1010"}},
    {"price below one unit", {"SALE,N2,Q3,P45;"}, nullptr,
     {"30021" "09" " 3 X 0,45", "31011" "02" "22" + Pad("REPARTO 2", 22) + "000000135", "1010"}},
    {"single-digit price", {"SALE,N2,Q2,P5;"}, nullptr,
     {"30021" "09" " 2 X 0,05", "31011" "02" "22" + Pad("REPARTO 2", 22) + "000000010", "1010"}},
    {"leading zeros and a line without semicolon", {"SALE,N07,P0150"}, nullptr,
     {"31011" "07" "22" + Pad("REPARTO 7", 22) + "000000150", "1010"}},
    {"department 21 keeps the last description", {"SALE,N3,P250;", "SALE,N21,P100;"}, nullptr,
     {"31011" "03" "22" + Pad("REPARTO 3", 22) + "000000250",
      "31011" "21" "22" + Pad("REPARTO 3", 22) + "000000100", "1010"}},
    {"an adjustment's description stays for an unnamed department",
     {"SALE,N3,P250;", "DISC,%10;", "SALE,N21,P100;", "COUP,V5,:Fedelta;", "SALE,N22,P100;", "ADDS,V9;",
      "SALE,N23,P100;"},
     nullptr,
     {"31011" "03" "22" + Pad("REPARTO 3", 22) + "000000250",
      "31013" "03" "22" + Pad("SCONTO ART 10.00%", 22) + "000000025",
      "31011" "21" "22" + Pad("SCONTO ART 10.00%", 22) + "000000100",
      "31013" "21" "22" + Pad("FEDELTA", 22) + "000000005",
      "31011" "22" "22" + Pad("FEDELTA", 22) + "000000100",
      "30012" "22" + Pad("MAGG. SBTL", 22) + "000000009",
      "31011" "23" "22" + Pad("MAGG. SBTL", 22) + "000000100", "1010"}},
    {"department beyond 2 digits is refused", {"SALE,N3,P250;", "SALE,N100,P100;"}, nullptr, {}},
    {"described sale", {"PLUD,N2,:Pane integrale,P120;"}, nullptr,
     {"31011" "02" "22" + Pad("PANE INTEGRALE", 22) + "000000120", "1010"}},
    {"described sale without text keeps no description", {"PLUD,N2,P120;"}, nullptr,
     {"31011" "02" "000000120", "1010"}},
    {"return", {"PLUD,N2,:PANE,P100,R;"}, nullptr,
     {"3002104RESO", "31019" "02" "22" + Pad("PANE", 22) + "000000100", "1010"}},
    {"a marker acts on its own line only", {"SALE,N1,P100,R;", "SALE,N1,P100;"}, nullptr,
     {"3002104RESO", "31019" "01" "22" + Pad("REPARTO 1", 22) + "000000100",
      "31011" "01" "22" + Pad("REPARTO 1", 22) + "000000100", "1010"}},
    {"a comma in the text makes a void", {"PLUD,N1,:PANE,SALATO,P100;"}, nullptr,
     {"3002106STORNO", "31014" "01" "22" + Pad("PANE", 22) + "000000100", "1010"}},
    {"deposit void", {"SALE,N1,P100,S1;"}, nullptr,
     {"3002114STORNO ACCONTO", "3101F" "01" "22" + Pad("REPARTO 1", 22) + "000000100", "1010"}},
    {"voucher void", {"SALE,N1,P100,S2;"}, nullptr,
     {"3002121STORNO BUONO CORRISP.", "3101F" "01" "22" + Pad("REPARTO 1", 22) + "000000100", "1010"}},
    {"gift void", {"SALE,N1,P100,S3;"}, nullptr,
     {"3002114STORNO OMAGGIO", "3101G" "01" "22" + Pad("REPARTO 1", 22) + "000000100", "1010"}},
    {"a marker on a line without verb is written twice", {"NOTE,R;"}, nullptr,
     {"3002104RESO", "3002104RESO"}},
    {"percentage discount twice", {"SALE,N4,P1000;", "DISC,%10;", "DISC,%10;"}, nullptr,
     {"31011" "04" "22" + Pad("REPARTO 4", 22) + "000001000",
      "31013" "04" "22" + Pad("SCONTO ART 10.00%", 22) + "000000100",
      "31013" "04" "22" + Pad("SCONTO ART 10.00%", 22) + "000000010", "1010"}},
    {"percentage rounding", {"SALE,N4,P1234;", "DISC,%10;"}, nullptr,
     {"31011" "04" "22" + Pad("REPARTO 4", 22) + "000001234",
      "31013" "04" "22" + Pad("SCONTO ART 10.00%", 22) + "000000123", "1010"}},
    {"percentage surcharge with text and decimals", {"SALE,N4,P1000;", "MAGG,%2.5,:Servizio;"}, nullptr,
     {"31011" "04" "22" + Pad("REPARTO 4", 22) + "000001000",
      "31012" "04" "22" + Pad("SERVIZIO", 22) + "000000025", "1010"}},
    {"discount without percentage", {"SALE,N5,P100;", "DISC;"}, nullptr,
     {"31011" "05" "22" + Pad("REPARTO 5", 22) + "000000100", "31013" "05", "1010"}},
    {"a return marker on a discount line still prints", {"SALE,N5,P1000;", "DISC,%10,R;"}, nullptr,
     {"31011" "05" "22" + Pad("REPARTO 5", 22) + "000001000", "3002104RESO",
      "31013" "05" "22" + Pad("SCONTO ART 10.00%", 22) + "000000100", "1010"}},
    {"discount after a return is inverted", {"PLUD,N2,:PANE,P1000,R;", "DISC,%10;", "DISC,%10;"}, Inversion,
     {"3002104RESO", "31019" "02" "22" + Pad("PANE", 22) + "000001000",
      "31012" "02" "22" + Pad("MAGG. ARTICOLO 10.00%", 22) + "000000100",
      "31013" "02" "22" + Pad("SCONTO ART 10.00%", 22) + "000000010", "1010"}},
    {"no inversion without the option", {"PLUD,N2,:PANE,P1000,R;", "MAGG,%10;"}, nullptr,
     {"3002104RESO", "31019" "02" "22" + Pad("PANE", 22) + "000001000",
      "31012" "02" "22" + Pad("MAGG. ARTICOLO 10.00%", 22) + "000000100", "1010"}},
    {"value discount and surcharge", {"SALE,N2,P500;", "COUP,V50;", "ADDI,V20,:Extra;"}, nullptr,
     {"31011" "02" "22" + Pad("REPARTO 2", 22) + "000000500",
      "31013" "02" "22" + Pad("SCONTO VALORE", 22) + "000000050",
      "31012" "02" "22" + Pad("EXTRA", 22) + "000000020", "1010"}},
    {"value discount after a return is inverted", {"SALE,N2,P500,R;", "COUP,V50;"}, Inversion,
     {"3002104RESO", "31019" "02" "22" + Pad("REPARTO 2", 22) + "000000500",
      "31012" "02" "22" + Pad("MAGG. ART.", 22) + "000000050", "1010"}},
    {"subtotal adjustments by value", {"SALE,N2,P500;", "SUBT;", "COST,V100;", "ADDS,V30,:Trasporto;"},
     nullptr,
     {"31011" "02" "22" + Pad("REPARTO 2", 22) + "000000500", "3003",
      "30013" "22" + Pad("SCONTO SBTL", 22) + "000000100",
      "30012" "22" + Pad("TRASPORTO", 22) + "000000030", "1010"}},
    {"subtotal percentages go to the transmission",
     {"SALE,N2,P500;", "DOST,%5,:PROMO;", "MOST,%2.5;", "DOST;"}, nullptr,
     {"31011" "02" "22" + Pad("REPARTO 2", 22) + "000000500", "DOST%5,PROMO", "MOST%2.50", "1010"}},
    {"an amount beyond nine digits is refused", {"SALE,N1,P1000000000;"}, nullptr, {}},
};

TEST(Items, Table) {
  for (const Case& c : kCases) {
    ConvertContext ctx;
    if (c.setup) c.setup(ctx);
    Converted r = ConvertLines(c.document, ctx);
    if (c.commands.empty()) {
      EXPECT_EQ(r.result, 1) << c.name;
      EXPECT_FALSE(r.written) << c.name;
      continue;
    }
    EXPECT_EQ(r.result, 0) << c.name;
    EXPECT_EQ(Commands(r), c.commands) << c.name;
  }
}

// Displays: 22 characters of description, then the code 127 and the amount
// ending at column 40.
TEST(Items, Displays) {
  const std::string mark = "\x7f ";
  struct DisplayCase {
    const char* name;
    Lines document;
    void (*setup)(ConvertContext&);
    Lines displays;
  } cases[] = {
      {"item", {"SALE,N3,P250;"}, nullptr, {"7007" + Pad("REPARTO 3", 34) + mark + "2.50"}},
      {"return shows the marker word", {"PLUD,N2,:PANE,P100,R;"}, nullptr,
       {"7007" + Pad("RESO", 34) + mark + "1.00"}},
      {"void shows STORNO", {"SALE,N1,P12345,S;"}, nullptr, {"7007" + Pad("STORNO", 32) + mark + "123.45"}},
      {"decimal separator of the system", {"SALE,N3,P5;"},
       [](ConvertContext& c) { c.decimalSeparator = ','; }, {"7007" + Pad("REPARTO 3", 34) + mark + "0,05"}},
      {"percentage", {"SALE,N1,P1000;", "DISC,%10.5;"}, nullptr,
       {"7007" + Pad("REPARTO 1", 33) + mark + "10.00", "7007" + Pad(Pad("SCONTO ART 10.50%", 22) + "10,50", 40)}},
      {"value discount has two blanks", {"SALE,N1,P1000;", "COUP,V50;"}, nullptr,
       {"7007" + Pad("REPARTO 1", 33) + mark + "10.00",
        "7007" + Pad(Pad("SCONTO VALORE", 22) + "  " + mark + "0.50", 40)}},
      {"inverted value discount has three", {"SALE,N1,P1000,R;", "COUP,V50;"}, Inversion,
       {"7007" + Pad("RESO", 33) + mark + "10.00",
        "7007" + Pad(Pad("MAGG. ART.", 22) + "   " + mark + "0.50", 40)}},
      {"subtotal value", {"COST,V150;"}, nullptr,
       {"7007" + Pad(Pad("SCONTO SBTL", 22) + "   " + mark + "1.50", 40)}},
      {"switched off", {"SALE,N1,P1000;", "DISC,%10;", "CASH;"},
       [](ConvertContext& c) { c.options.chkDisableDisplay = true; }, {"7007" + Pad("CONTANTI", 40)}},
  };
  for (const DisplayCase& c : cases) {
    ConvertContext ctx;
    if (c.setup) c.setup(ctx);
    Converted r = ConvertLines(c.document, ctx);
    EXPECT_EQ(Displays(r), c.displays) << c.name;
    for (const std::string& d : Displays(r)) EXPECT_EQ(d.size(), 44u) << c.name;
  }
}

TEST(Items, DisplayComesBeforeItsItem) {
  Converted r = ConvertLines({"SALE,N3,P250;"});
  ASSERT_EQ(r.lines.size(), 3u);
  EXPECT_EQ(r.lines[0].substr(0, 4), "7007");
  EXPECT_EQ(r.lines[1].substr(0, 5), "31011");
  EXPECT_EQ(r.firstLine, "7007" + std::string(40, ' '));
}

}  // namespace
}  // namespace convert
