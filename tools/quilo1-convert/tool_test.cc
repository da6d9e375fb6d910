// End-to-end runs of the built quilo1-convert: exit statuses and the exact
// bytes on standard output.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "gtest/gtest.h"
#include "testing/temp_dir.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteFileBytes;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

ToolRun Tool(const ScopedTempDir& dir, const std::string& args) {
  const std::string out = dir.File("stdout"), err = dir.File("stderr");
  const std::string cmd = std::string("'") + QUILO1_CONVERT_TOOL + "' " + args + " >'" + out + "' 2>'" + err + "'";
  int raw = std::system(cmd.c_str());
  ToolRun r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFileBytes(out);
  r.err = ReadFileBytes(err);
  return r;
}

const std::string kClear = "7007" + std::string(40, ' ') + "\r\n";

TEST(ConvertTool, WritesTheCommandFileOfAReceipt) {
  ScopedTempDir dir;
  WriteFileBytes(dir.File("doc"), "SALE,N3,P250;\r\nCASH,V1000;\r\n");
  ToolRun r = Tool(dir, "--option chbNoInviaApCassetto '" + dir.File("doc") + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  // Display rows: description, blanks, code 127, a blank and the amount,
  // 40 characters in all.
  EXPECT_EQ(r.out, kClear +
                       "7007REPARTO 3" + std::string(13 + 12, ' ') + "\x7f 2.50\r\n" +
                       "31011" "03" "22" "REPARTO 3" + std::string(13, ' ') + "000000250\r\n" +
                       "7007CONTANTI" + std::string(12 + 13, ' ') + "\x7f 10.00\r\n" +
                       "300408CONTANTI000001000\r\n"
                       "3011\r\n");
}

TEST(ConvertTool, KeepsTheFileInTheGivenDataDirectory) {
  ScopedTempDir dir;
  WriteFileBytes(dir.File("doc"), "SUBT;\n");
  ToolRun r = Tool(dir, "--data-dir '" + dir.path() + "' '" + dir.File("doc") + "'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kClear + "3003\r\n");
  EXPECT_EQ(ReadFileBytes(dir.File("KB.txt")), r.out);
}

TEST(ConvertTool, ExitStatuses) {
  ScopedTempDir dir;
  WriteFileBytes(dir.File("empty"), "");
  WriteFileBytes(dir.File("bad"), "NDCR,N123,>VR,D010124;\r\n");
  WriteFileBytes(dir.File("doc"), "SUBT;\r\n");
  struct Case {
    std::string args;
    int status;
  } cases[] = {
      {"'" + dir.File("bad") + "' --rt-mode", 1},
      {"'" + dir.File("bad") + "'", 0},
      {"'" + dir.File("missing") + "'", 3},
      {"'" + dir.File("empty") + "'", 3},
      {"", 2},
      {"--port 5 '" + dir.File("doc") + "'", 2},
      {"--option Nonsense '" + dir.File("doc") + "'", 2},
      {"--vat 1,2,3 '" + dir.File("doc") + "'", 2},
      {"--now 2026120712 '" + dir.File("doc") + "'", 2},
      {"'" + dir.File("doc") + "' '" + dir.File("doc") + "'", 2},
  };
  for (const Case& c : cases) {
    ToolRun r = Tool(dir, c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    if (c.status != 0) {
      EXPECT_EQ(r.out, "") << c.args;
    }
  }
}

// Only a regular file of at most 1 MiB is read: a FIFO would block the
// tool, a folder cannot be read and a bigger file is no receipt.
TEST(ConvertTool, RefusesWhatIsNoDocument) {
  ScopedTempDir dir;
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  WriteFileBytes(dir.File("big"), std::string((1 << 20) - 7, ' ') + "\r\nSUBT;\r\n");
  WriteFileBytes(dir.File("limit"), std::string((1 << 20) - 7, ' ') + "\r\nSUBT;");
  struct Case {
    const char* name;
    const char* says;
  } cases[] = {{"fifo", "not a regular file"}, {".", "not a regular file"}, {"big", "larger than 1 MiB"}};
  for (const Case& c : cases) {
    ToolRun r = Tool(dir, "'" + dir.File(c.name) + "'");
    EXPECT_EQ(r.status, 3) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
  }
  ToolRun r = Tool(dir, "'" + dir.File("limit") + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kClear + "3003\r\n");
}

TEST(ConvertTool, MissingDocumentSaysSo) {
  ScopedTempDir dir;
  ToolRun r = Tool(dir, "'" + dir.File("missing") + "'");
  EXPECT_NE(r.err.find("Il file SR_DATI non esiste"), std::string::npos);
}

}  // namespace
