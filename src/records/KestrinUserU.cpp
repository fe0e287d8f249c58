#include "records/KestrinUserU.h"

#include <cstring>
#include <string_view>

#include "host/globals.h"
#include "host/unicode_text.h"

std::string Trim(const std::string& text) {
  auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isTrimmed(text[begin])) ++begin;
  while (end > begin && isTrimmed(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool IsBlank(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) > 32) return false;
  return true;
}

bool IsProtocolOnline(uint32_t status) {
  return status >= ID_STATUS_ONLINE && status <= ID_STATUS_OUTTOLUNCH;
}

uint16_t StatusForContactType(uint32_t protocolStatus, uint32_t contactType) {
  if (!IsProtocolOnline(protocolStatus)) return ID_STATUS_OFFLINE;
  static constexpr uint16_t kStatusByType[kContactTypeCount] = {
      ID_STATUS_ONLINE, ID_STATUS_AWAY,     ID_STATUS_DND,
      ID_STATUS_NA,     ID_STATUS_OCCUPIED, ID_STATUS_FREECHAT};
  // Read as unsigned, so negative types fall outside the table too.
  return contactType < kContactTypeCount ? kStatusByType[contactType] : ID_STATUS_ONLINE;
}

bool IsOwnContact(ContactHandle contact) {
  const intptr_t proto = CallHostService("Proto/GetContactBaseProto", contact, 0);
  if (proto == 0 || proto == CALLSERVICE_NOTFOUND) return false;
  return std::strcmp(reinterpret_cast<const char*>(proto), kModule) == 0;
}

uint16_t StatusForContact(uint32_t protocolStatus, ContactHandle contact) {
  if (!IsProtocolOnline(protocolStatus)) return ID_STATUS_OFFLINE;
  return StatusForContactType(protocolStatus, GetSettingDword(contact, kModule, "ContactType", 0));
}

FullNameParts SplitFullName(const std::string& fullName) {
  const std::size_t blank = fullName.find(' ');
  if (blank == std::string::npos) return {Trim(fullName), ""};
  // Counted in characters: a letter of several UTF-8 bytes is never cut.
  const std::string_view rest = std::string_view(fullName).substr(blank + 1);
  return {Trim(fullName.substr(0, blank)), Trim(std::string(Utf8Prefix(rest, kMaxLastNameLength)))};
}

std::string JoinFullName(const std::string& first, const std::string& last) {
  return Trim(first + " " + last);
}

ContactHandle CreateContactEntry(const std::string& displayName) {
  const auto contact = static_cast<ContactHandle>(CallHostService("DB/Contact/Add", 0, 0));
  if (contact == 0 || static_cast<intptr_t>(contact) == CALLSERVICE_NOTFOUND) return 0;
  WriteSettingString(contact, "Protocol", "0", "Ignore");
  WriteSettingString(contact, "Protocol", "p", kModule);
  WriteSettingString(contact, "CList", "MyHandle", displayName);
  return contact;
}

void AssignUserId(ContactHandle contact) {
  // Counted in 32 bits as the host stores it: a stored number of 2147483647
  // must not make the next one undefined.
  LastUserID = static_cast<int32_t>(static_cast<uint32_t>(LastUserID) + 1u);
  WriteSettingDword(0, kModule, "UserID", static_cast<uint32_t>(LastUserID));
  WriteSettingDword(contact, kModule, "UserID", static_cast<uint32_t>(LastUserID));
}

namespace {

void WriteOrDelete(ContactHandle contact, const char* setting, const std::string& value) {
  if (value.empty())
    DeleteSetting(contact, kModule, setting);
  else
    WriteSettingString(contact, kModule, setting, value);
}

}  // namespace

void WriteContactDetails(ContactHandle contact, const ContactDetails& details) {
  WriteSettingString(contact, kModule, "Nick", details.nick);
  WriteSettingString(contact, kModule, "FirstName", details.first);
  WriteSettingString(contact, kModule, "LastName", details.last);
  WriteSettingDword(contact, kModule, "ContactType", static_cast<uint32_t>(details.contactType));
  WriteOrDelete(contact, "e-mail", details.email);
  WriteOrDelete(contact, "Homepage", details.homepage);
  if (details.mobile.empty()) {
    DeleteSetting(contact, kModule, "Cellular");
    DeleteSetting(contact, kModule, "AlternativeCellular");
  } else {
    WriteSettingString(contact, kModule, "Cellular", details.mobile + " SMS");
    WriteSettingString(contact, kModule, "AlternativeCellular", details.mobile);
  }
  WriteSettingDword(contact, kModule, "RealIP", details.address);
  WriteContactStatus(contact);
}

void WriteContactStatus(ContactHandle contact) {
  const uint32_t status = CurrentStatus.load();
  WriteSettingWord(contact, "UserOnline", "OldStatus", StatusForContact(status, contact));
  WriteSettingWord(contact, kModule, "Status", StatusForContact(status, contact));
}
