// A scripted stand-in for the boxes of the message service: it records every
// box that reaches the screen and answers from the test's script.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "ui/message_service.h"

namespace vx::test {

// Every box is answered with OK (or Yes) unless the script says otherwise; a
// scripted answer may press Help first.
class ScriptedMessageView : public TMessageView {
 public:
  struct Answer {
    int help_presses = 0;
    TModalResult result = mrOK;
  };
  std::deque<Answer> script;
  std::vector<TMessageBox> shown;  // every box that reached the screen
  int end_requests = 0;

  TModalResult ShowMessageBox(const TMessageBox& box, const std::function<void()>& help) override {
    shown.push_back(box);
    Answer answer;
    if (!script.empty()) {
      answer = script.front();
      script.pop_front();
    } else if (box.Buttons == mbYesNo) {
      answer.result = mrYes;
    }
    for (int i = 0; i < answer.help_presses; ++i) help();
    return answer.result;
  }
  void PostEndRequest() override { ++end_requests; }
};

}  // namespace vx::test
