// What every unit of quro-pack shares: byte buffers, little-endian fields,
// and the one way a command fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/little_endian.h"

namespace quro_pack {

using Bytes = std::vector<std::uint8_t>;

// Thrown with the one line the user sees after "quro-pack: ". details are
// the causes behind it, when there are several (each warning that --strict
// turned into an error); the command line prints them first.
struct Failure : std::runtime_error {
    explicit Failure(const std::string& line, std::vector<std::string> causes = {})
        : std::runtime_error(line), details(std::move(causes))
    {
    }
    std::vector<std::string> details;
};

// The setup program's failure texts are ASCII wide strings; the build host
// prints them as they are.
inline std::string Narrow(const wchar_t* text)
{
    std::string s;
    for (; text && *text; ++text) s.push_back(char(*text));
    return s;
}

}  // namespace quro_pack
