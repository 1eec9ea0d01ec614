// UTF-8 as the setup program meets it: names are converted with
// MultiByteToWideChar(CP_UTF8, 0), which replaces each maximal invalid
// subpart (Unicode's "maximal subpart" practice) with one U+FFFD instead of
// failing. quro-pack converts the same way so that the names it unpacks and
// prints are the ones Windows would write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quro_pack {

std::u16string Utf8ToUtf16(const std::uint8_t* text, std::size_t length);
std::string Utf16ToUtf8(const std::u16string& text);  // unpaired surrogates become U+FFFD
bool IsValidUtf8(const std::uint8_t* text, std::size_t length);

// text (a name or a line that holds names) made safe for a terminal or a CI
// log: control characters (C0, DEL, C1), bidirectional overrides and line
// separators become \xNN or \uNNNN, and bytes that are not UTF-8 become \xNN.
// Everything else, backslashes included, stays as it is.
std::string Escaped(const std::string& text);

// Decodes text to code points; malformed input as in Utf8ToUtf16.
std::u32string Utf8ToCodePoints(const std::uint8_t* text, std::size_t length);

// A code point in upper case, as the C library's UTF-8 locale has it: how
// quro-pack decides that two names are one to Windows, which compares names
// without regard to case.
char32_t UpperCase(char32_t c);

}  // namespace quro_pack
