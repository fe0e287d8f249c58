#include "testhost/native_shell.h"

#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "editor/editor_window.h"
#include "host/globals.h"
#include "shell/progress.h"
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
  std::vector<ProgressRun> progressRuns;
  HostHandle commandWindow = 0;
  std::size_t cancelAt = 0;
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
  State().progressRuns.clear();
  State().commandWindow = 0;
  State().cancelAt = 0;
}

std::vector<ProgressRun> ProgressRuns() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().progressRuns;
}

void SetCommandWindow(HostHandle window) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().commandWindow = window;
}

void SetProgressCancelAt(std::size_t shows) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().cancelAt = shows;
}

void ResetNativeShell() {
  JoinWorkers();
  std::lock_guard<std::mutex> lock(State().mutex);
  State().started = 0;
  State().failWorkers = false;
  State().messages.clear();
  State().editorRuns.clear();
  State().progressRuns.clear();
  State().commandWindow = 0;
  State().cancelAt = 0;
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

HostHandle CommandWindow() {
  std::lock_guard<std::mutex> lock(testhost::State().mutex);
  return testhost::State().commandWindow;
}

namespace {

// Records into its entry of ProgressRuns.
class RecordedProgressWindow final : public ProgressWindow {
 public:
  explicit RecordedProgressWindow(std::size_t index) : index_(index) {}
  ~RecordedProgressWindow() override {
    std::lock_guard<std::mutex> lock(testhost::State().mutex);
    testhost::State().progressRuns[index_].open = false;
  }
  void Show(const std::string& status, int permille) override {
    auto& state = testhost::State();
    std::lock_guard<std::mutex> lock(state.mutex);
    testhost::ProgressRun& run = state.progressRuns[index_];
    run.status = status;
    run.permille = permille;
    if (++run.shows == state.cancelAt) cancelled_ = true;
  }
  bool CancelPressed() const override { return cancelled_; }

 private:
  std::size_t index_;
  bool cancelled_ = false;
};

}  // namespace

std::unique_ptr<ProgressWindow> OpenProgressWindow(HostHandle owner, const ProgressTexts& texts) {
  auto& state = testhost::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  testhost::ProgressRun run;
  run.owner = owner;
  run.title = texts.title;
  run.cancel = texts.cancel;
  state.progressRuns.push_back(run);
  return std::make_unique<RecordedProgressWindow>(state.progressRuns.size() - 1);
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
