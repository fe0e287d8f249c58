#include "testhost/native_shell.h"

#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "editor/editor_window.h"
#include "host/globals.h"
#include "shell/shell.h"

namespace testhost {
namespace {

struct ShellState {
  std::mutex mutex;
  std::vector<std::thread> workers;
  std::size_t started = 0;
  bool failWorkers = false;
  std::vector<ShownMessage> messages;
  std::vector<EditorRun> editorRuns;
};

ShellState& State() {
  static ShellState* state = new ShellState;  // lives as long as the process
  return *state;
}

}  // namespace

void JoinWorkers() {
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    workers.swap(State().workers);
  }
  for (auto& worker : workers) worker.join();
}

std::size_t WorkersStarted() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().started;
}

void SetFailWorkers(bool fail) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().failWorkers = fail;
}

HostHandle FakeIconHandle(const std::string& name) {
  return static_cast<HostHandle>(0x1C000000u + (std::hash<std::string>{}(name)&0xFFFFF) * 4);
}

std::vector<ShownMessage> ShownMessages() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().messages;
}

void ClearShownMessages() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().messages.clear();
}

std::vector<EditorRun> EditorRuns() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().editorRuns;
}

void ClearEditorRuns() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().editorRuns.clear();
}

void ResetNativeShell() {
  JoinWorkers();
  std::lock_guard<std::mutex> lock(State().mutex);
  State().started = 0;
  State().failWorkers = false;
  State().messages.clear();
  State().editorRuns.clear();
}

}  // namespace testhost

namespace shell {

bool StartWorker(std::function<void()> job) {
  auto& state = testhost::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.failWorkers) return false;
  state.workers.emplace_back(std::move(job));
  ++state.started;
  return true;
}

HostHandle LoadPluginIcon(const char* name) { return testhost::FakeIconHandle(name); }

void ShowMessage(const std::string& text, const std::string& caption, unsigned flags) {
  std::lock_guard<std::mutex> lock(testhost::State().mutex);
  testhost::State().messages.push_back({text, caption, flags});
}

}  // namespace shell

// Natively there is no window: the editor's run is recorded and ends at once.
void RunEditorWindow() {
  {
    std::lock_guard<std::mutex> lock(testhost::State().mutex);
    testhost::State().editorRuns.push_back({EditedContact, EditorCaption});
  }
  EditorOpen = false;
}
