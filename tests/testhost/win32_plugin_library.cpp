#include "testhost/win32_plugin_library.h"

namespace testhost {

namespace {

template <typename Function>
void FindExport(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

std::string PluginPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + "mKestrinUser.dll";
}

bool PluginLibrary::Open(const std::string& path, std::string& error) {
  Close();
  module_ = LoadLibraryA(path.c_str());
  if (module_ == nullptr) {
    error = "cannot load " + path;
    return false;
  }
  FindExport(module_, "MirandaPluginInfo", info_);
  FindExport(module_, "Load", load_);
  FindExport(module_, "Unload", unload_);
  if (info_ == nullptr || load_ == nullptr || unload_ == nullptr) {
    Close();
    error = path + " lacks an export of a plug-in";
    return false;
  }
  return true;
}

bool PluginLibrary::Start(PLUGINLINK* link) {
  started_ = info_(0) != nullptr && load_(link) == 0;
  return started_;
}

int PluginLibrary::Stop() {
  if (!started_) return 0;
  started_ = false;
  return unload_();
}

void PluginLibrary::Close() {
  Stop();
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  info_ = nullptr;
  load_ = nullptr;
  unload_ = nullptr;
}

}  // namespace testhost
