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
// with its very last instruction: the host may unload the plug-in while an
// acknowledgement is still on its way, and the worker's code must outlive it.
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

bool StartWorker(std::function<void()> job) {
  HMODULE pinned = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&WorkerMain), &pinned))
    return false;
  auto start = std::make_unique<WorkerStart>(WorkerStart{std::move(job), pinned});
  HANDLE thread = CreateThread(nullptr, 0, WorkerMain, start.get(), 0, nullptr);
  if (thread == nullptr) {
    FreeLibrary(pinned);
    return false;
  }
  start.release();  // the worker owns it now
  CloseHandle(thread);
  return true;
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

}  // namespace shell
