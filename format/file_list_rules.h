// The file list inside the unpacked package, and the checks that keep every
// name inside the folder that receives it. The setup program and quro-pack
// both walk lists through ParseFileListBytes, so a package the tool accepts is
// one the setup program accepts.
//
//   4 bytes file count, then per file: 2 bytes name length n, n bytes UTF-8
//   name, 8 bytes data size s, s bytes data. Little-endian, nothing aligned;
//   bytes after the last record are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "format/little_endian.h"

namespace file_list {

inline constexpr const wchar_t kDamagedList[] = L"damaged list";
inline constexpr const wchar_t kDamagedName[] = L"damaged list (name)";
inline constexpr std::size_t kMaxNameBytes = 65535;

// A component that Win32 maps to a device in every folder, whatever the
// extension and letter case: CON, PRN, AUX, NUL, COM0-9 and LPT0-9 (with the
// superscript digits 1, 2 and 3 as well), CONIN$ and CONOUT$. Windows reads
// only the part before the first dot, spaces at its end dropped ("nul .txt").
template <class Char>
bool IsDeviceName(const Char* component, std::size_t length)
{
    std::size_t base = 0;
    while (base < length && component[base] != Char('.')) ++base;
    while (base > 0 && component[base - 1] == Char(' ')) --base;
    if (base < 3 || base > 7) return false;
    auto upper = [&](std::size_t i) {
        const unsigned c = static_cast<unsigned>(component[i]);
        return c >= 'a' && c <= 'z' ? c - 32 : c;
    };
    auto is = [&](const char* word) {
        for (std::size_t i = 0; i < base; ++i)
            if (word[i] == '\0' || upper(i) != static_cast<unsigned char>(word[i])) return false;
        return word[base] == '\0';
    };
    if (is("CON") || is("PRN") || is("AUX") || is("NUL") || is("CONIN$") || is("CONOUT$")) return true;
    if (base != 4 || !((upper(0) == 'C' && upper(1) == 'O' && upper(2) == 'M') ||
                       (upper(0) == 'L' && upper(1) == 'P' && upper(2) == 'T')))
        return false;
    const unsigned digit = static_cast<unsigned>(component[3]);
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// A name is refused when it is empty, holds "..", holds a colon (drive
// prefixes and alternate data streams), or starts at a root or network
// prefix; and when Windows would write it under another name or to no file:
// a component that is a device name, or one that ends in a dot or a space
// (Win32 drops them). A component of a single dot ("dir/./x") stays a step
// within the folder, and an empty one (a doubled or trailing separator) is
// left to the file system. Nothing else is looked at: what the file system
// makes of the rest shows up when the file is written.
template <class Char>
bool IsAcceptableName(const Char* name, std::size_t length)
{
    if (length == 0) return false;
    if (name[0] == Char('\\') || name[0] == Char('/')) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (name[i] == Char(':')) return false;
        if (name[i] == Char('.') && i + 1 < length && name[i + 1] == Char('.')) return false;
    }
    for (std::size_t start = 0; start < length;) {
        std::size_t end = start;
        while (end < length && name[end] != Char('\\') && name[end] != Char('/')) ++end;
        const Char* component = name + start;
        const std::size_t n = end - start;
        if (n > 0 && !(n == 1 && component[0] == Char('.'))) {
            if (component[n - 1] == Char('.') || component[n - 1] == Char(' ')) return false;
            if (IsDeviceName(component, n)) return false;
        }
        start = end + 1;
    }
    return true;
}

// Walks the records of bytes[0 .. length). For each record, convert(name, n)
// turns the UTF-8 name into the caller's string type, and
// append(convertedName, data, size) takes the record. Bounds are checked
// before the name, and records strictly in order, so the first bad record
// decides the text. Returns null on success, else the failure text.
template <class Convert, class Append>
const wchar_t* ParseFileListBytes(const std::uint8_t* bytes, std::size_t length, Convert&& convert, Append&& append)
{
    if (length < 4) return kDamagedList;
    const std::uint32_t count = ReadLe32(bytes);
    std::size_t o = 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (o + 2 > length) return kDamagedList;
        const std::size_t n = ReadLe16(bytes + o);
        if (o + 2 + n > length) return kDamagedList;
        auto name = convert(bytes + o + 2, n);
        if (o + n + 10 > length) return kDamagedList;
        const std::uint64_t s = ReadLe64(bytes + o + 2 + n);
        // A subtraction, so that no sum can wrap around for sizes near 2^64.
        if (s > length - (o + n + 10)) return kDamagedList;
        if (!IsAcceptableName(name.data(), name.size())) return kDamagedName;
        append(std::move(name), bytes + o + n + 10, s);
        o += 10 + n + static_cast<std::size_t>(s);
    }
    return nullptr;
}

}  // namespace file_list
