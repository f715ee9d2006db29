// vxzip: lists, tests and extracts ZIP archives with the engine of the
// setup program. The output is meant for scripts: one line per member, a
// fixed format, and an exit status that says how it went.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/disk_prompt.h"
#include "archive/errors.h"
#include "archive/unzipper.h"
#include "archive/zip_archive.h"
#include "archive/zip_listing.h"
#include "command_line.h"
#include "directory_entries.h"
#include "platform/console.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/system_library.h"

namespace vx::vxzip {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitMemberFailed = 1;
constexpr int kExitCannotOpen = 2;

// Whether each line on standard output is written out as soon as it is
// complete (set by BufferStandardOutput).
bool flush_output_lines = false;

// Gives standard output a buffer of its own. Without one the Windows runtime
// writes a stream on a console or on the null device a character at a time,
// each a call into the system; with it, a terminal still gets each line as
// soon as it is complete, and files and pipes get large writes.
void BufferStandardOutput() {
  flush_output_lines = platform::IsTerminal(platform::StandardStream::kOutput);
  std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
}

void PrintLine(std::FILE* stream, const std::string& text) {
  // What standard output holds comes first where both streams reach the same place.
  if (stream != stdout) std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
  if (stream == stdout && flush_output_lines) std::fflush(stdout);
}

void ReportArchiveError(const std::string& archive, const std::string& message) {
  PrintLine(stderr, "vxzip: " + archive + ": " + message);
}

std::string ZipItemName(TAbArchiveItem& item) {
  return item.StoredName();
}

// Draws the progress bar on standard error while members are extracted.
class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled) {}
  ~ProgressBar() { Clear(); }

  void StartItem(TAbArchiveItem& item, double total_bytes) {
    done_bytes_ += current_bytes_;
    current_bytes_ = static_cast<uint32_t>(item.UncompressedSize());
    total_bytes_ = total_bytes;
    Show(0, item);
  }

  void Show(uint8_t item_percent, TAbArchiveItem& item) {
    if (!enabled_) return;
    const double done = done_bytes_ + current_bytes_ * (item_percent / 100.0);
    const uint8_t percent =
        total_bytes_ > 0 ? static_cast<uint8_t>(std::min(100.0, done * 100.0 / total_bytes_)) : 0;
    if (percent == shown_percent_ && &item == shown_item_) return;
    // A new name alone is not worth a redraw more often than the eye can
    // follow: archives of thousands of small files would spend their time here.
    const auto now = std::chrono::steady_clock::now();
    if (percent == shown_percent_ && now - shown_at_ < std::chrono::milliseconds(100)) return;
    shown_at_ = now;
    shown_percent_ = percent;
    shown_item_ = &item;
    const std::string line = ProgressBarText(percent, item.StoredName(), 30, 79);
    std::fprintf(stderr, "\r%-79s", line.c_str());
    std::fflush(stderr);
    visible_ = true;
  }

  // Removes the bar so that other lines start on a clean line.
  void Clear() {
    if (!visible_) return;
    std::fprintf(stderr, "\r%79s\r", "");
    std::fflush(stderr);
    visible_ = false;
    shown_item_ = nullptr;
  }

 private:
  bool enabled_;
  bool visible_ = false;
  double done_bytes_ = 0;
  double current_bytes_ = 0;
  double total_bytes_ = 0;
  uint8_t shown_percent_ = 255;
  TAbArchiveItem* shown_item_ = nullptr;
  std::chrono::steady_clock::time_point shown_at_;
};

// Asks for the next disk of a spanned set on the terminal; without one (a
// script, a pipe) nobody can change disks, so the request is refused with a
// message that says why.
class TerminalDiskPrompt : public TDiskPrompt {
 public:
  bool AskForDisk(const std::string& caption, const std::string& text) override;
};

bool TerminalDiskPrompt::AskForDisk(const std::string& caption, const std::string& text) {
  if (!platform::IsTerminal(platform::StandardStream::kInput)) {
    PrintLine(stderr, "vxzip: " + text +
                          ": standard input is not a terminal, so nobody can "
                          "insert the disk; giving up");
    return false;
  }
  std::fprintf(stderr, "%s: %s, then press Enter (or type q and Enter to stop): ", caption.c_str(),
               text.c_str());
  std::fflush(stderr);
  std::string answer;
  for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
    answer += static_cast<char>(c);
  }
  if (std::feof(stdin)) return false;
  return answer != "q" && answer != "Q";
}

TerminalDiskPrompt terminal_prompt;

// Opens the archive; on failure reports it and answers false.
bool OpenArchive(TAbUnZipper& unzipper, const std::string& archive) {
  try {
    unzipper.SetZipByContents(true);
    unzipper.SetFileName(archive);
    if (auto* zip = dynamic_cast<TAbZipArchive*>(unzipper.Archive())) {
      const std::string note = PrependedDataNote(*zip);
      if (!note.empty()) ReportArchiveError(archive, note);
    }
    return true;
  } catch (const Exception& error) {
    ReportArchiveError(archive, error.Message());
  } catch (const std::exception& error) {
    ReportArchiveError(archive, error.what());
  }
  return false;
}

int RunList(const CommandLine& line) {
  TAbUnZipper unzipper{terminal_prompt};
  if (!OpenArchive(unzipper, line.archive)) return kExitCannotOpen;
  auto* archive = static_cast<TAbZipArchive*>(unzipper.Archive());
  for (int32_t i = 0; i < unzipper.Count(); ++i)
    PrintLine(stdout, FormatListLine(archive->ZipItems(i)));
  return kExitOk;
}

// Answers every password request with the password of the command line, so
// a wrong or missing one ends the member with "invalid password" instead of
// a user abort that would stop the whole archive.
void AnswerPasswordRequests(TAbUnZipper& unzipper, const std::string& password) {
  unzipper.SetPassword(password);
  unzipper.OnNeedPassword = [password](TAbUnZipper&, std::string& new_password) {
    new_password = password;
  };
}

int RunTest(const CommandLine& line) {
  TAbUnZipper unzipper{terminal_prompt};
  if (!OpenArchive(unzipper, line.archive)) return kExitCannotOpen;
  AnswerPasswordRequests(unzipper, line.password);
  bool failed = false;
  std::string failure;
  unzipper.OnProcessItemFailure = [&](TAbUnZipper& sender, TAbArchiveItem&, TAbProcessType,
                                      TAbErrorClass, int32_t) {
    failed = true;
    failure = sender.LastFailureMessage();
  };
  int exit_code = kExitOk;
  for (int32_t i = 0; i < unzipper.Count(); ++i) {
    TAbArchiveItem& item = unzipper.Items(i);
    failed = false;
    try {
      unzipper.TestItemAt(i);
    } catch (const std::exception& error) {
      failed = true;
      failure = error.what();
    }
    if (failed) {
      PrintLine(stdout, "FAIL " + ZipItemName(item) + ": " + failure);
      exit_code = kExitMemberFailed;
    } else {
      PrintLine(stdout, "OK " + ZipItemName(item));
    }
  }
  return exit_code;
}

int RunExtract(const CommandLine& line) {
  std::string directory = line.directory;
  if (directory.empty()) {
    directory = platform::GetCurrentDirectory();
  } else if (!platform::DirectoryExists(directory) && !platform::CreateDirs(directory)) {
    ReportArchiveError(line.archive, "cannot create directory " + directory);
    return kExitCannotOpen;
  }

  TAbUnZipper unzipper{terminal_prompt};
  try {
    unzipper.SetBaseDirectory(directory);
  } catch (const Exception& error) {
    ReportArchiveError(line.archive, directory + ": " + error.Message());
    return kExitCannotOpen;
  }
  if (!OpenArchive(unzipper, line.archive)) return kExitCannotOpen;
  if (line.junk_paths) {
    unzipper.SetExtractOptions({eoCreateDirs});
  } else {
    unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  }
  AnswerPasswordRequests(unzipper, line.password);

  double total_bytes = 0;
  for (int32_t i = 0; i < unzipper.Count(); ++i) {
    total_bytes += static_cast<uint32_t>(unzipper.Items(i).UncompressedSize());
  }
  ProgressBar bar(platform::IsTerminal(platform::StandardStream::kError));
  unzipper.OnConfirmProcessItem = [&](TAbUnZipper&, TAbArchiveItem& item, TAbProcessType, bool&) {
    bar.StartItem(item, total_bytes);
  };
  unzipper.OnArchiveItemProgress = [&](TAbUnZipper&, TAbArchiveItem& item, uint8_t progress,
                                       bool&) { bar.Show(progress, item); };
  // Existing files are replaced, read-only ones included.
  unzipper.OnConfirmOverwrite = [](std::string& name, bool& confirm) {
    const uint32_t attributes = platform::GetFileAttributes(name);
    if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly)) {
      platform::SetFileAttributes(name, attributes & ~platform::kAttrReadOnly);
    }
    confirm = true;
  };
  int exit_code = kExitOk;
  unzipper.OnProcessItemFailure = [&](TAbUnZipper& sender, TAbArchiveItem& item, TAbProcessType,
                                      TAbErrorClass, int32_t) {
    bar.Clear();
    PrintLine(stderr, "FAIL " + ZipItemName(item) + ": " + sender.LastFailureMessage());
    exit_code = kExitMemberFailed;
  };

  std::string masks;
  for (const std::string& mask : line.masks) masks += (masks.empty() ? "" : ";") + mask;
  try {
    unzipper.ExtractFiles(masks.empty() ? "*.*" : masks);
  } catch (const std::exception& error) {
    bar.Clear();
    ReportArchiveError(line.archive, error.what());
    return kExitMemberFailed;
  }
  // Directory entries are part of extracting everything with its paths.
  auto* zip = dynamic_cast<TAbZipArchive*>(unzipper.Archive());
  if (zip != nullptr && line.masks.empty() && !line.junk_paths &&
      !CreateDirectoryEntries(*zip, zip->BaseDirectory(),
                              [](const TAbZipItem& item, const std::string& message) {
                                PrintLine(stderr, "FAIL " + item.StoredName() + ": " + message);
                              })) {
    exit_code = kExitMemberFailed;
  }
  return exit_code;
}

}  // namespace
}  // namespace vx::vxzip

int main(int argc, char** argv) {
  using namespace vx::vxzip;
  // vxzip is often run from a folder of downloads, its current directory:
  // libraries come from the system directory only.
  vx::platform::RestrictLibrarySearch();
  BufferStandardOutput();
  std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(args, line, error)) {
    std::fprintf(stderr, "vxzip: %s\n%s", error.c_str(), UsageText().c_str());
    return kExitCannotOpen;
  }
  switch (line.command) {
    case Command::kHelp:
      std::fputs(UsageText().c_str(), stdout);
      return kExitOk;
    case Command::kList:
      return RunList(line);
    case Command::kTest:
      return RunTest(line);
    case Command::kExtract:
      return RunExtract(line);
  }
  return kExitCannotOpen;
}
