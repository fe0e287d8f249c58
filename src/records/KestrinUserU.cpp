#include "records/KestrinUserU.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "host/globals.h"
#include "host/unicode_text.h"
#include "records/StoredText.h"

const char kUniqueIdSetting[] = "UserID";

namespace {

// The settings of a Kestrin user in the plug-in's own module.
constexpr const char* kNickSetting = "Nick";
constexpr const char* kFirstNameSetting = "FirstName";
constexpr const char* kLastNameSetting = "LastName";
constexpr const char* kContactTypeSetting = "ContactType";
constexpr const char* kEmailSetting = "e-mail";
constexpr const char* kHomepageSetting = "Homepage";
// The mobile number twice: marked for text messages, and as typed.
constexpr const char* kCellularSetting = "Cellular";
constexpr const char* kAlternativeCellularSetting = "AlternativeCellular";
constexpr const char* kAddressSetting = "RealIP";
constexpr const char* kStatusSetting = "Status";
constexpr const char* kMobileMark = " SMS";
// The import that made the contact; the last import's number, file and time
// are module settings.
constexpr const char* kImportIdSetting = "ImportId";
constexpr const char* kLastImportIdSetting = "LastImportId";
constexpr const char* kLastImportFileSetting = "LastImportFile";
constexpr const char* kLastImportTimeSetting = "LastImportTime";

// Settings of other modules that the host and the contact list read.
constexpr const char* kProtocolModule = "Protocol";
constexpr const char* kProtocolSetting = "p";
constexpr const char* kIgnoreSetting = "0";
constexpr const char* kIgnoreValue = "Ignore";
constexpr const char* kContactListModule = "CList";
constexpr const char* kDisplayNameSetting = "MyHandle";
constexpr const char* kGroupSetting = "Group";
constexpr const char* kOnlineModule = "UserOnline";
constexpr const char* kOldStatusSetting = "OldStatus";

}  // namespace

std::string Trim(const std::string& text) { return std::string(TrimView(text)); }

bool IsBlank(const std::string& text) { return TrimView(text).empty(); }

std::string NicknameFor(const std::string& nick, const std::string& fullName) {
  return IsBlank(nick) ? Trim(fullName) : nick;
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
  return StatusForContactType(protocolStatus,
                              GetSettingDword(contact, kModule, kContactTypeSetting, 0));
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

namespace {

ContactHandle AddContact() {
  const auto contact = static_cast<ContactHandle>(CallHostService("DB/Contact/Add", 0, 0));
  if (contact == 0 || static_cast<intptr_t>(contact) == CALLSERVICE_NOTFOUND) return 0;
  return contact;
}

bool WriteIgnoreAndDisplayName(ContactHandle contact, const std::string& displayName) {
  const bool stored = WriteSettingString(contact, kProtocolModule, kIgnoreSetting, kIgnoreValue);
  return WriteSettingString(contact, kContactListModule, kDisplayNameSetting, displayName) &&
         stored;
}

bool WriteProtocol(ContactHandle contact) {
  return WriteSettingString(contact, kProtocolModule, kProtocolSetting, kModule);
}

// Both settings from one status, worked out by the caller.
bool WriteStatusPair(ContactHandle contact, uint16_t status) {
  const bool stored = WriteSettingWord(contact, kOnlineModule, kOldStatusSetting, status);
  return WriteSettingWord(contact, kModule, kStatusSetting, status) && stored;
}

}  // namespace

ContactHandle CreateContactEntry(const std::string& displayName) {
  const ContactHandle contact = AddContact();
  if (contact == 0) return 0;
  WriteSettingString(contact, kProtocolModule, kIgnoreSetting, kIgnoreValue);
  WriteProtocol(contact);
  WriteSettingString(contact, kContactListModule, kDisplayNameSetting, displayName);
  return contact;
}

void AssignUserId(ContactHandle contact) {
  // Counted in 32 bits as the host stores it: a stored number of 2147483647
  // must not make the next one undefined.
  LastUserID = static_cast<int32_t>(static_cast<uint32_t>(LastUserID) + 1u);
  WriteSettingDword(0, kModule, kUniqueIdSetting, static_cast<uint32_t>(LastUserID));
  WriteSettingDword(contact, kModule, kUniqueIdSetting, static_cast<uint32_t>(LastUserID));
}

void NumberContacts() {
  LastUserID = static_cast<int32_t>(GetSettingDword(0, kModule, kUniqueIdSetting, 0));
  // First raise the floor to the highest number any Kestrin user carries, so
  // that a number handed out below can never be one a later contact has.
  ForEachContact([](ContactHandle contact) {
    if (!IsOwnContact(contact)) return;
    const auto id = static_cast<int32_t>(GetSettingDword(contact, kModule, kUniqueIdSetting, 0));
    if (id > LastUserID) LastUserID = id;
  });
  const int32_t storedFloor =
      static_cast<int32_t>(GetSettingDword(0, kModule, kUniqueIdSetting, 0));
  if (LastUserID != storedFloor)
    WriteSettingDword(0, kModule, kUniqueIdSetting, static_cast<uint32_t>(LastUserID));
  ForEachContact([](ContactHandle contact) {
    if (!IsOwnContact(contact)) return;
    if (GetSettingDword(contact, kModule, kUniqueIdSetting, 0) != 0) return;
    AssignUserId(contact);
  });
}

ContactDetails ReadContactDetails(ContactHandle contact) {
  auto text = [contact](const char* setting) {
    return GetSettingString(contact, kModule, setting, std::string());
  };
  ContactDetails details;
  details.first = text(kFirstNameSetting);
  details.last = text(kLastNameSetting);
  details.nick = text(kNickSetting);
  details.contactType =
      static_cast<int32_t>(GetSettingDword(contact, kModule, kContactTypeSetting, 0));
  details.mobile = text(kAlternativeCellularSetting);
  details.email = text(kEmailSetting);
  details.homepage = text(kHomepageSetting);
  details.address = GetSettingDword(contact, kModule, kAddressSetting, 0);
  details.group = GetSettingString(contact, kContactListModule, kGroupSetting, std::string());
  return details;
}

namespace {

// Each answers whether the host stored every value it wrote.
bool WriteNames(ContactHandle contact, const ContactDetails& details) {
  bool stored = WriteSettingString(contact, kModule, kNickSetting, details.nick);
  stored &= WriteSettingString(contact, kModule, kFirstNameSetting, details.first);
  stored &= WriteSettingString(contact, kModule, kLastNameSetting, details.last);
  return stored;
}

bool WriteContactType(ContactHandle contact, int32_t contactType) {
  return WriteSettingDword(contact, kModule, kContactTypeSetting,
                           static_cast<uint32_t>(contactType));
}

bool WriteMobile(ContactHandle contact, const std::string& mobile) {
  bool stored = WriteSettingString(contact, kModule, kCellularSetting, mobile + kMobileMark);
  stored &= WriteSettingString(contact, kModule, kAlternativeCellularSetting, mobile);
  return stored;
}

bool WriteOrDelete(ContactHandle contact, const char* setting, const std::string& value) {
  if (!value.empty()) return WriteSettingString(contact, kModule, setting, value);
  DeleteSetting(contact, kModule, setting);
  return true;
}

bool WriteUnlessEmpty(ContactHandle contact, const char* setting, const std::string& value) {
  return value.empty() || WriteSettingString(contact, kModule, setting, value);
}

}  // namespace

bool WriteContactDetails(ContactHandle contact, const ContactDetails& details) {
  bool stored = WriteNames(contact, details);
  stored &= WriteContactType(contact, details.contactType);
  stored &= WriteOrDelete(contact, kEmailSetting, details.email);
  stored &= WriteOrDelete(contact, kHomepageSetting, details.homepage);
  if (details.mobile.empty()) {
    DeleteSetting(contact, kModule, kCellularSetting);
    DeleteSetting(contact, kModule, kAlternativeCellularSetting);
  } else {
    stored &= WriteMobile(contact, details.mobile);
  }
  stored &= WriteSettingDword(contact, kModule, kAddressSetting, details.address);
  stored &= WriteContactStatus(contact);
  // Saved by the user: no longer the import's to undo.
  if (ImportIdOf(contact) != 0) DeleteSetting(contact, kModule, kImportIdSetting);
  return stored;
}

bool WriteContactGroup(ContactHandle contact, const std::string& group, ContactGroups& groups) {
  if (group.empty()) {
    DeleteSetting(contact, kContactListModule, kGroupSetting);
    return true;
  }
  const std::optional<std::string> spelled = groups.Ensure(group);
  return spelled && WriteSettingString(contact, kContactListModule, kGroupSetting, *spelled);
}

ContactHandle CreateImportedContact(const std::string& displayName, const ContactDetails& details,
                                    ContactGroups& groups, bool& stored, uint32_t importId) {
  const ContactHandle contact = AddContact();
  if (contact == 0) return 0;
  stored = WriteNames(contact, details);
  stored &= WriteUnlessEmpty(contact, kEmailSetting, details.email);
  if (!details.mobile.empty()) stored &= WriteMobile(contact, details.mobile);
  stored &= WriteUnlessEmpty(contact, kHomepageSetting, details.homepage);
  stored &= WriteContactType(contact, details.contactType);
  if (!details.group.empty()) stored &= WriteContactGroup(contact, details.group, groups);
  // From the type in hand: the contact is not a Kestrin user before "p".
  stored &= WriteStatusPair(
      contact,
      StatusForContactType(CurrentStatus.load(), static_cast<uint32_t>(details.contactType)));
  stored &= WriteIgnoreAndDisplayName(contact, displayName);
  if (importId != 0) stored &= WriteSettingDword(contact, kModule, kImportIdSetting, importId);
  stored &= WriteProtocol(contact);
  return contact;
}

namespace {

// Writes `value` unless it is what is stored; an empty text is deleted.
bool UpdateText(ContactHandle contact, const char* module, const char* setting,
                const std::string& stored, const std::string& value) {
  if (value == stored) return true;
  if (!value.empty()) return WriteSettingString(contact, module, setting, value);
  DeleteSetting(contact, module, setting);
  return true;
}

}  // namespace

StoredUser ReadStoredUser(ContactHandle contact) {
  StoredUser user;
  user.contact = contact;
  user.details.first = GetSettingString(contact, kModule, kFirstNameSetting, std::string());
  user.details.last = GetSettingString(contact, kModule, kLastNameSetting, std::string());
  user.details.email = GetSettingString(contact, kModule, kEmailSetting, std::string());
  return user;
}

bool UpdateImportedContact(const StoredUser& user, const std::string& displayName,
                           const ContactDetails& details, unsigned values, ContactGroups& groups) {
  const ContactHandle contact = user.contact;
  const ContactDetails& old = user.details;
  // Only what the file can change is read.
  auto text = [contact](const char* module, const char* setting) {
    return GetSettingString(contact, module, setting, std::string());
  };
  bool stored = UpdateText(contact, kModule, kFirstNameSetting, old.first, details.first);
  stored &= UpdateText(contact, kModule, kLastNameSetting, old.last, details.last);
  if ((values & kUpdateNick) != 0)
    stored &= UpdateText(contact, kModule, kNickSetting, text(kModule, kNickSetting), details.nick);
  // The contact list's name follows the names; with the names as they were,
  // a name the user gave the contact there stays.
  if (details.first != old.first || details.last != old.last)
    stored &= UpdateText(contact, kContactListModule, kDisplayNameSetting,
                         text(kContactListModule, kDisplayNameSetting), displayName);
  if ((values & kUpdateEmail) != 0)
    stored &= UpdateText(contact, kModule, kEmailSetting, old.email, details.email);
  if ((values & kUpdateHomepage) != 0)
    stored &= UpdateText(contact, kModule, kHomepageSetting, text(kModule, kHomepageSetting),
                         details.homepage);
  if ((values & kUpdateMobile) != 0 &&
      details.mobile != text(kModule, kAlternativeCellularSetting)) {
    if (details.mobile.empty()) {
      DeleteSetting(contact, kModule, kCellularSetting);
      DeleteSetting(contact, kModule, kAlternativeCellularSetting);
    } else {
      stored &= WriteMobile(contact, details.mobile);
    }
  }
  if ((values & kUpdateGroup) != 0) {
    // The group as the list spells it, made when missing; written only when it moves.
    const std::optional<std::string> spelled =
        details.group.empty() ? std::string() : groups.Ensure(details.group);
    if (!spelled)
      stored = false;
    else
      stored &= UpdateText(contact, kContactListModule, kGroupSetting,
                           text(kContactListModule, kGroupSetting), *spelled);
  }
  if ((values & kUpdateType) != 0 &&
      static_cast<uint32_t>(details.contactType) !=
          GetSettingDword(contact, kModule, kContactTypeSetting, 0)) {
    stored &= WriteContactType(contact, details.contactType);
    const uint16_t status =
        StatusForContactType(CurrentStatus.load(), static_cast<uint32_t>(details.contactType));
    if (GetSettingWord(contact, kModule, kStatusSetting, 0) != status)
      stored &= WriteStatusPair(contact, status);
  }
  return stored;
}

uint32_t ImportIdOf(ContactHandle contact) {
  return GetSettingDword(contact, kModule, kImportIdSetting, 0);
}

void WriteLastImport(const LastImport& last) {
  WriteSettingDword(0, kModule, kLastImportIdSetting, last.id);
  WriteSettingString(0, kModule, kLastImportFileSetting, last.file);
  WriteSettingDword(0, kModule, kLastImportTimeSetting, last.time);
}

uint32_t LastImportId() { return GetSettingDword(0, kModule, kLastImportIdSetting, 0); }

std::optional<LastImport> ReadLastImport() {
  LastImport last;
  last.id = LastImportId();
  last.time = GetSettingDword(0, kModule, kLastImportTimeSetting, 0);
  // Undone whole, an import leaves its number alone, and no time.
  if (last.id == 0 || last.time == 0) return std::nullopt;
  last.file = GetSettingString(0, kModule, kLastImportFileSetting, std::string());
  return last;
}

void ForgetLastImport() {
  // The number stays: it counts on, so that no later import takes the number
  // of contacts that an earlier one made.
  DeleteSetting(0, kModule, kLastImportFileSetting);
  DeleteSetting(0, kModule, kLastImportTimeSetting);
}

bool WriteContactStatus(ContactHandle contact) {
  const uint32_t status = CurrentStatus.load();
  const bool stored = WriteSettingWord(contact, kOnlineModule, kOldStatusSetting,
                                       StatusForContact(status, contact));
  return WriteShownStatus(contact, status) && stored;
}

bool WriteShownStatus(ContactHandle contact, uint32_t protocolStatus) {
  return WriteSettingWord(contact, kModule, kStatusSetting,
                          StatusForContact(protocolStatus, contact));
}
