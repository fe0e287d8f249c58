#include "exchange/commands/export_command.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "exchange/commands/exchange_messages.h"
#include "exchange/formats/csv_format.h"
#include "exchange/formats/vcard.h"
#include "exchange/text/text_marks.h"
#include "records/KestrinUserU.h"
#include "records/StoredText.h"
#include "shell/dialogs.h"
#include "shell/files.h"
#include "shell/progress.h"
#include "shell/shell.h"

namespace {

constexpr const char* kExportCompleted = N_("Export process has completed.");
constexpr const char* kExportCancelled = N_("Export process was cancelled; no file was written.");
constexpr const char* kExportProgressTitle = N_("Exporting Kestrin users");
constexpr std::size_t kVCardFilter = 1;  // the Save dialog's entry for vCard
constexpr std::size_t kWriteChunk = 64 * 1024;

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

enum class ExportEnd { Written, Rewrite, Failed, Cancelled };

// How a CSV file is written, learnt on the way.
struct CsvLayout {
  bool utf8 = false;        // a value the code page cannot represent
  bool categories = false;  // a Kestrin user in a group: the last column "Categories"
};

ColumnValues ColumnValuesOf(ContactDetails details) {
  ColumnValues values;
  values[Column::FirstName] = std::move(details.first);
  values[Column::LastName] = std::move(details.last);
  values[Column::Name] = std::move(details.nick);
  values[Column::ContactType] = std::to_string(details.contactType);
  values[Column::Email] = std::move(details.email);
  values[Column::Mobile] = std::move(details.mobile);
  values[Column::Homepage] = std::move(details.homepage);
  return values;
}

// Writes every Kestrin user into a new file and only then replaces `target`
// with it, so that a failure or a cancel leaves an existing file as it was. A
// CSV file is what it always was, in the code page and with seven columns, as
// long as that holds: the first value the code page cannot represent, or the
// first Kestrin user in a group, abandons it (Rewrite) with `layout` told,
// and it is written again, as UTF-8 with a byte-order mark or with the
// "Categories" column. A second walk costs less than holding the whole file in
// memory, and most exports never need it. A vCard file is UTF-8.
ExportEnd WriteExportFile(const std::string& target, ExportFormat format, CsvLayout& layout,
                          ProgressObserver& progress, std::string& reason) {
  std::string created;
  std::unique_ptr<shell::WritableFile> file = CreateBesideTarget(target, created, reason);
  if (!file) return ExportEnd::Failed;
  PendingFile pending(std::move(file), created);
  const bool vCard = format == ExportFormat::VCard;
  if (!vCard) {
    if (layout.utf8) pending.Append(std::string(kUtf8ByteOrderMark));
    std::string header = kHeaderLine;
    if (layout.categories) header += std::string(";") + kCategoriesTitle;
    pending.Append(header + kLineEnd);
  }
  bool rewrite = false;
  std::size_t exported = 0;
  WalkContacts([&](ContactHandle contact, int32_t index, int32_t count) {
    if (pending.Failed()) return false;
    if (!IsOwnContact(contact)) return true;
    ContactDetails details = ReadContactDetails(contact);
    if (vCard) {
      pending.Append(WriteVCard(details));
    } else {
      if (!layout.categories && !details.group.empty()) {
        layout.categories = rewrite = true;
        return false;
      }
      std::string line = RecordLine(ColumnValuesOf(details));
      if (layout.categories) line += ";" + FieldText(details.group);
      line += kLineEnd;
      if (layout.utf8) {
        pending.Append(line);
      } else if (const std::optional<std::string> bytes = ToCodePage(line)) {
        pending.Append(*bytes);
      } else {
        layout.utf8 = rewrite = true;
        return false;
      }
    }
    progress.Advance(++exported, static_cast<uint64_t>(index) + 1, static_cast<uint64_t>(count));
    return !progress.Cancelled();
  });
  if (rewrite) return ExportEnd::Rewrite;
  if (progress.Cancelled()) return ExportEnd::Cancelled;
  return pending.PlaceAt(target, reason) ? ExportEnd::Written : ExportEnd::Failed;
}

ExportEnd WriteExportFile(const std::string& target, ExportFormat format,
                          ProgressObserver& progress, std::string& reason) {
  CsvLayout layout;
  ExportEnd end = ExportEnd::Rewrite;
  // Every rewrite has learnt one more thing: at most three walks.
  while (end == ExportEnd::Rewrite) end = WriteExportFile(target, format, layout, progress, reason);
  return end;
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
    case ExportEnd::Rewrite:  // answered by the next walk; never left over
    case ExportEnd::Failed:
      ShowFileFailure(kExportFailed, std::string(), path, reason, caption);
      break;
    case ExportEnd::Cancelled: ShowClosingMessage(kExportCancelled, caption); break;
  }
}

std::string ExportRecord(ContactHandle contact) {
  return RecordLine(ColumnValuesOf(ReadContactDetails(contact)));
}
