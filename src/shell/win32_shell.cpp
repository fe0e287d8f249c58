// Win32 implementation of the platform operations of shell.h.
#include <windows.h>

#include <memory>
#include <utility>

#include "shell/shell.h"
#include "shell/win32_module.h"
#include "shell/win32_text.h"

namespace {

HINSTANCE PluginInstance = nullptr;

struct WorkerStart {
  std::function<void()> job;
  HMODULE pinnedModule;
};

// Each worker holds a reference to the library while it runs, and drops it
// with its very last instruction: Unload waits for the workers, but only for
// a while, and a worker it gave up on must not lose its code under it.
DWORD WINAPI WorkerMain(LPVOID parameter) {
  std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
  try {
    start->job();
  } catch (...) {
  }
  const HMODULE module = start->pinnedModule;
  start.reset();
  FreeLibraryAndExitThread(module, 0);
}

class Win32WorkerThread : public shell::WorkerThread {
 public:
  explicit Win32WorkerThread(HANDLE thread) : thread_(thread) {}
  ~Win32WorkerThread() override { CloseHandle(thread_); }
  Win32WorkerThread(const Win32WorkerThread&) = delete;
  Win32WorkerThread& operator=(const Win32WorkerThread&) = delete;

  bool Join(std::chrono::milliseconds timeout) override {
    const DWORD limit = static_cast<DWORD>(timeout.count());
    const DWORD start = GetTickCount();
    for (;;) {
      const DWORD elapsed = GetTickCount() - start;  // correct across the counter's wrap
      const DWORD left = elapsed >= limit ? 0 : limit - elapsed;
      // The host may hand a worker's call over to this thread, with a sent
      // message or an asynchronous procedure call: both are answered here.
      const DWORD woken =
          MsgWaitForMultipleObjectsEx(1, &thread_, left, QS_SENDMESSAGE, MWMO_ALERTABLE);
      if (woken == WAIT_OBJECT_0) return true;
      if (woken == WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      } else if (woken != WAIT_IO_COMPLETION) {
        return false;  // time is up, or the wait failed
      }
    }
  }

 private:
  HANDLE thread_;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  // Thread notifications stay on: the statically linked runtime frees its
  // per-thread data (exception state, thread keys) from the module's TLS
  // callbacks, which DisableThreadLibraryCalls would switch off.
  if (reason == DLL_PROCESS_ATTACH) PluginInstance = instance;
  return TRUE;
}

HINSTANCE PluginModule() { return PluginInstance; }

namespace shell {

std::unique_ptr<WorkerThread> StartWorker(std::function<void()> job) {
  HMODULE pinned = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&WorkerMain), &pinned))
    return nullptr;
  auto start = std::make_unique<WorkerStart>(WorkerStart{std::move(job), pinned});
  HANDLE thread = CreateThread(nullptr, 0, WorkerMain, start.get(), 0, nullptr);
  if (thread == nullptr) {
    FreeLibrary(pinned);
    return nullptr;
  }
  start.release();  // the worker owns it now
  return std::make_unique<Win32WorkerThread>(thread);
}

HostHandle LoadPluginIcon(const char* name) {
  // Shared icons: the system keeps them for the life of the module, so the
  // host may hold the handles as long as it likes.
  return reinterpret_cast<HostHandle>(LoadImageA(PluginInstance, name, IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXICON),
                                                 GetSystemMetrics(SM_CYICON), LR_SHARED));
}

void ShowMessage(const std::string& text, const std::string& caption, unsigned flags) {
  MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(), flags);
}

bool AskYesNo(const std::string& text, const std::string& caption) {
  return MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(),
                     kMessageYesNo | kMessageIconQuestion) == IDYES;
}

std::string LocalTimeText(uint32_t secondsSince1970) {
  // Seconds since 1601 in 100-nanosecond units, as FILETIME counts.
  const uint64_t ticks = (static_cast<uint64_t>(secondsSince1970) + 11644473600ull) * 10000000ull;
  const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  FILETIME local;
  SYSTEMTIME time;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time))
    return std::string();
  wchar_t date[80];
  wchar_t clock[80];
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 80) == 0 ||
      GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, clock, 80) == 0)
    return std::string();
  return Narrow(std::wstring(date) + L" " + clock);
}

}  // namespace shell
