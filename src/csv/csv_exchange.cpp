#include "csv/csv_exchange.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "csv/csv_dialect.h"
#include "csv/progress.h"
#include "csv/text_decoding.h"
#include "csv/vcard.h"
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
constexpr const char* kVCardFilterDescription = N_("vCard files (*.vcf)");
constexpr const char* kVCardFilterPattern = "*.vcf";
constexpr const char* kAllFilesDescription = N_("All files (*.*)");
constexpr const char* kAllFilesPattern = "*.*";
constexpr std::size_t kVCardFilter = 1;  // the Save dialog's entry for vCard
constexpr const char* kDefaultExtension = "csv";

constexpr const char* kUnknownKind =
    N_("The first line holds no known column title, and the file is no vCard file.");
constexpr const char* kUnclosedQuote = N_("Line %u: a quoted value is not closed.");

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

enum class ImportOutcome { Completed, Stopped, Cancelled, UnknownKind, UnclosedQuote };

// An import under way: its progress, and where and why it stopped.
class ImportRun {
 public:
  ImportRun(ProgressObserver& progress, const FileSource& source, uint64_t size)
      : progress_(progress), source_(source), size_(size) {}

  // Imports the record that began at `line`; false when the import ends
  // there, stopped by the record or cancelled.
  bool Take(const ImportValues& values, std::size_t line) {
    const RecordResult result = ImportRecord(values);
    if (result != RecordResult::Imported) {
      stop_ = result;
      stopLine_ = line;
      return false;
    }
    progress_.Advance(++imported_, source_.Position(), size_);
    return !progress_.Cancelled();
  }
  ImportOutcome Ended() const {
    return stop_ == RecordResult::Imported ? ImportOutcome::Cancelled : ImportOutcome::Stopped;
  }

  std::size_t Imported() const { return imported_; }
  RecordResult Stop() const { return stop_; }
  std::size_t StopLine() const { return stopLine_; }

 private:
  ProgressObserver& progress_;
  const FileSource& source_;
  uint64_t size_;
  std::size_t imported_ = 0;
  RecordResult stop_ = RecordResult::Imported;
  std::size_t stopLine_ = 0;
};

// Every card of a vCard file, each through the record sequence; a card that
// stops the import is named by the line of its BEGIN.
ImportOutcome ImportCards(LineStream& lines, ImportRun& run) {
  VCardReader cards(lines);
  ImportValues card;
  while (cards.Next(card))
    if (!run.Take(card, cards.CardLine())) return run.Ended();
  return ImportOutcome::Completed;
}

// A CSV file: the first line sets the separator and the columns (a first line
// without fields leaves the export's column order in force); every further
// record that has fields is one Kestrin user. `recordLine` is the first line
// of the record read last.
ImportOutcome ImportCsv(LineStream& lines, ImportRun& run, std::size_t& recordLine) {
  std::string titleLine;
  if (!lines.Next(titleLine)) return ImportOutcome::Completed;
  const std::string_view titles = WithoutByteOrderMark(titleLine);
  const char separator = DetectSeparator(titles);
  std::string titleTexts;
  const TitleMap map =
      ReadTitles(separator == kSemicolon ? SplitFields(titles)
                                         : SplitQuotedFields(titles, separator, titleTexts));
  if (!map.recognised) return ImportOutcome::UnknownKind;
  RecordReader records(lines, separator);
  FieldList fields;
  for (;;) {
    recordLine = lines.LinesRead() + 1;
    switch (records.Next(fields)) {
      case RecordReader::Result::End: return ImportOutcome::Completed;
      case RecordReader::Result::Unclosed: return ImportOutcome::UnclosedQuote;
      case RecordReader::Result::Record:
        if (!fields.empty() && !run.Take(TakeValues(fields, map), recordLine)) return run.Ended();
        break;
    }
  }
}

}  // namespace

void RunImport(const std::string& caption) {
  const ExchangeGuard guard;
  if (!guard.Entered()) return;
  const HostHandle owner = shell::CommandWindow();  // before the dialog takes the activation
  shell::FileDialogRequest request;
  request.kind = shell::FileDialogKind::Open;
  request.title = Translated(kOpenTitle);
  request.filters = {{Translated(kFilterDescription), kFilterPattern},
                     {Translated(kVCardFilterDescription), kVCardFilterPattern},
                     {Translated(kAllFilesDescription), kAllFilesPattern}};
  request.defaultExtension = kDefaultExtension;
  request.flags =
      shell::kDialogHideReadOnly | shell::kDialogPathMustExist | shell::kDialogFileMustExist;
  const std::optional<shell::FileChoice> choice = shell::AskFileName(request);
  if (!choice) return;
  ProgressShown progress(owner, Translated(kImportProgressTitle));
  ImportFile(choice->path, caption, progress);
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
  LineStream lines(reader);
  ImportRun run(progress, source, size);
  // The content decides the kind of file, whatever its name.
  std::size_t recordLine = 0;
  const ImportOutcome outcome =
      IsVCardFile(lines) ? ImportCards(lines, run) : ImportCsv(lines, run, recordLine);
  switch (outcome) {
    case ImportOutcome::Stopped: {
      finish();
      const RecordResult stop = run.Stop();
      const char* why = stop == RecordResult::NoName       ? kLineWithoutName
                        : stop == RecordResult::NotCreated ? kLineNotCreated
                                                           : kLineNotStored;
      ShowImportStop(why, run.StopLine(), caption);
      return;
    }
    case ImportOutcome::Cancelled:
      finish();
      shell::ShowMessage(Translated(kImportCancelled) + "\n\n" + Translated(kImportedCount) + " " +
                             std::to_string(run.Imported()),
                         caption, shell::kMessageOk);
      return;
    default: break;
  }
  // Past the records read, the reader's own stop comes first: an unclosed
  // quote at the end of what could be read is the unreadable line's doing.
  if (reader.TooLong()) {
    finish();
    ShowImportStop(kLineTooLong, lines.LinesRead() + 1, caption);
    return;
  }
  if (reader.Failed()) {
    finish();
    ShowFileFailure(kImportFailed, LineText(kLineUnreadable, lines.LinesRead() + 1), path,
                    source.Reason(), caption);
    return;
  }
  switch (outcome) {
    case ImportOutcome::UnknownKind:
      finish();
      ShowFileFailure(kImportFailed, std::string(), path, Translated(kUnknownKind), caption);
      return;
    case ImportOutcome::UnclosedQuote:
      finish();
      ShowFileFailure(kImportFailed, std::string(), path, LineText(kUnclosedQuote, recordLine),
                      caption);
      return;
    default: break;
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

VCardContact ReadVCardContact(ContactHandle contact) {
  ContactDetails details = ReadContactDetails(contact);
  VCardContact card;
  card.first = std::move(details.first);
  card.last = std::move(details.last);
  card.nick = std::move(details.nick);
  card.email = std::move(details.email);
  card.mobile = std::move(details.mobile);
  card.web = std::move(details.homepage);
  card.contactType = details.contactType;
  return card;
}

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
// with it, so that a failure or a cancel leaves an existing file as it was. A
// CSV file in the code page is what it always was; the first value the code
// page cannot represent abandons it (NeedsUtf8), and the export is written
// again as UTF-8 with a byte-order mark. A second walk costs less than holding
// the whole file in memory, and most exports never need it. A vCard file is UTF-8.
ExportEnd WriteExportFile(const std::string& target, ExportFormat format, bool utf8,
                          ProgressObserver& progress, std::string& reason) {
  std::string created;
  std::unique_ptr<shell::WritableFile> file = CreateBesideTarget(target, created, reason);
  if (!file) return ExportEnd::Failed;
  PendingFile pending(std::move(file), created);
  const bool vCard = format == ExportFormat::VCard;
  if (!vCard) {
    if (utf8) pending.Append(kUtf8ByteOrderMark);
    pending.Append(std::string(kHeaderLine) + kLineEnd);
  }
  bool representable = true;
  std::size_t exported = 0;
  WalkContacts([&](ContactHandle contact, int32_t index, int32_t count) {
    if (pending.Failed()) return false;
    if (!IsOwnContact(contact)) return true;
    if (vCard) {
      pending.Append(WriteVCard(ReadVCardContact(contact)));
    } else {
      std::string line = ExportRecord(contact) + kLineEnd;
      if (utf8) {
        pending.Append(line);
      } else if (const std::optional<std::string> bytes = ToCodePage(line)) {
        pending.Append(*bytes);
      } else {
        representable = false;
        return false;
      }
    }
    progress.Advance(++exported, static_cast<uint64_t>(index) + 1, static_cast<uint64_t>(count));
    return !progress.Cancelled();
  });
  if (!representable) return ExportEnd::NeedsUtf8;
  if (progress.Cancelled()) return ExportEnd::Cancelled;
  return pending.PlaceAt(target, reason) ? ExportEnd::Written : ExportEnd::Failed;
}

ExportEnd WriteExportFile(const std::string& target, ExportFormat format,
                          ProgressObserver& progress, std::string& reason) {
  const ExportEnd end = WriteExportFile(target, format, false, progress, reason);
  return end == ExportEnd::NeedsUtf8 ? WriteExportFile(target, format, true, progress, reason)
                                     : end;
}

}  // namespace

// The Save dialog's texts are not translated.
void RunExport(const std::string& caption) {
  const ExchangeGuard guard;
  if (!guard.Entered()) return;
  const HostHandle owner = shell::CommandWindow();  // before the dialog takes the activation
  shell::FileDialogRequest request;
  request.kind = shell::FileDialogKind::Save;
  request.title = "Save";
  request.filters = {{kFilterDescription, kFilterPattern},
                     {kVCardFilterDescription, kVCardFilterPattern}};
  request.defaultExtension = kDefaultExtension;
  request.flags = shell::kDialogHideReadOnly | shell::kDialogPathMustExist;
  const std::optional<shell::FileChoice> choice = shell::AskFileName(request);
  if (!choice) return;
  const ExportFormat format =
      choice->filter == kVCardFilter ? ExportFormat::VCard : ExportFormat::Csv;
  ProgressShown progress(owner, Translated(kExportProgressTitle));
  ExportFile(choice->path, format, caption, progress);
}

void ExportFile(const std::string& path, ExportFormat format, const std::string& caption,
                ProgressObserver& progress) {
  std::string reason;
  const ExportEnd end = WriteExportFile(path, format, progress, reason);
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

RecordResult ImportRecord(const ImportValues& values) {
  std::string first = values.first;
  std::string last = values.last;
  std::string name = values.nick;
  ContactDetails details;
  details.contactType = ParseInt32(values.type).value_or(0);
  details.email = values.email;
  details.mobile = values.mobile;
  details.homepage = values.web;

  std::string fullName = first + " " + last;
  if (IsBlank(fullName)) {
    // An address book's display name, else the nickname, stands for the full name.
    const std::string& given = IsBlank(values.fullName) ? name : values.fullName;
    if (IsBlank(given)) {
      shell::ShowMessage(Translated(N_("Invalid or empty full user name.")),
                         Translated(N_("Error")), shell::kMessageIconError);
      return RecordResult::NoName;
    }
    fullName = given;
    FullNameParts parts = SplitFullName(given);
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
