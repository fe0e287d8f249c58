// The Import and Export commands of the exchange file.
#pragma once

#include <string_view>

#include "csv/csv_format.h"
#include "host/m_globaldefs.h"

intptr_t MIRANDA_CDECL ImportContacts(WParam, LParam);
intptr_t MIRANDA_CDECL ExportContacts(WParam, LParam);

// Creates one Kestrin user from a data line read under `map`; false when the
// line cannot be imported (no fields, no name at all, or no contact created).
bool ImportRecord(std::string_view line, const ColumnMap& map);
