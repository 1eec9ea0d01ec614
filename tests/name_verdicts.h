// Names of packaged files and whether the setup program takes them. One
// table for quro-pack's commands (tests/tools) and the setup program's own
// list checks (tests/windows/package): every one of them must judge alike.
#pragma once

struct NameVerdict {
    const char* name;  // UTF-8 as stored, '/' between folders
    bool accepted;
};

// clang-format off
inline constexpr NameVerdict kNameVerdicts[] = {
    // Devices in every folder, any letter case, with or without an extension.
    {"AUX.tar.gz", false}, {"NUL", false}, {"con", false}, {"Prn.txt", false}, {"dir/nul/x.txt", false},
    {"COM0", false}, {"com9.log", false}, {"LPT1", false}, {"lPt0.x.y", false}, {"COM\xC2\xB9", false},
    {"lpt\xC2\xB3.txt", false}, {"com\xC2\xB2/x", false}, {"CONIN$", false}, {"conout$.txt", false},
    {"nul .txt", false}, {"dir/Aux", false},
    // Windows drops a final dot or space and writes another name.
    {"trail.", false}, {"space ", false}, {"dir./x.txt", false}, {"dir /x.txt", false}, {"a/b./c", false},
    // Steps out of the folder, drives and streams.
    {"a..b", false}, {"x:y", false},
    // Names that only look like the above.
    {"CONSOLE", true}, {"COM10", true}, {"LPT", true}, {"NULL.txt", true}, {"auxiliary/x", true},
    {"COM\xC2\xB4", true}, {"con-figure.txt", true}, {".hidden", true}, {"x.y", true}, {"a b", true},
};
// clang-format on
