#include "utf8.h"

#include <clocale>
#include <cstdio>
#include <cwctype>

namespace quro_pack {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one sequence at text[i]; returns the code point (U+FFFD for a
// maximal invalid subpart) and advances i past what it consumed.
char32_t DecodeOne(const std::uint8_t* text, std::size_t length, std::size_t& i)
{
    const std::uint8_t b0 = text[i];
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
    char32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) low = 0xA0;   // overlong
        if (b0 == 0xED) high = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0) low = 0x90;   // overlong
        if (b0 == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        ++i;
        return kReplacement;
    }
    std::size_t j = i + 1;
    for (int k = 0; k < extra; ++k, ++j) {
        const std::uint8_t lo = k == 0 ? low : 0x80, hi = k == 0 ? high : 0xBF;
        if (j >= length || text[j] < lo || text[j] > hi) {
            i = j;  // the lead and the valid continuations so far form one subpart
            return kReplacement;
        }
        cp = (cp << 6) | (text[j] & 0x3F);
    }
    i = j;
    return cp;
}

}  // namespace

std::u32string Utf8ToCodePoints(const std::uint8_t* text, std::size_t length)
{
    std::u32string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length;) out.push_back(DecodeOne(text, length, i));
    return out;
}

char32_t UpperCase(char32_t c)
{
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (c < 0x80) return c >= 'a' && c <= 'z' ? char32_t(c - 'a' + 'A') : c;
    return utf8 ? char32_t(::towupper_l(wint_t(c), utf8)) : c;
}

std::u16string Utf8ToUtf16(const std::uint8_t* text, std::size_t length)
{
    std::u16string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length;) {
        const char32_t cp = DecodeOne(text, length, i);
        if (cp >= 0x10000) {
            out.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

bool IsValidUtf8(const std::uint8_t* text, std::size_t length)
{
    for (std::size_t i = 0; i < length;) {
        const std::size_t start = i;
        // U+FFFD written out in UTF-8 is valid; only a replacement that
        // consumed something other than EF BF BD marks malformed input.
        if (DecodeOne(text, length, i) == kReplacement &&
            !(i - start == 3 && text[start] == 0xEF && text[start + 1] == 0xBF && text[start + 2] == 0xBD))
            return false;
    }
    return true;
}

std::string Escaped(const std::string& text)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::string out;
    out.reserve(text.size());
    char hex[8];
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t cp = DecodeOne(bytes, text.size(), i);
        const bool malformed = cp == kReplacement && !(i - start == 3 && bytes[start] == 0xEF);
        if (malformed) {
            for (std::size_t k = start; k < i; ++k) {
                std::snprintf(hex, sizeof hex, "\\x%02x", bytes[k]);
                out += hex;
            }
        } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            std::snprintf(hex, sizeof hex, "\\x%02x", unsigned(cp));
            out += hex;
        } else if ((cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x2028 || cp == 0x2029 ||
                   cp == 0x200E || cp == 0x200F || cp == 0x061C) {
            std::snprintf(hex, sizeof hex, "\\u%04x", unsigned(cp));
            out += hex;
        } else {
            out.append(text, start, i - start);
        }
    }
    return out;
}

}  // namespace quro_pack
