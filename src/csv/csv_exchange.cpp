#include "csv/csv_exchange.h"

#include <algorithm>
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

constexpr const char* kImportCompleted = N_("Import process has completed.");
constexpr const char* kExportCompleted = N_("Export process has completed.");
// Where and why an import stopped: "%u" stands for the line's number.
constexpr const char* kLineWithoutName = N_("Line %u has no name.");
constexpr const char* kLineNotCreated = N_("The messenger did not create the contact of line %u.");
constexpr const char* kLineUnreadable = N_("Line %u could not be read.");
constexpr const char* kLineTooLong = N_("Line %u is longer than 1 MiB.");
constexpr const char* kLineNotStored = N_("The messenger did not store every value of line %u.");

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

// `text` translated, with its "%u" replaced by the number of the line.
std::string LineText(const char* text, std::size_t line) {
  std::string translated = Translated(text);
  const std::size_t mark = translated.find("%u");
  if (mark != std::string::npos) translated.replace(mark, 2, std::to_string(line));
  return translated;
}

// The import stopped at `line` (counted from 1, as editors count) for `reason`.
void ShowImportStop(const char* reason, std::size_t line, const std::string& caption) {
  shell::ShowMessage(Translated(kImportFailed) + "\n" + LineText(reason, line), caption,
                     shell::kMessageOk);
}

// A file that could not be used: the command's failure, where it happened
// (when known), the file and the system's reason.
void ShowFileFailure(const char* text, const std::string& where, const std::string& path,
                     const std::string& reason, const std::string& caption) {
  std::string message = Translated(text);
  if (!where.empty()) message += "\n" + where;
  shell::ShowMessage(message + "\n\n" + path + ": " + reason, caption, shell::kMessageIconError);
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
    ShowFileFailure(kImportFailed, std::string(), path, reason, caption);
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
  std::size_t number = 0;  // of the line read last
  std::size_t imported = 0;
  while (reader.Next(line)) {
    if (++number == 1) {
      // A first line without fields leaves the default map in force.
      ReadHeader(WithoutByteOrderMark(line), map);
      continue;
    }
    if (line.empty()) continue;
    const RecordResult result = ImportRecord(line, map);
    if (result != RecordResult::Imported) {
      finish();
      const char* reason = result == RecordResult::NoName       ? kLineWithoutName
                           : result == RecordResult::NotCreated ? kLineNotCreated
                                                                : kLineNotStored;
      ShowImportStop(reason, number, caption);
      return;
    }
    progress.Advance(++imported, source.Position(), size);
    if (progress.Cancelled()) {
      finish();
      shell::ShowMessage(Translated(kImportCancelled) + "\n\n" + Translated(kImportedCount) + " " +
                             std::to_string(imported),
                         caption, shell::kMessageOk);
      return;
    }
  }
  if (reader.TooLong()) {
    finish();
    ShowImportStop(kLineTooLong, number + 1, caption);
    return;
  }
  if (reader.Failed()) {
    finish();
    ShowFileFailure(kImportFailed, LineText(kLineUnreadable, number + 1), path, source.Reason(),
                    caption);
    return;
  }
  const bool closed = file->Close(reason);
  finish();
  if (!closed) {
    ShowFileFailure(kImportFailed, std::string(), path, reason, caption);
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

// A new file beside `target` that is to take its place. In a folder too long
// for the system's names, it gets one of our own: "~" and hexadecimal digits,
// no longer than the target's own name, so that it fits wherever the target does.
std::unique_ptr<shell::WritableFile> CreateBesideTarget(const std::string& target,
                                                        std::string& created, std::string& reason) {
  const std::size_t slash = target.find_last_of("\\/");
  const std::size_t folderLength = slash == std::string::npos ? 0 : slash;
  if (folderLength <= shell::kSystemNamesFolderLimit)
    return shell::CreateBeside(target, created, reason);
  const std::size_t nameLength = target.size() - slash - 1;
  const std::size_t digits = std::min<std::size_t>(4, nameLength > 0 ? nameLength - 1 : 0);
  const unsigned names = 1u << (4 * digits);
  constexpr unsigned kAttempts = 256;
  for (unsigned number = 0; number < names && number < kAttempts; ++number) {
    std::string path = target.substr(0, slash + 1) + "~";
    for (std::size_t digit = digits; digit-- > 0;)
      path += "0123456789abcdef"[(number >> (4 * digit)) & 0xF];
    bool exists = false;
    std::unique_ptr<shell::WritableFile> file = shell::CreateNew(path, exists, reason);
    if (file) {
      created = path;
      return file;
    }
    if (!exists) return nullptr;
  }
  return nullptr;
}

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
  std::unique_ptr<shell::WritableFile> file = CreateBesideTarget(target, created, reason);
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
    case ExportEnd::NeedsUtf8:  // answered by the UTF-8 walk; never left over
    case ExportEnd::Failed:
      ShowFileFailure(kExportFailed, std::string(), path, reason, caption);
      break;
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

RecordResult ImportRecord(std::string_view line, const ColumnMap& map) {
  const FieldList fields = SplitFields(line);
  if (fields.empty()) return RecordResult::NoName;
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
      return RecordResult::NoName;
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
  bool stored = false;
  if (CreateImportedContact(fullName, details, stored) == 0) return RecordResult::NotCreated;
  return stored ? RecordResult::Imported : RecordResult::NotStored;
}
