// The one loop that turns the records of a file into Kestrin users: every
// CSV line or vCard through the import's record sequence, with progress and
// Cancel, stopping at the first record the host does not take.
#pragma once

#include <cstddef>
#include <cstdint>

#include "exchange/commands/file_source.h"
#include "exchange/commands/progress.h"
#include "exchange/formats/import_values.h"
#include "exchange/text/line_reader.h"
#include "records/ContactGroups.h"

enum class RecordResult { Imported, NoName, NotCreated, NotStored };

// Creates one Kestrin user from the values of one line or card, unless they
// hold no name at all or the host creates no contact; NotStored when the host
// refused a value of the new contact. Its group is made in `groups` when missing.
RecordResult ImportRecord(const ImportValues& values, ContactGroups& groups);

enum class ImportOutcome { Completed, Stopped, Cancelled, UnknownKind, UnclosedQuote };

// An import under way: its progress, and where and why it stopped.
class ImportRun {
 public:
  ImportRun(ProgressObserver& progress, const FileSource& source, uint64_t size)
      : progress_(progress), source_(source), size_(size) {}

  // Imports the record that began at `line`; false when the import ends
  // there, stopped by the record or cancelled.
  bool Take(const ImportValues& values, std::size_t line) {
    // A group the record names for the first time is made within its step.
    const RecordResult result = ImportRecord(values, groups_);
    if (result != RecordResult::Imported) {
      stop_ = result;
      stopLine_ = line;
      return false;
    }
    progress_.Advance(++imported_, source_.Position(), size_);
    return !progress_.Cancelled();
  }
  ImportOutcome Ended() const {
    return stop_ == RecordResult::Imported ? ImportOutcome::Cancelled : ImportOutcome::Stopped;
  }

  std::size_t Imported() const { return imported_; }
  RecordResult Stop() const { return stop_; }
  std::size_t StopLine() const { return stopLine_; }

 private:
  ProgressObserver& progress_;
  const FileSource& source_;
  uint64_t size_;
  ContactGroups groups_;
  std::size_t imported_ = 0;
  RecordResult stop_ = RecordResult::Imported;
  std::size_t stopLine_ = 0;
};

// Imports every record of `lines`, a vCard or a CSV file as its content
// tells. `recordLine` is the first line of the CSV record read last.
ImportOutcome ImportRecords(LineStream& lines, ImportRun& run, std::size_t& recordLine);
