#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "setup/main_window.h"
#include "setup/scripted_views.h"

namespace vx {
namespace {

constexpr int64_t kMiB = 1048576;

// The window after start-up, installing to C:\work (120 MB needed, 5311 free
// on C:, 42 free on E:).
class ChangeDirTest : public testing::Test {
 protected:
  ChangeDirTest() {
    system.files = {{"D:\\SETUP.chm", ""},
                    {"D:\\SETUP.INI", ""},
                    {"D:\\SETUP.TXT", "readme"},
                    {"D:\\prod.zip", ""},
                    {"E:\\taken", ""}};
    system.profiles["D:\\SETUP.INI"] = {{"InstTitle", "VESTRIX 1.5"},
                                        {"InstDir", "C:\\work"},
                                        {"DiskNeededMB", "120"},
                                        {"zipname", "prod.zip"},
                                        {"exename", "vestrix.exe"}};
    system.directories.insert({"C:\\work", "E:\\", "E:\\apps"});
    system.free_bytes = {{"C:\\", 5311 * kMiB}, {"E:\\", 42 * kMiB}};
    form.FormCreate();
    system.current_directories.clear();
  }

  std::string Space() { return view.captions[TMainControl::SpaceNeededLabel]; }

  test::ScriptedSystem system;
  test::ScriptedMainView view;
  test::ScriptedMessageView messages_view;
  TMessageService messages{messages_view};
  TForm1 form{view, messages, system};
};

TEST_F(ChangeDirTest, ChoiceIsValidatedMadeAndShown) {
  struct Case {
    std::optional<std::string> chosen;  // nullopt: Cancel
    std::string inst_dir;               // afterwards
    std::string box;                    // the one box shown, or ""
    bool made = false;                  // the chosen directory was created
  };
  const std::vector<Case> cases = {
      {std::nullopt, "C:\\work", ""},
      {"E:\\apps", "E:\\apps", ""},
      {"E:\\apps\\vx15", "E:\\apps\\vx15", "", true},
      {"C:\\work", "C:\\work", ""},
      {"E:\\my apps", "C:\\work",
       "Bad directory name:  E:\\my apps\r\nDirectory name must not contain spaces"},
      {"E:\\taken", "C:\\work",
       "Cannot create directory E:\\taken\r\nA file of the same name already exists"},
      {"E:\\none\\vx", "C:\\work", "Cannot create directory E:\\none\\vx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen.value_or("(cancel)"));
    form.InstallOptions.InstDir = "C:\\work";
    form.ShowSpaceInfo();
    const std::string space_before = Space();
    messages_view.shown.clear();
    view.chooser_openings.clear();
    view.chooser_script = {c.chosen};

    form.ChangeDirBtnClick();
    EXPECT_EQ(view.chooser_openings, std::vector<std::string>{"C:\\work"});
    EXPECT_EQ(form.InstallOptions.InstDir, c.inst_dir);
    if (c.box.empty()) {
      EXPECT_TRUE(messages_view.shown.empty());
    } else {
      ASSERT_EQ(messages_view.shown.size(), 1u);
      EXPECT_EQ(messages_view.shown[0].Text, c.box);
      EXPECT_EQ(messages_view.shown[0].Kind, mkError);
    }
    if (c.chosen) {
      EXPECT_EQ(system.DirectoryExists(*c.chosen), c.made || c.inst_dir == *c.chosen);
    }
    if (c.inst_dir == "C:\\work") {
      EXPECT_EQ(Space(), space_before);
    } else {
      EXPECT_EQ(view.captions[TMainControl::InstDirLabel], "Install in directory: " + c.inst_dir);
      EXPECT_EQ(Space(),
                "Required disk space 120 megabytes\r\nAvailable disk space on E: 42 megabytes");
      EXPECT_EQ(view.font_colors[TMainControl::SpaceNeededLabel], clRed);
      EXPECT_EQ(form.InstallOptions.FreeMB, 42);
    }
  }
  EXPECT_FALSE(messages.EndRequested());
}

TEST_F(ChangeDirTest, ChooserStartsInTheCurrentDirectoryWhenItExists) {
  form.ChangeDirBtnClick();  // cancelled
  EXPECT_EQ(system.current_directories, std::vector<std::string>{"C:\\work"});

  form.InstallOptions.InstDir = "C:\\notyet";
  form.ChangeDirBtnClick();
  EXPECT_EQ(system.current_directories, std::vector<std::string>{"C:\\work"});
  EXPECT_EQ(view.chooser_openings, (std::vector<std::string>{"C:\\work", "C:\\notyet"}));
}

}  // namespace
}  // namespace vx
