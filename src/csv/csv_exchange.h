// The Import and Export commands of the exchange file.
#pragma once

#include "host/m_globaldefs.h"

intptr_t MIRANDA_CDECL ImportContacts(WParam, LParam);
intptr_t MIRANDA_CDECL ExportContacts(WParam, LParam);
