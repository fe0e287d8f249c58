// The native stand-ins of the platform operations (shell.h): worker threads
// that tests can wait for, icons as recognisable numbers, and message boxes
// that are recorded instead of shown.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/m_globaldefs.h"
#include "shell/choice.h"

namespace testhost {

struct ShownMessage {
  std::string text;
  std::string caption;
  unsigned flags = 0;
};

// Joins every worker whose owner let go of it without joining it.
void JoinWorkers();
std::size_t WorkersStarted();
// Workers whose job has not returned yet.
std::size_t WorkersRunning();
// Makes StartWorker fail while set.
void SetFailWorkers(bool fail);

// The handle LoadPluginIcon gives for `name` (distinct per name, never 0).
HostHandle FakeIconHandle(const std::string& name);

std::vector<ShownMessage> ShownMessages();
void ClearShownMessages();

// Calls of RunEditorWindow: the contact and caption it was opened with.
struct EditorRun {
  ContactHandle contact = 0;
  std::string caption;
};
std::vector<EditorRun> EditorRuns();
void ClearEditorRuns();
// Makes the next RunEditorWindow throw std::runtime_error(`what`) instead.
void ThrowAtNextEditorRun(const std::string& what);

// The progress windows opened so far, and what each showed last.
struct ProgressRun {
  HostHandle owner = 0;
  std::string title;
  std::string cancel;
  std::size_t shows = 0;
  std::string status;
  int permille = -1;
  bool open = true;  // not yet destroyed
};
std::vector<ProgressRun> ProgressRuns();
// What CommandWindow answers (0 at the start).
void SetCommandWindow(HostHandle window);
// Cancel is pressed during the window's `shows`-th Show; 0: never.
void SetProgressCancelAt(std::size_t shows);

// The questions AskChoice was asked, and the buttons it answers, in turn;
// with none queued it answers the last button (the way out).
std::vector<shell::ChoiceRequest> Choices();
void QueueChoice(std::size_t button);
// The answers of AskYesNo, in turn (recorded as messages); with none queued: No.
void QueueYesNo(bool yes);

// Resets every record above.
void ResetNativeShell();

}  // namespace testhost
