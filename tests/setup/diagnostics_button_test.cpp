// The main window's "Diagnostics" button hands the diagnostics window what it
// needs and changes nothing of the installation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/main_window.h"
#include "setup/scripted_views.h"

namespace vx {
namespace {

struct DiagnosticsCall {
  std::string program, temp, keep, settings;
  float version;
};

TEST(DiagnosticsButton, OpensTheWindowForSetupWithItsSettingsFile) {
  struct Case {
    std::string program;
    std::string settings;
  };
  const Case cases[] = {
      {"D:\\SETUP.EXE", "D:\\SETUP.INI"},
      {"C:\\Program Files\\Vx 1.5\\setup.exe", "C:\\Program Files\\Vx 1.5\\setup.INI"},
      {"E:\\dist.v2\\install", "E:\\dist.v2\\install.INI"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    test::ScriptedSystem system;
    system.program = c.program;
    test::ScriptedMainView view;
    test::ScriptedMessageView messages_view;
    TMessageService messages{messages_view};
    TForm1 form{view, messages, system};
    form.InstallOptions.InstDir = "c:\\work";
    std::vector<DiagnosticsCall> calls;
    form.OnShowDiagnostics = [&](const std::string& program, const std::string& temp,
                                 const std::string& keep, const std::string& settings,
                                 float version) {
      calls.push_back({program, temp, keep, settings, version});
    };

    form.Button1Click();
    form.Button1Click();  // as often as the user likes
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].program, "Setup");
    EXPECT_EQ(calls[0].temp, "");
    EXPECT_EQ(calls[0].keep, "");
    EXPECT_EQ(calls[0].settings, c.settings);
    EXPECT_EQ(calls[0].version, 1.5f);
    EXPECT_EQ(form.InstallOptions.InstDir, "c:\\work");
    EXPECT_FALSE(messages.EndRequested());
    EXPECT_TRUE(messages_view.shown.empty());
  }
}

}  // namespace
}  // namespace vx
