#include "plugin/mKestrinUser.h"

#include "host/globals.h"
#include "kestrin_version.h"
#include "plugin/menus.h"
#include "plugin/protocol.h"

namespace {

constexpr uint32_t kVersion = PackVersion(KESTRIN_VERSION_MAJOR, KESTRIN_VERSION_MINOR,
                                          KESTRIN_VERSION_PATCH, KESTRIN_VERSION_TWEAK);

// The host refuses a plug-in whose record holds a null text.
PLUGININFO PluginInfo{};

void FillPluginInfo() {
  PluginInfo.cbSize = sizeof(PLUGININFO);
  PluginInfo.shortName = kModule;
  PluginInfo.version = kVersion;
  PluginInfo.description =
      "Allow to add, edit and delete on kestrin users (member on Kestrin Protocol) in contact "
      "list.";
  PluginInfo.author = "The mKestrinUser developers";
  PluginInfo.authorEmail = "mkestrinuser@users.sourceforge.net";
  PluginInfo.copyright = "Copyright (C) 2026 The mKestrinUser developers";
  PluginInfo.homepage = "https://mkestrinuser.sourceforge.net/";
  PluginInfo.flags = 0;
  PluginInfo.replacesDefaultModule = 0;
}

}  // namespace

extern "C" PLUGININFO* MIRANDA_CDECL MirandaPluginInfo(uint32_t) {
  FillPluginInfo();
  return &PluginInfo;
}

extern "C" int MIRANDA_CDECL Load(PLUGINLINK* link) {
  return static_cast<int>(GuardedHandler([link] {
    EditorOpen = false;
    CurrentStatus = ID_STATUS_OFFLINE;
    HostLink = link;

    PROTOCOLDESCRIPTOR protocol{};
    protocol.cbSize = sizeof(PROTOCOLDESCRIPTOR);
    protocol.szName = kModule;
    protocol.type = PROTOTYPE_PROTOCOL;
    CallHostService("Proto/RegisterModule", 0, reinterpret_cast<LParam>(&protocol));

    CreateModuleService(kModule, "/GetCaps", GetCaps);
    CreateModuleService(kModule, "/GetName", GetName);
    CreateModuleService(kModule, "/LoadIcon", LoadIcon);
    CreateModuleService(kModule, "/GetStatus", GetStatus);
    CreateModuleService(kModule, "/SetStatus", SetStatus);
    CreateModuleService(kModule, "/SendMsg", SendMsg);

    HookHostEvent("Miranda/System/ModulesLoaded", OnModulesLoaded);
    PreBuildHook = HookHostEvent("CList/PreBuildContactMenu", OnPreBuildContactMenu);

    SetStatus(CurrentStatus.load(), 0);
    return 0;
  }));
}

extern "C" int MIRANDA_CDECL Unload(void) {
  return static_cast<int>(GuardedHandler([] {
    EditorOpen = false;
    UnhookHostEvent(PreBuildHook);
    PreBuildHook = 0;
    // The host frees the library when Unload returns: no thread of it may run on.
    FinishAcknowledgements();
    return 0;
  }));
}
