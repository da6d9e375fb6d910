// Registry key paths: the check that keeps malformed paths away from the
// registry, on both builds.
#include "platform/registry.h"

#include <gtest/gtest.h>

namespace {

TEST(RegistryTest, KeyPathValidation) {
  struct Case {
    const char* path;
    bool valid;
  } cases[] = {
      {"SOFTWARE\\Vexwerk\\ZEDODER1", true},  {"SOFTWARE", true},
      {"", true},                             {"\\SOFTWARE\\Vexwerk", false},
      {"SOFTWARE\\Vexwerk\\", false},         {"SOFTWARE\\\\Vexwerk", false},
      {"\\", false},                          {"SOFTWARE\\\\\\Vexwerk", false},
      {"SOFTWARE/Vexwerk", true},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::RegistryKeyPathValid(c.path), c.valid) << c.path;
}

}  // namespace
