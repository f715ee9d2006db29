#include "setup/help.h"

namespace vx {

bool TUseHTMLHelp::HelpHook(uint16_t command, uintptr_t data, bool& call_help) {
  call_help = false;
  if (command == kHelpQuit) {
    viewer_.HtmlHelp(nullptr, kHhCloseAll, 0);
    return true;
  }
  const std::string file = help_file_ ? help_file_() : std::string();
  // Every request opens the viewer at its table of contents first.
  viewer_.HtmlHelp(file.c_str(), kHhDisplayToc, 0);
  switch (command) {
    case kHelpContext:
    case kHelpContextPopup:
      viewer_.HtmlHelp(file.c_str(), kHhHelpContext, data);
      break;
    case kHelpKey:
      viewer_.HtmlHelp(file.c_str(), kHhDisplayIndex, data);
      break;
    default:
      viewer_.HtmlHelp(file.c_str(), kHhDisplayTopic, 0);
      break;
  }
  return true;
}

THelpHookInstallation::THelpHookInstallation(TMessageService& messages, TUseHTMLHelp& hook)
    : messages_(messages) {
  messages_.OnHelp = [&hook](uint16_t command, uint32_t data) {
    bool call_help = true;
    hook.HelpHook(command, data, call_help);
  };
}

THelpHookInstallation::~THelpHookInstallation() {
  messages_.Help(kHelpQuit, 0);
  messages_.OnHelp = nullptr;
}

}  // namespace vx
