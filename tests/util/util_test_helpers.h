// Scoped changes to process-wide state (environment, current directory, drive
// table, message hook) for the utility tests, each undone when it ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/files.h"
#include "ui/message_service.h"

#ifndef _WIN32
#include "platform/posix/path_map.h"
#endif

namespace vx::test {

class ScopedEnv {
 public:
  // Sets `name` to `value`, or unsets it when `value` is nullopt.
  ScopedEnv(std::string name, const std::optional<std::string>& value)
      : name_(std::move(name)), saved_(platform::GetEnvironmentVariable(name_)) {
    Apply(value);
  }
  ~ScopedEnv() { Apply(saved_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Apply(const std::optional<std::string>& value) {
    if (value) {
      platform::SetEnvironmentVariable(name_, *value);
    } else {
      platform::UnsetEnvironmentVariable(name_);
    }
  }
  std::string name_;
  std::optional<std::string> saved_;
};

class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string& path)
      : saved_(platform::GetCurrentDirectory()) {
    ok_ = platform::SetCurrentDirectory(path);
  }
  ~ScopedCurrentDirectory() { platform::SetCurrentDirectory(saved_); }
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

// Collects the error messages the utilities show instead of opening boxes;
// `service` is what they are handed.
class CapturedMessages : public TMessageView {
 public:
  std::vector<std::string> texts;
  TMessageService service{*this};

  TModalResult ShowMessageBox(const TMessageBox& box, const std::function<void()>&) override {
    texts.push_back(box.Text);
    return mrOK;
  }
  void PostEndRequest() override {}
};

#ifndef _WIN32
// Maps drive letters for the Linux backend while the object lives.
class ScopedDriveMap {
 public:
  explicit ScopedDriveMap(const platform::DriveTable& table) : saved_(platform::DriveMap()) {
    platform::SetDriveMap(table);
  }
  ~ScopedDriveMap() { platform::SetDriveMap(saved_); }

 private:
  platform::DriveTable saved_;
};
#endif

}  // namespace vx::test
