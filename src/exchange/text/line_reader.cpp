#include "exchange/text/line_reader.h"

#include <algorithm>
#include <cstring>

#include "exchange/text/text_marks.h"

bool MemorySource::Read(char* buffer, std::size_t capacity, std::size_t& count) {
  count = std::min(capacity, bytes_.size());
  if (count != 0) std::memcpy(buffer, bytes_.data(), count);
  bytes_.remove_prefix(count);
  return true;
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
  scan_ = ScanWindow();
  return true;
}

bool LineReader::TooLongWith(std::string_view run) {
  if (line_.size() + run.size() <= kMaxLineLength) return false;
  // Not a file of lines at all, most likely: stop before memory runs out.
  tooLong_ = true;
  ended_ = true;
  return true;
}

std::string_view LineReader::Joined(std::string_view run) {
  if (line_.empty()) return run;
  line_ += run;
  return line_;
}

bool LineReader::Next(std::string_view& line) {
  // Most lines lie whole in the chunk and end with LF or CR LF.
  if (pos_ < end_ && !ended_) {
    const char* const data = chunk_.data();
    // The window of the line before often holds this line's end too.
    const uint64_t ahead = pos_ - scan_.base < kScanWindow ? scan_.hits >> (pos_ - scan_.base) : 0;
    const std::size_t at = ahead != 0 ? pos_ + static_cast<std::size_t>(__builtin_ctzll(ahead))
                                      : ActiveScans().findLineControl(data, end_, pos_, scan_);
    if (at < end_ && at - pos_ <= kMaxLineLength) {
      const std::size_t after = data[at] == '\n'                                            ? at + 1
                                : data[at] == '\r' && at + 1 < end_ && data[at + 1] == '\n' ? at + 2
                                                                                            : 0;
      if (after != 0) {
        line = std::string_view(data + pos_, at - pos_);
        pos_ = after;
        return true;
      }
    }
  }
  return NextAcrossChunks(line);
}

bool LineReader::NextAcrossChunks(std::string_view& line) {
  line = std::string_view();
  line_.clear();
  bool consumed = false;  // whether this line has taken any byte
  while (!ended_) {
    if (pos_ == end_ && !Fill()) break;
    const char* const data = chunk_.data();
    const std::size_t at = ActiveScans().findLineControl(data, end_, pos_, scan_);
    const std::string_view rest(data + pos_, end_ - pos_);
    const std::string_view run = rest.substr(0, at - pos_);
    consumed = consumed || !run.empty();
    if (TooLongWith(run)) return false;
    if (run.size() == rest.size()) {
      // The chunk ends inside the line: keep its text before the chunk is refilled.
      line_ += run;
      pos_ = end_;
      continue;
    }
    pos_ += run.size() + 1;
    const char control = rest[run.size()];
    if (control == kEndOfFile) {
      // Nothing after the end-of-file mark is read, inside a line or at its start.
      ended_ = true;
      if (!consumed) return false;
      line = Joined(run);
      return true;
    }
    consumed = true;
    // A CR ends the line together with the LF right after it; alone it is
    // dropped, unless the file ends its lines with lone CRs.
    if (control == '\r' && !(pos_ < end_ && data[pos_] == '\n')) {
      if (crEndsLines_) {
        line = Joined(run);
        return true;
      }
      line_ += run;
      if (pos_ == end_ && !Fill()) break;
      if (chunk_[pos_] != '\n') continue;
      ++pos_;
      line = line_;
      return true;
    }
    if (control == '\r') ++pos_;
    line = Joined(run);
    return true;
  }
  if (!consumed || failed_) return false;
  line = line_;
  return true;
}

bool LineStream::Next(std::string& line) {
  if (!ahead_.empty()) {
    line = std::move(ahead_.front());
    ahead_.pop_front();
  } else {
    std::string_view view;
    if (!reader_.Next(view)) return false;
    line.assign(view);
  }
  ++linesRead_;
  return true;
}

const std::string* LineStream::Peek(std::size_t ahead) {
  std::string_view line;
  while (ahead_.size() <= ahead) {
    if (!reader_.Next(line)) return nullptr;
    ahead_.emplace_back(line);
  }
  return &ahead_[ahead];
}
