// Any file read as vCard stays within its input, and every user that the
// writer writes (values separated by NUL bytes in the input) the reader reads
// back with the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/formats/vcard.h"

namespace {

std::vector<ImportValues> ReadCards(std::string_view text) {
  MemorySource source(text);
  LineReader reader(source, 13);
  LineStream lines(reader);
  VCardReader cards(lines);
  std::vector<ImportValues> read;
  ImportValues card;
  while (cards.Next(card)) read.push_back(card);
  return read;
}

std::size_t Size(const ImportValues& v) {
  return v.first.size() + v.last.size() + v.fullName.size() + v.nick.size() + v.email.size() +
         v.mobile.size() + v.web.size() + v.group.size();
}

// A value as it comes back: every line break as CR LF, byte 26 as a blank.
std::string AsReadBack(std::string_view value) {
  std::string text;
  for (std::size_t at = 0; at < value.size(); ++at) {
    const char c = value[at];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && at + 1 < value.size() && value[at + 1] == '\n') ++at;
      text += "\r\n";
    } else {
      text += c == 26 ? ' ' : c;
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // Quoted-printable may shrink a value and a line break grows by one byte at
  // most, so no card holds more than twice the input.
  for (const ImportValues& card : ReadCards(input))
    if (Size(card) > 2 * size + 16) std::abort();

  std::vector<std::string> values(7);
  std::size_t slot = 0;
  for (const char c : input) {
    if (c == '\0') {
      if (++slot == values.size()) break;
    } else {
      values[slot] += c;
    }
  }
  ContactDetails user;
  user.first = values[0];
  user.last = values[1];
  user.nick = values[2];
  user.email = values[3];
  user.mobile = values[4];
  user.homepage = values[5];
  user.contactType = values[6].empty() ? 0 : static_cast<unsigned char>(values[6][0]) % 8 - 1;
  const std::string card = WriteVCard(user);
  const std::vector<ImportValues> back = ReadCards(card + card);
  if (back.size() != 2 || !(back[0] == back[1])) std::abort();
  std::string fullName = user.first;
  if (!user.last.empty()) fullName += (fullName.empty() ? "" : " ") + user.last;
  ImportValues expected;
  expected.first = AsReadBack(user.first);
  expected.last = AsReadBack(user.last);
  expected.fullName = AsReadBack(fullName.empty() ? user.nick : fullName);
  expected.nick = AsReadBack(user.nick);
  if (user.contactType > 0 && user.contactType < 6) {
    expected.type = std::to_string(user.contactType);
    expected.group = kContactTypeCaptions[user.contactType];  // a card names no other group
  }
  expected.email = AsReadBack(user.email);
  expected.mobile = AsReadBack(user.mobile);
  expected.web = AsReadBack(user.homepage);
  if (!(back[0] == expected)) std::abort();
  return 0;
}
