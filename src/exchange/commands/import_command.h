// The Import command as the user meets it: the Open dialog, the progress
// window, and one closing message that says how the import ended.
#pragma once

#include <string>

#include "exchange/commands/progress.h"

// Asks for a file and imports from it; `caption` titles the closing messages.
void RunImport(const std::string& caption);

// The work of the command once the file is chosen: `progress` is told of
// every record and may stop the work after one.
void ImportFile(const std::string& path, const std::string& caption, ProgressObserver& progress);
