// The token walk checked against the system's own membership test, with and
// without an impersonation token on the thread (Windows only).
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/account.h"

namespace vx {
namespace {

bool SystemSaysAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
    ADD_FAILURE() << "cannot build the Administrators identifier";
    return false;
  }
  BOOL member = FALSE;
  bool ok = CheckTokenMembership(nullptr, administrators, &member) != FALSE;
  FreeSid(administrators);
  EXPECT_TRUE(ok);
  return member != FALSE;
}

TEST(UserInAdministratorsGroup, AgreesWithTheSystemsMembershipTest) {
  bool expected = SystemSaysAdministrator();
  EXPECT_EQ(platform::UserInAdministratorsGroup(), expected);

  // With a token of its own, the thread is judged by that token (here a copy
  // of the process's, so the answer stays the same).
  ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
  HANDLE token = nullptr;
  EXPECT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  if (token != nullptr) CloseHandle(token);
  EXPECT_EQ(platform::UserInAdministratorsGroup(), expected);
  RevertToSelf();
}

TEST(FileTitle, TheShellsTitleOfAFile) {
  std::optional<std::string> title = platform::FileTitle("C:\\windows\\system32\\notepad.exe");
  ASSERT_TRUE(title.has_value());
  // Wine shows extensions, as Explorer does by default.
  EXPECT_EQ(*title, "notepad.exe");
}

}  // namespace
}  // namespace vx
#endif
