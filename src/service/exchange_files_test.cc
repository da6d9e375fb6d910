// Exchange files: names, contents, the retry rules and LOGFILE.TXT, on the
// in-memory file system.
#include "service/exchange_files.h"

#include <gtest/gtest.h>

#include "testing/fake_clock.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_file_system.h"

namespace service {
namespace {

class ExchangeFilesTest : public ::testing::Test, public ExchangeFiles::Owner {
 protected:
  ExchangeFilesTest() : files(loop, fs, clock, *this) {
    fs.AddDirectory(kDir);
    files.SetDataDir(kDir);
    files.currentPort = 1;
  }
  std::string LastErrorCode() override { return code; }
  void FatalFileError() override {
    ++saves;
    ++ends;
  }
  void Log(const std::string&) override {}
  std::string P(const char* name) { return files.PathOf(name); }
  bool FileExists(const std::string& path) { return fs.HasFile(path); }
  std::string ReadFileBytes(const std::string& path) { return fs.Contents(path); }
  void WriteFileBytes(const std::string& path, const std::string& bytes) { fs.AddFile(path, bytes); }

  const std::string kDir = "/data";
  testing_support::FakeEventLoop loop;
  testing_support::FakeClock clock{&loop};
  testing_support::FakeFileSystem fs;
  ExchangeFiles files;
  std::string code;
  int saves = 0, ends = 0;
};

TEST_F(ExchangeFilesTest, NamesCarryThePortAsThreeDigits) {
  EXPECT_EQ(ExchangeFileName(kStart, 1), "SR_START.001");
  EXPECT_EQ(ExchangeFileName(kFinesco, 4), "FINESCO.004");
  EXPECT_EQ(ExchangeFileName(kMatr, 3), "SR_MATR.003");
}

TEST_F(ExchangeFilesTest, StartFileEndsWithFinescoWhenNoErrorFile) {
  WriteFileBytes(P("SR_START.001"), "");
  files.SubKillStartFile();
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_EQ(ReadFileBytes(P("FINESCO.001")), "finesco");
}

TEST_F(ExchangeFilesTest, NoFinescoBesideAnErrorFile) {
  WriteFileBytes(P("SR_START.001"), "");
  WriteFileBytes(P("SR_ERR.001"), "x\r\n");
  files.SubKillStartFile();
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_FALSE(FileExists(P("FINESCO.001")));
}

TEST_F(ExchangeFilesTest, NoStartFileMeansNoFinesco) {
  files.SubKillStartFile();
  EXPECT_FALSE(FileExists(P("FINESCO.001")));
}

TEST_F(ExchangeFilesTest, ErrorFileCarriesTheLinkErrorCode) {
  struct Case {
    std::string code, expected;
  } cases[] = {
      {"", "E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr\r\n"},
      {"09", "E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr : ERRORE 09\r\n"},
  };
  for (const auto& c : cases) {
    code = c.code;
    files.WriteErrFile("E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr", 2);
    EXPECT_EQ(ReadFileBytes(P("SR_ERR.002")), c.expected);
  }
  files.WriteErrFile("x", 5);
  EXPECT_FALSE(FileExists(P("SR_ERR.005")));
}

TEST_F(ExchangeFilesTest, ErrorFileOnALongPath) {
  std::string deep = kDir;
  for (int i = 0; i < 6; ++i) {
    deep += "/" + std::string(30, char('a' + i));
    fs.MakeDirectory(deep);
  }
  files.SetDataDir(deep);
  ASSERT_GT(files.PathOf(kErr, 1).size(), 128u);
  files.WriteErrFile("E502: Nessuna porta di comunicazione disponibile", 1);
  EXPECT_EQ(ReadFileBytes(files.PathOf(kErr, 1)), "E502: Nessuna porta di comunicazione disponibile\r\n");
}

TEST_F(ExchangeFilesTest, DeletionRetriesThroughTheLoop) {
  WriteFileBytes(P("SR_OUT.001"), "x");
  fs.FailNext("remove", P("SR_OUT.001"), 3);
  int64_t start = loop.NowMs();
  files.SubKillFileOut();
  EXPECT_FALSE(FileExists(P("SR_OUT.001")));
  EXPECT_EQ(loop.NowMs() - start, 3 * 500);
  EXPECT_FALSE(FileExists(P("LOGFILE.TXT")));
}

TEST_F(ExchangeFilesTest, ErrorAndOutputFilesStayWithALogLineAfterTwentyFailures) {
  WriteFileBytes(P("SR_ERR.001"), "x");
  WriteFileBytes(P("SR_OUT.001"), "x");
  fs.FailNext("remove", P("SR_ERR.001"), 1000);
  fs.FailNext("remove", P("SR_OUT.001"), 1000);
  int64_t start = loop.NowMs();
  files.SubKillErrFile();
  EXPECT_EQ(loop.NowMs() - start, 19 * 500);
  EXPECT_EQ(fs.Count("remove", P("SR_ERR.001")), 20);
  files.SubKillFileOut();
  EXPECT_TRUE(FileExists(P("SR_ERR.001")));
  std::string log = ReadFileBytes(P("LOGFILE.TXT"));
  EXPECT_NE(log.find(" Errore nella Kill di SR_ERR\r\n"), std::string::npos);
  EXPECT_NE(log.find(" Errore nella Kill di SR_OUT\r\n"), std::string::npos);
  EXPECT_EQ(ends, 0);
}

TEST_F(ExchangeFilesTest, StartAndDataFilesThatStayEndTheProgram) {
  WriteFileBytes(P("SR_DATI.001"), "x");
  fs.FailNext("remove", P("SR_DATI.001"), 1000);
  fs.FailNext("remove", P("SR_START.001"), 1000);
  files.SubKillDatiFile();
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(ends, 1);
  WriteFileBytes(P("SR_START.001"), "");
  files.SubKillStartFile();
  EXPECT_EQ(ends, 2);
  EXPECT_FALSE(FileExists(P("FINESCO.001")));
}

TEST_F(ExchangeFilesTest, FinescoWriteFailuresShareTheCounterWithTheDeletion) {
  WriteFileBytes(P("SR_START.001"), "");
  fs.FailNext("remove", P("SR_START.001"), 10);
  fs.FailNext("write", P("FINESCO.001"), 9);
  files.SubKillStartFile();
  EXPECT_EQ(ends, 0);
  EXPECT_EQ(ReadFileBytes(P("FINESCO.001")), "finesco");

  WriteFileBytes(P("SR_START.001"), "");
  fs.FailNext("remove", P("SR_START.001"), 10);
  fs.FailNext("write", P("FINESCO.001"), 10);
  files.SubKillStartFile();
  EXPECT_EQ(ends, 1);
}

TEST_F(ExchangeFilesTest, MatrFileOfAnRtPrinter) {
  ecr::PrinterIdentity printer;
  //                                1234567890123456789012345678
  ecr::ReadIdentification("X99MEY012345ABCDEFGHIJKLM1XY", &printer);
  printer.firmwareVersion = "05.01.02";
  files.WriteMatrFile(printer);
  EXPECT_EQ(printer.serialField, "99MEY012345");
  EXPECT_EQ(printer.printerSerial, "99MEY012345");
  EXPECT_TRUE(printer.rtMode);
  std::string text = ReadFileBytes(P("SR_MATR.001"));
  EXPECT_EQ(text.substr(0, text.find("Versione: ")),
            "99MEY012345\r\nStatus: RT\r\nDriverType: Custom\r\n");
  EXPECT_EQ(text.substr(text.size() - 14), "FW: 05.01.02\r\n");
}

TEST_F(ExchangeFilesTest, MatrFileOfAnMfPrinter) {
  ecr::PrinterIdentity printer;
  ecr::ReadIdentification("CU100001", &printer);
  files.WriteMatrFile(printer);
  EXPECT_EQ(printer.serialField, "CU100001");
  std::string text = ReadFileBytes(P("SR_MATR.001"));
  EXPECT_EQ(text.substr(0, 14), "CU100001\r\nMF\r\n");
  EXPECT_EQ(text.substr(text.size() - 6), "FW: \r\n");
  EXPECT_FALSE(printer.rtMode);

  // Character 26 "0": an MF answer; an "M" in character 4 takes the serial
  // from characters 15 to 22.
  ecr::ReadIdentification("X99MEY012345ABSERIAL99XXX0", &printer);
  files.WriteMatrFile(printer);
  EXPECT_EQ(printer.printerSerial, "SERIAL99");
  EXPECT_EQ(ReadFileBytes(P("SR_MATR.001")).substr(0, 25), "99MEY012345\r\nStatus: MF\r\n");
  EXPECT_FALSE(printer.rtMode);
}

}  // namespace
}  // namespace service
