// An open file of the platform as a byte source for the line reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "exchange/text/line_reader.h"
#include "shell/files.h"

// Keeps the reason of a failed read, and counts the bytes read.
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
