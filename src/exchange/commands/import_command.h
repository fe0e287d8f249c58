// The Import command as the user meets it: the Open dialog, the question
// about Kestrin users already stored, the progress window, and one closing
// message that says how the import ended.
#pragma once

#include <string>

#include "exchange/commands/progress.h"

// Asks for a file and imports from it; `caption` titles the closing messages.
void RunImport(const std::string& caption);

// The work of the command once the file is chosen: every record is read,
// matched against the stored Kestrin users, and (after a question owned by
// `owner` when any match) written; `progress` is told of every record
// written and may stop the work after one.
void ImportFile(const std::string& path, const std::string& caption, ProgressObserver& progress,
                HostHandle owner = 0);
