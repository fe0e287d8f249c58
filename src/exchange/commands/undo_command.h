// The Undo Last Import command: removes the Kestrin users that the last
// import created and that nobody has saved in the editor since.
#pragma once

#include <string>

#include "exchange/commands/progress.h"

// Asks first; `caption` titles the question and the messages.
void RunUndoImport(const std::string& caption);

// The work of the command: `progress` is told of every removal and may stop
// the work after one.
void UndoLastImport(const std::string& caption, ProgressObserver& progress);
