#include "csv/csv_exchange.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "csv/progress.h"
#include "csv/text_decoding.h"
#include "host/globals.h"
#include "records/IntegerText.h"
#include "records/KestrinUserU.h"
#include "records/StoredText.h"
#include "shell/dialogs.h"
#include "shell/files.h"
#include "shell/shell.h"

namespace {

constexpr const char* kImportFailed = N_("Import process has not completed.");
constexpr const char* kImportCompleted = N_("Import process has completed.");
constexpr const char* kExportCompleted = N_("Export process has completed.");
constexpr const char* kExportFailed = N_("Export process has not completed.");

constexpr const char* kImportCancelled = N_("Import process was cancelled.");
constexpr const char* kImportedCount = N_("Kestrin users imported:");
constexpr const char* kExportCancelled = N_("Export process was cancelled; no file was written.");
constexpr const char* kImportProgressTitle = N_("Importing Kestrin users");
constexpr const char* kExportProgressTitle = N_("Exporting Kestrin users");

constexpr const char* kOpenTitle = N_("Open");
constexpr const char* kFilterDescription = N_("Comma Separated Values (*.csv)");
constexpr const char* kFilterPattern = "*.csv";
constexpr const char* kDefaultExtension = "csv";

constexpr std::size_t kWriteChunk = 64 * 1024;
constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

void ShowClosingMessage(const char* text, const std::string& caption) {
  shell::ShowMessage(Translated(text), caption, shell::kMessageOk);
}

// A file that could not be used: the command's failure, the file and the system's reason.
void ShowFileFailure(const char* text, const std::string& path, const std::string& reason,
                     const std::string& caption) {
  shell::ShowMessage(Translated(text) + "\n\n" + path + ": " + reason, caption,
                     shell::kMessageIconError);
}

// Marks an exchange command as running. The file dialog and the progress
// window keep the host's windows working meanwhile, and a second Import or
// Export asked from one of them does not start.
class ExchangeGuard {
 public:
  ExchangeGuard() : entered_(!ExchangeRunning.exchange(true)) {}
  ~ExchangeGuard() {
    if (entered_) ExchangeRunning = false;
  }
  ExchangeGuard(const ExchangeGuard&) = delete;
  ExchangeGuard& operator=(const ExchangeGuard&) = delete;
  bool Entered() const { return entered_; }

 private:
  bool entered_;
};

}  // namespace

void RunImport(const std::string& caption) {
  const ExchangeGuard guard;
  if (!guard.Entered()) return;
  const HostHandle owner = shell::CommandWindow();  // before the dialog takes the activation
  shell::FileDialogRequest request;
  request.kind = shell::FileDialogKind::Open;
  request.title = Translated(kOpenTitle);
  request.filterDescription = Translated(kFilterDescription);
  request.filterPattern = kFilterPattern;
  request.defaultExtension = kDefaultExtension;
  request.flags =
      shell::kDialogHideReadOnly | shell::kDialogPathMustExist | shell::kDialogFileMustExist;
  const std::optional<std::string> path = shell::AskFileName(request);
  if (!path) return;
  ProgressShown progress(owner, Translated(kImportProgressTitle));
  ImportFile(*path, caption, progress);
}

void ImportFile(const std::string& path, const std::string& caption, ProgressObserver& progress) {
  std::string reason;
  std::unique_ptr<shell::ReadableFile> file = shell::OpenForReading(path, reason);
  if (!file) {
    ShowFileFailure(kImportFailed, path, reason, caption);
    return;
  }
  // The file and the progress window go before any closing message.
  auto finish = [&file, &progress] {
    file.reset();
    progress.Finished();
  };
  const uint64_t size = file->Size();
  FileSource source(*file);
  DecodingSource text(source);
  LineReader reader(text);
  ColumnMap map;  // the default map until the header replaces it
  std::string_view line;
  bool header = true;
  std::size_t imported = 0;
  while (reader.Next(line)) {
    if (header) {
      // A first line without fields leaves the default map in force.
      ReadHeader(line, map);
      header = false;
    } else if (!line.empty()) {
      if (!ImportRecord(line, map)) {
        finish();
        ShowClosingMessage(kImportFailed, caption);
        return;
      }
      progress.Advance(++imported, source.Position(), size);
      if (progress.Cancelled()) {
        finish();
        shell::ShowMessage(Translated(kImportCancelled) + "\n\n" + Translated(kImportedCount) +
                               " " + std::to_string(imported),
                           caption, shell::kMessageOk);
        return;
      }
    }
  }
  if (reader.Failed()) {
    finish();
    ShowFileFailure(kImportFailed, path, source.Reason(), caption);
    return;
  }
  const bool closed = file->Close(reason);
  finish();
  if (!closed) {
    ShowFileFailure(kImportFailed, path, reason, caption);
    return;
  }
  ShowClosingMessage(kImportCompleted, caption);
}

namespace {

// The new file beside the target: removed again unless it took the target's place.
class PendingFile {
 public:
  PendingFile(std::unique_ptr<shell::WritableFile> file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}
  ~PendingFile() {
    file_.reset();  // closed before it can be removed
    if (!placed_) shell::RemoveFile(path_);
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool Failed() const { return failed_; }

  // Writes in large chunks; after the first failure nothing more is written.
  void Append(const std::string& text) {
    if (failed_) return;
    buffer_ += text;
    if (buffer_.size() >= kWriteChunk) Flush();
  }

  // Writes the rest, closes the file and moves it in place of `target`.
  bool PlaceAt(const std::string& target, std::string& reason) {
    Flush();
    if (failed_) {
      reason = reason_;
      return false;
    }
    const bool closed = file_->Close(reason);
    file_.reset();
    if (!closed) return false;
    placed_ = shell::MoveOver(path_, target, reason);
    return placed_;
  }

 private:
  void Flush() {
    if (failed_ || buffer_.empty()) return;
    failed_ = !file_->Write(buffer_.data(), buffer_.size(), reason_);
    buffer_.clear();
  }

  std::unique_ptr<shell::WritableFile> file_;
  std::string path_;
  std::string buffer_;
  std::string reason_;
  bool failed_ = false;
  bool placed_ = false;
};

enum class ExportEnd { Written, NeedsUtf8, Failed, Cancelled };

// Writes every Kestrin user into a new file and only then replaces `target`
// with it, so that a failure or a cancel leaves an existing file as it was. In
// the code page the file is what it always was; the first value the code page
// cannot represent abandons it (NeedsUtf8), and the export is written again as
// UTF-8 with a byte-order mark. A second walk costs less than holding the
// whole file in memory, and most exports never need it.
ExportEnd WriteExportFile(const std::string& target, bool utf8, ProgressObserver& progress,
                          std::string& reason) {
  std::string created;
  std::unique_ptr<shell::WritableFile> file = shell::CreateBeside(target, created, reason);
  if (!file) return ExportEnd::Failed;
  PendingFile pending(std::move(file), created);
  if (utf8) pending.Append(kUtf8ByteOrderMark);
  pending.Append(std::string(kHeaderLine) + kLineEnd);
  bool representable = true;
  std::size_t exported = 0;
  WalkContacts([&](ContactHandle contact, int32_t index, int32_t count) {
    if (pending.Failed()) return false;
    if (!IsOwnContact(contact)) return true;
    std::string line = ExportRecord(contact) + kLineEnd;
    if (utf8) {
      pending.Append(line);
    } else if (const std::optional<std::string> bytes = ToCodePage(line)) {
      pending.Append(*bytes);
    } else {
      representable = false;
      return false;
    }
    progress.Advance(++exported, static_cast<uint64_t>(index) + 1, static_cast<uint64_t>(count));
    return !progress.Cancelled();
  });
  if (!representable) return ExportEnd::NeedsUtf8;
  if (progress.Cancelled()) return ExportEnd::Cancelled;
  return pending.PlaceAt(target, reason) ? ExportEnd::Written : ExportEnd::Failed;
}

ExportEnd WriteExportFile(const std::string& target, ProgressObserver& progress,
                          std::string& reason) {
  const ExportEnd end = WriteExportFile(target, false, progress, reason);
  return end == ExportEnd::NeedsUtf8 ? WriteExportFile(target, true, progress, reason) : end;
}

}  // namespace

void RunExport(const std::string& caption) {
  const ExchangeGuard guard;
  if (!guard.Entered()) return;
  const HostHandle owner = shell::CommandWindow();  // before the dialog takes the activation
  shell::FileDialogRequest request;
  request.kind = shell::FileDialogKind::Save;
  request.title = "Save";
  request.filterDescription = kFilterDescription;
  request.filterPattern = kFilterPattern;
  request.defaultExtension = kDefaultExtension;
  request.flags = shell::kDialogHideReadOnly | shell::kDialogPathMustExist;
  const std::optional<std::string> path = shell::AskFileName(request);
  if (!path) return;
  ProgressShown progress(owner, Translated(kExportProgressTitle));
  ExportFile(*path, caption, progress);
}

void ExportFile(const std::string& path, const std::string& caption, ProgressObserver& progress) {
  std::string reason;
  const ExportEnd end = WriteExportFile(path, progress, reason);
  progress.Finished();
  switch (end) {
    case ExportEnd::Written: ShowClosingMessage(kExportCompleted, caption); break;
    case ExportEnd::Failed: ShowFileFailure(kExportFailed, path, reason, caption); break;
    case ExportEnd::Cancelled: ShowClosingMessage(kExportCancelled, caption); break;
  }
}

std::string ExportRecord(ContactHandle contact) {
  ContactDetails details = ReadContactDetails(contact);
  ColumnValues values;
  values[Column::FirstName] = std::move(details.first);
  values[Column::LastName] = std::move(details.last);
  values[Column::Name] = std::move(details.nick);
  values[Column::ContactType] = std::to_string(details.contactType);
  values[Column::Email] = std::move(details.email);
  values[Column::Mobile] = std::move(details.mobile);
  values[Column::Homepage] = std::move(details.homepage);
  return RecordLine(values);
}

bool ImportRecord(std::string_view line, const ColumnMap& map) {
  const FieldList fields = SplitFields(line);
  if (fields.empty()) return false;
  std::string first(ColumnValue(fields, map, Column::FirstName));
  std::string last(ColumnValue(fields, map, Column::LastName));
  std::string name(ColumnValue(fields, map, Column::Name));
  ContactDetails details;
  details.contactType = ParseInt32(ColumnValue(fields, map, Column::ContactType)).value_or(0);
  details.email = std::string(ColumnValue(fields, map, Column::Email));
  details.mobile = std::string(ColumnValue(fields, map, Column::Mobile));
  details.homepage = std::string(ColumnValue(fields, map, Column::Homepage));

  std::string fullName = first + " " + last;
  if (IsBlank(fullName)) {
    if (IsBlank(name)) {
      shell::ShowMessage(Translated(N_("Invalid or empty full user name.")),
                         Translated(N_("Error")), shell::kMessageIconError);
      return false;
    }
    fullName = name;
    FullNameParts parts = SplitFullName(name);
    first = std::move(parts.first);
    last = std::move(parts.last);
  } else {
    first = Trim(first);
    last = Trim(last);
  }
  if (IsBlank(name)) name = Trim(fullName);

  details.nick = std::move(name);
  details.first = std::move(first);
  details.last = std::move(last);
  return CreateImportedContact(fullName, details) != 0;
}
