#include "archive/archive.h"

#include "archive/errors.h"
#include "archive/name_rules.h"
#include "archive/progress.h"
#include "platform/path_text.h"
#include "platform/datetime.h"
#include "platform/files.h"

namespace vx {

namespace {

std::string NowText() {
  return platform::FormatLocaleDateTime(platform::CurrentLocalDateTime());
}

}  // namespace

void ConvertException(const std::exception& error, TAbErrorClass& error_class,
                      int32_t& error_code) {
  error_code = 0;
  if (auto* archive_error = dynamic_cast<const EAbException*>(&error)) {
    error_class = ecArchive;
    error_code = archive_error->ErrorCode();
  } else if (auto* io_error = dynamic_cast<const EInOutError*>(&error)) {
    error_class = ecInOut;
    error_code = static_cast<int32_t>(io_error->ErrorCode());
  } else if (dynamic_cast<const EFCreateError*>(&error) != nullptr) {
    error_class = ecFileCreate;
  } else if (dynamic_cast<const EFileError*>(&error) != nullptr) {
    error_class = ecFileOpen;
  } else if (dynamic_cast<const EStreamError*>(&error) != nullptr) {
    // Short reads and writes of a stream: the streaming system's own errors.
    error_class = ecFiler;
  } else {
    error_class = ecOther;
  }
}

TAbArchive::TAbArchive(std::string archive_name) : archive_name_(std::move(archive_name)) {
  status_ = asIdle;
}

TAbArchive::~TAbArchive() = default;

void TAbArchive::Load() {
  status_ = asBusy;
  struct Finish {
    TAbArchive& archive;
    ~Finish() {
      if (archive.OnLoad) {
        try {
          archive.OnLoad();
        } catch (...) {
          // A failing handler must not mask the load's own outcome.
        }
      }
      if (archive.status_ == asBusy) archive.status_ = asIdle;
    }
  } finish{*this};
  LoadArchive();
}

void TAbArchive::SetBaseDirectory(const std::string& directory) {
  std::string trimmed = TrimBaseDirectory(directory);
  if (!trimmed.empty()) {
    // Wildcards never name a directory, whatever the file system says.
    bool wildcard = trimmed.find_first_of("*?") != std::string::npos;
    if (wildcard || !platform::DirectoryExists(trimmed)) throw EAbNoSuchDirectory();
  }
  base_directory_ = trimmed;
}

void TAbArchive::SetLogFile(const std::string& log_file) {
  log_file_ = log_file;
  log_.reset();
  SetLogging(!log_file.empty());
}

void TAbArchive::SetLogging(bool logging) {
  logging_ = logging;
  if (!logging_) {
    log_.reset();
  } else if (!log_ && !log_file_.empty()) {
    OpenLog();
  }
}

void TAbArchive::OpenLog() {
  try {
    log_ = platform::TFileStream::CreateAlways(log_file_);
  } catch (const EFileError&) {
    throw EAbException(MessageTextOf(38));
  }
  WriteLog(archive_name_ + MessageTextOf(316) + NowText() + "\r\n");
}

void TAbArchive::WriteLog(const std::string& text) {
  if (log_) log_->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TAbArchive::ExtractFilesEx(const std::string& mask, const std::string& exclusion_mask) {
  if (status_ == asInvalid) throw EAbNoArchive();
  for (int32_t i = 0; i < Count(); ++i) {
    const std::string name = Items(i).FileName();
    if (MatchMask(name, mask) && !MatchMask(name, exclusion_mask)) ExtractAt(i, "");
    if (DoArchiveProgress(Percent(i + 1, Count()))) throw EAbUserAbort();
  }
  DoArchiveProgress(100);
}

void TAbArchive::ExtractAt(int32_t index, const std::string& new_name) {
  ProcessItem(index, true, [&](TAbArchiveItem& item) {
    ExtractItemAt(item, new_name.empty() ? item.FileName() : new_name);
  });
}

void TAbArchive::ExtractToStream(int32_t index, TStream& stream) {
  ProcessItem(index, false, [&](TAbArchiveItem& item) { ExtractItemToStream(item, stream); });
}

void TAbArchive::TestItemAt(int32_t index) {
  ProcessItem(index, false, [&](TAbArchiveItem& item) { TestItem(item); });
}

void TAbArchive::ProcessItem(int32_t index, bool confirm,
                             const std::function<void(TAbArchiveItem&)>& action) {
  if (status_ == asInvalid) throw EAbNoArchive();
  TAbArchiveItem& item = Items(index);
  status_ = asBusy;
  struct Release {
    TAbArchive& archive;
    ~Release() {
      if (archive.status_ == asBusy) archive.status_ = asIdle;
    }
  } release{*this};

  if (confirm) {
    bool confirmed = true;
    if (OnConfirmProcessItem) OnConfirmProcessItem(item, ptExtract, confirmed);
    if (logging_ && confirmed) {
      WriteLog(item.FileName() + MessageTextOf(310 + ptExtract) + NowText() + "\r\n");
    }
    if (!confirmed) return;
  }

  try {
    action(item);
  } catch (const std::exception& error) {
    TAbErrorClass error_class;
    int32_t error_code;
    ConvertException(error, error_class, error_code);
    ReportItemFailure(item, error_class, error_code, error.what());
  } catch (...) {
    ReportItemFailure(item, ecOther, 0, "Unknown error");
  }
}

void TAbArchive::ExtractItemAt(TAbArchiveItem&, const std::string&) {
  throw EAbZipNoExtraction();
}

void TAbArchive::ExtractItemToStream(TAbArchiveItem&, TStream&) {
  throw EAbZipNoExtraction();
}

void TAbArchive::TestItem(TAbArchiveItem&) {
  throw EAbZipNoExtraction();
}

bool TAbArchive::DoArchiveProgress(uint8_t progress) {
  bool abort = false;
  if (OnArchiveProgress) OnArchiveProgress(progress, abort);
  return abort;
}

bool TAbArchive::DoItemProgress(TAbArchiveItem& item, uint8_t progress) {
  bool abort = false;
  if (OnArchiveItemProgress) OnArchiveItemProgress(item, progress, abort);
  return abort;
}

void TAbArchive::ReportItemFailure(TAbArchiveItem& item, TAbErrorClass error_class,
                                   int32_t error_code, const std::string& message) {
  last_failure_message_ = message;
  if (OnProcessItemFailure) OnProcessItemFailure(item, ptExtract, error_class, error_code);
}

std::string TAbArchive::RequestPassword() {
  std::string answer;
  if (OnNeedPassword) OnNeedPassword(answer);
  if (!answer.empty()) password_ = answer;
  return answer;
}

}  // namespace vx
