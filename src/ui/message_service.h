// Every message to the user is a modal box given by its kind, its
// buttons and a help context. The service also holds the end request: once
// the program has been asked to end, the handler that asked runs on, every box
// it opens afterwards closes at once unseen, and the event loop ends when
// control returns to it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vx {

enum TMessageKind : int32_t { mkError, mkWarning, mkInformation, mkConfirmation };
enum TMessageButtons : int32_t { mbOK, mbOKHelp, mbYesNo, mbOKCancel, mbRetryCancel };
// mrNone: the box closed without an answer (the end had been requested).
enum TModalResult : int32_t { mrNone, mrOK, mrYes, mrNo, mrCancel, mrRetry };

// Help contexts of the help file's topics.
constexpr uint32_t kNoHelpContext = 0;
constexpr uint32_t kFatalErrorHelpContext = 123456;
constexpr uint32_t kDirectoryNameHelpContext = 223344;

// The classic application help commands the setup issues.
constexpr uint16_t kHelpContext = 1;  // HELP_CONTEXT: data is the help context
constexpr uint16_t kHelpQuit = 2;     // HELP_QUIT
constexpr uint16_t kHelpIndex = 3;    // HELP_INDEX: contents

struct TMessageBox {
  TMessageKind Kind = mkInformation;
  TMessageButtons Buttons = mbOK;
  uint32_t HelpContext = kNoHelpContext;
  std::string Text;
};

// What shows the boxes and runs the event loop: Win32 in the program, a
// scripted fake in the tests.
class TMessageView {
 public:
  virtual ~TMessageView() = default;
  // Shows a modal box and returns the button that closed it. While the box is
  // open, each press of its Help button calls `help` (the box stays open).
  virtual TModalResult ShowMessageBox(const TMessageBox& box,
                                      const std::function<void()>& help) = 0;
  // Asks the event loop to end once control is back in it.
  virtual void PostEndRequest() = 0;
};

class TMessageService {
 public:
  explicit TMessageService(TMessageView& view) : view_(view) {}
  TMessageService(const TMessageService&) = delete;
  TMessageService& operator=(const TMessageService&) = delete;

  // Shows a box; after the end request returns mrNone at once instead.
  TModalResult Show(TMessageKind kind, TMessageButtons buttons, uint32_t help_context,
                    const std::string& text);

  // Posts the end request (once; later requests change nothing).
  void RequestEnd();
  bool EndRequested() const { return end_requested_; }

  // The application's help handler: receives every help command, with its
  // data (a box's Help button sends kHelpContext and the box's help context).
  std::function<void(uint16_t command, uint32_t data)> OnHelp;
  void Help(uint16_t command, uint32_t data);

 private:
  TMessageView& view_;
  bool end_requested_ = false;
};

}  // namespace vx
