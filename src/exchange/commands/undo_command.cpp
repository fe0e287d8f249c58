#include "exchange/commands/undo_command.h"

#include <optional>
#include <vector>

#include "exchange/commands/exchange_messages.h"
#include "records/KestrinUserU.h"
#include "records/StoredText.h"
#include "shell/progress.h"
#include "shell/shell.h"

namespace {

constexpr const char* kNothingToUndo = N_("There is no import to undo.");
// The count of Kestrin users, then the import's file and time.
constexpr const char* kUndoQuestion =
    N_("Remove the %u Kestrin users that the import of %s on %s added?");
constexpr const char* kUndoKeeps =
    N_("Kestrin users that it updated, and those edited since, stay.");
constexpr const char* kUndoProgressTitle = N_("Removing Kestrin users");
constexpr const char* kRemovedCount = N_("Kestrin users removed: %u");

// The Kestrin users that the import `id` created and nobody has saved since.
std::vector<ContactHandle> MadeBy(uint32_t id) {
  std::vector<ContactHandle> made;
  ForEachContact([id, &made](ContactHandle contact) {
    if (ImportIdOf(contact) == id && IsOwnContact(contact)) made.push_back(contact);
  });
  return made;
}

}  // namespace

void RunUndoImport(const std::string& caption) {
  const ExchangeGuard guard;
  if (!guard.Entered()) return;
  const HostHandle owner = shell::CommandWindow();  // before the question takes the activation
  ProgressShown progress(owner, Translated(kUndoProgressTitle));
  UndoLastImport(caption, progress);
}

void UndoLastImport(const std::string& caption, ProgressObserver& progress) {
  const std::optional<LastImport> last = ReadLastImport();
  const std::vector<ContactHandle> made = last ? MadeBy(last->id) : std::vector<ContactHandle>();
  if (made.empty()) {
    ShowClosingMessage(kNothingToUndo, caption);
    return;
  }
  if (!shell::AskYesNo(FilledText(kUndoQuestion, {std::to_string(made.size()), last->file,
                                                  shell::LocalTimeText(last->time)}) +
                           "\n\n" + Translated(kUndoKeeps),
                       caption))
    return;
  std::size_t removed = 0;
  bool cancelled = false;
  for (std::size_t i = 0; i < made.size() && !cancelled; ++i) {
    // Saved in the editor while the question was up: it stays.
    if (ImportIdOf(made[i]) != last->id) continue;
    if (DeleteContact(made[i])) ++removed;
    progress.Advance(removed, i + 1, made.size());
    cancelled = progress.Cancelled();
  }
  // Undone whole, nothing is left to undo; cancelled, the rest still can be.
  if (!cancelled) ForgetLastImport();
  progress.Finished();
  shell::ShowMessage(FilledText(kRemovedCount, {std::to_string(removed)}), caption,
                     shell::kMessageOk);
}
