#include "testhost/win32_plugin_library.h"

namespace testhost {

namespace {

template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
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
  info_ = Export<decltype(info_)>(module_, "MirandaPluginInfo");
  load_ = Export<decltype(load_)>(module_, "Load");
  unload_ = Export<decltype(unload_)>(module_, "Unload");
  if (info_ != nullptr && load_ != nullptr && unload_ != nullptr) return true;
  Close();
  error = path + " lacks an export of a plug-in";
  return false;
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
