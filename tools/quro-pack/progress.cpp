#include "progress.h"

#include <cstdio>
#include <unistd.h>

namespace quro_pack {

Progress::Progress() : enabled_(::isatty(STDERR_FILENO) == 1) {}

void Progress::Show(const std::string& line, bool force)
{
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && shown_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void Progress::Clear()
{
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace quro_pack
