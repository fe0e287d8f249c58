#include "exchange/commands/import_loop.h"

#include <string>
#include <string_view>
#include <utility>

#include "exchange/formats/csv_dialect.h"
#include "exchange/formats/vcard.h"
#include "exchange/text/text_marks.h"
#include "records/IntegerText.h"
#include "records/KestrinUserU.h"
#include "records/StoredText.h"
#include "shell/shell.h"

namespace {

// Every card of a vCard file, each through the record sequence; a card that
// stops the import is named by the line of its BEGIN.
ImportOutcome ImportCards(LineStream& lines, ImportRun& run) {
  VCardReader cards(lines);
  ImportValues card;
  while (cards.Next(card))
    if (!run.Take(card, cards.CardLine())) return run.Ended();
  return ImportOutcome::Completed;
}

// A CSV file: the first line sets the separator and the columns (a first line
// without fields leaves the export's column order in force); every further
// record that has fields is one Kestrin user. `recordLine` is the first line
// of the record read last.
ImportOutcome ImportCsv(LineStream& lines, ImportRun& run, std::size_t& recordLine) {
  std::string titleLine;
  if (!lines.Next(titleLine)) return ImportOutcome::Completed;
  const std::string_view titles = WithoutByteOrderMark(titleLine);
  const char separator = DetectSeparator(titles);
  std::string titleTexts;
  const TitleMap map =
      ReadTitles(separator == kSemicolon ? SplitFields(titles)
                                         : SplitQuotedFields(titles, separator, titleTexts),
                 separator);
  if (!map.recognised) return ImportOutcome::UnknownKind;
  RecordReader records(lines, separator);
  FieldList fields;
  for (;;) {
    recordLine = lines.LinesRead() + 1;
    switch (records.Next(fields)) {
      case RecordReader::Result::End: return ImportOutcome::Completed;
      case RecordReader::Result::Unclosed: return ImportOutcome::UnclosedQuote;
      case RecordReader::Result::Record:
        if (!fields.empty() && !run.Take(TakeValues(fields, map), recordLine)) return run.Ended();
        break;
    }
  }
}

}  // namespace

ImportOutcome ImportRecords(LineStream& lines, ImportRun& run, std::size_t& recordLine) {
  // The content decides the kind of file, whatever its name.
  return IsVCardFile(lines) ? ImportCards(lines, run) : ImportCsv(lines, run, recordLine);
}

RecordResult ImportRecord(const ImportValues& values, ContactGroups& groups) {
  std::string first = values.first;
  std::string last = values.last;
  std::string name = values.nick;
  ContactDetails details;
  details.contactType = ParseInt32(values.type).value_or(0);
  details.email = values.email;
  details.mobile = values.mobile;
  details.homepage = values.web;
  details.group = values.group;

  std::string fullName = first + " " + last;
  if (IsBlank(fullName)) {
    // An address book's display name, else the nickname, stands for the full name.
    const std::string& given = IsBlank(values.fullName) ? name : values.fullName;
    if (IsBlank(given)) {
      shell::ShowMessage(Translated(kBlankFullNameText), Translated(kBlankFullNameCaption),
                         shell::kMessageIconError);
      return RecordResult::NoName;
    }
    fullName = given;
    FullNameParts parts = SplitFullName(given);
    first = std::move(parts.first);
    last = std::move(parts.last);
  } else {
    first = Trim(first);
    last = Trim(last);
  }
  name = NicknameFor(name, fullName);

  details.nick = std::move(name);
  details.first = std::move(first);
  details.last = std::move(last);
  bool stored = false;
  if (CreateImportedContact(fullName, details, groups, stored) == 0)
    return RecordResult::NotCreated;
  return stored ? RecordResult::Imported : RecordResult::NotStored;
}
