// The POSIX file layer on a real folder: links, FIFOs and folders are never
// followed, read or written through, a replace is atomic and keeps the
// file's mode, and below a base no folder on the way may be a link.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "testing/temp_dir.h"

namespace platform {
extern bool gBeneathWalkOnly;
}

namespace {

using platform::FileKind;
using platform::ReadStatus;
using testing_support::ReadFileBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteFileBytes;

TEST(FileSystemPosixTest, RefusesEverythingButRegularFiles) {
  ScopedTempDir dir;
  auto fs = platform::FileSystem::CreateReal();
  WriteFileBytes(dir.File("doc"), "a\r\nb\xE8");
  WriteFileBytes(dir.File("big"), "123456");
  ASSERT_EQ(0, symlink(dir.File("doc").c_str(), dir.File("link").c_str()));
  ASSERT_EQ(0, symlink(dir.File("nowhere").c_str(), dir.File("dangling").c_str()));
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
  ASSERT_TRUE(fs->MakeDirectory(dir.File("folder")));

  struct Case {
    const char* name;
    FileKind kind;
    ReadStatus read;
  } cases[] = {
      {"doc", FileKind::kRegular, ReadStatus::kOk},        {"big", FileKind::kRegular, ReadStatus::kTooLarge},
      {"link", FileKind::kOther, ReadStatus::kNotRegular}, {"dangling", FileKind::kOther, ReadStatus::kNotRegular},
      {"fifo", FileKind::kOther, ReadStatus::kNotRegular}, {"folder", FileKind::kDirectory, ReadStatus::kNotRegular},
      {"missing", FileKind::kMissing, ReadStatus::kMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(c.name), bytes, error;
    EXPECT_EQ(c.kind, fs->Kind(path));
    EXPECT_EQ(c.read, fs->ReadFile(path, 5, &bytes, &error));
    if (c.read == ReadStatus::kOk) {
      EXPECT_EQ("a\r\nb\xE8", bytes);
    }
    if (c.kind == FileKind::kOther) {
      // Not written through, and the name is kept as it was.
      EXPECT_FALSE(fs->WriteFile(path, "x", &error));
      EXPECT_FALSE(fs->AppendFile(path, "x", false, &error));
      EXPECT_EQ(FileKind::kOther, fs->Kind(path));
    }
    if (c.kind != FileKind::kMissing) {
      EXPECT_FALSE(fs->CreateFile(path, "x", &error));
    }
  }
  EXPECT_EQ("a\r\nb\xE8", ReadFileBytes(dir.File("doc")));
  EXPECT_FALSE(fs->MakeDirectory(dir.File("link")));

  std::vector<std::string> names;
  ASSERT_TRUE(fs->ListDirectory(dir.path(), &names));
  EXPECT_EQ((std::vector<std::string>{"big", "dangling", "doc", "fifo", "folder", "link"}), names);

  // A link goes, its target stays.
  EXPECT_TRUE(fs->RemoveFile(dir.File("link")));
  EXPECT_TRUE(fs->RemoveFile(dir.File("link")));
  EXPECT_EQ(FileKind::kMissing, fs->Kind(dir.File("link")));
  EXPECT_EQ(FileKind::kRegular, fs->Kind(dir.File("doc")));
  EXPECT_FALSE(fs->RemoveFile(dir.File("folder")));
}

TEST(FileSystemPosixTest, ReplacesAtomicallyCreatesOnceAndAppends) {
  ScopedTempDir dir;
  auto fs = platform::FileSystem::CreateReal();
  std::string doc = dir.File("doc"), error;
  ASSERT_TRUE(fs->CreateFile(doc, "old", &error));
  EXPECT_FALSE(fs->CreateFile(doc, "again", &error));
  EXPECT_FALSE(error.empty());
  // A second name for the old file: a rename leaves it alone, a rewrite in
  // place would change it.
  ASSERT_EQ(0, link(doc.c_str(), dir.File("old").c_str()));
  ASSERT_TRUE(fs->WriteFile(doc, "new", &error));
  EXPECT_EQ("new", ReadFileBytes(doc));
  EXPECT_EQ("old", ReadFileBytes(dir.File("old")));
  ASSERT_TRUE(fs->AppendFile(doc, "+1", true, &error));
  ASSERT_TRUE(fs->AppendFile(dir.File("log"), "L", false, &error));
  EXPECT_EQ("new+1", ReadFileBytes(doc));
  EXPECT_EQ("L", ReadFileBytes(dir.File("log")));
  std::vector<std::string> names;
  ASSERT_TRUE(fs->ListDirectory(dir.path(), &names));
  EXPECT_EQ((std::vector<std::string>{"doc", "log", "old"}), names);  // no temporary left behind
  EXPECT_FALSE(fs->WriteFile(dir.File("no") + "/x", "x", &error));
}

// The data directory with a host's links to the program folder in it:
// every call below the base that passes a link or ".." is refused and
// leaves the program folder as it was; a real subfolder is served. Both
// ways: openat2, and the walk of kernels without it.
TEST(FileSystemPosixTest, BelowABaseNeverThroughALink) {
  for (bool walk : {false, true}) {
    SCOPED_TRACE(walk ? "walk" : "openat2");
    platform::gBeneathWalkOnly = walk;
    ScopedTempDir data, program;
    auto fs = platform::FileSystem::CreateReal();
    WriteFileBytes(program.File("QLTOKEN.TXT"), "token");
    ASSERT_TRUE(fs->MakeDirectory(program.File("inner")));
    WriteFileBytes(program.File("inner/QLTOKEN.TXT"), "token");
    ASSERT_TRUE(fs->MakeDirectory(data.File("sub")));
    ASSERT_EQ(0, symlink(program.path().c_str(), data.File("cfg").c_str()));
    ASSERT_EQ(0, symlink(program.path().c_str(), data.File("sub/up").c_str()));
    ASSERT_EQ(0, symlink(program.File("QLTOKEN.TXT").c_str(), data.File("sub/token").c_str()));
    const struct {
      const char* name;
      bool served;
    } cases[] = {
        {"t.txt", true},
        {"sub/t.txt", true},
        {"./sub//u.txt", true},
        {"cfg/QLTOKEN.TXT", false},        // a linked folder
        {"cfg/inner/QLTOKEN.TXT", false},  // a linked parent of a real folder
        {"sub/up/QLTOKEN.TXT", false},     // a link deeper down
        {"sub/token", false},              // a link at the last part
        {"cfg/../QLTOKEN.TXT", false},     // ".." after a link
        {"sub/../t.txt", false},
        {"..", false},
        {"", false},
        {"/etc/QLTOKEN.TXT", false},
        {"missing/t.txt", false},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      std::string error, bytes;
      EXPECT_EQ(c.served, fs->WriteBeneath(data.path(), c.name, "new", &error)) << error;
      EXPECT_EQ(c.served, fs->AppendBeneath(data.path(), c.name, "+", &error)) << error;
      if (c.served) {
        EXPECT_EQ(ReadStatus::kOk, fs->ReadFile(data.File(c.name), 100, &bytes, &error));
        EXPECT_EQ("new+", bytes);
        EXPECT_TRUE(fs->RemoveBeneath(data.path(), c.name));
      } else {
        EXPECT_FALSE(error.empty());
        // A link at the last part is removed itself, as RemoveFile does.
        EXPECT_EQ(c.name == std::string("sub/token"), fs->RemoveBeneath(data.path(), c.name));
      }
    }
    EXPECT_EQ("token", ReadFileBytes(program.File("QLTOKEN.TXT")));
    EXPECT_EQ("token", ReadFileBytes(program.File("inner/QLTOKEN.TXT")));
    std::vector<std::string> names;
    ASSERT_TRUE(fs->ListDirectory(program.path(), &names));
    EXPECT_EQ((std::vector<std::string>{"QLTOKEN.TXT", "inner"}), names);
    ASSERT_TRUE(fs->ListDirectory(data.File("sub"), &names));
    EXPECT_EQ((std::vector<std::string>{"up"}), names);  // the link stays, nothing was left
  }
  platform::gBeneathWalkOnly = false;
}

// Under the service's umask a replaced file keeps its bits and a new one
// gets the mode asked for, exactly.
TEST(FileSystemPosixTest, ModesWhateverTheUmask) {
  ScopedTempDir dir;
  auto fs = platform::FileSystem::CreateReal();
  const mode_t old = umask(0007);
  auto mode = [](const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 01000u;
  };
  std::string error;
  WriteFileBytes(dir.File("settings"), "1000");
  ASSERT_EQ(0, chmod(dir.File("settings").c_str(), 0644));
  EXPECT_TRUE(fs->WriteFile(dir.File("settings"), "0000", &error));
  EXPECT_TRUE(fs->WriteFileMode(dir.File("new"), "1", 0644, &error));
  EXPECT_TRUE(fs->WriteFile(dir.File("plain"), "1", &error));
  EXPECT_TRUE(fs->AppendFileMode(dir.File("journal"), "1", true, 0600, &error));
  EXPECT_TRUE(fs->AppendFileMode(dir.File("settings"), "+", false, 0644, &error));
  // Left group-writable by an older version: narrowed to what is asked.
  WriteFileBytes(dir.File("wide"), "1000");
  ASSERT_EQ(0, chmod(dir.File("wide").c_str(), 0660));
  EXPECT_TRUE(fs->WriteFileMode(dir.File("wide"), "0000", 0644, &error));
  WriteFileBytes(dir.File("old-journal"), "1");
  ASSERT_EQ(0, chmod(dir.File("old-journal").c_str(), 0660));
  EXPECT_TRUE(fs->AppendFileMode(dir.File("old-journal"), "2", true, 0600, &error));
  EXPECT_TRUE(fs->WriteBeneath(dir.path(), "new", "2", &error));
  umask(old);
  EXPECT_EQ(0644u, mode(dir.File("settings")));
  EXPECT_EQ("0000+", ReadFileBytes(dir.File("settings")));
  EXPECT_EQ(0644u, mode(dir.File("new")));
  EXPECT_EQ(0660u, mode(dir.File("plain")));
  EXPECT_EQ(0600u, mode(dir.File("journal")));
  EXPECT_EQ(0644u, mode(dir.File("wide")));
  EXPECT_EQ(0600u, mode(dir.File("old-journal")));
}

// A folder the user may not create files in, and a file in it the user may
// write (a Windows install, on the disk we have): a replace writes in place;
// a new name is still refused. As root the writes run in a child as nobody.
TEST(FileSystemPosixTest, WritesInPlaceWhereTheFolderRefusesNewFiles) {
  ScopedTempDir dir;
  ASSERT_EQ(0, mkdir(dir.File("prog").c_str(), 0755));
  const std::string given = dir.File("prog/QLCHKCOM.TXT");
  WriteFileBytes(given, "1111\r\nand an old tail");
  ASSERT_EQ(0, chmod(given.c_str(), 0666));
  const bool root = geteuid() == 0;
  // nobody must reach the folder; without root, the folder itself is closed.
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
  if (!root) {
    ASSERT_EQ(0, chmod(dir.File("prog").c_str(), 0555));
  }
  // One bit a check: the given file written, the new one refused, the
  // bits asked for not forced on a file we do not own.
  auto writes = [&] {
    auto fs = platform::FileSystem::CreateReal();
    std::string error;
    int fault = 0;
    if (!fs->WriteFileMode(given, "0101\r\n", 0644, &error)) fault |= 1;
    if (fs->WriteFile(dir.File("prog/QLNEW.TXT"), "x", &error)) fault |= 2;
    if (fs->WriteFile(dir.File("prog/QLCHKCOM.TXT/x"), "x", &error)) fault |= 4;
    return fault;
  };
  int fault;
  if (root) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 ? writes() : 8);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    fault = WEXITSTATUS(status);
  } else {
    fault = writes();
    chmod(dir.File("prog").c_str(), 0755);
  }
  EXPECT_EQ(0, fault);
  EXPECT_EQ("0101\r\n", ReadFileBytes(given));
  struct stat st {};
  ASSERT_EQ(0, stat(given.c_str(), &st));
  EXPECT_EQ(0666u, st.st_mode & 0777);
  std::vector<std::string> names;
  ASSERT_TRUE(platform::FileSystem::CreateReal()->ListDirectory(dir.File("prog"), &names));
  EXPECT_EQ(std::vector<std::string>{"QLCHKCOM.TXT"}, names);
}

}  // namespace
