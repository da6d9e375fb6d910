// Tests of the text, display, reference, cash movement, report, code and
// read lines, driven line by line in the converter's order.
#include "convert/other_verbs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system.h"

namespace convert {
namespace {

using Lines = std::vector<std::string>;

const std::string kBlankCustomer = "3010105     ";

// Runs already normalised lines through this file's verb groups in the
// converter's order and collects what each line writes.
class OtherVerbsTest : public ::testing::Test {
 protected:
  OtherVerbsTest() {
    ctx.dataDir = "DATA";
    ctx.currentPort = 1;
  }

  Lines Convert(const Lines& doc) {
    Lines out;
    for (size_t i = 0; i < doc.size() && !aborted; ++i) {
      LineState ls;
      LineContext c{doc[i], st, ls, out, ctx, shared};
      c.nextLine = i + 1 < doc.size() ? &doc[i + 1] : nullptr;
      bool ended = ConvertOpen(c) || ConvertReference(c);
      if (!ended) {
        ConvertCashMovementsAndNonFiscal(c);
        ConvertTextLines(c);
        ended = ConvertDisplay(c);
        if (c.consumeNext) ++i;
      }
      if (!ended) {
        ConvertFunctions(c);
        ConvertCodes(c);
        ConvertRead(c);
      }
      aborted = c.abort;
      if (!ls.display.empty()) out.push_back(ls.display);
      if (!ls.command.empty()) out.push_back(ls.command);
    }
    return out;
  }

  ConvertContext ctx;
  ConversionState st;
  ConversionShared shared;
  bool aborted = false;
};

std::string Blanks(size_t n) { return std::string(n, ' '); }

struct TextCase {
  bool invoiceMode;
  bool invoiceTextMode;
  std::string line;
  Lines expected;
};

TEST_F(OtherVerbsTest, TextLines) {
  const TextCase cases[] = {
      {false, false, "PRNT,H1,:GRAZIE;", {"3002406GRAZIE"}},
      {true, false, "PRNT,H1,:GRAZIE;", {"4003406GRAZIE"}},
      {false, false, "PRNT,H2,:X;", {"3002201X"}},
      {false, false, "PRNT,H7,:X;", {"3002101X"}},
      {false, false, "PRNT,:X,H;", {"3002101X"}},
      {false, false, "PRNT,:A;B;", {"3002101A"}},
      {true, true, "PRNT,:A;B;", {"4003103A;B"}},
      {true, true, "PRNT,:VIA ROMA, 1,H1;", {"4003411VIA ROMA, 1"}},
      {true, true, "PRNT,H2;", {"4003200"}},
      {false, false, "PRNT,:\x80\x81\xE8;", {"3002103\x80.."}},
      {false, false, "CLER,C123;", {"3002103123"}},
      {false, false, "CLER;", {}},
      {false, false, "CLNF;", {"4004"}},
      {false, false, "OPEN;", {"70081"}},
  };
  for (const TextCase& t : cases) {
    SCOPED_TRACE(t.line);
    st = ConversionState{};
    st.invoiceMode = t.invoiceMode;
    shared.invoiceTextMode = t.invoiceTextMode;
    EXPECT_EQ(Convert({t.line}), t.expected);
  }
}

TEST_F(OtherVerbsTest, OpenEndsTheLine) {
  // The drawer line is not also read as a report or a code.
  EXPECT_EQ(Convert({"OPEN,:X,T1;"}), Lines{"70081"});
}

struct TrailerCase {
  std::string line;
  Lines trailer;
};

TEST_F(OtherVerbsTest, TrailerLinesAreHeldBack) {
  const TrailerCase cases[] = {
      {"EXTL,:ARRIVEDERCI;", {"3012111ARRIVEDERCI"}},
      {"EXTL,H1,: ;", {"3012401 "}},
      {"EXTL,H2,:;", {"3012201 "}},
      {"EXTL,:" + std::string(40, 'A') + ";", {"3012132" + std::string(32, 'A')}},
      {"EXTL,:" + std::string(33, 'A') + ";", {"3012132" + std::string(32, 'A')}},
      {"EXTL,:" + std::string(32, 'A') + ";", {"3012132" + std::string(32, 'A')}},
      {"EXTL,H1;", {}},
  };
  for (const TrailerCase& t : cases) {
    SCOPED_TRACE(t.line);
    st = ConversionState{};
    EXPECT_EQ(Convert({t.line}), Lines{});
    EXPECT_EQ(st.trailerLines, t.trailer);
  }
  st = ConversionState{};
  st.invoiceMode = true;
  EXPECT_EQ(Convert({"EXTL,:ARRIVEDERCI;"}), Lines{});
  EXPECT_TRUE(st.trailerLines.empty());
}

TEST_F(OtherVerbsTest, NonFiscalDocumentClosesAnOpenReceipt) {
  ctx.options.CheckStampaLogo = true;
  ctx.options.chkCodFisc = true;
  st.itemsSold = true;
  st.pendingTaxCode = "3010F16RSSMRA80A01H501U";
  Lines out = Convert({"EXTL,:CIAO;", "OPNF;", "PRNT,:TESTO;", "CLNF;"});
  EXPECT_EQ(out, (Lines{kBlankCustomer, "3010F16RSSMRA80A01H501U", kBlankCustomer, "3011", "3017011",
                        "3012104CIAO", "70081", "3013", "40011", "4002", "4003105TESTO", "4004"}));
  EXPECT_TRUE(st.invoiceMode);
  EXPECT_TRUE(st.trailerLines.empty());
  EXPECT_TRUE(st.pendingTaxCode.empty());
}

TEST_F(OtherVerbsTest, NonFiscalDocumentAlone) {
  ctx.options.chbNoInviaApCassetto = true;
  EXPECT_EQ(Convert({"OPNF;"}), (Lines{"40011", "4002"}));
  st = ConversionState{};
  st.itemsSold = true;
  EXPECT_EQ(Convert({"OPNF;"}), (Lines{"3011", "3013", "40011", "4002"}));
  // After a report there is no receipt to close.
  st = ConversionState{};
  st.itemsSold = true;
  st.functionDocument = true;
  EXPECT_EQ(Convert({"OPNF;"}), (Lines{"40011", "4002"}));
}

struct CashCase {
  std::string line;
  Lines expected;
};

TEST_F(OtherVerbsTest, CashMovements) {
  const CashCase cases[] = {
      {"DEPO,V1500;", {"7106D000001500"}},
      {"PREL,V250;", {"7106P000000250"}},
      {"DEPO,V12.6;", {"7106D000000013"}},
      {"PREL,V999999999;", {"7106P999999999"}},
      {"DEPO,V0;", {}},
      {"DEPO,V;", {}},
      {"DEPO;", {}},
      {"PREL,V1.2.3;", {}},
      {"DEPO,V1000000000;", {}},
  };
  for (const CashCase& t : cases) {
    SCOPED_TRACE(t.line);
    EXPECT_EQ(Convert({t.line}), t.expected);
  }
}

struct DisplayCase {
  Lines doc;
  Lines expected;
};

TEST_F(OtherVerbsTest, Display) {
  const std::string r1 = "BENVENUTO" + Blanks(11);
  const std::string r2 = "CASSA 1" + Blanks(13);
  const std::string long30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  const DisplayCase cases[] = {
      {{"DISP,N1,:BENVENUTO;", "DISP,N2,:CASSA 1;"}, {"7007" + r1 + r2}},
      // The second row is read as if it stood on its own.
      {{"DISP,N1,:BENVENUTO;", "disp, n02 ,:cassa 1;"}, {"7007" + r1 + r2}},
      {{"DISP,:BENVENUTO;", "DISP,N2;"}, {"7007" + r1 + Blanks(20)}},
      // The next line stays a line of its own unless it is the second row.
      {{"DISP,N1,:BENVENUTO;", "DISP,N1,:CASSA 1;"}, {"7007" + r1 + Blanks(20), "7007" + r2 + Blanks(20)}},
      {{"DISP,N1,:BENVENUTO;", "OPEN;"}, {"7007" + r1 + Blanks(20), "70081"}},
      {{"DISP,N2,:CASSA 1;"}, {"7007" + Blanks(20) + r2}},
      {{"DISP,N0,:CASSA 1;"}, {"7007" + Blanks(20) + r2}},
      {{"DISP,N2,:" + long30 + ";"}, {"7007" + Blanks(20) + long30}},
      {{"DISP,N1,:" + long30 + ";", "DISP,N2,:X;"}, {"7007" + long30 + Blanks(10), "7007" + Blanks(20) + "X" + Blanks(19)}},
      {{"DISP,:" + std::string(50, 'A') + ";"}, {"7007" + std::string(40, 'A')}},
      {{"DISP;"}, {"7007" + Blanks(40)}},
  };
  for (const DisplayCase& t : cases) {
    SCOPED_TRACE(t.doc[0]);
    EXPECT_EQ(Convert(t.doc), t.expected);
  }
}

TEST_F(OtherVerbsTest, DisplayEndsTheLine) {
  // A display text that looks like a barcode line is still only a display.
  EXPECT_EQ(Convert({"DISP,N2,:X,T1;"}), Lines{"7007" + Blanks(20) + "X" + Blanks(19)});
}

struct ReferenceCase {
  bool rtMode;
  std::string line;
  Lines expected;
  bool aborted;
  bool cashOnly;
};

TEST_F(OtherVerbsTest, References) {
  const std::string own = "99MEY012345";
  const std::string other = "99MEY099999";
  const std::string r = "7101R00120034010124";
  const std::string a = "7101A00120034010124";
  const ReferenceCase cases[] = {
      {false, "NDCR,:RESO MERCE;", {"7102600000", "3010P12RESO MERCE  "}, false, false},
      {false, "NDCR,:RESO DI UNA MERCE;", {"7102600000", "3010P12RESO DI UNA "}, false, false},
      {false, "NDCR,N00120034;", {"7102600000", "3010P12" + Blanks(12)}, false, false},
      {true, "NDCR,N00120034,>POS,D010124;", {"7114R03POS010124"}, false, false},
      {true, "NDCR,>ND,D010124;", {"7114R02ND010124"}, false, false},
      {true, "NDCR,N00120034,>VR,D010124;", {"7114R02VR010124"}, false, false},
      {true, "NDCR,N00120034,>ABC,D010124;", {}, false, false},
      {true, "NDCR,N00120034,>" + other + ",D010124;", {r + "011" + other, r + "111" + other}, false, false},
      {true, "NDCR,N00120034,>" + own + ",D010124;", {r + "0", r + "811" + own}, false, false},
      {true, "NDCR,N123,>VR,D010124;", {}, true, false},
      {true, "NDCR,N001200345,>VR,D010124;", {}, true, false},
      {true, "NDCR,N00120034,>VR;", {}, true, false},
      {true, "NDCR,N00120034,>XX,D010124;", {}, true, false},
      {true, "NDCR,N00120034,>ABCD,D010124;", {}, true, false},
      {true, "NDCR,N00120034,D010124;", {}, true, false},
      {true, "NDCR,N0012.034,>" + other + ",D010124;", {}, true, false},
      {true, "NDCR,>" + other + ",D010124;", {}, true, false},
      {false, "DELD,N00120034,>POS,D010124;", {}, true, false},
      {true, "DELD,N00120034,>POS,D010124;", {"7114A03POS010124"}, false, false},
      {true, "DELD,N00120034,>ND,D01/01/24;", {"7114A02ND01/01/24"}, false, false},
      {true, "DELD,N0012 034,>" + other + ",D010124;", {a + "011" + other, a + "111" + other}, false, false},
      {true, "DELD,N00120034,>" + own + ",D010124;", {a + "8", a + "1"}, false, true},
      {true, "DELD,N12AB0034,>" + own + ",D010124;", {}, true, false},
      {true, "DELD,N00120034,>POS;", {}, true, false},
      {true, "DELD,N00120034,>POS,D" + std::string(300, '1') + ";", {}, true, false},
  };
  for (const ReferenceCase& t : cases) {
    SCOPED_TRACE(t.line);
    st = ConversionState{};
    aborted = false;
    ctx.printer.rtMode = t.rtMode;
    ctx.printer.printerSerial = own;
    Lines out = Convert({t.line});
    EXPECT_EQ(aborted, t.aborted);
    if (!t.aborted) {
      EXPECT_EQ(out, t.expected);
      EXPECT_TRUE(st.referencedDocument);
    }
    EXPECT_EQ(st.cashOnly, t.cashOnly);
  }
}

TEST_F(OtherVerbsTest, ReferenceErrorStopsTheDocument) {
  ctx.printer.rtMode = true;
  Convert({"NDCR,N123,>VR,D010124;", "OPEN;"});
  EXPECT_TRUE(aborted);
}

TEST_F(OtherVerbsTest, ReturnReferenceWithoutRtModeWritesThePrinterText) {
  // The line ends at the reference: its ",T" is not a barcode.
  EXPECT_EQ(Convert({"NDCR,:SCONTRINO,T1;"}), (Lines{"7102600000", "3010P12SCONTRINO   "}));
}

struct TaxCodeCase {
  int taxCodeKind;
  Lines expected;
  std::string pending;
};

TEST_F(OtherVerbsTest, PrintedTaxCodeBeforeTheMarkingFunction) {
  const std::string code = "RSSMRA80A01H501U";
  const TaxCodeCase cases[] = {
      {2, {"3002116" + code}, "3010F16" + code},
      {3, {"3002116" + code}, "3010B16" + code},
      {0, {}, ""},
  };
  for (const TaxCodeCase& t : cases) {
    SCOPED_TRACE(t.taxCodeKind);
    st = ConversionState{};
    ctx.options.chkCodFisc = true;
    ctx.printer.taxCodeKind = t.taxCodeKind;
    EXPECT_EQ(Convert({"PRNT,:" + code + ";", "FUNC,N39;"}), t.expected);
    EXPECT_EQ(st.pendingTaxCode, t.pending);
    // The marking line does not make the receipt a report.
    EXPECT_FALSE(st.functionDocument);
  }
  // Without the option the code is a plain text line.
  st = ConversionState{};
  ctx.options.chkCodFisc = false;
  EXPECT_EQ(Convert({"PRNT,:" + code + ";", "FUNC,N39;"}), Lines{"3002116" + code});
  EXPECT_TRUE(st.pendingTaxCode.empty());
}

struct FunctionCase {
  Lines doc;
  Lines expected;
  bool functionDocument;
};

TEST_F(OtherVerbsTest, Reports) {
  auto report = [](const std::string& text, const std::string& code) {
    return Lines{"7007" + text + Blanks(40 - text.size()), code};
  };
  const FunctionCase cases[] = {
      {{"FUNC,N1;"}, report("RAPP. FISCALE : LETTURA", "2003"), true},
      {{"ZKEY;", "FUNC,N1;"}, report("RAPP. FISCALE : AZZERAMENTO", "2002"), true},
      {{"ZKEY;", "XKEY;", "FUNC,N2;"}, report("RAPP. REPARTI : LETTURA", "2103"), true},
      {{"ZKEY;", "FUNC,N2;"}, report("RAPP. REPARTI : AZZERAMENTO", "2102"), true},
      {{"FUNC,N3;"}, report("LETT. FINANZIARIO", "220302"), true},
      {{"ZKEY;", "FUNC,N3;"}, report("RAPP. FINANZIARIO", "220202"), true},
      {{"FUNC,N25;"}, {"3101817ANNULLO SCONTRINO000000000", "3011", "3013"}, true},
      {{"FUNC,N39;"}, {}, false},
      {{"FUNC,N7;"}, {}, true},
      {{"FUNC;"}, {}, true},
  };
  for (const FunctionCase& t : cases) {
    SCOPED_TRACE(t.doc.back());
    st = ConversionState{};
    EXPECT_EQ(Convert(t.doc), t.expected);
    EXPECT_EQ(st.functionDocument, t.functionDocument);
  }
}

TEST_F(OtherVerbsTest, ClosingsLastUntilReadingsAreAskedFor) {
  Lines out = Convert({"ZKEY;", "FUNC,N1;", "FUNC,N2;", "XKEY;", "FUNC,N3;"});
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(out[1], "2002");
  EXPECT_EQ(out[3], "2102");
  EXPECT_EQ(out[5], "220302");
}

struct CodeCase {
  std::string line;
  Lines expected;
};

TEST_F(OtherVerbsTest, Codes) {
  const CodeCase cases[] = {
      {"BARC,T9,:12345;", {"302110000512345"}},
      {"BARC,T2,H1,:12345;", {"302122000512345"}},
      {"BARC,T3,H0,:12345;", {"302130000512345"}},
      {"BARC,T4,H05,:12345;", {"302140000512345"}},
      {"BARC,T0,:1;", {"30211000011"}},
      {"BARC,T,:1;", {"30211000011"}},
      {"BARC,T23,:1;", {"30212000011"}},
      {"BARC,T.5,:1;", {"30211000011"}},
      {"BARC,:12345;", {}},
      {"BARC,T2;", {}},
      {"QRCO,:HTTP://X.IT;", {"3021600011HTTP://X.IT"}},
      {"QRCO,: ;", {}},
      {"QRCO;", {}},
  };
  for (const CodeCase& t : cases) {
    SCOPED_TRACE(t.line);
    EXPECT_EQ(Convert({t.line}), t.expected);
  }
}

struct ReadCase {
  int port;
  std::string line;
  std::string expected;  // "" for no command; "@" stands for the data directory
};

TEST_F(OtherVerbsTest, ReadRequests) {
  const std::string sep(1, platform::PathSeparator());
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
    if (at != std::string::npos) expected.replace(at, 1, "DATA" + sep);
    EXPECT_EQ(Convert({t.line}), Lines{expected});
  }
  st.referencedDocument = true;
  EXPECT_EQ(Convert({"READ,N2,:TOTALI;"}), Lines{});
}

TEST_F(OtherVerbsTest, ReadTargetWithSlashPaths) {
  ctx.currentPort = 2;
  const std::string sep(1, platform::PathSeparator());
  EXPECT_EQ(ReadTarget(ctx, "/var/q/TOT", "\\/"), "/var/q/TOT.002");
  EXPECT_EQ(ReadTarget(ctx, "/var/q/TOT.TXT", "\\/"), "/var/q/TOT.TXT");
  EXPECT_EQ(ReadTarget(ctx, "TOT", "\\/"), "DATA" + sep + "TOT.002");
  // Where only "\" separates, a slash is part of a name.
  EXPECT_EQ(ReadTarget(ctx, "A/B", "\\"), "DATA" + sep + "A/B.002");
}

}  // namespace
}  // namespace convert
