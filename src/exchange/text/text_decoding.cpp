#include "exchange/text/text_decoding.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "exchange/text/text_marks.h"
#include "host/unicode_text.h"
#include "records/StoredText.h"

namespace {

constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr std::string_view kUtf16BEMark = "\xFE\xFF";
// How far a file without a mark is examined from its first non-ASCII byte.
constexpr std::size_t kLookBytes = 64 * 1024;

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

}  // namespace

DecodingSource::DecodingSource(ByteSource& raw, std::size_t chunkSize)
    : raw_(raw), chunk_(std::max<std::size_t>(chunkSize, 4)) {}

bool DecodingSource::Read(char* buffer, std::size_t capacity, std::size_t& count) {
  count = 0;
  if (outputPos_ == output_.size() && !Refill()) return false;
  count = std::min(capacity, output_.size() - outputPos_);
  if (count != 0) std::memcpy(buffer, output_.data() + outputPos_, count);
  outputPos_ += count;
  return true;
}

bool DecodingSource::Refill() {
  output_.clear();
  outputPos_ = 0;
  while (output_.empty() && !failed_) {
    if (rawEnded_ && input_.empty()) return true;
    if (!rawEnded_) {
      std::size_t count = 0;
      if (!raw_.Read(chunk_.data(), chunk_.size(), count)) {
        failed_ = true;
        break;
      }
      if (count == 0)
        rawEnded_ = true;
      else
        input_.append(chunk_.data(), std::min(count, chunk_.size()));
    }
    if (!markChecked_) DetectMark();
    if (!markChecked_) continue;  // too few bytes yet to tell
    if (encoding_ == TextEncoding::Undecided) DecideByContent();
    switch (encoding_) {
      case TextEncoding::Undecided: break;  // DecideByContent passed the ASCII on
      case TextEncoding::Utf8: DecodeUtf8(); break;
      case TextEncoding::CodePage: DecodeCodePage(); break;
      case TextEncoding::Utf16LE:
      case TextEncoding::Utf16BE: DecodeUtf16(); break;
    }
  }
  return !failed_;
}

void DecodingSource::DetectMark() {
  // A start that may still grow into a mark waits for more bytes.
  const bool mayGrow = input_.size() < kUtf8ByteOrderMark.size() &&
                       (StartsWith(kUtf8ByteOrderMark, input_) ||
                        (input_.size() < kUtf16LEMark.size() &&
                         (StartsWith(kUtf16LEMark, input_) || StartsWith(kUtf16BEMark, input_))));
  if (mayGrow && !rawEnded_) return;
  markChecked_ = true;
  if (StartsWith(input_, kUtf8ByteOrderMark)) {
    encoding_ = TextEncoding::Utf8;
    input_.erase(0, kUtf8ByteOrderMark.size());
  } else if (StartsWith(input_, kUtf16LEMark)) {
    encoding_ = TextEncoding::Utf16LE;
    input_.erase(0, kUtf16LEMark.size());
  } else if (StartsWith(input_, kUtf16BEMark)) {
    encoding_ = TextEncoding::Utf16BE;
    input_.erase(0, kUtf16BEMark.size());
  }
}

void DecodingSource::DecideByContent() {
  const auto firstHigh = std::find_if(input_.begin(), input_.end(),
                                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  const auto ascii = static_cast<std::size_t>(firstHigh - input_.begin());
  // ASCII reads the same in every encoding: it goes out before any decision.
  output_.append(input_, 0, ascii);
  input_.erase(0, ascii);
  if (input_.empty()) return;
  // The look is bounded: the first non-ASCII byte and what follows it, up to
  // kLookBytes or the end of the file, whichever comes first.
  if (input_.size() < kLookBytes && !rawEnded_) return;
  const std::string_view look = std::string_view(input_).substr(0, kLookBytes);
  const std::size_t valid = ValidUtf8Prefix(look);
  // A sequence cut by the end of the look may go on; one cut by the end of
  // the file is not UTF-8.
  const bool endOfFile = rawEnded_ && input_.size() <= kLookBytes;
  const bool utf8 = valid == look.size() || (!endOfFile && BeginsUtf8Sequence(look.substr(valid)));
  encoding_ = utf8 ? TextEncoding::Utf8 : TextEncoding::CodePage;
}

void DecodingSource::DecodeUtf8() {
  std::string_view rest(input_);
  while (!rest.empty()) {
    const std::size_t valid = ValidUtf8Prefix(rest);
    output_.append(rest.data(), valid);
    rest.remove_prefix(valid);
    if (rest.empty()) break;
    if (!rawEnded_ && BeginsUtf8Sequence(rest)) break;  // completed by the next chunk
    output_ += FromCodePage(rest.substr(0, 1));
    rest.remove_prefix(1);
  }
  input_.erase(0, input_.size() - rest.size());
}

void DecodingSource::DecodeCodePage() {
  // Cut after a byte below 0x40: no code page uses those as the second byte
  // of a two-byte character, so no character is split between chunks.
  std::size_t cut = input_.size();
  if (!rawEnded_) {
    const auto last = std::find_if(input_.rbegin(), input_.rend(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x40; });
    if (last != input_.rend()) cut = static_cast<std::size_t>(input_.rend() - last);
  }
  output_ += FromCodePage(std::string_view(input_).substr(0, cut));
  input_.erase(0, cut);
}

void DecodingSource::DecodeUtf16() {
  const bool little = encoding_ == TextEncoding::Utf16LE;
  std::size_t units = input_.size() / 2;
  const auto unitAt = [this, little](std::size_t i) {
    const auto low = static_cast<unsigned char>(input_[2 * i + (little ? 0 : 1)]);
    const auto high = static_cast<unsigned char>(input_[2 * i + (little ? 1 : 0)]);
    return static_cast<char16_t>(low | (high << 8));
  };
  // A leading surrogate at the end waits for its partner in the next chunk.
  if (!rawEnded_ && units != 0 && unitAt(units - 1) >= 0xD800 && unitAt(units - 1) <= 0xDBFF)
    --units;
  std::u16string wide(units, u'\0');
  for (std::size_t i = 0; i < units; ++i) wide[i] = unitAt(i);
  AppendUtf16AsUtf8(wide.data(), wide.size(), output_);
  input_.erase(0, units * 2);
  if (rawEnded_ && !input_.empty()) {
    // An odd byte at the very end is no character.
    AppendUtf8(output_, kReplacementCharacter);
    input_.clear();
  }
}
