// Tests of the text, display, reference, cash movement, report, code and
// read lines: whole documents through the converter, checked byte for byte
// in the command file it writes.
#include "convert/state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/converter.h"

namespace convert {
namespace {

using Lines = std::vector<std::string>;

std::string Blanks(size_t n) { return std::string(n, ' '); }

const std::string kBlankCustomer = "3010105     ";
const std::string kTaxCode = "RSSMRA80A01H501U";
// A department sale of one euro as the item code writes it (no display).
const std::string kSale = "SALE,N1,P100;";
const std::string kItem = "310110122REPARTO 1" + Blanks(13) + "000000100";

class OtherVerbsTest : public ::testing::Test {
 protected:
  OtherVerbsTest() {
    ctx.dataDir = "C:\\QUILO1";
    ctx.currentPort = 1;
    // OPFS lines are read by the converter itself, not by the invoice adapter.
    ctx.options.OptNonFiscal = true;
    // Item displays would only repeat what the item tests check.
    ctx.options.chkDisableDisplay = true;
    ctx.options.chbNoInviaApCassetto = true;
  }

  // Converts `doc` and returns the command lines after the display
  // clearing that opens every command file; `result` gets the converter's
  // result. A line that would break the file's lines fails.
  Lines Convert(const Lines& doc) {
    conversion = ConvertDocument(doc, ctx);
    result = conversion.result;
    Lines out = conversion.commands;
    for (const std::string& line : out) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    if (out.empty()) return out;
    EXPECT_EQ(out[0], "7007" + Blanks(40));
    out.erase(out.begin());
    return out;
  }

  ConvertContext ctx;
  ConversionResult conversion;
  int16_t result = -1;
};

struct Case {
  Lines doc;
  Lines expected;
};

TEST_F(OtherVerbsTest, TextLines) {
  const Case cases[] = {
      {{"PRNT,H1,:GRAZIE;"}, {"3002406GRAZIE"}},
      {{"PRNT,H2,:X;"}, {"3002201X"}},
      {{"PRNT,H7,:X;"}, {"3002101X"}},
      {{"PRNT,:X,H;"}, {"3002101X"}},
      {{"PRNT,:A;B;"}, {"3002101A"}},
      {{"PRNT,H1;"}, {"3002400"}},
      // Folded by the print line clean-up, then everything above 128 is ".".
      {{"PRNT,:\x80\x81\xE8;"}, {"3002103E.e"}},
      // The comma is part of the verb.
      {{"PRNTX,:A;"}, {"3002101A"}},
      {{"PRNT;"}, {}},
      {{"OPNF;", "PRNT,H1,:GRAZIE;"}, {"40011", "4002", "4003406GRAZIE"}},
      // Invoice texts keep their commas and semicolons up to the attribute.
      {{"OPFS,V1000;", "PRNT,:A;B;"}, {"400121000001000", "4003103A;B"}},
      {{"OPFS,V1000;", "PRNT,:VIA ROMA, 1,H1;"}, {"400121000001000", "4003411VIA ROMA, 1"}},
      {{"OPFS,V1000;", "PRNT,H2;"}, {"400121000001000", "4003200"}},
      {{"CLER,C123;"}, {"3002103123"}},
      {{"CLER;"}, {}},
      {{"CLNF;"}, {"4004"}},
      {{"OPEN;"}, {"70081"}},
      // OPEN ends the line: its ",T" is no barcode.
      {{"OPEN,T1,:X;"}, {"70081"}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.doc.back());
    EXPECT_EQ(Convert(t.doc), t.expected);
    EXPECT_EQ(result, 0);
  }
}

TEST_F(OtherVerbsTest, TrailerLinesFollowThePayment) {
  ctx.options.CheckStampaLogo = true;
  const Lines paid = {"7007CONTANTI" + Blanks(32), "300408CONTANTI000000000", "3011", "3017011"};
  const Case cases[] = {
      {{kSale, "EXTL,:ARRIVEDERCI;", "EXTL,H1,:E GRAZIE;", "CASH;"}, {"3012111ARRIVEDERCI", "3012408E GRAZIE"}},
      {{kSale, "EXTL,H2,:;", "CASH;"}, {"3012201 "}},
      {{kSale, "EXTL,:" + std::string(40, 'A') + ";", "CASH;"}, {"3012130" + std::string(30, 'A')}},
      {{kSale, "EXTL,H1;", "CASH;"}, {}},
      {{kSale, "EXTL;", "CASH;"}, {}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.doc[1]);
    Lines expected = {kItem};
    expected.insert(expected.end(), paid.begin(), paid.end());
    expected.insert(expected.end(), t.expected.begin(), t.expected.end());
    EXPECT_EQ(Convert(t.doc), expected);
  }
}

TEST_F(OtherVerbsTest, NonFiscalDocumentClosesAnOpenReceipt) {
  ctx.options.CheckStampaLogo = true;
  ctx.options.chbNoInviaApCassetto = false;
  ctx.options.chkCodFisc = true;
  ctx.printer.taxCodeKind = 2;
  const Lines doc = {"PRNT,:" + kTaxCode + ";", "FUNC,N39;", kSale, "EXTL,:CIAO;", "OPNF;",
                     "EXTL,:NON STAMPATO;", "PRNT,:TESTO;", "CLNF;"};
  EXPECT_EQ(Convert(doc), (Lines{"3002116" + kTaxCode, kItem, kBlankCustomer, "3010F16" + kTaxCode,
                                 kBlankCustomer, "3011", "3017011", "3012104CIAO", "70081", "3013", "40011",
                                 "4002", "4003105TESTO", "4004"}));
  EXPECT_TRUE(conversion.facts.invoiceMode);
}

TEST_F(OtherVerbsTest, NonFiscalDocumentWithoutReceipt) {
  const Case cases[] = {
      {{"OPNF;", "PRNT,:A;", "CLNF;"}, {"40011", "4002", "4003101A", "4004"}},
      {{kSale, "OPNF;"}, {kItem, "3011", "3013", "40011", "4002"}},
      // After a report there is no receipt to close.
      {{"FUNC,N7;", kSale, "OPNF;"}, {kItem, "40011", "4002"}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.doc[0]);
    EXPECT_EQ(Convert(t.doc), t.expected);
  }
}

TEST_F(OtherVerbsTest, CashMovements) {
  const Case cases[] = {
      {{"DEPO,V1500;"}, {"7106D000001500"}},
      {{"prel,v 250;"}, {"7106P000000250"}},
      {{"DEPO,V12.6;"}, {"7106D000000013"}},
      {{"PREL,V999999999;"}, {"7106P999999999"}},
      {{"DEPO,V0;"}, {}},
      {{"DEPO;"}, {}},
      {{"DEPO,V1000000000;"}, {}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.doc[0]);
    EXPECT_EQ(Convert(t.doc), t.expected);
  }
}

TEST_F(OtherVerbsTest, Display) {
  const std::string r1 = "BENVENUTO" + Blanks(11);
  const std::string r2 = "CASSA 1" + Blanks(13);
  const std::string long30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  const Case cases[] = {
      {{"DISP,N1,:BENVENUTO;", "DISP,N2,:CASSA 1;"}, {"7007" + r1 + r2}},
      // The second row is taken from the next line as it stands: that line
      // is never converted, so it is not cleaned up either.
      {{"DISP,N1,:BENVENUTO;", "disp,n02,:cassa 1;"}, {"7007" + r1 + "cassa 1" + Blanks(13)}},
      {{"DISP,N1,:BENVENUTO;", "DISP,N 2 ,:Citt\xE0 " + std::string(30, 'x') + ";"},
       {"7007" + r1 + "Citt\xE0 " + std::string(14, 'x')}},
      {{"DISP,N1,:BENVENUTO;", "DISP,N2,:CASSA 1,:X;"}, {"7007" + r1 + r2}},
      {{"DISP,:BENVENUTO;", "DISP,N2;"}, {"7007" + r1 + Blanks(20)}},
      {{"DISP,N1,:BENVENUTO;", "DISP,N1,:CASSA 1;"}, {"7007" + r1 + Blanks(20), "7007" + r2 + Blanks(20)}},
      {{"DISP,N1,:BENVENUTO;", "OPEN;"}, {"7007" + r1 + Blanks(20), "70081"}},
      {{"DISP,N2,:CASSA 1;"}, {"7007" + Blanks(20) + r2}},
      {{"DISP,N0,:CASSA 1;"}, {"7007" + Blanks(20) + r2}},
      {{"DISP,N2,:" + long30 + ";"}, {"7007" + Blanks(20) + long30}},
      {{"DISP,N1,:" + long30 + ";", "DISP,N2,:X;"},
       {"7007" + long30 + Blanks(10), "7007" + Blanks(20) + "X" + Blanks(19)}},
      {{"DISP,:" + std::string(50, 'A') + ";"}, {"7007" + std::string(40, 'A')}},
      {{"DISP;"}, {"7007" + Blanks(40)}},
      // DISP ends the line: its ",T" is no barcode.
      {{"DISP,N2,:X,T1;"}, {"7007" + Blanks(20) + "X" + Blanks(19)}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.doc[0]);
    EXPECT_EQ(Convert(t.doc), t.expected);
  }
}

struct ReferenceCase {
  bool rtMode;
  std::string line;
  Lines expected;  // ignored when `refused`; "@" is the data directory
  bool refused;
};

TEST_F(OtherVerbsTest, References) {
  const std::string own = "99MEY012345";
  const std::string other = "99MEY099999";
  const std::string r = "7101R00120034010124";
  const std::string a = "7101A00120034010124";
  const ReferenceCase cases[] = {
      {false, "NDCR,:Reso merce;", {"7102600000", "3010P12RESO MERCE  "}, false},
      {false, "NDCR,:RESO DI UNA MERCE;", {"7102600000", "3010P12RESO DI UNA "}, false},
      {false, "NDCR,N00120034;", {"7102600000", "3010P12" + Blanks(12)}, false},
      // Ends the line: the text's ",T" is no barcode.
      {false, "NDCR,:SCONTRINO,T1;", {"7102600000", "3010P12SCONTRINO   "}, false},
      // Without its comma the verb is no reference: the read request stays.
      {false, "NDCR;", {"READ,2,@TOTALI.001"}, false},
      {true, "NDCR,N00120034,>POS,D010124;", {"7114R03POS010124"}, false},
      {true, "NDCR,>nd,D01/01/24;", {"7114R02ND010124"}, false},
      {true, "NDCR,N00120034,>VR,D010124;", {"7114R02VR010124"}, false},
      {true, "NDCR,N00120034,>ABC,D010124;", {}, false},
      {true, "NDCR,N00120034,>" + other + ",D010124;", {r + "011" + other, r + "111" + other}, false},
      {true, "NDCR,N00120034,>" + own + ",D010124;", {r + "0", r + "811" + own}, false},
      {true, "NDCR,N123,>VR,D010124;", {}, true},
      {true, "NDCR,N001200345,>VR,D010124;", {}, true},
      {true, "NDCR,N00120034,>VR;", {}, true},
      {true, "NDCR,N00120034,>XX,D010124;", {}, true},
      {true, "NDCR,N00120034,>ABCD,D010124;", {}, true},
      {true, "NDCR,N00120034,D010124;", {}, true},
      {true, "NDCR,N0012.034,>" + other + ",D010124;", {}, true},
      {true, "NDCR,>" + other + ",D010124;", {}, true},
      {false, "DELD,N00120034,>POS,D010124;", {}, true},
      {true, "DELD,N00120034,>POS,D010124;", {"7114A03POS010124"}, false},
      {true, "DELD,N00120034,>ND,D01/01/24;", {"7114A02ND01/01/24"}, false},
      {true, "DELD,N0012 034,>" + other + ",D010124;", {a + "011" + other, a + "111" + other}, false},
      {true, "DELD,N00120034,>" + own + ",D010124;", {a + "8", a + "1"}, false},
      {true, "DELD,N12AB0034,>" + own + ",D010124;", {}, true},
      {true, "DELD,N00120034,>POS;", {}, true},
      {true, "DELD,N00120034,>POS,D" + std::string(300, '1') + ";", {}, true},
  };
  for (const ReferenceCase& t : cases) {
    SCOPED_TRACE(t.line);
    ctx.printer.rtMode = t.rtMode;
    ctx.printer.printerSerial = own;
    // A read request names the referenced receipt's data: it is dropped.
    Lines out = Convert({t.line, "READ,N2,:TOTALI;"});
    if (t.refused) {
      EXPECT_EQ(result, 1);
      EXPECT_TRUE(conversion.commands.empty());
    } else {
      EXPECT_EQ(result, 0);
      Lines expected = t.expected;
      for (std::string& e : expected)
        if (e.find('@') != std::string::npos) e.replace(e.find('@'), 1, ctx.dataDir + ctx.pathSeparator);
      EXPECT_EQ(out, expected);
    }
  }
}

TEST_F(OtherVerbsTest, CancellationOfOwnReceiptTakesOnlyCash) {
  ctx.printer.rtMode = true;
  ctx.printer.printerSerial = "99MEY012345";
  const std::string a = "7101A00120034010124";
  EXPECT_EQ(Convert({"DELD,N00120034,>99MEY012345,D010124;", "PRNT,:NON STAMPATO;", "OPEN;", "CASH;"}),
            (Lines{a + "8", a + "1", "7007CONTANTI" + Blanks(32)}));
  // Another printer's receipt leaves the rest of the document alone.
  EXPECT_EQ(Convert({"DELD,N00120034,>99MEY099999,D010124;", "OPEN;"}),
            (Lines{a + "01199MEY099999", a + "11199MEY099999", "70081"}));
}

struct TaxCodeCase {
  int taxCodeKind;
  Lines expected;
};

TEST_F(OtherVerbsTest, PrintedTaxCodeBeforeTheMarkingFunction) {
  ctx.options.chkCodFisc = true;
  const Lines doc = {"PRNT,:" + kTaxCode + ";", "FUNC,N39;", kSale};
  const Case cases[] = {
      {doc, {"3002116" + kTaxCode, kItem, "1010", kBlankCustomer, "3010F16" + kTaxCode, "700111"}},
      {doc, {"3002116" + kTaxCode, kItem, "1010", kBlankCustomer, "3010B16" + kTaxCode, "700111"}},
      // A printer that takes no tax code: the text is not printed at all.
      {doc, {kItem, "1010"}},
  };
  const int kinds[] = {2, 3, 0};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(kinds[i]);
    ctx.printer.taxCodeKind = kinds[i];
    // The marking line does not make the receipt a report: it is closed.
    EXPECT_EQ(Convert(cases[i].doc), cases[i].expected);
  }
  ctx.options.chkCodFisc = false;
  EXPECT_EQ(Convert(doc), (Lines{"3002116" + kTaxCode, kItem, "1010"}));
}

TEST_F(OtherVerbsTest, Reports) {
  auto report = [](const std::string& text, const std::string& code) {
    return Lines{"7007" + text + Blanks(40 - text.size()), code};
  };
  const Case cases[] = {
      {{"FUNC,N1;"}, report("RAPP. FISCALE : LETTURA", "2003")},
      {{"ZKEY;", "FUNC,N1;"}, report("RAPP. FISCALE : AZZERAMENTO", "2002")},
      {{"ZKEY;", "XKEY;", "FUNC,N2;"}, report("RAPP. REPARTI : LETTURA", "2103")},
      {{"ZKEY;", "FUNC,N02;"}, report("RAPP. REPARTI : AZZERAMENTO", "2102")},
      {{"FUNC,N3;"}, report("LETT. FINANZIARIO", "220302")},
      {{"zkey;", "func,n3;"}, report("RAPP. FINANZIARIO", "220202")},
      {{"FUNC,N25;"}, {"3101817ANNULLO SCONTRINO000000000", "3011", "3013"}},
      {{"FUNC,N7;"}, {}},
      {{"FUNC;"}, {}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.doc.back());
    EXPECT_EQ(Convert(t.doc), t.expected);
    EXPECT_TRUE(conversion.facts.functionDocument);
  }
  // Closings last until readings are asked for again.
  Lines out = Convert({"ZKEY;", "FUNC,N1;", "FUNC,N2;", "XKEY;", "FUNC,N3;"});
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(out[1], "2002");
  EXPECT_EQ(out[3], "2102");
  EXPECT_EQ(out[5], "220302");
  // A report document gets no receipt closing after its items.
  EXPECT_EQ(Convert({kSale, "CASH;", "FUNC,N1;"}),
            (Lines{kItem, "7007CONTANTI" + Blanks(32), "300408CONTANTI000000000",
                   "7007RAPP. FISCALE : LETTURA" + Blanks(17), "2003"}));
  EXPECT_EQ(Convert({"FUNC,N39;"}), Lines{});
  EXPECT_FALSE(conversion.facts.functionDocument);
}

TEST_F(OtherVerbsTest, Codes) {
  const Case cases[] = {
      {{"BARC,T9,:12345;"}, {"302110000512345"}},
      {{"BARC,T2,H1,:12345;"}, {"302122000512345"}},
      {{"BARC,T3,H0,:12345;"}, {"302130000512345"}},
      {{"BARC,T4,H05,:12345;"}, {"302140000512345"}},
      {{"BARC,T0,:1;"}, {"30211000011"}},
      {{"BARC,T,:1;"}, {"30211000011"}},
      {{"BARC,T23,:1;"}, {"30212000011"}},
      {{"BARC,T.5,:1;"}, {"30211000011"}},
      {{"barc,t2,:abc;"}, {"3021200003ABC"}},
      {{"BARC,:12345;"}, {}},
      {{"BARC,T2;"}, {}},
      {{"QRCO,:http://x.it/a;"}, {"3021600013HTTP://X.IT/A"}},
      {{"QRCO,: ;"}, {}},
      {{"QRCO;"}, {}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.doc[0]);
    EXPECT_EQ(Convert(t.doc), t.expected);
  }
}

struct ReadCase {
  int port;
  std::string line;
  std::string expected;  // "@" stands for the data directory and separator
};

TEST_F(OtherVerbsTest, ReadRequests) {
  const std::string dataDir = ctx.dataDir + ctx.pathSeparator;
  const ReadCase cases[] = {
      {3, "READ,N2,:TOTALI;", "READ,2,@TOTALI.003"},
      {1, "READ;", "READ,1,@DataReceived.txt"},
      {1, "READ,N1,: ;", "READ,1,@DataReceived.txt"},
      {2, "READ,N02,:giorno.txt;", "READ,2,@giorno.txt"},
      {1, "READ,NX,:A;", "READ,1,@A.001"},
      {1, "read,n1.5,:A;", "READ,1,@A.001"},
      {4, "READ,N2,:C:\\DATI\\TOT;", "READ,2,C:\\DATI\\TOT.004"},
      {4, "READ,N2,:C:\\DATI\\TOT.TXT;", "READ,2,C:\\DATI\\TOT.TXT"},
      {1, "READ,N2,:\"C:\\MIEI DATI\\TOT\";", "READ,2,C:\\MIEI DATI\\TOT.001"},
      {1, "READ,N2,:\"TOT.TXT\";", "READ,2,@TOT.TXT"},
  };
  for (const ReadCase& t : cases) {
    SCOPED_TRACE(t.line);
    ctx.currentPort = t.port;
    std::string expected = t.expected;
    size_t at = expected.find('@');
    if (at != std::string::npos) expected.replace(at, 1, dataDir);
    EXPECT_EQ(Convert({t.line}), Lines{expected});
  }
}

TEST_F(OtherVerbsTest, ReadTargetWithSlashPaths) {
  ctx.dataDir = "DATA";
  ctx.currentPort = 2;
  ctx.pathSeparator = '/';
  EXPECT_EQ(Convert({"READ,:/var/q/TOT;"}), Lines{"READ,1,/var/q/TOT.002"});
  EXPECT_EQ(Convert({"READ,:/var/q/TOT.TXT;"}), Lines{"READ,1,/var/q/TOT.TXT"});
  EXPECT_EQ(Convert({"READ,:TOT;"}), Lines{"READ,1,DATA/TOT.002"});
  // Where only "\" separates, a slash is part of a name.
  ctx.pathSeparator = '\\';
  EXPECT_EQ(Convert({"READ,:A/B;"}), Lines{"READ,1,DATA\\A/B.002"});
}

// What the line clean-up before the verbs never lets through.
TEST(OtherVerbsLine, OverlongTexts) {
  ConvertContext ctx;
  ConversionState st;
  LineState ls;
  Lines out;
  const std::string extl = "EXTL,:" + std::string(33, 'A') + ";";
  LineContext c{extl, st, ls, out, ctx};
  ConvertTextLines(c);
  EXPECT_EQ(st.trailerLines, Lines{"3012132" + std::string(32, 'A')});
  // A text behind a two-digit length would need three.
  const std::string cler = "CLER,C" + std::string(100, '1') + ";";
  LineContext d{cler, st, ls, out, ctx};
  ConvertTextLines(d);
  EXPECT_TRUE(d.abort);
  EXPECT_TRUE(ls.command.empty());
}

}  // namespace
}  // namespace convert
