// Old kept records go at start-up; anything else in the data directory stays.
#include "service/pruning.h"

#include <gtest/gtest.h>

#include "testing/fake_file_system.h"

namespace service {
namespace {

TEST(Pruning, RecordsOlderThanTheLimitGoByTheDateInTheirName) {
  testing_support::FakeFileSystem fs;
  fs.AddDirectory("/d");
  fs.AddDirectory("/d/TRACE_202608");
  fs.AddDirectory("/d/LOG-PAGAME-202608");
  struct Case {
    const char* path;
    bool removed;
  } cases[] = {
      {"/d/SR_DATI.001.interrupted-20260901-101010-a1b2c3", true},
      {"/d/SR_DATI.001.interrupted-20260910-101010-a1b2c3", false},  // 88 days
      {"/d/TRACE_202608/TRACE_20260801_090000.TXT", true},
      {"/d/TRACE_20260801_090000.TXT", true},
      {"/d/LOG-PAGAME-202608/POSDATA-20260801090000-T0042.txt", true},
      {"/d/Quilo1-20260801.log", true},
      {"/d/Quilo1-20261201.log", false},
      {"/d/SR_DATI.001", false},
      {"/d/QUILO1-20260801.txt", false},
      {"/d/SR_DATI.001.interrupted-2026xx01-101010", false},
  };
  for (const Case& c : cases) fs.AddFile(c.path, "x");
  EXPECT_EQ(PruneOldRecords(fs, "/d", '/', platform::LocalTime{2026, 12, 7}, 90), 5);
  for (const Case& c : cases) EXPECT_EQ(fs.HasFile(c.path), !c.removed) << c.path;
}

}  // namespace
}  // namespace service
