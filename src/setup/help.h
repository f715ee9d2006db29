// The application's help: every classic help command (the "Help" button's
// contents request, a message box's help context, the quit notice) becomes
// calls of the HTML Help viewer on the application's help file. The classic
// help engine is never started.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/message_service.h"

namespace vx {

// Classic help commands beyond those the message service names.
constexpr uint16_t kHelpContextPopup = 8;  // HELP_CONTEXTPOPUP: data is the help context
constexpr uint16_t kHelpKey = 0x101;       // HELP_KEY: data points to a keyword

// Commands of the HTML Help viewer.
constexpr uint32_t kHhDisplayTopic = 0x00;  // the file's default topic
constexpr uint32_t kHhDisplayToc = 0x01;    // the table of contents
constexpr uint32_t kHhDisplayIndex = 0x02;  // the index, at a keyword
constexpr uint32_t kHhHelpContext = 0x0F;   // the topic of a help context
constexpr uint32_t kHhCloseAll = 0x12;      // closes every help window

// The HTML Help viewer; its calls have no owner window, and `file` is null
// for the calls that concern no file.
class THtmlHelpViewer {
 public:
  virtual ~THtmlHelpViewer() = default;
  virtual void HtmlHelp(const char* file, uint32_t command, uintptr_t data) = 0;
};

class TUseHTMLHelp {
 public:
  // `help_file` gives the application's help file at each request.
  TUseHTMLHelp(THtmlHelpViewer& viewer, std::function<std::string()> help_file)
      : viewer_(viewer), help_file_(std::move(help_file)) {}

  // Carries out one help command. Sets `call_help` to false so that the
  // classic help engine is never started, and returns true: the request has
  // been handled, whatever the viewer made of it.
  bool HelpHook(uint16_t command, uintptr_t data, bool& call_help);

 private:
  THtmlHelpViewer& viewer_;
  std::function<std::string()> help_file_;
};

// Makes the hook the application's help handler for the program's run: from
// construction, every help command of `messages` goes through it; on
// destruction the application's quit notice goes through it (closing every
// help window) and then the handler is removed.
class THelpHookInstallation {
 public:
  THelpHookInstallation(TMessageService& messages, TUseHTMLHelp& hook);
  ~THelpHookInstallation();
  THelpHookInstallation(const THelpHookInstallation&) = delete;
  THelpHookInstallation& operator=(const THelpHookInstallation&) = delete;

 private:
  TMessageService& messages_;
};

}  // namespace vx
