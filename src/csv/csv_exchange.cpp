#include "csv/csv_exchange.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "csv/text_decoding.h"
#include "editor/editor_text.h"
#include "host/globals.h"
#include "host/host_text.h"
#include "records/IntegerText.h"
#include "records/KestrinUserU.h"
#include "shell/dialogs.h"
#include "shell/files.h"
#include "shell/shell.h"

namespace {

constexpr const char* kMessageCaption = "&Kestrin Users";
constexpr const char* kFilterDescription = "Comma Separated Values (*.csv)";
constexpr const char* kFilterPattern = "*.csv";
constexpr const char* kDefaultExtension = "csv";

constexpr const char* kImportCompleted = "Import process has completed.";
constexpr const char* kImportFailed = "Import process has not completed.";
constexpr const char* kExportCompleted = "Export process has completed.";
constexpr const char* kExportFailed = "Export process has not completed.";

constexpr std::size_t kWriteChunk = 64 * 1024;
constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The caption is the popup's name without its "&", and is not translated.
void ShowClosingMessage(const char* text) {
  shell::ShowMessage(TranslateText(text), StripFirstAmpersand(kMessageCaption), shell::kMessageOk);
}

// A file that could not be used: the command's failure, the file and the system's reason.
void ShowFileFailure(const char* text, const std::string& path, const std::string& reason) {
  shell::ShowMessage(TranslateText(text) + "\n\n" + path + ": " + reason,
                     StripFirstAmpersand(kMessageCaption), shell::kMessageIconError);
}

void RunImport() {
  ColumnMap map;  // the default map until the header replaces it
  shell::FileDialogRequest request;
  request.kind = shell::FileDialogKind::Open;
  request.title = TranslateText("Open");
  request.filterDescription = TranslateText(kFilterDescription);
  request.filterPattern = kFilterPattern;
  request.defaultExtension = kDefaultExtension;
  request.flags =
      shell::kDialogHideReadOnly | shell::kDialogPathMustExist | shell::kDialogFileMustExist;
  const std::optional<std::string> path = shell::AskFileName(request);
  if (!path) return;

  std::string reason;
  std::unique_ptr<shell::ReadableFile> file = shell::OpenForReading(*path, reason);
  if (!file) {
    ShowFileFailure(kImportFailed, *path, reason);
    return;
  }
  FileSource source(*file);
  DecodingSource text(source);
  LineReader reader(text);
  std::string line;
  bool header = true;
  while (reader.Next(line)) {
    if (header) {
      // A first line without fields leaves the default map in force.
      ReadHeader(line, map);
      header = false;
    } else if (!line.empty() && !ImportRecord(line, map)) {
      file.reset();
      ShowClosingMessage(kImportFailed);
      return;
    }
  }
  if (reader.Failed()) {
    file.reset();
    ShowFileFailure(kImportFailed, *path, source.Reason());
    return;
  }
  const bool closed = file->Close(reason);
  file.reset();
  if (!closed) {
    ShowFileFailure(kImportFailed, *path, reason);
    return;
  }
  ShowClosingMessage(kImportCompleted);
}

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

void RunExport() {
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
    ShowFileFailure(kExportFailed, *path, reason);
    return;
  }
  ShowClosingMessage(kExportCompleted);
}

}  // namespace

bool ImportRecord(std::string_view line, const ColumnMap& map) {
  const FieldList fields = SplitFields(line);
  if (fields.empty()) return false;
  std::string first = ColumnValue(fields, map, Column::FirstName);
  std::string last = ColumnValue(fields, map, Column::LastName);
  std::string name = ColumnValue(fields, map, Column::Name);
  const std::string type = ColumnValue(fields, map, Column::ContactType);
  const std::string mail = ColumnValue(fields, map, Column::Email);
  const std::string mobile = ColumnValue(fields, map, Column::Mobile);
  const std::string web = ColumnValue(fields, map, Column::Homepage);

  std::string fullName = first + " " + last;
  if (IsBlank(fullName)) {
    if (IsBlank(name)) {
      shell::ShowMessage(TranslateText("Invalid or empty full user name."), TranslateText("Error"),
                         shell::kMessageIconError);
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
  WriteSettingString(contact, kModule, "Nick", name);
  WriteSettingString(contact, kModule, "FirstName", first);
  WriteSettingString(contact, kModule, "LastName", last);
  if (!mail.empty()) WriteSettingString(contact, kModule, "e-mail", mail);
  if (!mobile.empty()) {
    WriteSettingString(contact, kModule, "Cellular", mobile + " SMS");
    WriteSettingString(contact, kModule, "AlternativeCellular", mobile);
  }
  if (!web.empty()) WriteSettingString(contact, kModule, "Homepage", web);
  WriteSettingDword(contact, kModule, "ContactType",
                    static_cast<uint32_t>(ParseInt32(type).value_or(0)));
  WriteContactStatus(contact);
  return true;
}

intptr_t MIRANDA_CDECL ImportContacts(WParam, LParam) {
  return GuardedHandler([] {
    RunImport();
    return 0;
  });
}

intptr_t MIRANDA_CDECL ExportContacts(WParam, LParam) {
  return GuardedHandler([] {
    RunExport();
    return 0;
  });
}
