// The Import and Export commands of the exchange file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "csv/csv_format.h"
#include "host/m_globaldefs.h"
#include "shell/files.h"

intptr_t MIRANDA_CDECL ImportContacts(WParam, LParam);
intptr_t MIRANDA_CDECL ExportContacts(WParam, LParam);

enum class RecordResult { Imported, NoName, NotCreated };

// Creates one Kestrin user from a data line read under `map`, unless the line
// has no name at all (an empty line among them) or the host creates no contact.
RecordResult ImportRecord(std::string_view line, const ColumnMap& map);

// An open file as a byte source; keeps the reason of a failed read.
class FileSource : public ByteSource {
 public:
  explicit FileSource(shell::ReadableFile& file) : file_(file) {}
  bool Read(char* buffer, std::size_t capacity, std::size_t& count) override {
    return file_.Read(buffer, capacity, count, reason_);
  }
  const std::string& Reason() const { return reason_; }

 private:
  shell::ReadableFile& file_;  // not owned
  std::string reason_;
};
