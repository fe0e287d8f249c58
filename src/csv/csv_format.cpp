#include "csv/csv_format.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kEndOfFile = 26;  // Ctrl-Z

bool EndsQuotedField(std::string_view line, std::size_t at) {
  return line[at] == '"' && (at + 1 == line.size() || line[at + 1] == ';');
}

bool IsLineControl(char c) { return c == '\n' || c == '\r' || c == kEndOfFile; }

}  // namespace

FieldList SplitFields(std::string_view line) {
  FieldList fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const bool quoted = line[pos] == '"';
    if (quoted) ++pos;
    std::size_t end = std::string_view::npos;
    if (quoted) {
      for (std::size_t at = pos; at < line.size(); ++at) {
        if (EndsQuotedField(line, at)) {
          end = at;
          break;
        }
      }
    } else {
      end = line.find(';', pos);
    }
    if (end == std::string_view::npos) {
      fields.emplace_back(line.substr(pos));
      break;
    }
    fields.emplace_back(line.substr(pos, end - pos));
    pos = end + 1;
    if (quoted && pos < line.size() && line[pos] == ';') ++pos;
  }
  return fields;
}

int32_t FindColumn(const FieldList& fields, std::string_view title) {
  const auto found = std::find(fields.begin(), fields.end(), title);
  if (found == fields.end()) return kAbsentColumn;
  return static_cast<int32_t>(std::min<std::ptrdiff_t>(found - fields.begin(), kAbsentColumn - 1));
}

bool ReadHeader(std::string_view line, ColumnMap& map) {
  const FieldList fields = SplitFields(line);
  if (fields.empty()) return false;
  for (int column = 0; column < kColumnCount; ++column)
    map.index[column] = FindColumn(fields, kColumnTitles[column]);
  return true;
}

std::string ColumnValue(const FieldList& fields, const ColumnMap& map, Column column) {
  const int32_t index = map[column];
  if (index < 0 || static_cast<std::size_t>(index) >= fields.size()) return std::string();
  return fields[static_cast<std::size_t>(index)];
}

std::string FieldText(std::string_view value) {
  std::string text(value);
  std::replace_if(text.begin(), text.end(), IsLineControl, ' ');
  const bool needsQuotes = text.find(';') != std::string::npos || (!text.empty() && text[0] == '"');
  if (!needsQuotes) return text;
  std::string quoted;
  quoted.reserve(text.size() + 4);
  quoted += '"';
  for (std::size_t at = 0; at < text.size(); ++at) {
    quoted += text[at];
    // Inside quotes, '";' would close the field early.
    if (text[at] == '"' && at + 1 < text.size() && text[at + 1] == ';') quoted += ' ';
  }
  quoted += '"';
  return quoted;
}

std::string RecordLine(const ColumnValues& values) {
  std::string line = FieldText(values.text[0]);
  for (int column = 1; column < kColumnCount; ++column) {
    line += ';';
    line += FieldText(values.text[column]);
  }
  return line;
}

bool MemorySource::Read(char* buffer, std::size_t capacity, std::size_t& count) {
  count = std::min(capacity, bytes_.size());
  if (count != 0) std::memcpy(buffer, bytes_.data(), count);
  bytes_.remove_prefix(count);
  return true;
}

std::string_view WithoutByteOrderMark(std::string_view firstLine) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (firstLine.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    firstLine.remove_prefix(kByteOrderMark.size());
  return firstLine;
}

LineReader::LineReader(ByteSource& source, std::size_t chunkSize)
    : source_(source), chunk_(std::max<std::size_t>(chunkSize, 1)) {}

void LineReader::Probe() {
  probed_ = true;
  probe_.resize(kLineEndProbe);
  std::size_t filled = 0;
  while (filled < probe_.size()) {
    std::size_t count = 0;
    if (!source_.Read(&probe_[filled], probe_.size() - filled, count)) {
      failedAhead_ = true;  // told once the bytes before it are used
      break;
    }
    if (count == 0) break;
    filled += std::min(count, probe_.size() - filled);
  }
  probe_.resize(filled);
  // A file of lone CRs (an old Macintosh file) ends its lines with them.
  crEndsLines_ = probe_.find('\r') != std::string::npos && probe_.find('\n') == std::string::npos;
}

bool LineReader::Fill() {
  if (ended_) return false;
  if (!probed_) Probe();
  std::size_t count = 0;
  if (probeUsed_ < probe_.size()) {
    count = std::min(chunk_.size(), probe_.size() - probeUsed_);
    std::memcpy(chunk_.data(), probe_.data() + probeUsed_, count);
    probeUsed_ += count;
    if (probeUsed_ == probe_.size()) std::string().swap(probe_);
  } else if (failedAhead_ || !source_.Read(chunk_.data(), chunk_.size(), count)) {
    failed_ = true;
    ended_ = true;
    return false;
  }
  if (count == 0) {
    ended_ = true;
    return false;
  }
  pos_ = 0;
  end_ = std::min(count, chunk_.size());
  return true;
}

bool LineReader::Next(std::string& line) {
  line.clear();
  bool consumed = false;  // whether this line has taken any byte
  while (!ended_) {
    if (pos_ == end_ && !Fill()) break;
    const char* data = chunk_.data();
    std::size_t run = pos_;
    while (run < end_ && !IsLineControl(data[run])) ++run;
    if (run != pos_) {
      if (line.size() + (run - pos_) > kMaxLineLength) {
        // Not a file of lines at all, most likely: stop before memory runs out.
        tooLong_ = true;
        ended_ = true;
        return false;
      }
      line.append(data + pos_, run - pos_);
      consumed = true;
      pos_ = run;
    }
    if (pos_ == end_) continue;
    const char control = data[pos_++];
    if (control == kEndOfFile) {
      // Nothing after the end-of-file mark is read, inside a line or at its start.
      ended_ = true;
      return consumed;
    }
    consumed = true;
    if (control == '\n') return true;
    // A CR ends the line together with the LF right after it; alone it is
    // dropped, unless the file ends its lines with lone CRs.
    if (pos_ == end_ && !Fill()) break;
    if (chunk_[pos_] == '\n') {
      ++pos_;
      return true;
    }
    if (crEndsLines_) return true;
  }
  return consumed && !failed_;
}
