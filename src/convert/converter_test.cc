// The converter's frame: entry, command lines and records, per-line order,
// closing and robustness against malformed documents.
#include "convert/converter.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "testing/converted_document.h"
#include "gtest/gtest.h"

namespace convert {
namespace {

using Lines = std::vector<std::string>;

const std::string kClear = "7007" + std::string(40, ' ');

TEST(Converter, OnlyUnknownLinesGiveTheClearedDisplay) {
  Converted r = ConvertLines({"HELLO;", "", "FOO,N1,P2;", "PAGA,V100;"});
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.written);
  EXPECT_EQ(r.firstLine, kClear);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_EQ(r.conversion.commands, Lines{kClear});
}

TEST(Converter, CardPaymentRequestWritesNothing) {
  EXPECT_EQ(ConvertLines({"PAGA,V1000,P1,S;", "SUBT;"}).lines, Lines{"3003"});
}

TEST(Converter, ItemsWithoutPaymentCloseWith1010) {
  Converted r = ConvertLines({"SALE,N1,P100;"});
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back(), "1010");
  EXPECT_EQ(r.conversion.commands.size(), r.lines.size() + 1);
}

TEST(Converter, SemicolonIsOptional) {
  EXPECT_EQ(ConvertLines({"SALE,N1,P100", "CASH,V100"}).lines,
            ConvertLines({"SALE,N1,P100;", "CASH,V100;"}).lines);
}

TEST(Converter, CommandsAreTheLinesOfTheCommandFile) {
  ConversionResult conversion = ConvertDocument({"SUBT;"}, ConvertContext());
  ASSERT_EQ(conversion.result, 0);
  EXPECT_EQ(conversion.commands, (Lines{kClear, "3003"}));
  EXPECT_FALSE(conversion.tempSL);
  EXPECT_FALSE(conversion.opfsCopy);
}

// No command lines whenever no command file may be sent, whatever the
// reason; the records say what the document left behind.
TEST(Converter, NoCommandsWithoutACommandFile) {
  struct Case {
    const char* name;
    bool missing;
    Lines document;
    void (*setup)(ConvertContext&);
    int result;
  } cases[] = {
      {"missing document", true, {}, nullptr, 0},
      {"empty document", false, {}, nullptr, 0},
      {"failed OPFS adapter", false, {"OPFS,V100;", "SALE,N1,I7,P100;"}, nullptr, 0},  // no 7 % rate
      {"XonXoff input missing", true, {}, [](ConvertContext& c) { c.options.chbConvXonXoff = true; }, 1},
      {"XonXoff input empty", false, {}, [](ConvertContext& c) { c.options.chbConvXonXoff = true; }, 1},
      {"XonXoff without a command", false, {"250H"}, [](ConvertContext& c) { c.options.chbConvXonXoff = true; }, 0},
      {"reference error", false, {"NDCR,N123,>VR,D010124;"}, [](ConvertContext& c) { c.printer.rtMode = true; }, 1},
  };
  for (const Case& c : cases) {
    ConvertContext ctx;
    if (c.setup) c.setup(ctx);
    ConversionResult conversion = c.missing ? ConvertMissingDocument(ctx) : ConvertDocument(c.document, ctx);
    const std::string name = c.name;
    EXPECT_EQ(conversion.result, c.result) << name;
    EXPECT_TRUE(conversion.commands.empty()) << name;
    EXPECT_EQ(conversion.messages, name == "missing document" ? Lines{"Il file SR_DATI non esiste"} : Lines{})
        << name;
    // The adapter's lines so far still replace the document.
    EXPECT_EQ(conversion.opfsCopy, name == "failed OPFS adapter") << name;
    if (conversion.opfsCopy) {
      ASSERT_EQ(conversion.rewrittenDocument.size(), 6u);
      EXPECT_EQ(conversion.rewrittenDocument.front(), "OPFS,V100;");
      EXPECT_EQ(conversion.rewrittenDocument.back(), "PRNT,:1    X    1,00");
    }
    EXPECT_EQ(conversion.tempSL.has_value(), name == "XonXoff without a command") << name;
  }
}

// A conversion is a function of its lines: converting the same document
// again (the transmission does on a retry) gives the same commands and
// records, the OPFS invoice included.
TEST(Converter, SameLinesSameResult) {
  ConvertContext opfs;
  opfs.now = {2026, 12, 7, 9, 5, 30};
  opfs.options.chbTrace = true;
  ConvertContext xonxoff;
  xonxoff.options.chbConvXonXoff = true;
  struct Case {
    Lines document;
    const ConvertContext& ctx;
  } cases[] = {
      {{"OPFS,N3,:VERDI;", "SALE,:X,Q2,P150,I22;", "SALE,:Y,P1,I2.2.2;", "CASH;"}, opfs},
      {{"2*150H\"PANE\"1R", "1000H1T"}, xonxoff},
  };
  for (const Case& c : cases) {
    const ConversionResult first = ConvertDocument(c.document, c.ctx);
    const ConversionResult second = ConvertDocument(c.document, c.ctx);
    ASSERT_EQ(first.result, 0);
    EXPECT_GT(first.commands.size(), 3u);
    EXPECT_EQ(second.result, 0);
    EXPECT_EQ(second.commands, first.commands);
    EXPECT_EQ(second.tempSL, first.tempSL);
    EXPECT_EQ(second.opfsCopy, first.opfsCopy);
    EXPECT_EQ(second.rewrittenDocument, first.rewrittenDocument);
    EXPECT_EQ(second.traceLines, first.traceLines);
    EXPECT_EQ(second.facts.paymentSeen, first.facts.paymentSeen);
    EXPECT_EQ(second.facts.invoiceMode, first.facts.invoiceMode);
  }
  // The invoice: its rewritten lines and its one bad rate traced.
  const ConversionResult invoice = ConvertDocument(cases[0].document, opfs);
  EXPECT_TRUE(invoice.opfsCopy);
  EXPECT_EQ(invoice.traceLines, Lines{" --> ConvertFatturaSuScontrino: 13 - Type mismatch"});
  const ConversionResult keys = ConvertDocument(cases[1].document, xonxoff);
  EXPECT_EQ(keys.tempSL, (Lines{"PLUD,C[1],N1,:PANE,Q2,P150;", "CASH,V1000;"}));
}

// The input adapters as the converter runs them. With the XonXoff option
// the key sequence becomes the work file's lines and the converter goes on
// with them.
TEST(Converter, XonXoffThroughTheWorkFile) {
  ConvertContext ctx;
  ctx.options.chbConvXonXoff = true;
  ConversionResult conversion = ConvertDocument({"250H3R", "1000H1T"}, ctx);
  ASSERT_EQ(conversion.result, 0);
  EXPECT_EQ(conversion.tempSL, (Lines{"SALE,N3,P250;", "CASH,V1000;"}));
  EXPECT_NE(std::find(conversion.commands.begin(), conversion.commands.end(), "300408CONTANTI000001000"),
            conversion.commands.end());
  EXPECT_TRUE(conversion.facts.paymentSeen);
  EXPECT_FALSE(conversion.opfsCopy);
}

// An OPFS invoice: the document is kept as a copy and rewritten, and the
// converter prints the rewritten lines as an invoice with the adapter's total.
TEST(Converter, OpfsInvoiceThroughTheAdapter) {
  ConvertContext ctx;
  ConversionResult conversion = ConvertDocument({"OPFS,N3,:VERDI;", "SALE,:X,Q2,P150,I22;", "CASH;"}, ctx);
  ASSERT_EQ(conversion.result, 0);
  EXPECT_TRUE(conversion.opfsCopy);
  ASSERT_GT(conversion.rewrittenDocument.size(), 2u);
  EXPECT_EQ(conversion.rewrittenDocument[0], "OPFS,N3,:VERDI,V0;");
  EXPECT_EQ(conversion.rewrittenDocument[1].substr(0, 7), "PRNT,:F");
  EXPECT_EQ(conversion.rewrittenDocument.back(), "CLFS;");
  const Lines& kb = conversion.commands;
  EXPECT_NE(std::find(kb.begin(), kb.end(), "400121000000300"), kb.end());
  EXPECT_NE(std::find(kb.begin(), kb.end(), "4003F19TOTALE FATTURE EURO000000300"), kb.end());
}

TEST(Converter, OpfsStatedZeroTakesTheRunningTotal) {
  ConvertContext ctx;
  const Lines kb = ConvertDocument({"OPFS,N3,V0;", "SALE,:X,Q2,P150,I22;", "CASH;", "CLFS;"}, ctx).commands;
  auto at = [&](const std::string& line) { return std::find(kb.begin(), kb.end(), line) - kb.begin(); };
  EXPECT_LT(at("400121000000300"), long(kb.size()));
  EXPECT_LT(at("4003130TOT. FATTURA EURO         3,00"), long(kb.size()));
  ASSERT_LT(at("4003F19TOTALE FATTURE EURO000000300") + 1, long(kb.size()));
  EXPECT_EQ(kb[size_t(at("4003F19TOTALE FATTURE EURO000000300") + 1)], "4006");
}

TEST(Converter, OpfsFirstLineIsAnInvoiceOnlyWithFiscalInput) {
  ConvertContext ctx;
  ctx.options.OptNonFiscal = true;
  Converted r = ConvertLines({"OPFS,V100;", "CLFS;"}, ctx);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.lines, (Lines{"400121000000100", "4003F19TOTALE FATTURE EURO000000100", "4006"}));
}

TEST(Converter, DisplayPairTakesUpTheNextLine) {
  Converted r = ConvertLines({"DISP,N1,:BENVENUTO;", "DISP,N2,:CASSA 1;", "SUBT;"});
  EXPECT_EQ(r.lines, (Lines{"7007BENVENUTO           CASSA 1             ", "3003"}));
}

TEST(Converter, CancellationKeepsOnlyCashLines) {
  ConvertContext ctx;
  ctx.printer.rtMode = true;
  ctx.printer.printerSerial = "99MEY012345";
  Converted r = ConvertLines({"DELD,N00120034,>99MEY012345,D010124;", "SALE,N1,P100;", "PRNT,:X;",
                              "CASH,V100;", "TEND,N1,V50;"},
                             ctx);
  ASSERT_EQ(r.result, 0);
  for (const std::string& l : r.lines) {
    EXPECT_NE(l.substr(0, 4), "3101") << l;
    EXPECT_NE(l.substr(0, 4), "3002") << l;
  }
  // The payments keep their place; the amounts are not written on a
  // referenced receipt of an RT printer.
  EXPECT_TRUE(r.conversion.facts.cashDue);
}

TEST(Converter, RefusesWhatNoFrameCouldCarry) {
  ConvertContext rt;
  rt.printer.rtMode = true;
  struct Case {
    const char* name;
    Lines document;
  } cases[] = {
      {"amount of ten digits", {"CASH,V12345678901;"}},
      {"price of a thousand digits", {"SALE,N1,P" + std::string(1000, '9') + ";"}},
      {"quantity line beyond a prefix", {"SALE,N1,Q" + std::string(120, '9') + ",P1;"}},
      {"department of three digits", {"PLUD,N123,P100;"}},
      {"long read target sent to the printer", {"READ,N5,:" + std::string(300, 'a') + ";"}},
  };
  for (const Case& c : cases) {
    Converted r = ConvertLines(c.document);
    EXPECT_EQ(r.result, 1) << c.name;
    EXPECT_FALSE(r.written) << c.name;
  }
  // The voucher count only goes into the extended payment command.
  ConvertContext extended;
  extended.options.chbPagamentiEstesi = true;
  EXPECT_EQ(ConvertLines({"TICK,Q100,V100;"}, extended).result, 1);
  EXPECT_EQ(ConvertLines({"TICK,Q100,V100;"}).result, 0);
  // A long name that the transmission reads itself is no printer command.
  EXPECT_EQ(ConvertLines({"READ,N1,:" + std::string(300, 'a') + ";"}).result, 0);
}

// A control byte in a text of a document, an OPFS invoice or a key sequence
// reaches no command: it is a blank there (a tab in a text field is dropped,
// as it always was). '@' stands for the byte.
TEST(Converter, ControlBytesInTextsBecomeBlanks) {
  struct Case {
    const char* name;
    bool xonxoff;
    Lines document;
    std::string printed;  // in some command, '@' the blank
    bool tabDropped;
  } cases[] = {
      {"item", false, {"PLUD,N1,Q1,P100,:A@970200357@;", "CASH;"}, "A@970200357@", true},
      {"print line", false, {"PRNT,:A@B;"}, "A@B", false},
      {"display", false, {"DISP,N1,:A@B;"}, "A@B", true},
      {"payment", false, {"SALE,N1,P100;", "TEND,N3,:PAY@X,V100;"}, "PAY@X", true},
      {"barcode", false, {"BARC,T1,:12@34;"}, "12@34", true},
      {"opfs invoice", false, {"OPFS,N3,:VERDI;", "SALE,:X@Y,Q2,P150,I22;", "CASH;"}, "X@Y", true},
      {"key sequence", true, {"\"CAFF@E\"1R", "1000H1T"}, "CAFF@E", true},
  };
  for (const Case& c : cases) {
    for (int b = 0; b < 0x20; ++b) {
      const char byte = char(b);
      auto with = [](std::string text, char ch) {
        for (char& t : text)
          if (t == '@') t = ch;
        return text;
      };
      ConvertContext ctx;
      ctx.options.chbConvXonXoff = c.xonxoff;
      ctx.options.chbTrace = true;
      Lines document;
      for (const std::string& line : c.document) document.push_back(with(line, byte));
      ConversionResult r = ConvertDocument(document, ctx);
      ASSERT_EQ(r.result, 0) << c.name << " " << b;
      std::string printed = with(c.printed, ' ');
      if (byte == '\t' && c.tabDropped) printed.erase(std::remove(printed.begin(), printed.end(), ' '), printed.end());
      bool found = false;
      for (const std::string& command : r.commands) {
        for (unsigned char ch : command) ASSERT_GE(ch, 0x20) << c.name << " " << b << ": " << command;
        found = found || command.find(printed) != std::string::npos;
      }
      EXPECT_TRUE(found) << c.name << " " << b;
      EXPECT_EQ(r.controlBytesBlanked > 0, !r.traceLines.empty()) << c.name << " " << b;
      if (byte != '\t') {
        EXPECT_GT(r.controlBytesBlanked, 0u) << c.name << " " << b;
      }
    }
  }
}

// Random documents of known verbs, odd fields and high bytes: every run
// ends with a result, and every written command fits a frame.
TEST(Converter, SurvivesMalformedDocuments) {
  const char* verbs[] = {"SALE", "PLUD", "DISC", "MAGG", "COUP", "ADDI", "COST", "ADDS", "DOST", "MOST",
                         "SUBT", "CASH", "CHEQ", "CARD", "BANC", "CRED", "TEND", "TICK", "OPFS", "CLFS",
                         "LOTT", "RLPR", "PRNT", "EXTL", "CLER", "DISP", "OPEN", "OPNF", "CLNF", "NDCR",
                         "DELD", "DEPO", "PREL", "ZKEY", "XKEY", "FUNC", "QRCO", "BARC", "READ", "xyz"};
  const char* markers[] = {",N", ",Q", ",P", ",V", ",%", ",:", ",H", ",T", ",C", ",D", ",A", ",>", ",R",
                           ",S", ",S1", ",S2", ",S3", ";", ",", ",,", ":"};
  std::mt19937 rng(12345);
  for (int doc = 0; doc < 60; ++doc) {
    Lines lines;
    const int count = 1 + static_cast<int>(rng() % 25);
    for (int i = 0; i < count; ++i) {
      std::string line = verbs[rng() % (sizeof verbs / sizeof *verbs)];
      const int fields = static_cast<int>(rng() % 6);
      for (int f = 0; f < fields; ++f) {
        line += markers[rng() % (sizeof markers / sizeof *markers)];
        const int len = static_cast<int>(rng() % (rng() % 8 == 0 ? 300 : 14));
        for (int k = 0; k < len; ++k) {
          const int kind = static_cast<int>(rng() % 4);
          line += kind == 0 ? static_cast<char>(128 + rng() % 128)
                  : kind == 1 ? static_cast<char>('0' + rng() % 10)
                              : static_cast<char>(32 + rng() % 95);
        }
      }
      lines.push_back(line);
    }
    ConvertContext ctx;
    ctx.printer.rtMode = rng() % 2;
    ctx.options.chbPagamentiEstesi = rng() % 2;
    ctx.options.chkCodFisc = true;
    ctx.printer.taxCodeKind = 2;
    Converted r = ConvertLines(lines, ctx);
    ASSERT_TRUE(r.result == 0 || r.result == 1) << doc;
    for (const std::string& l : r.lines) {
      if (l.compare(0, 5, "READ,") != 0) {
        EXPECT_LE(l.size(), 252u) << doc << ": " << l;
      }
    }
  }
}

TEST(Converter, LargeDocument) {
  Lines lines;
  for (int i = 0; i < 50000; ++i) lines.push_back("SALE,N1,P100;");
  lines.push_back("CASH;");
  Converted r = ConvertLines(lines);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.lines.size(), 2u * 50000 + 2 + 2);
}

TEST(Converter, DataFileUsesTheContextsSeparator) {
  ConvertContext ctx;
  ctx.dataDir = "base";
  EXPECT_EQ(DataFile(ctx, "KB.txt"), "base\\KB.txt");
  ctx.pathSeparator = '/';
  EXPECT_EQ(DataFile(ctx, "KB.txt"), "base/KB.txt");
}

}  // namespace
}  // namespace convert
