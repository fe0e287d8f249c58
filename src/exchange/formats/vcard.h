// vCard files: the import reads versions 2.1, 3.0 and 4.0, one Kestrin user
// per card; the export writes version 3.0 in UTF-8. Portable: reads lines
// from any byte source and writes into memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "exchange/formats/csv_dialect.h"
#include "exchange/formats/import_values.h"
#include "records/ContactDetails.h"

// Whether the first line that is not blank opens a vCard ("BEGIN:VCARD",
// regardless of case and surrounding blanks). Only reads ahead: the lines are
// still to be read afterwards.
bool IsVCardFile(LineStream& lines);

// Hands out the cards of a vCard file. Takes continuation lines (those that
// begin with a blank or tab) into the line before them, and a 2.1 value in
// quoted-printable encoding across its soft line breaks. Text comes out in
// UTF-8: a quoted-printable value in another CHARSET, or in none and not
// valid UTF-8, is read as Windows-1252. A card inside a card (2.1's AGENT)
// is skipped. A card that lacks its END ends where the next card or the
// file begins, and still counts.
class VCardReader {
 public:
  explicit VCardReader(LineStream& lines) : lines_(lines) {}
  VCardReader(const VCardReader&) = delete;
  VCardReader& operator=(const VCardReader&) = delete;

  // The next card's values: family and given name from N, the full name
  // from FN, the first nickname, the first e-mail, the first mobile number
  // (else the first number), the first web address, and the group and the
  // contact type that CATEGORIES give. False when the file holds no more cards.
  bool Next(ImportValues& card);
  // The number of the line (from 1) where the card read last began.
  std::size_t CardLine() const { return cardLine_; }

 private:
  bool NextLine(std::string& line);  // one content line, unfolded

  LineStream& lines_;  // not owned
  std::string ahead_;
  bool hasAhead_ = false;
  bool cardOpen_ = false;       // a BEGIN has opened the next card already
  std::size_t lineNumber_ = 0;  // where the content line read last began
  std::size_t cardLine_ = 0;
  std::size_t openedLine_ = 0;  // where the card that cardOpen_ tells of began
};

// One card in vCard 3.0: N, FN, NICKNAME, EMAIL, TEL;TYPE=CELL, URL and
// CATEGORIES: the group, then the contact type's name (none for "Unspecified"
// or a type without a name); empty values are left out. Lines end in CR LF and are folded at 75
// octets, never inside a UTF-8 sequence. Byte 26 becomes a blank, since no
// reader of the file would read past it.
std::string WriteVCard(const ContactDetails& contact);
