// A scripted shell for the shortcut component's tests: answers from what the
// test has laid out and records every call made on the shell link objects.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "setup/shortcuts.h"

namespace vx::test {

class ScriptedShell : public TStShell {
 public:
  std::string version_text = "6.0.2900.2180";
  bool version_unreadable = false;
  std::set<std::string> files;
  std::string program_directory = "D:\\";
  std::map<int32_t, std::string> special_folders;  // by CSIDL; absent: no item list
  // The shell link object: complete, missing an interface, or not creatable.
  enum { kComplete, kIncomplete, kNotCreatable } link_object = kComplete;
  bool save_succeeds = true;

  std::vector<std::string> calls;  // "SetPath C:\x", "Save D:\y.lnk remember=0", ...
  std::vector<intptr_t> folder_owners;

  std::string ShellVersionText() override {
    if (version_unreadable) throw EStVersionInfoError("File does not contain version info");
    return version_text;
  }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  std::string ProgramDirectory() override { return program_directory; }
  bool SpecialFolderLocation(intptr_t owner, int32_t csidl, std::string& path) override {
    folder_owners.push_back(owner);
    calls.push_back("SpecialFolderLocation " + std::to_string(csidl));
    const auto found = special_folders.find(csidl);
    path = found == special_folders.end() ? "" : found->second;
    return found != special_folders.end();
  }
  std::unique_ptr<platform::ShellLink> CreateShellLink() override {
    calls.push_back("CreateShellLink");
    if (link_object == kNotCreatable) {
      throw platform::EComError("Class not registered", platform::kClassNotRegistered);
    }
    if (link_object == kIncomplete) return nullptr;
    return std::make_unique<Link>(*this);
  }

 private:
  class Link : public platform::ShellLink {
   public:
    explicit Link(ScriptedShell& shell) : shell_(shell) {}
    void SetPath(const std::string& v) override { Record("SetPath " + v); }
    void SetArguments(const std::string& v) override { Record("SetArguments " + v); }
    void SetDescription(const std::string& v) override { Record("SetDescription " + v); }
    void SetHotkey(uint16_t v) override { Record("SetHotkey " + std::to_string(v)); }
    void SetShowCmd(int32_t v) override { Record("SetShowCmd " + std::to_string(v)); }
    void SetWorkingDirectory(const std::string& v) override { Record("SetWorkingDirectory " + v); }
    void SetIconLocation(const std::string& path, int32_t index) override {
      Record("SetIconLocation " + path + "," + std::to_string(index));
    }
    bool Save(const std::string& file, bool remember) override {
      Record("Save " + file + " remember=" + std::to_string(remember));
      return shell_.save_succeeds;
    }

   private:
    void Record(const std::string& call) { shell_.calls.push_back(call); }
    ScriptedShell& shell_;
  };
};

}  // namespace vx::test
