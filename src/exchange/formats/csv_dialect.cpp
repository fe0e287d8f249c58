#include "exchange/formats/csv_dialect.h"

#include <algorithm>
#include <map>
#include <utility>

#include "exchange/text/ascii_text.h"
#include "exchange/text/text_marks.h"
#include "records/ContactDetails.h"

namespace {

// Splits quoted records piece by piece, so that a record spread over several
// lines is scanned once.
class QuotedSplitter {
 public:
  // The fields' texts go into `text`, and `fields` views them once the record is finished.
  QuotedSplitter(char separator, std::string& text, FieldList& fields)
      : separator_(separator), text_(text), fields_(fields) {
    text_.clear();
    fields_.clear();
  }

  // Takes the next piece of the record; true when a quoted value is open at its end.
  bool Take(std::string_view text) {
    taken_ = taken_ || !text.empty();
    std::size_t pos = 0;
    while (pos < text.size()) {
      switch (state_) {
        case State::FieldStart:
          if (text[pos] == '"') {
            state_ = State::Quoted;
            ++pos;
          } else {
            state_ = State::Plain;
          }
          break;
        case State::Plain: {
          const std::size_t end = text.find(separator_, pos);
          if (end == std::string_view::npos) {
            text_.append(text.substr(pos));
            pos = text.size();
          } else {
            text_.append(text.substr(pos, end - pos));
            EndField();
            pos = end + 1;
          }
          break;
        }
        case State::Quoted: {
          const std::size_t end = text.find('"', pos);
          if (end == std::string_view::npos) {
            text_.append(text.substr(pos));
            pos = text.size();
          } else {
            text_.append(text.substr(pos, end - pos));
            state_ = State::QuoteSeen;
            pos = end + 1;
          }
          break;
        }
        case State::QuoteSeen:
          if (text[pos] == '"') {
            text_ += '"';
            state_ = State::Quoted;
            ++pos;
          } else {
            state_ = State::Plain;  // text after the closing quote is kept
          }
          break;
      }
    }
    return state_ == State::Quoted;
  }

  // The line end between two lines of one record, inside a quoted value.
  void LineBreak() { text_.append(kValueLineBreak); }

  void Finish() {
    if (taken_) EndField();
    for (const auto& [start, length] : spans_) fields_.emplace_back(text_.data() + start, length);
  }

 private:
  enum class State { FieldStart, Plain, Quoted, QuoteSeen };

  void EndField() {
    spans_.emplace_back(start_, text_.size() - start_);
    start_ = text_.size();
    state_ = State::FieldStart;
  }

  char separator_;
  std::string& text_;                                       // not owned
  FieldList& fields_;                                       // not owned
  std::vector<std::pair<std::size_t, std::size_t>> spans_;  // start and length in text_
  std::size_t start_ = 0;
  State state_ = State::FieldStart;
  bool taken_ = false;
};

// Whether a title, without its surrounding blanks (and a UTF-8 byte-order
// mark before the first), equals `title` regardless of case.
bool IsTitle(std::string_view field, std::string_view title) {
  return SameNoCase(TrimView(WithoutByteOrderMark(field)), title);
}

bool ContainsNoCase(std::string_view text, std::string_view lowerPart) {
  if (text.size() < lowerPart.size()) return false;
  for (std::size_t at = 0; at + lowerPart.size() <= text.size(); ++at) {
    std::size_t same = 0;
    while (same < lowerPart.size() && LowerAscii(text[at + same]) == lowerPart[same]) ++same;
    if (same == lowerPart.size()) return true;
  }
  return false;
}

struct ForeignTitle {
  std::string_view lowerTitle;
  TitleMap::Value value;
  bool firstOfSeveral;
};

// The titles of the address books that people export from, besides the
// plug-in's own (which count here regardless of case). Google Contacts writes
// "Name" for the full name; that is the plug-in's own "Name" title, which
// always keeps its own meaning, so Google's names come from its given and
// family name columns.
constexpr ForeignTitle kForeignTitles[] = {
    {"given name", TitleMap::First, false},      {"family name", TitleMap::Last, false},
    {"display name", TitleMap::FullName, false}, {"nickname", TitleMap::Nick, false},
    {"primary email", TitleMap::Email, false},   {"e-mail 1 - value", TitleMap::Email, true},
    {"mobile number", TitleMap::Mobile, false},  {"web page", TitleMap::Web, false},
    {"web page 1", TitleMap::Web, false},        {"website 1 - value", TitleMap::Web, true},
};

// The titles of the columns that list a contact's categories, and how.
struct GroupTitle {
  std::string_view lowerTitle;
  CategoryList list;
};
constexpr GroupTitle kGroupTitles[] = {{"labels", CategoryList::Labels},
                                       {"group membership", CategoryList::Labels},
                                       {"categories", CategoryList::Delimited}};

// The plug-in's own columns and the values they give.
constexpr TitleMap::Value kOwnColumnValues[kColumnCount] = {
    TitleMap::First, TitleMap::Last,   TitleMap::Nick, TitleMap::Type,
    TitleMap::Email, TitleMap::Mobile, TitleMap::Web};

enum class PhonePart { Kind, Number };

// A numbered phone title ("Phone 2 - Type", "Phone 2 - Label", "Phone 2 - Value"):
// its number and part, or false.
bool ReadPhoneTitle(std::string_view field, uint32_t& number, PhonePart& part) {
  field = TrimView(field);
  constexpr std::string_view kPrefix = "phone ";
  if (field.size() <= kPrefix.size() || !EqualsNoCase(field.substr(0, kPrefix.size()), kPrefix))
    return false;
  field.remove_prefix(kPrefix.size());
  std::size_t digits = 0;
  number = 0;
  while (digits < field.size() && digits < 9 && field[digits] >= '0' && field[digits] <= '9')
    number = number * 10 + static_cast<uint32_t>(field[digits++] - '0');
  if (digits == 0) return false;
  field.remove_prefix(digits);
  if (IsTitle(field, "- type") || IsTitle(field, "- label")) {
    part = PhonePart::Kind;
    return true;
  }
  if (IsTitle(field, "- value")) {
    part = PhonePart::Number;
    return true;
  }
  return false;
}

std::string_view FirstOfSeveral(std::string_view text) {
  const std::size_t end = text.find(" ::: ");
  return end == std::string_view::npos ? text : text.substr(0, end);
}

std::string_view FieldAt(const FieldList& fields, int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= fields.size()) return {};
  return fields[static_cast<std::size_t>(index)];
}

bool IsMobileKind(std::string_view kind) {
  return ContainsNoCase(kind, "mobile") || ContainsNoCase(kind, "cell");
}

// A mobile kind's number, else the first number given.
std::string PhoneValue(const FieldList& fields, const std::vector<TitleMap::Phone>& phones) {
  std::string_view first;
  for (const TitleMap::Phone& phone : phones) {
    const std::string_view number = FirstOfSeveral(FieldAt(fields, phone.number));
    if (number.empty()) continue;
    if (IsMobileKind(FieldAt(fields, phone.kind))) return std::string(number);
    if (first.empty()) first = number;
  }
  return std::string(first);
}

}  // namespace

char DetectSeparator(std::string_view titleLine) {
  if (titleLine.find(kSemicolon) != std::string_view::npos) return kSemicolon;
  std::size_t commas = 0;
  std::size_t tabs = 0;
  bool quoted = false;
  for (const char c : titleLine) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == kComma) ++commas;
    if (c == kTab) ++tabs;
  }
  if (commas == 0 && tabs == 0) return kSemicolon;
  return tabs > commas ? kTab : kComma;
}

FieldList SplitQuotedFields(std::string_view record, char separator, std::string& storage) {
  FieldList fields;
  QuotedSplitter splitter(separator, storage, fields);
  splitter.Take(record);
  splitter.Finish();
  return fields;
}

RecordReader::Result RecordReader::Next(FieldList& fields) {
  if (!lines_.Next(line_)) return Result::End;
  if (separator_ == kSemicolon) {
    SplitFields(line_, fields);
    return Result::Record;
  }
  QuotedSplitter splitter(separator_, text_, fields);
  bool open = splitter.Take(line_);
  for (std::size_t taken = 1; open; ++taken) {
    if (taken == kMaxRecordLines || !lines_.Next(line_)) {
      splitter.Finish();
      return Result::Unclosed;
    }
    splitter.LineBreak();
    open = splitter.Take(line_);
  }
  splitter.Finish();
  return Result::Record;
}

TitleLine ReadTitleLine(std::string_view line) {
  const std::string_view titles = WithoutByteOrderMark(line);
  const char separator = DetectSeparator(titles);
  std::string texts;  // the map keeps indices only: the texts need not outlive it
  return {separator,
          ReadTitles(separator == kSemicolon ? SplitFields(titles)
                                             : SplitQuotedFields(titles, separator, texts),
                     separator)};
}

TitleMap ReadTitles(const FieldList& titles, char separator) {
  TitleMap map;
  if (titles.empty()) return map;
  std::fill(std::begin(map.index), std::end(map.index), kAbsentColumn);
  map.recognised = false;
  for (int column = 0; column < kColumnCount; ++column)
    map.index[kOwnColumnValues[column]] = FindColumn(titles, kColumnTitles[column]);

  std::map<uint32_t, TitleMap::Phone> phones;
  for (std::size_t at = 0; at < titles.size() && at < static_cast<std::size_t>(kAbsentColumn);
       ++at) {
    const auto index = static_cast<int32_t>(at);
    for (int column = 0; column < kColumnCount; ++column) {
      int32_t& slot = map.index[kOwnColumnValues[column]];
      if (slot == kAbsentColumn && IsTitle(titles[at], kColumnTitles[column])) slot = index;
    }
    for (const ForeignTitle& title : kForeignTitles) {
      if (map.index[title.value] != kAbsentColumn || !IsTitle(titles[at], title.lowerTitle))
        continue;
      map.index[title.value] = index;
      map.firstOfSeveral[title.value] = title.firstOfSeveral;
    }
    for (const GroupTitle& title : kGroupTitles) {
      if (map.index[TitleMap::Group] != kAbsentColumn || !IsTitle(titles[at], title.lowerTitle))
        continue;
      map.index[TitleMap::Group] = index;
      // The plug-in's own files write one group, whole.
      map.groupList = separator == kSemicolon && title.list == CategoryList::Delimited
                          ? CategoryList::Whole
                          : title.list;
    }
    uint32_t number = 0;
    PhonePart part = PhonePart::Kind;
    if (ReadPhoneTitle(titles[at], number, part)) {
      int32_t& slot = part == PhonePart::Kind ? phones[number].kind : phones[number].number;
      if (slot == kAbsentColumn) slot = index;
    }
  }
  for (const auto& [number, phone] : phones)
    if (phone.number != kAbsentColumn) map.phones.push_back(phone);

  map.recognised =
      !map.phones.empty() || std::any_of(std::begin(map.index), std::end(map.index),
                                         [](int32_t index) { return index != kAbsentColumn; });
  return map;
}

ImportValues TakeValues(const FieldList& fields, const TitleMap& map) {
  auto value = [&](TitleMap::Value which) {
    const std::string_view text = FieldAt(fields, map.index[which]);
    return std::string(map.firstOfSeveral[which] ? FirstOfSeveral(text) : text);
  };
  ImportValues values;
  values.first = value(TitleMap::First);
  values.last = value(TitleMap::Last);
  values.fullName = value(TitleMap::FullName);
  values.nick = value(TitleMap::Nick);
  values.type = value(TitleMap::Type);
  values.email = value(TitleMap::Email);
  values.mobile = map.index[TitleMap::Mobile] == kAbsentColumn ? PhoneValue(fields, map.phones)
                                                               : value(TitleMap::Mobile);
  values.web = value(TitleMap::Web);
  static_assert(ImportValues::kFirst == 1u << TitleMap::First &&
                ImportValues::kNick == 1u << TitleMap::Nick &&
                ImportValues::kWeb == 1u << TitleMap::Web &&
                ImportValues::kGroup == 1u << TitleMap::Group);
  // The values are the columns' bits in the map's order; the mobile number
  // also comes from numbered phone columns.
  values.columns = 0;
  for (int which = 0; which < TitleMap::kValueCount; ++which)
    if (map.index[which] != kAbsentColumn) values.columns |= 1u << which;
  if (!map.phones.empty()) values.columns |= ImportValues::kMobile;
  if (map.index[TitleMap::Group] != kAbsentColumn) {
    CategoryReader categories;
    categories.TakeField(FieldAt(fields, map.index[TitleMap::Group]), map.groupList);
    values.group = categories.Group();
    if (map.index[TitleMap::Type] == kAbsentColumn) {
      values.type = categories.Type();
      // A type the categories name counts as the file's word on it.
      if (!values.type.empty()) values.columns |= ImportValues::kType;
    }
  }
  return values;
}
