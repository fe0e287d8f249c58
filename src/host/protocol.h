// The protocol services the host calls on "mKestrinUser", and the walk that
// numbers every Kestrin user.
#pragma once

#include "host/m_globaldefs.h"

intptr_t MIRANDA_CDECL GetCaps(WParam selector, LParam);
intptr_t MIRANDA_CDECL GetName(WParam bufferSize, LParam buffer);
intptr_t MIRANDA_CDECL LoadIcon(WParam kind, LParam);
intptr_t MIRANDA_CDECL GetStatus(WParam, LParam);
intptr_t MIRANDA_CDECL SetStatus(WParam requested, LParam);
intptr_t MIRANDA_CDECL SendMsg(WParam, LParam ccs);

void NumberContacts();

// Sends every acknowledgement still on its way and ends the thread that sends
// them (Unload); waits a few seconds at most.
void FinishAcknowledgements();

inline constexpr const char* kUniqueIdSetting = "UserID";
inline constexpr const char* kProtocolName = "KestrinUser";
