// The native stand-ins of the platform operations (shell.h): worker threads
// that tests can wait for, icons as recognisable numbers, and message boxes
// that are recorded instead of shown.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/m_globaldefs.h"

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

// Resets every record above.
void ResetNativeShell();

}  // namespace testhost
