// The Import and Export commands of the exchange file, and one record of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "csv/csv_format.h"
#include "csv/import_values.h"
#include "csv/progress.h"
#include "host/m_globaldefs.h"
#include "shell/files.h"

// Ask for a file and import from it or export into it; `caption` titles the
// closing messages.
void RunImport(const std::string& caption);
void RunExport(const std::string& caption);

// The work of the commands once the file is chosen: `progress` is told of
// every record and may stop the work after one; the closing message as above.
void ImportFile(const std::string& path, const std::string& caption, ProgressObserver& progress);
enum class ExportFormat { Csv, VCard };
void ExportFile(const std::string& path, ExportFormat format, const std::string& caption,
                ProgressObserver& progress);
// The first lines of the messages of an import or export that did not complete.
inline constexpr const char* kImportFailed = N_("Import process has not completed.");
inline constexpr const char* kExportFailed = N_("Export process has not completed.");

// The data line of a Kestrin user, without its line end.
std::string ExportRecord(ContactHandle contact);

enum class RecordResult { Imported, NoName, NotCreated, NotStored };

// Creates one Kestrin user from the values of one line or card, unless they
// hold no name at all or the host creates no contact; NotStored when the host
// refused a value of the new contact.
RecordResult ImportRecord(const ImportValues& values);

// An open file as a byte source; keeps the reason of a failed read.
class FileSource : public ByteSource {
 public:
  explicit FileSource(shell::ReadableFile& file) : file_(file) {}
  bool Read(char* buffer, std::size_t capacity, std::size_t& count) override {
    const bool read = file_.Read(buffer, capacity, count, reason_);
    position_ += count;
    return read;
  }
  const std::string& Reason() const { return reason_; }
  // Bytes read so far.
  uint64_t Position() const { return position_; }

 private:
  shell::ReadableFile& file_;  // not owned
  std::string reason_;
  uint64_t position_ = 0;
};
