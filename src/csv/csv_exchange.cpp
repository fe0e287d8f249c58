// Placeholder until the exchange commands land.
#include "csv/csv_exchange.h"

intptr_t MIRANDA_CDECL ImportContacts(WParam, LParam) { return 0; }
intptr_t MIRANDA_CDECL ExportContacts(WParam, LParam) { return 0; }
