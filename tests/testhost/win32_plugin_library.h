// The plug-in DLL as the messenger loads it: LoadLibrary, its three exports,
// and the start and stop through them. Windows only: the Wine suite and the
// demo load the DLL through this.
#pragma once

#include <windows.h>

#include <string>

#include "host/m_globaldefs.h"

namespace testhost {

// mKestrinUser.dll in this program's folder.
std::string PluginPath();

class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary() { Close(); }
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // LoadLibrary and the exports; false, with `error` saying why and nothing
  // left loaded, when `path` is no plug-in.
  bool Open(const std::string& path, std::string& error);
  // MirandaPluginInfo, then Load: true when the record came and Load answered 0.
  bool Start(PLUGINLINK* link);
  // Unload, once after a successful Start; answers its result, else 0.
  int Stop();
  // Stop, then FreeLibrary.
  void Close();

  HMODULE Module() const { return module_; }
  PLUGININFO* Info(uint32_t hostVersion) const { return info_(hostVersion); }

 private:
  HMODULE module_ = nullptr;
  PLUGININFO*(MIRANDA_CDECL* info_)(uint32_t) = nullptr;
  int(MIRANDA_CDECL* load_)(PLUGINLINK*) = nullptr;
  int(MIRANDA_CDECL* unload_)() = nullptr;
  bool started_ = false;
};

}  // namespace testhost
