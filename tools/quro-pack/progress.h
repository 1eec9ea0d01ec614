// The one progress line quro-pack keeps on a terminal's stderr. It is wiped
// before anything else is printed, so that a failure still ends with exactly
// one line.
#pragma once

#include <chrono>
#include <string>

namespace quro_pack {

class Progress {
public:
    Progress();  // enabled when stderr is a terminal
    ~Progress() { Clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Show(const std::string& line, bool force = false);
    void Clear();

private:
    bool enabled_ = false;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace quro_pack
