#include "exchange/commands/import_command.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "exchange/commands/exchange_messages.h"
#include "exchange/commands/file_source.h"
#include "exchange/commands/import_loop.h"
#include "exchange/text/text_decoding.h"
#include "records/StoredText.h"
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

// How an import ended: decided once, and told once the file and the
// progress window are gone.
struct ImportEnding {
  enum class Kind { Completed, StoppedAtLine, Cancelled, FileFailed };
  Kind kind = Kind::Completed;
  const char* why = nullptr;  // StoppedAtLine: the reason; FileFailed: where, or null
  std::size_t line = 0;       // the line `why` names
  std::string reason;         // FileFailed: the system's reason, or what the content lacks
  std::size_t imported = 0;   // Cancelled: the Kestrin users made before
};

ImportEnding StoppedAt(const char* why, std::size_t line) {
  return {ImportEnding::Kind::StoppedAtLine, why, line, std::string(), 0};
}

ImportEnding FileFailed(const char* where, std::size_t line, std::string reason) {
  return {ImportEnding::Kind::FileFailed, where, line, std::move(reason), 0};
}

// The ending of the loop's `outcome`. Past the records read, the reader's
// own stop comes first: an unclosed quote at the end of what could be read
// is the unreadable line's doing.
ImportEnding EndingOf(ImportOutcome outcome, const ImportRun& run, const LineReader& reader,
                      const LineStream& lines, const FileSource& source, std::size_t recordLine) {
  switch (outcome) {
    case ImportOutcome::Stopped: {
      const RecordResult stop = run.Stop();
      return StoppedAt(stop == RecordResult::NoName       ? kLineWithoutName
                       : stop == RecordResult::NotCreated ? kLineNotCreated
                                                          : kLineNotStored,
                       run.StopLine());
    }
    case ImportOutcome::Cancelled:
      return {ImportEnding::Kind::Cancelled, nullptr, 0, std::string(), run.Imported()};
    default: break;
  }
  if (reader.TooLong()) return StoppedAt(kLineTooLong, lines.LinesRead() + 1);
  if (reader.Failed()) return FileFailed(kLineUnreadable, lines.LinesRead() + 1, source.Reason());
  if (outcome == ImportOutcome::UnknownKind)
    return FileFailed(nullptr, 0, Translated(kUnknownKind));
  if (outcome == ImportOutcome::UnclosedQuote)
    return FileFailed(nullptr, 0, LineText(kUnclosedQuote, recordLine));
  return ImportEnding();
}

void Report(const ImportEnding& ending, const std::string& path, const std::string& caption) {
  switch (ending.kind) {
    case ImportEnding::Kind::Completed: ShowClosingMessage(kImportCompleted, caption); break;
    case ImportEnding::Kind::StoppedAtLine:
      shell::ShowMessage(Translated(kImportFailed) + "\n" + LineText(ending.why, ending.line),
                         caption, shell::kMessageOk);
      break;
    case ImportEnding::Kind::Cancelled:
      shell::ShowMessage(Translated(kImportCancelled) + "\n\n" + Translated(kImportedCount) + " " +
                             std::to_string(ending.imported),
                         caption, shell::kMessageOk);
      break;
    case ImportEnding::Kind::FileFailed:
      ShowFileFailure(kImportFailed,
                      ending.why != nullptr ? LineText(ending.why, ending.line) : std::string(),
                      path, ending.reason, caption);
      break;
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
    Report(FileFailed(nullptr, 0, reason), path, caption);
    return;
  }
  const uint64_t size = file->Size();
  FileSource source(*file);
  DecodingSource text(source);
  LineReader reader(text);
  LineStream lines(reader);
  ImportRun run(progress, source, size);
  std::size_t recordLine = 0;
  const ImportOutcome outcome = ImportRecords(lines, run, recordLine);
  ImportEnding ending = EndingOf(outcome, run, reader, lines, source, recordLine);
  if (ending.kind == ImportEnding::Kind::Completed && !file->Close(reason))
    ending = FileFailed(nullptr, 0, reason);
  // The file and the progress window go before the closing message.
  file.reset();
  progress.Finished();
  Report(ending, path, caption);
}
