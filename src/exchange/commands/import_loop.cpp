#include "exchange/commands/import_loop.h"

#include <ctime>
#include <string>
#include <string_view>
#include <utility>

#include "exchange/formats/csv_dialect.h"
#include "exchange/formats/vcard.h"
#include "records/IntegerText.h"
#include "records/StoredText.h"
#include "shell/shell.h"

namespace {

// Every card of a vCard file, each named by the line of its BEGIN.
ImportOutcome ReadCards(LineStream& lines, std::vector<FileRecord>& records) {
  VCardReader cards(lines);
  ImportValues card;
  while (cards.Next(card)) records.push_back({std::move(card), cards.CardLine()});
  return ImportOutcome::Completed;
}

// A CSV file: the first line sets the separator and the columns (a first line
// without fields leaves the export's column order in force); every further
// record that has fields is one Kestrin user. `recordLine` is the first line
// of the record read last.
ImportOutcome ReadCsv(LineStream& lines, std::vector<FileRecord>& records,
                      std::size_t& recordLine) {
  std::string titleLine;
  if (!lines.Next(titleLine)) return ImportOutcome::Completed;
  const TitleLine title = ReadTitleLine(titleLine);
  const TitleMap& map = title.map;
  if (!map.recognised) return ImportOutcome::UnknownKind;
  RecordReader reader(lines, title.separator);
  FieldList fields;
  for (;;) {
    recordLine = lines.LinesRead() + 1;
    switch (reader.Next(fields)) {
      case RecordReader::Result::End: return ImportOutcome::Completed;
      case RecordReader::Result::Unclosed: return ImportOutcome::UnclosedQuote;
      case RecordReader::Result::Record:
        if (!fields.empty()) records.push_back({TakeValues(fields, map), recordLine});
        break;
    }
  }
}

// The values an update writes: those the file has a column for.
unsigned UpdatedValues(const ImportValues& values) {
  unsigned updated = 0;
  if (values.Has(ImportValues::kNick)) updated |= kUpdateNick;
  if (values.Has(ImportValues::kType)) updated |= kUpdateType;
  if (values.Has(ImportValues::kEmail)) updated |= kUpdateEmail;
  if (values.Has(ImportValues::kMobile)) updated |= kUpdateMobile;
  if (values.Has(ImportValues::kWeb)) updated |= kUpdateHomepage;
  if (values.Has(ImportValues::kGroup)) updated |= kUpdateGroup;
  return updated;
}

}  // namespace

ImportOutcome ReadRecords(LineStream& lines, std::vector<FileRecord>& records,
                          std::size_t& recordLine) {
  // The content decides the kind of file, whatever its name.
  return IsVCardFile(lines) ? ReadCards(lines, records) : ReadCsv(lines, records, recordLine);
}

bool NameRecord(const ImportValues& values, NamedRecord& named) {
  std::string first = values.first;
  std::string last = values.last;
  ContactDetails& details = named.details;
  details.contactType = ParseInt32(values.type).value_or(0);
  details.email = values.email;
  details.mobile = values.mobile;
  details.homepage = values.web;
  details.group = values.group;

  std::string fullName = first + " " + last;
  if (IsBlank(fullName)) {
    // An address book's display name, else the nickname, stands for the full name.
    const std::string& given = IsBlank(values.fullName) ? values.nick : values.fullName;
    if (IsBlank(given)) return false;
    fullName = given;
    FullNameParts parts = SplitFullName(given);
    first = std::move(parts.first);
    last = std::move(parts.last);
  } else {
    first = Trim(first);
    last = Trim(last);
  }
  details.nick = NicknameFor(values.nick, fullName);
  details.first = std::move(first);
  details.last = std::move(last);
  named.displayName = std::move(fullName);
  return true;
}

RecordResult ImportRecord(const ImportValues& values, uint32_t importId, ContactGroups& groups) {
  NamedRecord named;
  if (!NameRecord(values, named)) {
    shell::ShowMessage(Translated(kBlankFullNameText), Translated(kBlankFullNameCaption),
                       shell::kMessageIconError);
    return RecordResult::NoName;
  }
  bool stored = false;
  // A group the record names for the first time is made within its step.
  if (CreateImportedContact(named.displayName, named.details, groups, stored, importId) == 0)
    return RecordResult::NotCreated;
  return stored ? RecordResult::Imported : RecordResult::NotStored;
}

uint32_t ImportMark::Id() {
  if (!written_) {
    written_ = true;
    WriteLastImport({id_, path_, static_cast<uint32_t>(std::time(nullptr))});
  }
  return id_;
}

bool ImportRun::Take(const FileRecord& record, const StoredUser* match, MatchedRecords matched) {
  RecordResult result = RecordResult::Imported;
  if (match == nullptr || matched == MatchedRecords::AddAsNew) {
    result = ImportRecord(record.values, mark_.Id(), groups_);
    // A contact with a value refused is there all the same.
    if (result == RecordResult::Imported || result == RecordResult::NotStored) ++added_;
  } else if (matched == MatchedRecords::Skip) {
    ++skipped_;
  } else {
    // A match was named when it was found.
    NamedRecord named;
    NameRecord(record.values, named);
    if (!UpdateImportedContact(*match, named.displayName, named.details,
                               UpdatedValues(record.values), groups_))
      result = RecordResult::NotStored;
    ++updated_;
  }
  if (result != RecordResult::Imported) {
    stop_ = result;
    stopLine_ = record.line;
    return false;
  }
  progress_.Advance(Taken(), Taken(), total_);
  return !progress_.Cancelled();
}
