// Scripted stand-ins for the windows and the machine, for the setup's
// controller tests: they record what the controller shows and answer from
// what the test has laid out.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "setup/main_window.h"
#include "setup/setup_system.h"
#include "support/scripted_message_view.h"

namespace vx::test {

class ScriptedMainView : public TMainWindowView {
 public:
  std::string font_name = "MS Sans Serif";
  std::string title;
  std::string memo = "Memo1";
  std::map<TMainControl, std::string> captions;
  std::map<TMainControl, bool> visible;
  std::map<TMainControl, int32_t> font_sizes;
  std::map<TMainControl, TColor> font_colors;
  TGauge gauge;

  ScriptedMainView() {
    captions[TMainControl::InstDirLabel] = "InstDirLabel";
    captions[TMainControl::SpaceNeededLabel] = "SpaceNeededLabel";
    font_sizes[TMainControl::InstDirLabel] = 10;
    font_sizes[TMainControl::SpaceNeededLabel] = 10;
  }
  void SetFontName(const std::string& name) override { font_name = name; }
  void SetTitle(const std::string& text) override { title = text; }
  void SetMemoText(const std::string& text) override { memo = text; }
  void SetCaption(TMainControl control, const std::string& text) override {
    captions[control] = text;
  }
  void SetVisible(TMainControl control, bool shown) override { visible[control] = shown; }
  int32_t FontSize(TMainControl control) override { return font_sizes[control]; }
  void SetFontSize(TMainControl control, int32_t points) override { font_sizes[control] = points; }
  void SetFontColor(TMainControl control, TColor color) override { font_colors[control] = color; }
  TGauge& Gauge1() override { return gauge; }

  std::map<TMainControl, bool> enabled;
  void SetEnabled(TMainControl control, bool on) override { enabled[control] = on; }

  // The chooser's answers in turn; none left means Cancel.
  std::deque<std::optional<std::string>> chooser_script;
  std::vector<std::string> chooser_openings;  // the directory each opening started at
  bool ChooseDirectory(std::string& directory) override {
    chooser_openings.push_back(directory);
    if (chooser_script.empty()) return false;
    std::optional<std::string> answer = chooser_script.front();
    chooser_script.pop_front();
    if (!answer) return false;
    directory = *answer;
    return true;
  }

  // Each pump runs the next scripted action (a click waiting in the queue).
  std::deque<std::function<void()>> pending_messages;
  int pumps = 0;
  int repaints = 0;
  void ProcessMessages() override {
    ++pumps;
    if (pending_messages.empty()) return;
    std::function<void()> message = std::move(pending_messages.front());
    pending_messages.pop_front();
    if (message) message();
  }
  void Repaint() override { ++repaints; }
  // The clock moves by `clock_step` at each reading: by default far enough
  // that every pump and paint is due.
  uint32_t clock_ms = 0;
  uint32_t clock_step = 1000;
  uint32_t Milliseconds() override { return clock_ms += clock_step; }
};

// A machine with a few files. Settings are looked up by exact section and
// key name in the profile file whose path is given.
class ScriptedSystem : public TSetupSystem {
 public:
  std::string program = "D:\\SETUP.EXE";
  std::string menu_font = "Tahoma";
  std::map<std::string, std::string> files;  // path -> contents
  std::set<std::string> directories{"C:\\", "D:\\"};
  std::map<std::string, std::map<std::string, std::string>> profiles;  // file -> key -> value
  std::map<std::string, int64_t> free_bytes;                           // root -> bytes
  std::vector<std::string> current_directories;                        // every change, in order
  std::vector<std::string> free_space_queries;
  std::set<std::string> unreadable;
  std::map<std::string, uint32_t> attributes;  // of files; 0x20 when not listed
  std::set<std::string> uncreatable;           // directories that cannot be made
  std::set<std::string> held_elsewhere;        // directories another process holds
  std::set<std::string> in_use;                // files another program holds open

  bool CreateDirectory(const std::string& path) override {
    if (uncreatable.count(path) != 0 || DirectoryExists(path) || FileExists(path)) return false;
    const size_t separator = path.find_last_of('\\');
    if (separator == std::string::npos) return false;
    const std::string parent = path.substr(0, separator);
    if (!DirectoryExists(parent) && !DirectoryExists(parent + "\\")) return false;
    directories.insert(path);
    return true;
  }
  uint32_t GetFileAttributes(const std::string& path) override {
    if (DirectoryExists(path)) return 0x10;
    if (!FileExists(path)) return 0xFFFFFFFF;
    auto found = attributes.find(path);
    return found == attributes.end() ? 0x20 : found->second;
  }
  bool FileInUse(const std::string& path) override {
    return FileExists(path) && in_use.count(path) != 0;
  }
  bool SetFileAttributes(const std::string& path, uint32_t value) override {
    if (!FileExists(path)) return false;
    attributes[path] = value;
    return true;
  }

  std::string ProgramFileName() override { return program; }
  std::string MenuFontName() override { return menu_font; }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  bool DirectoryExists(const std::string& path) override { return directories.count(path) != 0; }
  bool SetCurrentDirectory(const std::string& path) override {
    if (!DirectoryExists(path)) return false;
    current_directories.push_back(path);
    return true;
  }
  std::string ReadProfileString(const std::string& section, const std::string& key,
                                const std::string& default_value,
                                const std::string& file) override {
    if (section != "Settings" || !FileExists(file)) return default_value;
    auto values = profiles.find(file);
    if (values == profiles.end()) return default_value;
    auto value = values->second.find(key);
    return value == values->second.end() ? default_value : value->second;
  }
  bool DiskFreeBytes(const std::string& root, int64_t& bytes) override {
    free_space_queries.push_back(root);
    auto found = free_bytes.find(root);
    if (found == free_bytes.end()) return false;
    bytes = found->second;
    return true;
  }
  std::string ReadFile(const std::string& path) override {
    if (unreadable.count(path) != 0) throw Exception("The process cannot access the file");
    return files.at(path);
  }
  std::unique_ptr<TDirectoryHold> HoldDirectory(const std::string& directory) override {
    if (held_elsewhere.count(directory) != 0) return nullptr;
    return std::make_unique<TDirectoryHold>();
  }
};

}  // namespace vx::test
