// The protocol services the host calls on "mKestrinUser".
#pragma once

#include "host/m_globaldefs.h"

// <windows.h> makes LoadIcon a macro: included before this header, it would
// silently rename the handler below to LoadIconA.
#ifdef LoadIcon
#error "plugin/protocol.h and <windows.h> in one file: LoadIcon would become LoadIconA"
#endif

intptr_t MIRANDA_CDECL GetCaps(WParam selector, LParam);
intptr_t MIRANDA_CDECL GetName(WParam bufferSize, LParam buffer);
intptr_t MIRANDA_CDECL LoadIcon(WParam kind, LParam);
intptr_t MIRANDA_CDECL GetStatus(WParam, LParam);
intptr_t MIRANDA_CDECL SetStatus(WParam requested, LParam);
intptr_t MIRANDA_CDECL SendMsg(WParam, LParam ccs);

// Sends every acknowledgement still on its way and ends the thread that sends
// them (Unload); waits a few seconds at most.
void FinishAcknowledgements();

inline constexpr const char* kProtocolName = "KestrinUser";
