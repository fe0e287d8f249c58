// What the exchange commands share: their closing messages, the files they
// offer in the file dialogs, and the mark that one of them is running.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "host/m_globaldefs.h"

// The first lines of the messages of an import or export that did not complete.
inline constexpr const char* kImportFailed = N_("Import process has not completed.");
inline constexpr const char* kExportFailed = N_("Export process has not completed.");
// The button that stops long work or answers a question with "nothing".
inline constexpr const char* kCancelText = N_("Cancel");

inline constexpr const char* kFilterDescription = N_("Comma Separated Values (*.csv)");
inline constexpr const char* kFilterPattern = "*.csv";
inline constexpr const char* kVCardFilterDescription = N_("vCard files (*.vcf)");
inline constexpr const char* kVCardFilterPattern = "*.vcf";
inline constexpr const char* kDefaultExtension = "csv";

// `text` translated, in a box with one OK button and no icon.
void ShowClosingMessage(const char* text, const std::string& caption);
// `text` translated, with its "%u" replaced by the number of the line.
std::string LineText(const char* text, std::size_t line);
// `text` translated, each "%u" or "%s" in it replaced by the next of `values`.
std::string FilledText(const char* text, std::initializer_list<std::string> values);
// A file that could not be used: the command's failure, where it happened
// (when known), the file and the system's reason.
void ShowFileFailure(const char* text, const std::string& where, const std::string& path,
                     const std::string& reason, const std::string& caption);

// Marks an exchange command as running. The file dialog and the progress
// window keep the host's windows working meanwhile, and a second Import or
// Export asked from one of them does not start.
class ExchangeGuard {
 public:
  ExchangeGuard();
  ~ExchangeGuard();
  ExchangeGuard(const ExchangeGuard&) = delete;
  ExchangeGuard& operator=(const ExchangeGuard&) = delete;
  bool Entered() const { return entered_; }

 private:
  bool entered_;
};
