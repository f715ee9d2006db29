#include "archive/unzipper.h"

#include "archive/disk_prompt.h"
#include "archive/errors.h"
#include "archive/name_rules.h"
#include "archive/zip_archive.h"
#include "platform/files.h"
#include "platform/path_text.h"

namespace vx {

namespace {

// Texts of the default disk requests in the message table.
constexpr int32_t kInsertFloppyText = 11;
constexpr int32_t kLastDiskText = 12;
constexpr int32_t kNthDiskText = 14;

}  // namespace

TDiskPrompt& RefuseEveryDisk() {
  class Refusing : public TDiskPrompt {
   public:
    bool AskForDisk(const std::string&, const std::string&) override { return false; }
  };
  static Refusing refusing;
  return refusing;
}

TAbUnZipper::TAbUnZipper(TDiskPrompt& disk_prompt) : disk_prompt_(disk_prompt) {}

TAbUnZipper::~TAbUnZipper() = default;

void TAbUnZipper::SetBaseDirectory(const std::string& directory) {
  if (archive_) {
    archive_->SetBaseDirectory(directory);
    base_directory_ = archive_->BaseDirectory();
  } else {
    base_directory_ = directory;
  }
}

void TAbUnZipper::SetExtractOptions(TAbExtractOptions options) {
  extract_options_ = options;
  if (archive_) archive_->SetExtractOptions(options);
}

void TAbUnZipper::SetLogFile(const std::string& log_file) {
  log_file_ = log_file;
  logging_ = !log_file.empty();
  if (archive_) archive_->SetLogFile(log_file);
}

void TAbUnZipper::SetLogging(bool logging) {
  logging_ = logging;
  if (archive_) archive_->SetLogging(logging);
}

void TAbUnZipper::SetPassword(const std::string& password) {
  password_ = password;
  if (archive_) archive_->SetPassword(password);
}

void TAbUnZipper::SetPasswordRetries(uint8_t retries) {
  password_retries_ = retries;
  if (archive_) archive_->SetPasswordRetries(retries);
}

void TAbUnZipper::SetTempDirectory(const std::string& directory) {
  temp_directory_ = directory;
  if (archive_) archive_->SetTempDirectory(directory);
}

void TAbUnZipper::SetOutputPlacement(TAbOutputPlacement& placement) {
  placement_ = &placement;
  if (archive_) archive_->SetOutputPlacement(placement);
}

void TAbUnZipper::SetFileName(const std::string& file_name) {
  file_name_ = file_name;
  // Nothing is ever written to an archive here, so there is nothing to save
  // before it is closed.
  archive_.reset();
  archive_type_ = atUnknown;

  if (!file_name.empty()) {
    if (!platform::FileExists(file_name)) throw EAbFileNotFound();
    const TAbArchiveType type = zip_by_contents_ ? DetermineArchiveTypeByContents(file_name)
                                                 : DetermineArchiveType(file_name);
    if (type != atZip && type != atSpannedZip && type != atSelfExtZip) {
      // No reader for TAR, GZIP or CAB archives is built into this program.
      throw EAbUnhandledType();
    }
    archive_ = std::make_unique<TAbZipArchive>(file_name);
    try {
      ConnectArchive();
      archive_->Load();
    } catch (...) {
      // No half-loaded archive stays open.
      archive_.reset();
      throw;
    }
    archive_type_ = type;
  }
  if (OnChange) OnChange(*this);
}

void TAbUnZipper::ConnectArchive() {
  TAbArchive& archive = *archive_;
  archive.SetBaseDirectory(base_directory_);
  base_directory_ = archive.BaseDirectory();
  archive.SetExtractOptions(extract_options_);
  archive.SetPassword(password_);
  archive.SetPasswordRetries(password_retries_);
  archive.SetTempDirectory(temp_directory_);
  if (!log_file_.empty()) archive.SetLogFile(log_file_);
  archive.SetLogging(logging_);
  archive.SetOutputPlacement(*placement_);

  archive.OnArchiveProgress = [this](uint8_t progress, bool& abort) {
    abort = false;
    if (OnArchiveProgress) OnArchiveProgress(*this, progress, abort);
  };
  archive.OnArchiveItemProgress = [this](TAbArchiveItem& item, uint8_t progress, bool& abort) {
    abort = false;
    if (OnArchiveItemProgress) OnArchiveItemProgress(*this, item, progress, abort);
  };
  archive.OnConfirmProcessItem = [this](TAbArchiveItem& item, TAbProcessType type, bool& confirm) {
    confirm = true;
    if (OnConfirmProcessItem) OnConfirmProcessItem(*this, item, type, confirm);
  };
  archive.OnLoad = [this] {
    if (OnLoad) OnLoad(*this);
  };
  archive.OnProcessItemFailure = [this](TAbArchiveItem& item, TAbProcessType type,
                                        TAbErrorClass error_class, int32_t error_code) {
    if (OnProcessItemFailure) OnProcessItemFailure(*this, item, type, error_class, error_code);
  };
  archive.OnConfirmOverwrite = [this](std::string& name, bool& confirm) {
    confirm = true;
    if (OnConfirmOverwrite) OnConfirmOverwrite(name, confirm);
  };
  archive.OnNeedPassword = [this](std::string& new_password) {
    if (!OnNeedPassword) return false;
    OnNeedPassword(*this, new_password);
    SetPassword(new_password);
    return true;
  };
  archive.OnRequestImage = [this](int32_t image_number, std::string& image_name, bool& abort) {
    abort = false;
    if (OnRequestImage) OnRequestImage(*this, image_number, image_name, abort);
  };
  archive.OnRequestLastDisk = [this](bool& abort) {
    abort = false;
    if (OnRequestLastDisk) {
      OnRequestLastDisk(*this, abort);
    } else {
      abort =
          !disk_prompt_.AskForDisk(MessageTextOf(kInsertFloppyText), MessageTextOf(kLastDiskText));
    }
  };
  archive.OnRequestNthDisk = [this](uint8_t disk_number, bool& abort) {
    abort = false;
    if (OnRequestNthDisk) {
      OnRequestNthDisk(*this, disk_number, abort);
    } else {
      abort = !disk_prompt_.AskForDisk(
          MessageTextOf(kInsertFloppyText),
          FormatMessageText(MessageTextOf(kNthDiskText), {std::to_string(disk_number)}));
    }
  };
}

TAbArchive& TAbUnZipper::OpenArchive() const {
  if (!archive_) throw EAbNoArchive();
  return *archive_;
}

int32_t TAbUnZipper::Count() const {
  return archive_ ? archive_->Count() : 0;
}

TAbArchiveItem& TAbUnZipper::Items(int32_t index) const {
  if (!archive_) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return archive_->Items(index);
}

std::string TAbUnZipper::OutputPath(int32_t index) const {
  const std::string relative =
      SafeRelativePath(Items(index).FileName(), extract_options_.Contains(eoRestorePath));
  return relative.empty() ? "" : AppendFileName(BaseDirectory(), relative);
}

void TAbUnZipper::ExtractFiles(const std::string& mask) {
  ExtractFilesEx(mask, "");
}

void TAbUnZipper::ExtractFilesEx(const std::string& mask, const std::string& exclusion_mask) {
  OpenArchive().ExtractFilesEx(mask, exclusion_mask);
}

void TAbUnZipper::ExtractAt(int32_t index, const std::string& new_name) {
  OpenArchive().ExtractAt(index, new_name);
}

void TAbUnZipper::ExtractToStream(int32_t index, TStream& stream) {
  OpenArchive().ExtractToStream(index, stream);
}

void TAbUnZipper::TestItemAt(int32_t index) {
  OpenArchive().TestItemAt(index);
}

void TAbUnZipper::CloseArchive() {
  if (!file_name_.empty()) SetFileName("");
}

std::string TAbUnZipper::LastFailureMessage() const {
  return archive_ ? archive_->LastFailureMessage() : std::string();
}

}  // namespace vx
