// The contact record: which settings make up a Kestrin user, how one is
// recognised, named, numbered, created, updated and given its status. The
// editor window and the import write through these rules; the protocol
// services, the menus and the export read through them.
#pragma once

#include <cstdint>
#include <string>

#include "host/m_globaldefs.h"

// Contact types as stored in "ContactType"; the captions are the items of the
// editor's list, in this order.
inline constexpr const char* kContactTypeCaptions[] = {
    N_("Unspecified"), N_("Family"), N_("Friends"), N_("Business"), N_("VIP"), N_("Other")};
inline constexpr int kContactTypeCount = 6;

// At most this many characters follow the first blank into the last name.
inline constexpr std::size_t kMaxLastNameLength = 255;

struct FullNameParts {
  std::string first;
  std::string last;
};

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

// "DB/Contact/Add" and the settings that make the new contact a Kestrin user;
// 0 when the host created no contact.
ContactHandle CreateContactEntry(const std::string& displayName);
// Gives a newly created contact the next "UserID", raising the stored floor.
void AssignUserId(ContactHandle contact);

struct ContactDetails {
  std::string nick;
  std::string first;
  std::string last;
  int32_t contactType = 0;
  std::string email;
  std::string homepage;
  std::string mobile;
  uint32_t address = 0;
};
// The editor's update sequence; ends with the status pair.
void WriteContactDetails(ContactHandle contact, const ContactDetails& details);
void WriteContactStatus(ContactHandle contact);
