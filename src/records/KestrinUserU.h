// The contact record: which settings make up a Kestrin user, how one is
// recognised, named, numbered, created, read, updated and given its status.
// This is the one place that names those settings: the editor window, the
// import and export, the protocol services and the menus go through it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/m_globaldefs.h"
#include "records/ContactDetails.h"
#include "records/ContactGroups.h"

// At most this many characters follow the first blank into the last name.
inline constexpr std::size_t kMaxLastNameLength = 255;

struct FullNameParts {
  std::string first;
  std::string last;
};

// The naming rule of every Kestrin user, made in the editor or by an import:
// a blank full name is refused with this message and caption, and an empty
// nickname becomes the trimmed full name.
inline constexpr const char* kBlankFullNameText = N_("Invalid or empty full user name.");
inline constexpr const char* kBlankFullNameCaption = N_("Error");
std::string NicknameFor(const std::string& nick, const std::string& fullName);

// Removes every leading and trailing character of code 32 or less.
std::string Trim(const std::string& text);
bool IsBlank(const std::string& text);

bool IsProtocolOnline(uint32_t status);
// The status a contact of `contactType` shows under the protocol status.
uint16_t StatusForContactType(uint32_t protocolStatus, uint32_t contactType);

bool IsOwnContact(ContactHandle contact);
uint16_t StatusForContact(uint32_t protocolStatus, ContactHandle contact);

FullNameParts SplitFullName(const std::string& fullName);
std::string JoinFullName(const std::string& first, const std::string& last);

// The setting that numbers each Kestrin user, and the module-level floor of
// the numbers handed out; the host keeps the pointer.
extern const char kUniqueIdSetting[];

// "DB/Contact/Add" and the settings that make the new contact a Kestrin user;
// 0 when the host created no contact.
ContactHandle CreateContactEntry(const std::string& displayName);
// Gives a newly created contact the next number, raising the stored floor.
void AssignUserId(ContactHandle contact);
// Raises the stored floor to the highest number any Kestrin user carries, then
// numbers every Kestrin user without one.
void NumberContacts();

// Every detail of a Kestrin user, its contact-list group among them; missing
// texts read as empty, a missing type and address as 0.
ContactDetails ReadContactDetails(ContactHandle contact);
// The writes below answer whether the host stored every value; a text too
// long for its database is stored cut (WriteSettingString).
// The editor's update sequence: empty optional texts are deleted; ends with
// the status pair.
bool WriteContactDetails(ContactHandle contact, const ContactDetails& details);
// The import's creation of a Kestrin user: "DB/Contact/Add", the contact's
// own settings (empty optional texts are not written, nor is the address),
// its group (made in `groups` when missing), its status pair, the settings of
// CreateContactEntry, and "Protocol"/"p" last, so that the contact list takes
// in a finished contact once instead of following every setting. 0 when the
// host created no contact; `stored` tells whether the host stored every value.
// `importId` (not 0) marks the contact as made by that import, for its undo.
ContactHandle CreateImportedContact(const std::string& displayName, const ContactDetails& details,
                                    ContactGroups& groups, bool& stored, uint32_t importId = 0);
// Puts the contact into `group` ('\' between levels), made in `groups` when
// missing; an empty group takes it out of any. Groups are never deleted: they
// are the user's.
bool WriteContactGroup(ContactHandle contact, const std::string& group, ContactGroups& groups);

// A Kestrin user as an import finds it stored: the values it is matched by,
// its names and address (the other details are left empty).
struct StoredUser {
  ContactHandle contact = 0;
  ContactDetails details;
};
StoredUser ReadStoredUser(ContactHandle contact);
// The values an update writes besides the names (first, last and display
// name, always): those the file has a column for.
enum UpdatedValue : unsigned {
  kUpdateNick = 1u << 0,
  kUpdateType = 1u << 1,
  kUpdateEmail = 1u << 2,
  kUpdateMobile = 1u << 3,
  kUpdateHomepage = 1u << 4,
  kUpdateGroup = 1u << 5,
};
// The import's update of a stored Kestrin user: each value of `values` that
// differs from the stored one (read here, all but the names and address of
// `user`) is written (an empty text deleted), then the status pair when a
// changed type changed what the contact shows. The handle, the number and
// the address stay, and so does the group unless kUpdateGroup asks for it
// (made in `groups` when missing). Answers whether the host stored every value.
bool UpdateImportedContact(const StoredUser& user, const std::string& displayName,
                           const ContactDetails& details, unsigned values, ContactGroups& groups);

// The import that made the contact (0: none, or saved in the editor since).
uint32_t ImportIdOf(ContactHandle contact);
// The last import that created Kestrin users: its number, file and time
// (seconds since 1970, UTC), kept as module settings so that it can be
// undone after a restart.
struct LastImport {
  uint32_t id = 0;
  std::string file;
  uint32_t time = 0;
};
void WriteLastImport(const LastImport& last);
// std::nullopt when there is no import to undo.
std::optional<LastImport> ReadLastImport();
// The number of the last import that created Kestrin users, also after its undo; 0: none yet.
uint32_t LastImportId();
// Nothing is left to undo; the number stays, to be counted on.
void ForgetLastImport();
// The status pair under the protocol's current status.
bool WriteContactStatus(ContactHandle contact);
// The status the contact shows under `protocolStatus`.
bool WriteShownStatus(ContactHandle contact, uint32_t protocolStatus);
