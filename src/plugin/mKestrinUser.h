// The three functions the host finds by name in the plug-in.
#pragma once

#include "host/m_globaldefs.h"

extern "C" {
PLUGININFO* MIRANDA_CDECL MirandaPluginInfo(uint32_t hostVersion);
int MIRANDA_CDECL Load(PLUGINLINK* link);
int MIRANDA_CDECL Unload(void);
}
