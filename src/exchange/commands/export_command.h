// The Export command as the user meets it: the Save dialog, the progress
// window and the closing message; and the data line of one Kestrin user.
#pragma once

#include <string>

#include "exchange/commands/progress.h"
#include "host/m_globaldefs.h"

// Asks for a file and exports into it; `caption` titles the closing messages.
void RunExport(const std::string& caption);

// The work of the command once the file is chosen: `progress` is told of
// every Kestrin user and may stop the work after one.
enum class ExportFormat { Csv, VCard };
void ExportFile(const std::string& path, ExportFormat format, const std::string& caption,
                ProgressObserver& progress);

// The data line of a Kestrin user, its seven columns without its line end.
std::string ExportRecord(ContactHandle contact);
