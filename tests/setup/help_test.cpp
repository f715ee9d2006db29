#include "setup/help.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/main_window.h"
#include "setup/scripted_views.h"

namespace vx {
namespace {

// Records the viewer calls as "command file data"; a call without a file
// shows "-" for it.
class RecordingViewer : public THtmlHelpViewer {
 public:
  std::vector<std::string> calls;
  void HtmlHelp(const char* file, uint32_t command, uintptr_t data) override {
    calls.push_back(std::to_string(command) + " " + (file == nullptr ? "-" : file) + " " +
                    std::to_string(data));
  }
};

TEST(HelpHook, MapsEachClassicCommandToViewerCalls) {
  struct Case {
    uint16_t command;
    uintptr_t data;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {1, 123456, {"1 D:\\SETUP.chm 0", "15 D:\\SETUP.chm 123456"}},  // HELP_CONTEXT
      {8, 223344, {"1 D:\\SETUP.chm 0", "15 D:\\SETUP.chm 223344"}},  // HELP_CONTEXTPOPUP
      {0x101, 4096, {"1 D:\\SETUP.chm 0", "2 D:\\SETUP.chm 4096"}},   // HELP_KEY
      {3, 0, {"1 D:\\SETUP.chm 0", "0 D:\\SETUP.chm 0"}},             // HELP_INDEX
      {3, 77, {"1 D:\\SETUP.chm 0", "0 D:\\SETUP.chm 0"}},            // data ignored
      {4, 0, {"1 D:\\SETUP.chm 0", "0 D:\\SETUP.chm 0"}},             // HELP_HELPONHELP
      {0x0B, 0, {"1 D:\\SETUP.chm 0", "0 D:\\SETUP.chm 0"}},          // HELP_FINDER
      {2, 0, {"18 - 0"}},                                             // HELP_QUIT
      {2, 99, {"18 - 0"}},
  };
  for (const Case& c : cases) {
    RecordingViewer viewer;
    TUseHTMLHelp hook(viewer, [] { return std::string("D:\\SETUP.chm"); });
    bool call_help = true;
    EXPECT_TRUE(hook.HelpHook(c.command, c.data, call_help)) << c.command;
    EXPECT_FALSE(call_help) << c.command;
    EXPECT_EQ(viewer.calls, c.calls) << c.command;
  }
}

TEST(HelpHook, ReadsTheHelpFileAtEachRequest) {
  RecordingViewer viewer;
  std::string help_file;  // none yet, as before the settings are read
  TUseHTMLHelp hook(viewer, [&help_file] { return help_file; });
  bool call_help = true;
  hook.HelpHook(kHelpIndex, 0, call_help);
  help_file = "E:\\x\\SETUP.chm";
  hook.HelpHook(kHelpIndex, 0, call_help);
  const std::vector<std::string> expected = {"1  0", "0  0", "1 E:\\x\\SETUP.chm 0",
                                             "0 E:\\x\\SETUP.chm 0"};
  EXPECT_EQ(viewer.calls, expected);
}

// The main window's and the message boxes' help requests, through the
// installed hook, from start to the end of the program.
TEST(HelpHook, InstalledForTheRunOfTheMainWindow) {
  test::ScriptedSystem system;
  system.files = {{"D:\\SETUP.chm", ""}, {"D:\\SETUP.TXT", "readme"}};  // no settings file
  test::ScriptedMainView view;
  test::ScriptedMessageView messages_view;
  messages_view.script.push_back({2, mrOK});  // Help pressed twice in the fatal box
  TMessageService messages(messages_view);
  TForm1 form(view, messages, system);
  RecordingViewer viewer;
  TUseHTMLHelp hook(viewer, [&form] { return form.HelpFile(); });
  {
    THelpHookInstallation installed(messages, hook);
    form.FormCreate();
    form.HelpBtnClick();
    form.HelpBtnClick();
  }
  const std::string toc = "1 D:\\SETUP.chm 0";
  const std::vector<std::string> expected = {
      toc,     "15 D:\\SETUP.chm 123456", toc, "15 D:\\SETUP.chm 123456",  // the fatal box
      toc,     "0 D:\\SETUP.chm 0",       toc, "0 D:\\SETUP.chm 0",        // "Help" twice
      "18 - 0"};                                                           // the quit notice
  EXPECT_EQ(viewer.calls, expected);
  ASSERT_FALSE(messages_view.shown.empty());
  EXPECT_EQ(messages_view.shown[0].HelpContext, kFatalErrorHelpContext);

  // Removed with the installation: later requests reach no viewer.
  form.HelpBtnClick();
  EXPECT_EQ(viewer.calls.size(), expected.size());
}

}  // namespace
}  // namespace vx
