// The machine-wide instance mutex: one holder; a name squatted by another
// user does not stop the program but moves it to a name of its own user.
#include "platform/single_instance.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(InstanceLockTest, OneHolderPerMachine) {
  std::string name, note;
  auto first = InstanceLock::Acquire("", &name, &note);
  ASSERT_TRUE(first);
  EXPECT_EQ("Global\\Quilo1.SingleInstance", name);
  EXPECT_EQ("", note);
  EXPECT_FALSE(InstanceLock::Acquire("", &name, &note)) << note;
  first.reset();
  EXPECT_TRUE(InstanceLock::Acquire(""));
}

TEST(InstanceLockTest, NameSquattedByAnotherUser) {
  const char kStranger[] = "S-1-5-21-1-2-3-1001";
  SECURITY_ATTRIBUTES sa{};
  sa.nLength = sizeof sa;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)",
                                                                  SDDL_REVISION_1, &sd, nullptr));
  sa.lpSecurityDescriptor = sd;
  HANDLE squat = CreateMutexA(&sa, FALSE, "Global\\Quilo1.SingleInstance");
  LocalFree(sd);
  ASSERT_TRUE(squat);
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR got = nullptr;
  LPSTR ownerText = nullptr;
  bool foreign = GetSecurityInfo(squat, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                 nullptr, &got) == ERROR_SUCCESS &&
                 owner && ConvertSidToStringSidA(owner, &ownerText) && std::string(ownerText) == kStranger;
  if (ownerText) LocalFree(ownerText);
  if (got) LocalFree(got);
  if (!foreign) {
    CloseHandle(squat);
    GTEST_SKIP() << "this system does not let a test give a mutex another owner";
  }
  std::string name, note;
  auto lock = InstanceLock::Acquire("", &name, &note);
  EXPECT_TRUE(lock);
  EXPECT_EQ(0u, name.find("Global\\Quilo1.SingleInstance.S-1-")) << name;
  EXPECT_NE(std::string::npos, note.find(std::string("di un altro utente (") + kStranger + ")")) << note;
  // The fallback name is an instance lock as well.
  EXPECT_FALSE(InstanceLock::Acquire(""));
  lock.reset();
  CloseHandle(squat);
}

}  // namespace
}  // namespace platform
