// The Import and Export commands of the exchange file, and one record of it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "csv/csv_format.h"
#include "host/m_globaldefs.h"
#include "shell/files.h"

// Ask for a file and import from it or export into it; `caption` titles the
// closing messages.
void RunImport(const std::string& caption);
void RunExport(const std::string& caption);

// The first lines of the messages of an import or export that did not complete.
inline constexpr const char* kImportFailed = N_("Import process has not completed.");
inline constexpr const char* kExportFailed = N_("Export process has not completed.");

// The data line of a Kestrin user, without its line end.
std::string ExportRecord(ContactHandle contact);

enum class RecordResult { Imported, NoName, NotCreated, NotStored };

// Creates one Kestrin user from a data line read under `map`, unless the line
// has no name at all (an empty line among them) or the host creates no
// contact; NotStored when the host refused a value of the new contact.
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
