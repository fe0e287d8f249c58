// Process-wide values of the plug-in: they exist while the library is loaded
// and none of them is persisted. This is the one place they are declared.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "host/m_globaldefs.h"

// Not owned: the host's service table, set by Load.
extern PLUGINLINK* HostLink;
// The protocol's status, 40071 or 40072; host threads read and change it.
extern std::atomic<uint32_t> CurrentStatus;
// True while the editor window's loop runs (user-interface thread only).
extern bool EditorOpen;
extern HostHandle PreBuildHook;
extern HostHandle EditMenuItem;
// The highest number a Kestrin user was given so far.
extern int32_t LastUserID;
// Sequence number of the next accepted message; sends may come from several
// threads at once, and each must get its own number.
extern std::atomic<int32_t> NextSendSequence;

// The module name: protocol, settings module and service prefix.
inline constexpr const char* kModule = "mKestrinUser";
