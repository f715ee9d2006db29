// An open archive and the driver that walks its items: status, extraction
// by mask or by index, the per-item failure path, and the notifications the
// extraction component connects to its events. Formats derive from it and
// supply loading and the per-item extraction.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "archive/archive_item.h"
#include "archive/archive_types.h"
#include "archive/output_placement.h"
#include "platform/stream.h"

namespace vx {

// The error class and code under which a failure is reported to
// OnProcessItemFailure: archive exceptions carry their code, directory
// creation failures the system error, stream failures are filer errors,
// output files that cannot be opened or created their own classes; anything
// else is ecOther with code 0.
void ConvertException(const std::exception& error, TAbErrorClass& error_class, int32_t& error_code);

class TAbArchive {
 public:
  explicit TAbArchive(std::string archive_name);
  virtual ~TAbArchive();
  TAbArchive(const TAbArchive&) = delete;
  TAbArchive& operator=(const TAbArchive&) = delete;

  // Notifications; the extraction component connects them to its events.
  std::function<void(uint8_t progress, bool& abort)> OnArchiveProgress;
  std::function<void(TAbArchiveItem& item, uint8_t progress, bool& abort)> OnArchiveItemProgress;
  std::function<void(TAbArchiveItem& item, TAbProcessType process_type, bool& confirm)>
      OnConfirmProcessItem;
  std::function<void()> OnLoad;
  std::function<void(TAbArchiveItem& item, TAbProcessType process_type, TAbErrorClass error_class,
                     int32_t error_code)>
      OnProcessItemFailure;
  std::function<void(std::string& name, bool& confirm)> OnConfirmOverwrite;
  // Asks for a password; answers whether anyone was there to answer.
  std::function<bool(std::string& new_password)> OnNeedPassword;
  std::function<void(bool& abort)> OnRequestLastDisk;
  std::function<void(uint8_t disk_number, bool& abort)> OnRequestNthDisk;
  std::function<void(int32_t image_number, std::string& image_name, bool& abort)> OnRequestImage;

  // Reads the archive's directory: Busy meanwhile, OnLoad at the end whether
  // it worked or not. Load errors propagate.
  void Load();

  const std::string& ArchiveName() const { return archive_name_; }
  TAbArchiveStatus Status() const { return status_; }
  // The items; a format may keep them its own way (see TAbZipArchive).
  virtual int32_t Count() const { return items_.Count(); }
  // Raises EListError for an index outside 0..Count()-1.
  virtual TAbArchiveItem& Items(int32_t index) const { return items_.Items(index); }
  // Position of the item with that FileName (any case), or -1.
  virtual int32_t FindItem(const std::string& name) const { return items_.Find(name); }

  const std::string& BaseDirectory() const { return base_directory_; }
  // Trims a trailing separator (not from "C:\") and raises EAbNoSuchDirectory
  // when a non-empty value names no existing directory.
  void SetBaseDirectory(const std::string& directory);
  TAbExtractOptions ExtractOptions() const { return extract_options_; }
  void SetExtractOptions(TAbExtractOptions options) { extract_options_ = options; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password) { password_ = password; }
  uint8_t PasswordRetries() const { return password_retries_; }
  void SetPasswordRetries(uint8_t retries) { password_retries_ = retries; }
  const std::string& TempDirectory() const { return temp_directory_; }
  void SetTempDirectory(const std::string& directory) { temp_directory_ = directory; }
  const std::string& LogFile() const { return log_file_; }
  bool Logging() const { return logging_; }
  // The log is open while logging is on and a log file is named; raises
  // EAbException ("Error creating Log File") when it cannot be created.
  void SetLogFile(const std::string& log_file);
  void SetLogging(bool logging);
  // Where extracted files are put (directories, temporary files, the move
  // onto the target); the direct placement unless set. Not owned.
  TAbOutputPlacement& OutputPlacement() const { return *placement_; }
  void SetOutputPlacement(TAbOutputPlacement& placement) { placement_ = &placement; }

  // Extracts every item matching `mask` and not `exclusion_mask`, reporting
  // archive progress after each index. Raises EAbNoArchive when the archive
  // is unusable and EAbUserAbort when a progress answer aborts.
  void ExtractFiles(const std::string& mask) { ExtractFilesEx(mask, ""); }
  void ExtractFilesEx(const std::string& mask, const std::string& exclusion_mask);
  // Extracts one item under `new_name` (its FileName when empty) below the
  // base directory. Failures of the item go to OnProcessItemFailure.
  void ExtractAt(int32_t index, const std::string& new_name);
  // Decodes one item into `stream`; failures as for ExtractAt.
  void ExtractToStream(int32_t index, TStream& stream);
  // Decodes one item and discards the output; failures as for ExtractAt.
  void TestItemAt(int32_t index);

  // The message of the last failure reported to OnProcessItemFailure.
  const std::string& LastFailureMessage() const { return last_failure_message_; }

 protected:
  virtual void LoadArchive() = 0;
  // The per-item operations of a format; the base has none.
  virtual void ExtractItemAt(TAbArchiveItem& item, const std::string& name);
  virtual void ExtractItemToStream(TAbArchiveItem& item, TStream& stream);
  virtual void TestItem(TAbArchiveItem& item);

  // Raises the archive progress notification; returns the Abort answer.
  bool DoArchiveProgress(uint8_t progress);
  bool DoItemProgress(TAbArchiveItem& item, uint8_t progress);
  // Reports a failure of `item` (OnProcessItemFailure) and remembers its text.
  void ReportItemFailure(TAbArchiveItem& item, TAbErrorClass error_class, int32_t error_code,
                         const std::string& message);
  bool HasItemFailureHandler() const { return static_cast<bool>(OnProcessItemFailure); }

  // Asks for a new password: empty when nobody answered or the answer was
  // empty; a non-empty answer becomes the password.
  std::string RequestPassword();

  void SetStatus(TAbArchiveStatus status) { status_ = status; }
  TAbArchiveList& ItemList() { return items_; }

 private:
  // Runs `action` on the item at `index` under the archive's rules: usable
  // status, Busy meanwhile, failures converted and reported.
  void ProcessItem(int32_t index, bool confirm, const std::function<void(TAbArchiveItem&)>& action);
  void OpenLog();
  void WriteLog(const std::string& text);

  std::string archive_name_;
  TAbArchiveList items_;
  TAbArchiveStatus status_ = asInvalid;
  std::string base_directory_;
  TAbExtractOptions extract_options_{eoCreateDirs};
  std::string password_;
  uint8_t password_retries_ = 3;
  std::string temp_directory_;
  std::string log_file_;
  bool logging_ = false;
  std::unique_ptr<TStream> log_;
  std::string last_failure_message_;
  TAbOutputPlacement* placement_ = &DirectOutputPlacement();
};

}  // namespace vx
