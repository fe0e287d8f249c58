// The two halves of an import: reading every record of a file first, a vCard
// or a CSV file as its content tells, and then the one loop that turns the
// records into Kestrin users (new or updated), with progress and Cancel,
// stopping at the first record the host does not take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "exchange/commands/progress.h"
#include "exchange/formats/import_values.h"
#include "exchange/text/line_reader.h"
#include "records/ContactDetails.h"
#include "records/KestrinUserU.h"

// One record of the file and the line it began at.
struct FileRecord {
  ImportValues values;
  std::size_t line = 0;
};

enum class ImportOutcome { Completed, Stopped, Cancelled, UnknownKind, UnclosedQuote };

// Reads every record of `lines` into `records`. Completed also when the line
// reader stopped (the caller asks it why); `recordLine` is the first line of
// the CSV record read last.
ImportOutcome ReadRecords(LineStream& lines, std::vector<FileRecord>& records,
                          std::size_t& recordLine);

// The import's naming rule: the full name from first and last name, else from
// the display name, else from the nickname; false when the values hold none.
struct NamedRecord {
  std::string displayName;
  ContactDetails details;
};
bool NameRecord(const ImportValues& values, NamedRecord& named);

enum class RecordResult { Imported, NoName, NotCreated, NotStored };

// Creates one Kestrin user from the values of one line or card, marked with
// `importId`, unless they hold no name at all or the host creates no contact;
// NotStored when the host refused a value of the new contact.
// Its group is made in `groups` when missing.
RecordResult ImportRecord(const ImportValues& values, uint32_t importId, ContactGroups& groups);

// What becomes of the records that match a stored Kestrin user.
enum class MatchedRecords { Update, Skip, AddAsNew };

// The contacts an import creates are marked with the import's number; the
// number and the import's file and time are written before the first one.
class ImportMark {
 public:
  ImportMark(uint32_t id, std::string path) : id_(id), path_(std::move(path)) {}
  uint32_t Id();

 private:
  uint32_t id_;
  std::string path_;
  bool written_ = false;
};

// An import under way: its progress, its counts, and where and why it stopped.
class ImportRun {
 public:
  ImportRun(ProgressObserver& progress, std::size_t total, ImportMark& mark)
      : progress_(progress), total_(total), mark_(mark) {}

  // Takes the record that began at `line`: a new Kestrin user, or with a
  // `match` the stored one updated or left alone as `matched` says. False
  // when the import ends there, stopped by the record or cancelled.
  bool Take(const FileRecord& record, const StoredUser* match, MatchedRecords matched);
  ImportOutcome Ended() const {
    return stop_ == RecordResult::Imported ? ImportOutcome::Cancelled : ImportOutcome::Stopped;
  }

  std::size_t Added() const { return added_; }
  std::size_t Updated() const { return updated_; }
  std::size_t Skipped() const { return skipped_; }
  // Every record taken, whatever became of it.
  std::size_t Taken() const { return added_ + updated_ + skipped_; }
  RecordResult Stop() const { return stop_; }
  std::size_t StopLine() const { return stopLine_; }

 private:
  ProgressObserver& progress_;
  std::size_t total_;
  ImportMark& mark_;
  ContactGroups groups_;  // the contact list's groups, read once per import
  std::size_t added_ = 0;
  std::size_t updated_ = 0;
  std::size_t skipped_ = 0;
  RecordResult stop_ = RecordResult::Imported;
  std::size_t stopLine_ = 0;
};
