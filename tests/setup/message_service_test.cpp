#include "ui/message_service.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "setup/scripted_views.h"

namespace vx {
namespace {

TEST(MessageService, BoxesAfterTheEndRequestCloseUnseen) {
  test::ScriptedMessageView view;
  TMessageService messages(view);
  view.script.push_back({0, mrNo});
  EXPECT_EQ(messages.Show(mkConfirmation, mbYesNo, 0, "Go on?"), mrNo);
  EXPECT_FALSE(messages.EndRequested());

  messages.RequestEnd();
  messages.RequestEnd();  // a second request posts nothing more
  EXPECT_TRUE(messages.EndRequested());
  EXPECT_EQ(view.end_requests, 1);

  EXPECT_EQ(messages.Show(mkError, mbOK, 0, "late"), mrNone);
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0].Text, "Go on?");
  EXPECT_EQ(view.shown[0].Kind, mkConfirmation);
  EXPECT_EQ(view.shown[0].Buttons, mbYesNo);
}

TEST(MessageService, HelpButtonAsksForTheBoxsHelpContext) {
  test::ScriptedMessageView view;
  TMessageService messages(view);
  std::vector<std::pair<uint16_t, uint32_t>> requests;
  messages.OnHelp = [&requests](uint16_t command, uint32_t data) {
    requests.emplace_back(command, data);
  };
  view.script.push_back({2, mrOK});  // Help twice, then OK
  EXPECT_EQ(messages.Show(mkError, mbOKHelp, kDirectoryNameHelpContext, "Bad directory name"),
            mrOK);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], std::make_pair(kHelpContext, kDirectoryNameHelpContext));
  EXPECT_EQ(requests[1], requests[0]);

  // Without a handler a help request is simply dropped.
  messages.OnHelp = nullptr;
  view.script.push_back({1, mrOK});
  EXPECT_EQ(messages.Show(mkError, mbOKHelp, kFatalErrorHelpContext, "fatal"), mrOK);
}

}  // namespace
}  // namespace vx
