#include "testhost/native_shell.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "editor/editor_window.h"
#include "host/globals.h"
#include "shell/choice.h"
#include "shell/progress.h"
#include "shell/shell.h"

namespace testhost {
namespace {

struct ShellState {
  std::mutex mutex;
  std::condition_variable workerEnded;
  std::vector<std::thread> workers;  // let go of by their owners, not joined yet
  std::size_t started = 0;
  std::size_t running = 0;
  bool failWorkers = false;
  std::vector<ShownMessage> messages;
  std::vector<EditorRun> editorRuns;
  std::vector<ProgressRun> progressRuns;
  HostHandle commandWindow = 0;
  std::size_t cancelAt = 0;
  std::string editorThrow;  // what the next editor run throws, when not empty
  std::vector<shell::ChoiceRequest> choices;
  std::deque<std::size_t> choiceAnswers;
  std::deque<bool> yesNoAnswers;
};

ShellState& State() {
  static ShellState* state = new ShellState;  // lives as long as the process
  return *state;
}

// A std::thread that can be waited for with a time limit.
class NativeWorker : public shell::WorkerThread {
 public:
  explicit NativeWorker(std::function<void()> job)
      : thread_([ended = ended_, job = std::move(job)] {
          job();
          std::lock_guard<std::mutex> lock(State().mutex);
          *ended = true;
          --State().running;
          State().workerEnded.notify_all();
        }) {}
  ~NativeWorker() override {
    if (!thread_.joinable()) return;
    std::lock_guard<std::mutex> lock(State().mutex);
    State().workers.push_back(std::move(thread_));
  }

  bool Join(std::chrono::milliseconds timeout) override {
    {
      std::unique_lock<std::mutex> lock(State().mutex);
      if (!State().workerEnded.wait_for(lock, timeout, [this] { return *ended_; })) return false;
    }
    if (thread_.joinable()) thread_.join();
    return true;
  }

 private:
  // Guarded by the state's mutex; shared, since the thread may outlive this object.
  std::shared_ptr<bool> ended_ = std::make_shared<bool>(false);
  std::thread thread_;
};

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

std::size_t WorkersRunning() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().running;
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

void ThrowAtNextEditorRun(const std::string& what) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().editorThrow = what;
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
  State().editorThrow.clear();
  State().choices.clear();
  State().choiceAnswers.clear();
  State().yesNoAnswers.clear();
}

std::vector<shell::ChoiceRequest> Choices() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().choices;
}

void QueueChoice(std::size_t button) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().choiceAnswers.push_back(button);
}

void QueueYesNo(bool yes) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().yesNoAnswers.push_back(yes);
}

}  // namespace testhost

namespace shell {

std::unique_ptr<WorkerThread> StartWorker(std::function<void()> job) {
  auto& state = testhost::State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.failWorkers) return nullptr;
    ++state.started;
    ++state.running;
  }
  return std::make_unique<testhost::NativeWorker>(std::move(job));
}

HostHandle LoadPluginIcon(const char* name) { return testhost::FakeIconHandle(name); }

void ShowMessage(const std::string& text, const std::string& caption, unsigned flags) {
  std::lock_guard<std::mutex> lock(testhost::State().mutex);
  testhost::State().messages.push_back({text, caption, flags});
}

bool AskYesNo(const std::string& text, const std::string& caption) {
  auto& state = testhost::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.messages.push_back({text, caption, kMessageYesNo | kMessageIconQuestion});
  if (state.yesNoAnswers.empty()) return false;
  const bool yes = state.yesNoAnswers.front();
  state.yesNoAnswers.pop_front();
  return yes;
}

// UTC, in a fixed form, so that tests can expect it.
std::string LocalTimeText(uint32_t secondsSince1970) {
  const std::time_t time = secondsSince1970;
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::size_t AskChoice(const ChoiceRequest& request) {
  auto& state = testhost::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.choices.push_back(request);
  std::size_t answer = request.buttons.size() - 1;
  if (!state.choiceAnswers.empty()) {
    answer = state.choiceAnswers.front();
    state.choiceAnswers.pop_front();
  }
  return answer;
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
void RunEditorWindow(ContactHandle contact, const std::string& caption) {
  {
    std::lock_guard<std::mutex> lock(testhost::State().mutex);
    std::string what;
    what.swap(testhost::State().editorThrow);
    if (!what.empty()) throw std::runtime_error(what);
    testhost::State().editorRuns.push_back({contact, caption});
  }
  EditorOpen = false;
}
