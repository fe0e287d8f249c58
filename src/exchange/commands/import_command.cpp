#include "exchange/commands/import_command.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "exchange/commands/duplicates.h"
#include "exchange/commands/exchange_messages.h"
#include "exchange/commands/file_source.h"
#include "exchange/commands/import_loop.h"
#include "exchange/text/text_decoding.h"
#include "records/StoredText.h"
#include "shell/choice.h"
#include "shell/dialogs.h"
#include "shell/files.h"
#include "shell/progress.h"
#include "shell/shell.h"

namespace {

constexpr const char* kImportCompleted = N_("Import process has completed.");
// Where and why an import stopped: "%u" stands for the line's number.
constexpr const char* kLineWithoutName = N_("Line %u has no name.");
constexpr const char* kLineNotCreated = N_("The messenger did not create the contact of line %u.");
constexpr const char* kLineUnreadable = N_("Line %u could not be read.");
constexpr const char* kLineTooLong = N_("Line %u is longer than 1 MiB.");
constexpr const char* kLineNotStored = N_("The messenger did not store every value of line %u.");
constexpr const char* kUnknownKind =
    N_("The first line holds no known column title, and the file is no vCard file.");
constexpr const char* kUnclosedQuote = N_("Line %u: a quoted value is not closed.");

constexpr const char* kImportCancelled = N_("Import process was cancelled.");
constexpr const char* kImportedCount = N_("Kestrin users imported:");
constexpr const char* kImportProgressTitle = N_("Importing Kestrin users");
constexpr const char* kOpenTitle = N_("Open");
constexpr const char* kAllFilesDescription = N_("All files (*.*)");
constexpr const char* kAllFilesPattern = "*.*";

constexpr const char* kMatchedQuestion =
    N_("%u of the %u Kestrin users in this file are already in your contact list.");
constexpr const char* kUpdateButton = N_("&Update");
constexpr const char* kSkipButton = N_("&Skip");
constexpr const char* kAddAsNewButton = N_("&Add as New");
constexpr const char* kImportCounts = N_("Kestrin users added: %u, updated: %u, skipped: %u.");

// How an import ended: decided once, and told once the file and the
// progress window are gone.
struct ImportEnding {
  enum class Kind { Completed, StoppedAtLine, Cancelled, FileFailed };
  Kind kind = Kind::Completed;
  const char* why = nullptr;  // StoppedAtLine: the reason; FileFailed: where, or null
  std::size_t line = 0;       // the line `why` names
  std::string reason;         // FileFailed: the system's reason, or what the content lacks
  std::size_t imported = 0;   // Cancelled: the Kestrin users made before
  std::string counts;         // when the user was asked: what was added, updated and skipped
};

ImportEnding StoppedAt(const char* why, std::size_t line) {
  return {ImportEnding::Kind::StoppedAtLine, why, line, std::string(), 0, std::string()};
}

ImportEnding FileFailed(const char* where, std::size_t line, std::string reason) {
  return {ImportEnding::Kind::FileFailed, where, line, std::move(reason), 0, std::string()};
}

// The ending of an import whose records were read with `read` and written
// with `written`. A stop of the writing comes first: it happened before the
// records after it would have been reached. Past the records read, the
// reader's own stop comes first: an unclosed quote at the end of what could
// be read is the unreadable line's doing.
ImportEnding EndingOf(ImportOutcome read, ImportOutcome written, const ImportRun& run,
                      const LineReader& reader, const LineStream& lines, const FileSource& source,
                      std::size_t recordLine) {
  switch (written) {
    case ImportOutcome::Stopped: {
      const RecordResult stop = run.Stop();
      return StoppedAt(stop == RecordResult::NoName       ? kLineWithoutName
                       : stop == RecordResult::NotCreated ? kLineNotCreated
                                                          : kLineNotStored,
                       run.StopLine());
    }
    case ImportOutcome::Cancelled:
      return {ImportEnding::Kind::Cancelled, nullptr, 0, std::string(), run.Added(), std::string()};
    default: break;
  }
  if (reader.TooLong()) return StoppedAt(kLineTooLong, lines.LinesRead() + 1);
  if (reader.Failed()) return FileFailed(kLineUnreadable, lines.LinesRead() + 1, source.Reason());
  if (read == ImportOutcome::UnknownKind) return FileFailed(nullptr, 0, Translated(kUnknownKind));
  if (read == ImportOutcome::UnclosedQuote)
    return FileFailed(nullptr, 0, LineText(kUnclosedQuote, recordLine));
  return ImportEnding();
}

void Report(const ImportEnding& ending, const std::string& path, const std::string& caption) {
  const std::string counts = ending.counts.empty() ? std::string() : "\n\n" + ending.counts;
  switch (ending.kind) {
    case ImportEnding::Kind::Completed:
      shell::ShowMessage(Translated(kImportCompleted) + counts, caption, shell::kMessageOk);
      break;
    case ImportEnding::Kind::StoppedAtLine:
      shell::ShowMessage(
          Translated(kImportFailed) + "\n" + LineText(ending.why, ending.line) + counts, caption,
          shell::kMessageOk);
      break;
    case ImportEnding::Kind::Cancelled:
      shell::ShowMessage(Translated(kImportCancelled) + "\n\n" + Translated(kImportedCount) + " " +
                             std::to_string(ending.imported) + counts,
                         caption, shell::kMessageOk);
      break;
    case ImportEnding::Kind::FileFailed:
      ShowFileFailure(kImportFailed,
                      ending.why != nullptr ? LineText(ending.why, ending.line) : std::string(),
                      path, ending.reason + counts, caption);
      break;
  }
}

// The records of the file that match stored Kestrin users, each with its
// match (null for the others); `stored` owns the matches.
std::size_t MatchRecords(const std::vector<FileRecord>& records, StoredUsers& stored,
                         std::vector<const StoredUser*>& matches) {
  matches.assign(records.size(), nullptr);
  if (stored.Empty()) return 0;
  std::size_t matched = 0;
  NamedRecord named;
  for (std::size_t i = 0; i < records.size(); ++i) {
    // A record without a name matches no one: it stops the import when it is reached.
    if (!NameRecord(records[i].values, named)) continue;
    matches[i] = stored.Take(
        MatchKey(JoinFullName(named.details.first, named.details.last), named.details.email));
    if (matches[i] != nullptr) ++matched;
  }
  return matched;
}

std::optional<MatchedRecords> AskAboutMatches(HostHandle owner, std::size_t matched,
                                              std::size_t records, const std::string& caption) {
  shell::ChoiceRequest request;
  request.owner = owner;
  request.caption = caption;
  request.text = FilledText(kMatchedQuestion, {std::to_string(matched), std::to_string(records)});
  for (const char* button : {kUpdateButton, kSkipButton, kAddAsNewButton, kCancelText})
    request.buttons.push_back(Translated(button));
  switch (shell::AskChoice(request)) {
    case 0: return MatchedRecords::Update;
    case 1: return MatchedRecords::Skip;
    case 2: return MatchedRecords::AddAsNew;
    default: return std::nullopt;
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
  ImportFile(choice->path, caption, progress, owner);
}

void ImportFile(const std::string& path, const std::string& caption, ProgressObserver& progress,
                HostHandle owner) {
  std::string reason;
  std::unique_ptr<shell::ReadableFile> file = shell::OpenForReading(path, reason);
  if (!file) {
    Report(FileFailed(nullptr, 0, reason), path, caption);
    return;
  }
  // Every record is read before the first is written, so that the user can
  // decide about the ones already stored before anything changes.
  FileSource source(*file);
  DecodingSource text(source);
  LineReader reader(text);
  LineStream lines(reader);
  std::vector<FileRecord> records;
  std::size_t recordLine = 0;
  const ImportOutcome read = ReadRecords(lines, records, recordLine);

  StoredUsers stored;
  if (!records.empty()) stored.Collect();
  std::vector<const StoredUser*> matches;
  const std::size_t matched = MatchRecords(records, stored, matches);
  MatchedRecords settle = MatchedRecords::AddAsNew;
  if (matched != 0) {
    const std::optional<MatchedRecords> answer =
        AskAboutMatches(owner, matched, records.size(), caption);
    if (!answer) return;  // nothing is written, and nothing more is said
    settle = *answer;
  }

  ImportMark mark(LastImportId() + 1, path);
  ImportRun run(progress, records.size(), mark);
  ImportOutcome written = ImportOutcome::Completed;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!run.Take(records[i], matches[i], settle)) {
      written = run.Ended();
      break;
    }
  }
  ImportEnding ending = EndingOf(read, written, run, reader, lines, source, recordLine);
  if (ending.kind == ImportEnding::Kind::Completed && !file->Close(reason))
    ending = FileFailed(nullptr, 0, reason);
  if (matched != 0)
    ending.counts =
        FilledText(kImportCounts, {std::to_string(run.Added()), std::to_string(run.Updated()),
                                   std::to_string(run.Skipped())});
  // The file and the progress window go before the closing message.
  file.reset();
  progress.Finished();
  Report(ending, path, caption);
}
