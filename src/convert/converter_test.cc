// The converter's frame: entry, output file, per-line order, closing and
// robustness against malformed documents.
#include "convert/converter.h"

#include <random>
#include <string>
#include <vector>

#include "convert/test_document.h"
#include "gtest/gtest.h"
#include "testing/temp_dir.h"

namespace convert {
namespace {

using Lines = std::vector<std::string>;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteFileBytes;

const std::string kClear = "7007" + std::string(40, ' ');

TEST(Converter, OnlyUnknownLinesGiveTheClearedDisplay) {
  Converted r = ConvertLines({"HELLO;", "", "FOO,N1,P2;", "PAGA,V100;"});
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.written);
  EXPECT_EQ(r.firstLine, kClear);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_FALSE(r.conversion.outputPath.empty());
}

TEST(Converter, CardPaymentRequestWritesNothing) {
  EXPECT_EQ(ConvertLines({"PAGA,V1000,P1,S;", "SUBT;"}).lines, Lines{"3003"});
}

TEST(Converter, ItemsWithoutPaymentCloseWith1010) {
  Converted r = ConvertLines({"SALE,N1,P100;"});
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back(), "1010");
  EXPECT_TRUE(r.conversion.outputPath.size() > 0);
}

TEST(Converter, SemicolonIsOptional) {
  EXPECT_EQ(ConvertLines({"SALE,N1,P100", "CASH,V100"}).lines,
            ConvertLines({"SALE,N1,P100;", "CASH,V100;"}).lines);
}

TEST(Converter, CommandFileLinesEndWithCrLf) {
  ScopedTempDir dir;
  WriteFileBytes(dir.File("doc"), "SUBT;\n");
  ConvertContext ctx;
  ctx.dataDir = dir.path();
  std::string path = dir.File("doc");
  ConversionResult conversion = ConvertDocument(path, ctx);
  ASSERT_EQ(conversion.result, 0);
  EXPECT_EQ(conversion.outputPath, dir.File("KB.txt"));
  EXPECT_EQ(ReadFileBytes(dir.File("KB.txt")), kClear + "\r\n3003\r\n");
}

// An earlier job's command file never survives a conversion that writes
// none, whatever the reason.
TEST(Converter, EarlierCommandFileIsAlwaysRemoved) {
  struct Case {
    const char* name;
    const char* document;  // null: missing
    void (*setup)(ConvertContext&);
    int result;
  } cases[] = {
      {"missing document", nullptr, nullptr, 0},
      {"empty document", "", nullptr, 0},
      {"failed OPFS adapter", "OPFS,V100;\r\nSALE,N1,I7,P100;\r\n", nullptr, 0},  // no 7 % rate
      {"XonXoff input missing", nullptr, [](ConvertContext& c) { c.options.chbConvXonXoff = true; }, 1},
      {"reference error", "NDCR,N123,>VR,D010124;\r\n", [](ConvertContext& c) { c.printer.rtMode = true; }, 1},
  };
  for (const Case& c : cases) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("KB.txt"), "3011\r\n");
    ConvertContext ctx;
    ctx.dataDir = dir.path();
    std::string shown;
    ctx.message = [&](const std::string& text) { shown = text; };
    int pauses = 0;
    ctx.pause = [&](int ms) { pauses += ms; };
    if (c.setup) c.setup(ctx);
    std::string path = dir.File("SR_DATI.001");
    if (c.document) WriteFileBytes(path, c.document);
    ConversionResult conversion = ConvertDocument(path, ctx);
    EXPECT_EQ(conversion.result, c.result) << c.name;
    EXPECT_FALSE(FileExists(dir.File("KB.txt"))) << c.name;
    EXPECT_TRUE(conversion.outputPath.empty()) << c.name;
    if (std::string(c.name) == "missing document") {
      EXPECT_EQ(shown, "Il file SR_DATI non esiste");
    }
    if (std::string(c.name) == "failed OPFS adapter") {
      EXPECT_EQ(pauses, 200);
    }
  }
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
  EXPECT_TRUE(r.conversion.cashDue);
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

TEST(Converter, DataFileUsesThePlatformSeparator) {
  ConvertContext ctx;
  ctx.dataDir = "base";
  const std::string f = DataFile(ctx, "KB.txt");
  EXPECT_TRUE(f == "base/KB.txt" || f == "base\\KB.txt") << f;
}

}  // namespace
}  // namespace convert
