#include "exchange/formats/vcard.h"

#include <vector>

#include "exchange/formats/categories.h"
#include "exchange/text/ascii_text.h"
#include "exchange/text/text_marks.h"
#include "host/unicode_text.h"

namespace {

constexpr std::size_t kFoldOctets = 75;

bool StartsNoCase(std::string_view text, std::string_view lower) {
  return text.size() >= lower.size() && EqualsNoCase(text.substr(0, lower.size()), lower);
}

bool IsBlankLine(std::string_view line) { return TrimView(line).empty(); }

// One content line: [group.]NAME *(;param) : value.
struct Property {
  std::string_view name;
  std::string_view charset;
  bool quotedPrintable = false;
  bool cell = false;
  bool uri = false;  // VALUE=uri
  std::size_t valueStart = 0;
};

// The end of a parameter: the next ';' or ':' outside double quotes.
std::size_t ParameterEnd(std::string_view line, std::size_t pos) {
  bool quoted = false;
  for (; pos < line.size(); ++pos) {
    if (line[pos] == '"') quoted = !quoted;
    if (!quoted && (line[pos] == ';' || line[pos] == ':')) return pos;
  }
  return pos;
}

std::string_view Unquoted(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return text.substr(1, text.size() - 2);
  return text;
}

// TYPE=CELL, TYPE=cell,voice, TYPE="voice,cell", or 2.1's bare CELL.
bool NamesCell(std::string_view types) {
  types = Unquoted(types);
  while (!types.empty()) {
    const std::size_t comma = types.find(',');
    if (EqualsNoCase(TrimView(types.substr(0, comma)), "cell")) return true;
    if (comma == std::string_view::npos) break;
    types.remove_prefix(comma + 1);
  }
  return false;
}

void ReadParameter(std::string_view parameter, Property& property) {
  const std::size_t equals = parameter.find('=');
  if (equals == std::string_view::npos) {  // 2.1 names a type or an encoding alone
    if (EqualsNoCase(parameter, "quoted-printable")) property.quotedPrintable = true;
    if (EqualsNoCase(parameter, "cell")) property.cell = true;
    return;
  }
  const std::string_view key = parameter.substr(0, equals);
  const std::string_view value = parameter.substr(equals + 1);
  if (EqualsNoCase(key, "type")) {
    property.cell = property.cell || NamesCell(value);
  } else if (EqualsNoCase(key, "encoding")) {
    property.quotedPrintable = EqualsNoCase(Unquoted(value), "quoted-printable");
  } else if (EqualsNoCase(key, "charset")) {
    property.charset = Unquoted(value);
  } else if (EqualsNoCase(key, "value")) {
    property.uri = EqualsNoCase(Unquoted(value), "uri");
  }
}

// False for a line that is no property (no colon after its name and parameters).
bool ReadProperty(std::string_view line, Property& property) {
  property = Property();
  std::size_t pos = line.find_first_of(";:");
  if (pos == std::string_view::npos) return false;
  std::string_view name = TrimView(line.substr(0, pos));
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name.remove_prefix(dot + 1);  // item1.EMAIL
  property.name = name;
  while (pos < line.size() && line[pos] == ';') {
    const std::size_t end = ParameterEnd(line, pos + 1);
    ReadParameter(TrimView(line.substr(pos + 1, end - pos - 1)), property);
    pos = end;
  }
  if (pos >= line.size()) return false;
  property.valueStart = pos + 1;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '=' && at + 2 < text.size() && HexDigit(text[at + 1]) >= 0 &&
        HexDigit(text[at + 2]) >= 0) {
      bytes += static_cast<char>(HexDigit(text[at + 1]) * 16 + HexDigit(text[at + 2]));
      at += 2;
    } else {
      bytes += text[at];
    }
  }
  return bytes;
}

// Windows-1252's characters for the bytes 0x80 to 0x9F; the rest are Latin-1.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string FromWindows1252(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    AppendUtf8(text, byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte);
  }
  return text;
}

// Quoted-printable bytes in UTF-8: kept when the CHARSET says UTF-8, or says
// nothing and they are valid UTF-8; otherwise read as Windows-1252 (which
// Latin-1 files also read correctly as).
std::string QuotedPrintableText(std::string_view value, std::string_view charset) {
  std::string bytes = DecodeQuotedPrintable(value);
  const bool utf8 = EqualsNoCase(charset, "utf-8") || EqualsNoCase(charset, "utf8") ||
                    (charset.empty() && IsValidUtf8(bytes));
  return utf8 ? bytes : FromWindows1252(bytes);
}

// The parts of a value between `separator`s that no backslash escapes.
std::vector<std::string_view> SplitEscaped(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\\') {
      ++at;
    } else if (text[at] == separator) {
      parts.push_back(text.substr(start, at - start));
      start = at + 1;
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

// \n (or \N) is a line break; \\, \, \; and \: stand for the character; any
// other backslash stays as it is.
std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\\' || at + 1 == text.size()) {
      out += text[at];
      continue;
    }
    const char next = text[++at];
    if (next == 'n' || next == 'N') {
      out.append(kValueLineBreak);
    } else if (next == '\\' || next == ',' || next == ';' || next == ':') {
      out += next;
    } else {
      out += '\\';
      out += next;
    }
  }
  return out;
}

// Collects one card's values from its properties.
class CardBuilder {
 public:
  void Take(const Property& property, std::string_view raw) {
    const std::string decoded =
        property.quotedPrintable ? QuotedPrintableText(raw, property.charset) : std::string();
    const std::string_view value = property.quotedPrintable ? decoded : raw;
    const std::string_view name = property.name;
    if (EqualsNoCase(name, "n")) {
      if (haveN_) return;
      haveN_ = true;
      const std::vector<std::string_view> parts = SplitEscaped(value, ';');
      card_.last = Unescape(parts[0]);
      if (parts.size() > 1) card_.first = Unescape(parts[1]);
    } else if (EqualsNoCase(name, "fn")) {
      SetFirst(card_.fullName, Unescape(value));
    } else if (EqualsNoCase(name, "nickname")) {
      SetFirst(card_.nick, Unescape(SplitEscaped(value, ',')[0]));
    } else if (EqualsNoCase(name, "email")) {
      SetFirst(card_.email, Unescape(value));
    } else if (EqualsNoCase(name, "tel")) {
      TakeNumber(property, Unescape(value));
    } else if (EqualsNoCase(name, "url")) {
      SetFirst(card_.web, Unescape(value));
    } else if (EqualsNoCase(name, "categories")) {
      haveCategories_ = true;
      for (const std::string_view part : SplitEscaped(value, ',')) {
        if (categories_.Done()) break;
        categories_.Take(Unescape(part));
      }
    }
  }

  ImportValues Finish() {
    if (!haveMobile_) card_.mobile = std::move(firstNumber_);
    card_.group = categories_.Group();
    card_.type = categories_.Type();
    // The group and the type come from CATEGORIES alone: a card without it
    // says nothing of them, and an update leaves them as they are.
    if (!haveCategories_) card_.columns &= ~(ImportValues::kGroup | ImportValues::kType);
    return std::move(card_);
  }

 private:
  static void SetFirst(std::string& slot, std::string value) {
    if (slot.empty()) slot = std::move(value);
  }

  void TakeNumber(const Property& property, std::string number) {
    if (property.uri && StartsNoCase(number, "tel:")) number.erase(0, 4);
    if (number.empty()) return;
    if (property.cell && !haveMobile_) {
      card_.mobile = std::move(number);
      haveMobile_ = true;
    } else {
      SetFirst(firstNumber_, std::move(number));
    }
  }

  ImportValues card_;
  CategoryReader categories_;
  bool haveCategories_ = false;
  std::string firstNumber_;
  bool haveN_ = false;
  bool haveMobile_ = false;
};

bool IsMarker(const Property& property, std::string_view line, std::string_view lowerName) {
  return EqualsNoCase(property.name, lowerName) &&
         EqualsNoCase(TrimView(line.substr(property.valueStart)), "vcard");
}

// TEXT values: the characters that structure a vCard line are escaped.
void AppendText(std::string& out, std::string_view value, bool escapeSeparators) {
  for (std::size_t at = 0; at < value.size(); ++at) {
    const char c = value[at];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && at + 1 < value.size() && value[at + 1] == '\n') ++at;
      out += "\\n";
    } else if (c == '\\' || (escapeSeparators && (c == ',' || c == ';'))) {
      out += '\\';
      out += c;
    } else {
      out += c == kEndOfFile ? ' ' : c;
    }
  }
}

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u; }

// Appends one content line, folded so that no line is longer than 75 octets
// and no fold splits a UTF-8 sequence.
void AppendFolded(std::string& out, std::string_view line) {
  std::size_t limit = kFoldOctets;
  while (line.size() > limit) {
    std::size_t cut = limit;
    std::size_t back = 0;
    while (back < 3 && IsUtf8Continuation(line[cut - back])) ++back;
    if (!IsUtf8Continuation(line[cut - back])) cut -= back;  // else no valid sequence to keep
    out.append(line.substr(0, cut));
    out += "\r\n ";
    line.remove_prefix(cut);
    limit = kFoldOctets - 1;  // the leading blank counts
  }
  out.append(line);
  out += "\r\n";
}

void AppendProperty(std::string& out, std::string_view name, std::string_view value,
                    bool escapeSeparators) {
  std::string line(name);
  line += ':';
  AppendText(line, value, escapeSeparators);
  AppendFolded(out, line);
}

}  // namespace

bool IsVCardFile(LineStream& lines) {
  for (std::size_t ahead = 0;; ++ahead) {
    const std::string* line = lines.Peek(ahead);
    if (line == nullptr) return false;
    if (!IsBlankLine(*line)) return EqualsNoCase(TrimView(*line), "begin:vcard");
  }
}

bool VCardReader::NextLine(std::string& line) {
  if (hasAhead_) {
    line = std::move(ahead_);
    hasAhead_ = false;
  } else if (!lines_.Next(line)) {
    return false;
  }
  lineNumber_ = lines_.LinesRead();  // the line just taken is the last one read
  while (lines_.Next(ahead_)) {
    if (ahead_.empty() || (ahead_[0] != ' ' && ahead_[0] != '\t')) {
      hasAhead_ = true;
      break;
    }
    line.append(ahead_, 1, std::string::npos);
  }
  return true;
}

bool VCardReader::Next(ImportValues& card) {
  CardBuilder builder;
  std::size_t depth = cardOpen_ ? 1 : 0;
  if (cardOpen_) cardLine_ = openedLine_;
  cardOpen_ = false;
  bool agentFollows = false;
  std::string line;
  std::string more;
  Property property;
  while (NextLine(line)) {
    if (!ReadProperty(line, property)) continue;
    if (IsMarker(property, line, "begin")) {
      // A card opened inside a card is 2.1's AGENT; any other ends a card
      // that has lost its END.
      if (depth == 1 && !agentFollows) {
        cardOpen_ = true;
        openedLine_ = lineNumber_;
        card = builder.Finish();
        return true;
      }
      if (depth++ == 0) cardLine_ = lineNumber_;
      continue;
    }
    if (depth == 0) continue;  // nothing outside a card counts
    if (IsMarker(property, line, "end")) {
      if (--depth != 0) continue;
      card = builder.Finish();
      return true;
    }
    if (depth != 1) continue;
    agentFollows = EqualsNoCase(property.name, "agent") &&
                   TrimView(std::string_view(line).substr(property.valueStart)).empty();
    // A soft line break of quoted-printable: a value line ending in '='.
    bool joined = false;
    while (property.quotedPrintable && !line.empty() && line.back() == '=' && NextLine(more)) {
      line.pop_back();
      line += more;
      joined = true;
    }
    if (joined) ReadProperty(line, property);  // its views may point into the old text
    builder.Take(property, std::string_view(line).substr(property.valueStart));
  }
  if (depth == 0) return false;
  card = builder.Finish();
  return true;
}

std::string WriteVCard(const ContactDetails& contact) {
  std::string out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
  std::string name;
  AppendText(name, contact.last, true);
  name += ';';
  AppendText(name, contact.first, true);
  name += ";;;";
  AppendFolded(out, "N:" + name);

  std::string fullName = contact.first;
  if (!contact.last.empty()) fullName += (fullName.empty() ? "" : " ") + contact.last;
  AppendProperty(out, "FN", fullName.empty() ? contact.nick : fullName, true);
  if (!contact.nick.empty()) AppendProperty(out, "NICKNAME", contact.nick, true);
  // Addresses and numbers are not lists: commas and semicolons stay as they are.
  if (!contact.email.empty()) AppendProperty(out, "EMAIL;TYPE=INTERNET", contact.email, false);
  if (!contact.mobile.empty()) AppendProperty(out, "TEL;TYPE=CELL", contact.mobile, false);
  if (!contact.homepage.empty()) AppendProperty(out, "URL", contact.homepage, false);
  // The group first, as the import takes the first category for the group;
  // then the type's name, unless the group's name says it already.
  std::string categories;
  if (!contact.group.empty()) AppendText(categories, contact.group, true);
  if (contact.contactType > 0 && contact.contactType < kContactTypeCount) {
    const std::string_view type = kContactTypeCaptions[contact.contactType];
    CategoryReader named;
    named.Take(contact.group);
    if (named.Type() != std::to_string(contact.contactType)) {
      if (!categories.empty()) categories += ',';
      AppendText(categories, type, true);
    }
  }
  if (!categories.empty()) AppendFolded(out, "CATEGORIES:" + categories);
  out += "END:VCARD\r\n";
  return out;
}
