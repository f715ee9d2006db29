#include "setup/install_dir_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/scripted_views.h"

namespace vx {
namespace {

const std::string kSpaces = "\r\nDirectory name must not contain spaces";
const std::string kLong = "\r\nIndividual subdirectory names must have 12 or fewer letters.";
const std::string kTooLong = "\r\nDirectory name is limited to 45 characters.";
const std::string kUnexpected =
    "\r\ncontains one or more unexpected (perhaps non-english) characters\r\nPlease choose or "
    "create a folder with name containing only letters A-Z and digits 0-9";

TEST(InstallDirRulesTest, LongSubdirNameLooksAtEveryComponent) {
  struct Case {
    std::string path;
    bool long_name;
  };
  const std::vector<Case> cases = {
      {"C:\\ABCDEFGHIJKL", false},             // 12 letters
      {"C:\\ABCDEFGHIJKLM", true},             // 13 letters
      {"C:\\A\\ABCDEFGHIJKLM\\B\\C", true},    // 13 in the middle
      {"C:\\AB\\ABCDEFGHIJKLM", true},         // 13 at the end
      {"ABCDEFGHIJKLM", true},                 // no separator at all
      {"ABCDEFGHIJKL", false},                 // too short to look at
      {"ABCDEFGHIJKLMNOPQ:\\A", true},         // the drive part counts too
      {"C:\\\\\\\\\\\\\\\\\\\\\\\\A", false},  // empty components are harmless
      {"C:\\ABCDEFGHIJKL\\ABCDEFGHIJKL\\", false},
      // A rest of 12 characters or fewer is not split further.
      {"C:\\ABCDEFGHIJKL\\ABCDEFGHIJ", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(HasLongSubdirName(c.path), c.long_name) << c.path;
}

TEST(InstallDirRulesTest, UnexpectedCharsAreThoseOutsideZeroToLowerZ) {
  for (int code = 0; code < 256; ++code) {
    const std::string path = std::string("C:\\a") + static_cast<char>(code);
    EXPECT_EQ(HasUnexpectedChars(path), code < 48 || code > 122) << code;
  }
  EXPECT_FALSE(HasUnexpectedChars("C:\\my_app\\x[1]^`@;=<>?"));
  EXPECT_FALSE(HasUnexpectedChars(""));
}

TEST(InstallDirRulesTest, FirstRuleBrokenGivesTheText) {
  struct Case {
    std::string path;
    bool is_directory = false;
    bool is_file = false;
    std::string refusal;  // after the "...:  " + path prefix; "" when accepted
  };
  const std::string too_long_ok = "C:\\ABCDEFGHIJ\\ABCDEFGHIJ\\ABCDEFGHIJ\\ABCDEFGHI";  // 45
  ASSERT_EQ(too_long_ok.size(), 45u);
  const std::vector<Case> cases = {
      // A space is reported before the long component and the hyphen.
      {"C:\\Program Files\\X", false, false, "Bad directory name:  C:\\Program Files\\X" + kSpaces},
      {"C:\\ABCDEFGHIJKL", false, false, ""},
      {"C:\\ABCDEFGHIJKLM", false, false, "Bad directory name:  C:\\ABCDEFGHIJKLM" + kLong},
      // A long component is reported before the length and the hyphen.
      {"C:\\ABCDEFGHIJK-M\\ABCDEFGHIJ\\ABCDEFGHIJ\\ABCDEFGHIJ", false, false,
       "Bad directory name:  C:\\ABCDEFGHIJK-M\\ABCDEFGHIJ\\ABCDEFGHIJ\\ABCDEFGHIJ" + kLong},
      {too_long_ok, false, false, ""},
      {too_long_ok + "J", false, false,
       "Too-long directory name:  " + too_long_ok + "J" + kTooLong},
      // The length is reported before the unexpected characters.
      {"C:\\ABCDEFGHIJ\\ABCDEFGHIJ\\ABCDEFGHIJ\\ABCDEFGH-J", false, false,
       "Too-long directory name:  C:\\ABCDEFGHIJ\\ABCDEFGHIJ\\ABCDEFGHIJ\\ABCDEFGH-J" + kTooLong},
      {"C:\\my-app", false, false, "Bad directory name:  C:\\my-app" + kUnexpected},
      {"C:\\app1.5", false, false, "Bad directory name:  C:\\app1.5" + kUnexpected},
      {"C:/apps", false, false, "Bad directory name:  C:/apps" + kUnexpected},
      {"C:\\caf\xE9", false, false, "Bad directory name:  C:\\caf\xE9" + kUnexpected},
      {"C:\\my_app", false, false, ""},
      {"c:\\app15", false, false, ""},
      {"C:\\app15", true, false, ""},
      {"C:\\readme", false, true,
       "Cannot create directory C:\\readme\r\nA file of the same name already exists"},
      // A file rule broken after a name rule: the name rule is reported.
      {"C:\\read me", false, true, "Bad directory name:  C:\\read me" + kSpaces},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstallDirRefusal(c.path, c.is_directory, c.is_file), c.refusal) << c.path;
  }
}

TEST(InstallDirRulesTest, ValidInstallDirShowsOneBoxOnTheDirectoryNameTopic) {
  test::ScriptedSystem system;
  system.files["C:\\vx"] = "";
  system.directories.insert("C:\\inst");
  test::ScriptedMessageView view;
  TMessageService messages{view};

  EXPECT_TRUE(ValidInstallDir("C:\\inst", system, messages));
  EXPECT_TRUE(ValidInstallDir("C:\\none\\deeper", system, messages));  // parent missing: fine here
  EXPECT_TRUE(view.shown.empty());

  EXPECT_FALSE(ValidInstallDir("C:\\vx", system, messages));
  EXPECT_FALSE(ValidInstallDir("C:\\my app", system, messages));
  ASSERT_EQ(view.shown.size(), 2u);
  for (const TMessageBox& box : view.shown) {
    EXPECT_EQ(box.Kind, mkError);
    EXPECT_EQ(box.Buttons, mbOKHelp);
    EXPECT_EQ(box.HelpContext, kDirectoryNameHelpContext);
  }
  EXPECT_EQ(view.shown[0].Text,
            "Cannot create directory C:\\vx\r\nA file of the same name already exists");
  EXPECT_EQ(view.shown[1].Text, "Bad directory name:  C:\\my app" + kSpaces);
}

}  // namespace
}  // namespace vx
