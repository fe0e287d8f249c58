// Platform operations that the portable parts of the plug-in need: worker
// threads, icons and message boxes. The DLL implements them with Win32; the
// native test host implements them for tests and benchmarks.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "host/m_globaldefs.h"

namespace shell {

// Message-box flags, as the platform defines them.
inline constexpr unsigned kMessageOk = 0x0;
inline constexpr unsigned kMessageIconError = 0x10;
inline constexpr unsigned kMessageYesNo = 0x4;
inline constexpr unsigned kMessageIconQuestion = 0x20;

// A thread of the plug-in's own. Dropping the object neither stops the
// thread nor waits for it.
class WorkerThread {
 public:
  virtual ~WorkerThread() = default;
  // Waits until the thread has ended, at most `timeout`; true when it has.
  // Meanwhile the waiting thread still answers calls that other threads make
  // into it, so that a thread waiting on it cannot wait in vain.
  virtual bool Join(std::chrono::milliseconds timeout) = 0;
};

// Runs `job` on a thread of its own and returns at once; null when no thread
// could be started (the job then has not run). The job must not throw.
std::unique_ptr<WorkerThread> StartWorker(std::function<void()> job);

// The library's own icon: the protocol's, the Add and Edit items' and the editor window's.
inline constexpr const char* kKestrinUsersIcon = "KESTRINUSERS";

// The library's icon resource `name`, at the system's standard icon size.
HostHandle LoadPluginIcon(const char* name);

// A modal message box without owner window.
void ShowMessage(const std::string& text, const std::string& caption, unsigned flags);
// A modal Yes/No question without owner window; true for Yes.
bool AskYesNo(const std::string& text, const std::string& caption);

// `secondsSince1970` (UTC) as the platform writes a date and time in the
// user's local time.
std::string LocalTimeText(uint32_t secondsSince1970);

}  // namespace shell
