// The program's own folder on Windows: made under the shared application
// data, taken again at the next start, and no one else's in its ACL.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include "platform/folders.h"
#include "platform/own_folder.h"

namespace platform {
namespace {

TEST(OwnFolderWin32Test, MadeWithAProtectedAclAndTakenAgain) {
  std::string shared, folder, error;
  ASSERT_TRUE(CommonAppDataFolder(&shared));
  for (int start = 0; start < 2; ++start) {
    ASSERT_TRUE(OwnDataFolder("C:\\unused", &folder, &error)) << error;
    EXPECT_EQ(folder, shared + "\\Quilo1");
    EXPECT_TRUE(DirectoryExists(folder));
  }
  // Wine makes a folder's ACL up from its Unix mode bits and keeps none
  // that is set: the rest holds on Windows only.
  if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) GTEST_SKIP() << "Wine keeps no ACL";
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &sd),
            DWORD(ERROR_SUCCESS));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(sd, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  ASSERT_NE(dacl, nullptr);
  ASSERT_EQ(dacl->AceCount, 3);  // the user, SYSTEM, Administrators
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE), OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    PSID sid = &ace->SidStart;
    // No one else: neither Users nor Everyone nor Authenticated Users.
    EXPECT_FALSE(IsWellKnownSid(sid, WinBuiltinUsersSid) || IsWellKnownSid(sid, WinWorldSid) ||
                 IsWellKnownSid(sid, WinAuthenticatedUserSid))
        << i;
  }
  LocalFree(sd);
}

}  // namespace
}  // namespace platform
