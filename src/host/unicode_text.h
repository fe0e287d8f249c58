// Text inside the plug-in is UTF-8. These are the portable conversions at its
// edges: UTF-16 (wide host texts, files with a byte-order mark), validity of
// UTF-8 read from files, and counting characters rather than bytes. The
// system's 8-bit code page is a platform fact: see code_page.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsAscii(std::string_view text);

// The length of the longest start of `bytes` made of whole, valid UTF-8
// sequences (no overlong forms, no surrogates, nothing above U+10FFFF).
std::size_t ValidUtf8Prefix(std::string_view bytes);
inline bool IsValidUtf8(std::string_view bytes) { return ValidUtf8Prefix(bytes) == bytes.size(); }
// Whether `bytes` is the beginning of one valid sequence that is longer than
// it, so that bytes still to come may complete it.
bool BeginsUtf8Sequence(std::string_view bytes);

// The character at the start of `text` and the bytes it takes; false when
// `text` does not begin with a whole, valid sequence.
bool ReadUtf8Character(std::string_view text, char32_t& character, std::size_t& length);

void AppendUtf8(std::string& out, char32_t character);

// UTF-16 code units as UTF-8; an unpaired surrogate becomes U+FFFD.
void AppendUtf16AsUtf8(const char16_t* units, std::size_t count, std::string& out);
// UTF-8 as UTF-16; each byte of an invalid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

// The first `characters` characters of valid UTF-8 text, or all of it.
std::string_view Utf8Prefix(std::string_view text, std::size_t characters);

// `character` in lower case, for comparing names and addresses without
// regard to case: ASCII, Latin-1 Supplement, Latin Extended-A, Greek and
// Cyrillic (final sigma folds to sigma, as in case folding); any other
// character is answered as it is.
char32_t FoldCharacter(char32_t character);
// Every character of UTF-8 `text` folded; bytes that are not valid UTF-8 are
// kept as they are.
std::string FoldCase(std::string_view text);
