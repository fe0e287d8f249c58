#include "csv/csv_exchange.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "csv/csv_dialect.h"
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

constexpr const char* kImportFailed = N_("Import process has not completed.");
constexpr const char* kImportCompleted = N_("Import process has completed.");
constexpr const char* kExportCompleted = N_("Export process has completed.");
constexpr const char* kExportFailed = N_("Export process has not completed.");

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

// A file that could not be used: the command's failure, the file and the system's reason.
void ShowFileFailure(const char* text, const std::string& path, const std::string& reason,
                     const std::string& caption) {
  shell::ShowMessage(Translated(text) + "\n\n" + path + ": " + reason, caption,
                     shell::kMessageIconError);
}

enum class ImportOutcome { Completed, Stopped, UnknownKind, UnclosedQuote };

// Every card of a vCard file, each through the record sequence.
ImportOutcome ImportCards(LineStream& lines) {
  VCardReader cards(lines);
  ImportValues card;
  while (cards.Next(card))
    if (!ImportRecord(card)) return ImportOutcome::Stopped;
  return ImportOutcome::Completed;
}

// A CSV file: the first line sets the separator and the columns (a first line
// without fields leaves the export's column order in force); every further
// record that has fields is one Kestrin user.
ImportOutcome ImportCsv(LineStream& lines, std::size_t& failedLine) {
  std::string titles;
  if (!lines.Next(titles)) return ImportOutcome::Completed;
  const char separator = DetectSeparator(titles);
  std::string titleTexts;
  const TitleMap map =
      ReadTitles(separator == kSemicolon ? SplitFields(titles)
                                         : SplitQuotedFields(titles, separator, titleTexts));
  if (!map.recognised) return ImportOutcome::UnknownKind;
  RecordReader records(lines, separator);
  FieldList fields;
  for (;;) {
    failedLine = lines.LinesRead() + 1;
    switch (records.Next(fields)) {
      case RecordReader::Result::End: return ImportOutcome::Completed;
      case RecordReader::Result::Unclosed: return ImportOutcome::UnclosedQuote;
      case RecordReader::Result::Record:
        if (!fields.empty() && !ImportRecord(TakeValues(fields, map)))
          return ImportOutcome::Stopped;
        break;
    }
  }
}

std::string UnclosedQuoteText(std::size_t line) {
  std::string text = Translated(kUnclosedQuote);
  const std::size_t mark = text.find("%u");
  if (mark != std::string::npos) text.replace(mark, 2, std::to_string(line));
  return text;
}

}  // namespace

void RunImport(const std::string& caption) {
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
  const std::string& path = choice->path;

  std::string reason;
  std::unique_ptr<shell::ReadableFile> file = shell::OpenForReading(path, reason);
  if (!file) {
    ShowFileFailure(kImportFailed, path, reason, caption);
    return;
  }
  FileSource source(*file);
  DecodingSource text(source);
  LineReader reader(text);
  LineStream lines(reader);
  // The content decides the kind of file, whatever its name.
  std::size_t failedLine = 0;
  const ImportOutcome outcome =
      IsVCardFile(lines) ? ImportCards(lines) : ImportCsv(lines, failedLine);
  if (reader.Failed()) {
    file.reset();
    ShowFileFailure(kImportFailed, path, source.Reason(), caption);
    return;
  }
  switch (outcome) {
    case ImportOutcome::Completed: break;
    case ImportOutcome::Stopped:
      file.reset();
      ShowClosingMessage(kImportFailed, caption);
      return;
    case ImportOutcome::UnknownKind:
      file.reset();
      ShowFileFailure(kImportFailed, path, Translated(kUnknownKind), caption);
      return;
    case ImportOutcome::UnclosedQuote:
      file.reset();
      ShowFileFailure(kImportFailed, path, UnclosedQuoteText(failedLine), caption);
      return;
  }
  const bool closed = file->Close(reason);
  file.reset();
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

enum class ExportFormat { Csv, VCard };

enum class ExportOutcome { Written, NeedsUtf8, Failed };

// Writes every Kestrin user into a new file and only then replaces `target`
// with it, so that a failure leaves an existing file as it was. A CSV file in
// the code page is what it always was; the first value the code page cannot
// represent abandons it (NeedsUtf8), and the export is written again as UTF-8
// with a byte-order mark. A second walk costs less than holding the whole
// file in memory, and most exports never need it. A vCard file is UTF-8.
ExportOutcome WriteExportFile(const std::string& target, ExportFormat format, bool utf8,
                              std::string& reason) {
  std::string created;
  std::unique_ptr<shell::WritableFile> file = shell::CreateBeside(target, created, reason);
  if (!file) return ExportOutcome::Failed;
  PendingFile pending(std::move(file), created);
  if (format == ExportFormat::VCard) {
    ForEachContact([&pending](ContactHandle contact) {
      if (!pending.Failed() && IsOwnContact(contact))
        pending.Append(WriteVCard(ReadVCardContact(contact)));
    });
    return pending.PlaceAt(target, reason) ? ExportOutcome::Written : ExportOutcome::Failed;
  }
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

bool WriteExportFile(const std::string& target, ExportFormat format, std::string& reason) {
  ExportOutcome outcome = WriteExportFile(target, format, false, reason);
  if (outcome == ExportOutcome::NeedsUtf8) outcome = WriteExportFile(target, format, true, reason);
  return outcome == ExportOutcome::Written;
}

}  // namespace

// The Save dialog's texts are not translated.
void RunExport(const std::string& caption) {
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
  std::string reason;
  if (!WriteExportFile(choice->path, format, reason)) {
    ShowFileFailure(kExportFailed, choice->path, reason, caption);
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

bool ImportRecord(const ImportValues& values) {
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
      return false;
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

  const ContactHandle contact = CreateContactEntry(fullName);
  if (contact == 0) return false;
  details.nick = std::move(name);
  details.first = std::move(first);
  details.last = std::move(last);
  WriteImportedDetails(contact, details);
  return true;
}
