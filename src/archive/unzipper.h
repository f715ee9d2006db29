// The extraction component: set BaseDirectory, FileName (which opens the
// archive and reads its directory) and ExtractOptions, read Count and Items,
// call ExtractFiles with a mask, then CloseArchive. It reports through its
// events, raised synchronously on the caller's thread; Sender is always the
// component, var arguments are preset (Abort false, Confirm true).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "archive/archive_types.h"
#include "archive/disk_prompt.h"

namespace vx {

class TAbUnZipper {
 public:
  // `disk_prompt` is asked for the disks of a spanned set when the request
  // events are unset.
  explicit TAbUnZipper(TDiskPrompt& disk_prompt);
  ~TAbUnZipper();
  TAbUnZipper(const TAbUnZipper&) = delete;
  TAbUnZipper& operator=(const TAbUnZipper&) = delete;

  // Events.
  std::function<void(TAbUnZipper& sender, uint8_t progress, bool& abort)> OnArchiveProgress;
  std::function<void(TAbUnZipper& sender, TAbArchiveItem& item, uint8_t progress, bool& abort)>
      OnArchiveItemProgress;
  std::function<void(TAbUnZipper& sender)> OnChange;
  std::function<void(std::string& name, bool& confirm)> OnConfirmOverwrite;
  std::function<void(TAbUnZipper& sender, TAbArchiveItem& item, TAbProcessType process_type,
                     bool& confirm)>
      OnConfirmProcessItem;
  std::function<void(TAbUnZipper& sender)> OnLoad;
  std::function<void(TAbUnZipper& sender, std::string& new_password)> OnNeedPassword;
  std::function<void(TAbUnZipper& sender, int32_t image_number, std::string& image_name,
                     bool& abort)>
      OnRequestImage;
  std::function<void(TAbUnZipper& sender, TAbArchiveItem& item, TAbProcessType process_type,
                     TAbErrorClass error_class, int32_t error_code)>
      OnProcessItemFailure;
  std::function<void(TAbUnZipper& sender, bool& abort)> OnRequestLastDisk;
  std::function<void(TAbUnZipper& sender, uint8_t disk_number, bool& abort)> OnRequestNthDisk;

  // Properties.
  const std::string& BaseDirectory() const { return base_directory_; }
  // With an archive open the archive checks the directory (EAbNoSuchDirectory)
  // and the component keeps its normalised form; otherwise stored unchanged.
  void SetBaseDirectory(const std::string& directory);
  TAbExtractOptions ExtractOptions() const { return extract_options_; }
  void SetExtractOptions(TAbExtractOptions options);
  const std::string& LogFile() const { return log_file_; }
  // A non-empty name switches logging on, an empty one off.
  void SetLogFile(const std::string& log_file);
  bool Logging() const { return logging_; }
  void SetLogging(bool logging);
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password);
  uint8_t PasswordRetries() const { return password_retries_; }
  void SetPasswordRetries(uint8_t retries);
  const std::string& TempDirectory() const { return temp_directory_; }
  void SetTempDirectory(const std::string& directory);
  std::string Version() const { return "3.04"; }
  void SetVersion(const std::string&) {}  // read-only

  // Where extracted files are put; the direct placement unless set. Not
  // owned: it must outlive the extractions it serves.
  TAbOutputPlacement& OutputPlacement() const { return *placement_; }
  void SetOutputPlacement(TAbOutputPlacement& placement);

  // Whether a file is opened as a ZIP archive when its contents say it is
  // one, whatever its name (.jar, no extension, a self-extractor); off, its
  // extension decides first, as for an archive named by a settings file.
  bool ZipByContents() const { return zip_by_contents_; }
  void SetZipByContents(bool value) { zip_by_contents_ = value; }

  const std::string& FileName() const { return file_name_; }
  // Closes the open archive and opens the named one (empty: none). Raises
  // the loading errors (EAbZipInvalid, EAbUnhandledType, ...); after a
  // failure no archive is open.
  void SetFileName(const std::string& file_name);
  // The archive's type as determined when it was opened.
  TAbArchiveType ArchiveType() const { return archive_type_; }
  // The open archive, or null.
  TAbArchive* Archive() const { return archive_.get(); }

  // Operations.
  int32_t Count() const;
  // Raises EListError outside 0..Count()-1.
  TAbArchiveItem& Items(int32_t index) const;
  // The file ExtractFiles would write member `index` to, under BaseDirectory
  // and ExtractOptions; "" for a member that writes no file (a directory
  // entry, a name with nothing left once made safe).
  std::string OutputPath(int32_t index) const;
  // Raises EAbNoArchive when no archive is open.
  void ExtractFiles(const std::string& mask);
  void ExtractFilesEx(const std::string& mask, const std::string& exclusion_mask);
  void ExtractAt(int32_t index, const std::string& new_name);
  // Decodes one member into a stream, or only checks it; failures are
  // reported as for ExtractFiles.
  void ExtractToStream(int32_t index, TStream& stream);
  void TestItemAt(int32_t index);
  void CloseArchive();
  // The message of the last failure reported through OnProcessItemFailure.
  std::string LastFailureMessage() const;

 private:
  TAbArchive& OpenArchive() const;
  void ConnectArchive();

  TDiskPrompt& disk_prompt_;
  std::unique_ptr<TAbArchive> archive_;
  TAbArchiveType archive_type_ = atUnknown;
  std::string file_name_;
  std::string base_directory_;
  TAbExtractOptions extract_options_{eoCreateDirs};
  std::string log_file_;
  bool logging_ = false;
  std::string password_;
  uint8_t password_retries_ = 3;
  std::string temp_directory_;
  bool zip_by_contents_ = false;
  TAbOutputPlacement* placement_ = &DirectOutputPlacement();
};

}  // namespace vx
