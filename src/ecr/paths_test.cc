// Which "READ" targets may be written: inside the data directory or an
// allowed folder, judged after "."; never one with "..".
#include "ecr/paths.h"

#include <gtest/gtest.h>

namespace ecr {
namespace {

TEST(AllowedReadTargetTest, InsideTheDataDirectoryOrAnAllowedFolder) {
  const struct {
    const char* target;
    const char* dataDir;
    bool ignoreCase;
    const char* written;  // "" = refused
  } cases[] = {
      {"totali.txt", "/srv/dati", false, "/srv/dati/totali.txt"},
      {"./giorno/../totali.txt", "/srv/dati/", false, ""},  // ".." after what may be a link
      {"/srv/dati/./giorno/t.txt", "/srv/dati", false, "/srv/dati/giorno/t.txt"},
      {"sub\\..\\..\\dati\\t.txt", "/srv/dati", false, ""},  // out and back in
      {"./giorno/./t.txt", "/srv/dati/", false, "/srv/dati/giorno/t.txt"},
      {"../totali.txt", "/srv/dati", false, ""},
      {"giorno/../../../etc/t.txt", "/srv/dati", false, ""},
      {"/etc/passwd", "/srv/dati", false, ""},
      {"/srv/dati2/t.txt", "/srv/dati", false, ""},  // a longer name is another folder
      {"/srv/dati", "/srv/dati", false, ""},         // the folder itself
      {"/srv/dati/..", "/srv/dati", false, ""},
      {"", "/srv/dati", false, ""},
      {"/srv/report/t.txt", "/srv/dati", false, "/srv/report/t.txt"},  // allowed
      {"/srv/report/x/../t.txt", "/srv/dati", false, ""},
      {"/srv/report/../t.txt", "/srv/dati", false, ""},
      {"/SRV/REPORT/t.txt", "/srv/dati", false, ""},
      {"c:\\QUILO\\dati\\t.txt", "C:\\Quilo\\Dati", true, "c:/QUILO/dati/t.txt"},
      {"c:\\QUILO\\dati\\t.txt", "C:\\Quilo\\Dati", false, ""},
      {"t.txt", "C:\\Quilo\\Dati", true, "C:/Quilo/Dati/t.txt"},
      {"D:\\Quilo\\Dati\\t.txt", "C:\\Quilo\\Dati", true, ""},
      {"C:t.txt", "C:\\Quilo\\Dati", true, ""},  // relative to another folder of C:
      {"\\\\server\\dati\\t.txt", "C:\\Quilo\\Dati", true, ""},
  };
  const std::vector<std::string> allowed = {"/srv/report"};
  for (const auto& c : cases)
    EXPECT_EQ(c.written, AllowedReadTarget(c.target, c.dataDir, allowed, '/', c.ignoreCase)) << c.target;
  EXPECT_EQ("C:\\Quilo\\Dati\\t.txt", AllowedReadTarget("t.txt", "C:/Quilo/Dati", {}, '\\', true));

  // The folder it lies in, as configured, and the name below it.
  std::string folder, name;
  EXPECT_EQ("/srv/report/a/t.txt", AllowedReadTarget("/srv/./report/a/t.txt", "/srv/dati", allowed, '/', false,
                                                     &folder, &name));
  EXPECT_EQ("/srv/report", folder);
  EXPECT_EQ("a/t.txt", name);
  AllowedReadTarget("cfg\\t.txt", "C:\\Dati\\", {}, '\\', true, &folder, &name);
  EXPECT_EQ("C:\\Dati\\", folder);
  EXPECT_EQ("cfg\\t.txt", name);
}

}  // namespace
}  // namespace ecr
