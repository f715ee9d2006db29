#include "archive/disk_prompt.h"

#include <utility>

#include "platform/message_box.h"

namespace vx {

namespace {

DiskPrompt& CurrentPrompt() {
  static DiskPrompt prompt = platform::AskOkCancel;
  return prompt;
}

}  // namespace

DiskPrompt SetDiskPrompt(DiskPrompt prompt) {
  DiskPrompt previous = std::move(CurrentPrompt());
  CurrentPrompt() = prompt ? std::move(prompt) : DiskPrompt(platform::AskOkCancel);
  return previous;
}

bool PromptForDisk(const std::string& caption, const std::string& text) {
  return CurrentPrompt()(caption, text);
}

}  // namespace vx
