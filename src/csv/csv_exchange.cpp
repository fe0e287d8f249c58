#include "csv/csv_exchange.h"

#include <memory>
#include <string>
#include <utility>

#include "csv/csv_dialect.h"
#include "csv/vcard.h"
#include "editor/editor_text.h"
#include "host/globals.h"
#include "records/IntegerText.h"
#include "records/KestrinUserU.h"
#include "shell/dialogs.h"
#include "shell/files.h"
#include "shell/shell.h"

namespace {

constexpr const char* kMessageCaption = "&Kestrin Users";
constexpr const char* kFilterDescription = "Comma Separated Values (*.csv)";
constexpr const char* kFilterPattern = "*.csv";
constexpr const char* kVCardFilterDescription = "vCard files (*.vcf)";
constexpr const char* kVCardFilterPattern = "*.vcf";
constexpr const char* kAllFilesDescription = "All files (*.*)";
constexpr const char* kAllFilesPattern = "*.*";
constexpr std::size_t kVCardFilter = 1;  // the Save dialog's entry for vCard
constexpr const char* kDefaultExtension = "csv";

constexpr const char* kImportCompleted = "Import process has completed.";
constexpr const char* kImportFailed = "Import process has not completed.";
constexpr const char* kExportCompleted = "Export process has completed.";
constexpr const char* kExportFailed = "Export process has not completed.";
constexpr const char* kUnknownKind =
    "The file's first line holds no column title that the import knows, and the file is no "
    "vCard file.";
constexpr const char* kUnclosedQuote = "Line %u: a quoted value is not closed.";

constexpr std::size_t kWriteChunk = 64 * 1024;

// The caption is the popup's name without its "&", and is not translated.
void ShowClosingMessage(const char* text) {
  shell::ShowMessage(TranslateText(text), StripFirstAmpersand(kMessageCaption), shell::kMessageOk);
}

// A file that could not be used: the command's failure, the file and the system's reason.
void ShowFileFailure(const char* text, const std::string& path, const std::string& reason) {
  shell::ShowMessage(TranslateText(text) + "\n\n" + path + ": " + reason,
                     StripFirstAmpersand(kMessageCaption), shell::kMessageIconError);
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
  const TitleMap map = ReadTitles(separator == kSemicolon ? SplitFields(titles)
                                                          : SplitQuotedFields(titles, separator));
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
  std::string text = TranslateText(kUnclosedQuote);
  const std::size_t mark = text.find("%u");
  if (mark != std::string::npos) text.replace(mark, 2, std::to_string(line));
  return text;
}

void RunImport() {
  shell::FileDialogRequest request;
  request.kind = shell::FileDialogKind::Open;
  request.title = TranslateText("Open");
  request.filters = {{TranslateText(kFilterDescription), kFilterPattern},
                     {TranslateText(kVCardFilterDescription), kVCardFilterPattern},
                     {TranslateText(kAllFilesDescription), kAllFilesPattern}};
  request.defaultExtension = kDefaultExtension;
  request.flags =
      shell::kDialogHideReadOnly | shell::kDialogPathMustExist | shell::kDialogFileMustExist;
  const std::optional<shell::FileChoice> choice = shell::AskFileName(request);
  if (!choice) return;
  const std::string& path = choice->path;

  std::string reason;
  std::unique_ptr<shell::ReadableFile> file = shell::OpenForReading(path, reason);
  if (!file) {
    ShowFileFailure(kImportFailed, path, reason);
    return;
  }
  FileSource source(*file);
  LineReader reader(source);
  LineStream lines(reader);
  // The content decides the kind of file, whatever its name.
  std::size_t failedLine = 0;
  const ImportOutcome outcome =
      IsVCardFile(lines) ? ImportCards(lines) : ImportCsv(lines, failedLine);
  if (reader.Failed()) {
    file.reset();
    ShowFileFailure(kImportFailed, path, source.Reason());
    return;
  }
  switch (outcome) {
    case ImportOutcome::Completed: break;
    case ImportOutcome::Stopped:
      file.reset();
      ShowClosingMessage(kImportFailed);
      return;
    case ImportOutcome::UnknownKind:
      file.reset();
      ShowFileFailure(kImportFailed, path, TranslateText(kUnknownKind));
      return;
    case ImportOutcome::UnclosedQuote:
      file.reset();
      ShowFileFailure(kImportFailed, path, UnclosedQuoteText(failedLine));
      return;
  }
  const bool closed = file->Close(reason);
  file.reset();
  if (!closed) {
    ShowFileFailure(kImportFailed, path, reason);
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

VCardContact ReadVCardContact(ContactHandle contact) {
  auto text = [contact](const char* setting) {
    return GetSettingString(contact, kModule, setting, std::string());
  };
  VCardContact card;
  card.first = text("FirstName");
  card.last = text("LastName");
  card.nick = text("Nick");
  card.email = text("e-mail");
  card.mobile = text("AlternativeCellular");
  card.web = text("Homepage");
  card.contactType = static_cast<int32_t>(GetSettingDword(contact, kModule, "ContactType", 0));
  return card;
}

enum class ExportFormat { Csv, VCard };

// Writes every Kestrin user into a new file and only then replaces `target`
// with it, so that a failure leaves an existing file as it was.
bool WriteExportFile(const std::string& target, ExportFormat format, std::string& reason) {
  std::string created;
  std::unique_ptr<shell::WritableFile> file = shell::CreateBeside(target, created, reason);
  if (!file) return false;
  PendingFile pending(std::move(file), created);
  if (format == ExportFormat::Csv) pending.Append(std::string(kHeaderLine) + kLineEnd);
  ForEachContact([&pending, format](ContactHandle contact) {
    if (pending.Failed() || !IsOwnContact(contact)) return;
    pending.Append(format == ExportFormat::Csv ? ExportRecord(contact) + kLineEnd
                                               : WriteVCard(ReadVCardContact(contact)));
  });
  return pending.PlaceAt(target, reason);
}

// The Save dialog's texts are not translated.
void RunExport() {
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
    ShowFileFailure(kExportFailed, choice->path, reason);
    return;
  }
  ShowClosingMessage(kExportCompleted);
}

}  // namespace

bool ImportRecord(const ImportValues& values) {
  std::string first = values.first;
  std::string last = values.last;
  std::string name = values.nick;
  std::string fullName = first + " " + last;
  if (IsBlank(fullName)) {
    // An address book's display name, else the nickname, stands for the full name.
    const std::string& given = IsBlank(values.fullName) ? name : values.fullName;
    if (IsBlank(given)) {
      shell::ShowMessage(TranslateText("Invalid or empty full user name."), TranslateText("Error"),
                         shell::kMessageIconError);
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
  WriteSettingString(contact, kModule, "Nick", name);
  WriteSettingString(contact, kModule, "FirstName", first);
  WriteSettingString(contact, kModule, "LastName", last);
  if (!values.email.empty()) WriteSettingString(contact, kModule, "e-mail", values.email);
  if (!values.mobile.empty()) {
    WriteSettingString(contact, kModule, "Cellular", values.mobile + " SMS");
    WriteSettingString(contact, kModule, "AlternativeCellular", values.mobile);
  }
  if (!values.web.empty()) WriteSettingString(contact, kModule, "Homepage", values.web);
  WriteSettingDword(contact, kModule, "ContactType",
                    static_cast<uint32_t>(ParseInt32(values.type).value_or(0)));
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
