#include "csv/csv_exchange.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

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

}  // namespace

void RunImport(const std::string& caption) {
  ColumnMap map;  // the default map until the header replaces it
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

  std::string reason;
  std::unique_ptr<shell::ReadableFile> file = shell::OpenForReading(*path, reason);
  if (!file) {
    ShowFileFailure(kImportFailed, *path, reason, caption);
    return;
  }
  FileSource source(*file);
  DecodingSource text(source);
  LineReader reader(text);
  std::string_view line;
  bool header = true;
  while (reader.Next(line)) {
    if (header) {
      // A first line without fields leaves the default map in force.
      ReadHeader(line, map);
      header = false;
    } else if (!line.empty() && !ImportRecord(line, map)) {
      file.reset();
      ShowClosingMessage(kImportFailed, caption);
      return;
    }
  }
  if (reader.Failed()) {
    file.reset();
    ShowFileFailure(kImportFailed, *path, source.Reason(), caption);
    return;
  }
  const bool closed = file->Close(reason);
  file.reset();
  if (!closed) {
    ShowFileFailure(kImportFailed, *path, reason, caption);
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

enum class ExportOutcome { Written, NeedsUtf8, Failed };

// Writes every Kestrin user into a new file and only then replaces `target`
// with it, so that a failure leaves an existing file as it was. In the code
// page the file is what it always was; the first value the code page cannot
// represent abandons it (NeedsUtf8), and the export is written again as UTF-8
// with a byte-order mark. A second walk costs less than holding the whole
// file in memory, and most exports never need it.
ExportOutcome WriteExportFile(const std::string& target, bool utf8, std::string& reason) {
  std::string created;
  std::unique_ptr<shell::WritableFile> file = shell::CreateBeside(target, created, reason);
  if (!file) return ExportOutcome::Failed;
  PendingFile pending(std::move(file), created);
  if (utf8) pending.Append(kUtf8ByteOrderMark);
  pending.Append(std::string(kHeaderLine) + kLineEnd);
  bool representable = true;
  ForEachContact([&](ContactHandle contact) {
    if (pending.Failed() || !representable || !IsOwnContact(contact)) return;
    std::string line = ExportRecord(contact) + kLineEnd;
    if (utf8) {
      pending.Append(line);
      return;
    }
    const std::optional<std::string> bytes = ToCodePage(line);
    if (bytes)
      pending.Append(*bytes);
    else
      representable = false;
  });
  if (!representable) return ExportOutcome::NeedsUtf8;
  return pending.PlaceAt(target, reason) ? ExportOutcome::Written : ExportOutcome::Failed;
}

bool WriteExportFile(const std::string& target, std::string& reason) {
  ExportOutcome outcome = WriteExportFile(target, false, reason);
  if (outcome == ExportOutcome::NeedsUtf8) outcome = WriteExportFile(target, true, reason);
  return outcome == ExportOutcome::Written;
}

}  // namespace

void RunExport(const std::string& caption) {
  shell::FileDialogRequest request;
  request.kind = shell::FileDialogKind::Save;
  request.title = "Save";
  request.filterDescription = kFilterDescription;
  request.filterPattern = kFilterPattern;
  request.defaultExtension = kDefaultExtension;
  request.flags = shell::kDialogHideReadOnly | shell::kDialogPathMustExist;
  const std::optional<std::string> path = shell::AskFileName(request);
  if (!path) return;

  std::string reason;
  if (!WriteExportFile(*path, reason)) {
    ShowFileFailure(kExportFailed, *path, reason, caption);
    return;
  }
  ShowClosingMessage(kExportCompleted, caption);
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

  const ContactHandle contact = CreateContactEntry(fullName);
  if (contact == 0) return false;
  details.nick = std::move(name);
  details.first = std::move(first);
  details.last = std::move(last);
  WriteImportedDetails(contact, details);
  return true;
}
