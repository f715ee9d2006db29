#include "ui/message_service.h"

namespace vx {

TModalResult TMessageService::Show(TMessageKind kind, TMessageButtons buttons,
                                   uint32_t help_context, const std::string& text) {
  // The program is ending: a box now would only hold up the exit.
  if (end_requested_) return mrNone;
  TMessageBox box{kind, buttons, help_context, text};
  return view_.ShowMessageBox(box, [this, help_context] { Help(kHelpContext, help_context); });
}

void TMessageService::RequestEnd() {
  if (end_requested_) return;
  end_requested_ = true;
  view_.PostEndRequest();
}

void TMessageService::Help(uint16_t command, uint32_t data) {
  if (OnHelp) OnHelp(command, data);
}

}  // namespace vx
