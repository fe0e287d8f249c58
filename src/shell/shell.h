// Platform operations that the portable parts of the plug-in need: worker
// threads, icons and message boxes. The DLL implements them with Win32; the
// native test host implements them for tests and benchmarks.
#pragma once

#include <functional>
#include <string>

#include "host/m_globaldefs.h"

namespace shell {

// Message-box flags, as the platform defines them.
inline constexpr unsigned kMessageOk = 0x0;
inline constexpr unsigned kMessageIconError = 0x10;

// Runs `job` on a thread of its own and returns at once; false when no thread
// could be started (the job then has not run). The job must not throw.
bool StartWorker(std::function<void()> job);

// The library's icon resource `name`, at the system's standard icon size.
HostHandle LoadPluginIcon(const char* name);

// A modal message box without owner window.
void ShowMessage(const std::string& text, const std::string& caption, unsigned flags);

}  // namespace shell
