#include "progress.h"

#include <cstdio>
#include <unistd.h>

namespace quro_pack {
namespace {

std::string Megabytes(std::uint64_t bytes)
{
    if (bytes < 1000000) return std::to_string(bytes) + " bytes";
    return std::to_string((bytes + 500000) / 1000000) + " MB";
}

}  // namespace

Progress::Mode Progress::ModeFor(bool quiet)
{
    if (quiet) return Mode::Quiet;
    return ::isatty(STDERR_FILENO) == 1 ? Mode::Terminal : Mode::Lines;
}

void Progress::Report(const ProgressEvent& e)
{
    using Phase = ProgressEvent::Phase;
    const std::lock_guard<std::mutex> lock(mutex_);
    const bool start = e.done == 0;
    switch (e.phase) {
    case Phase::Reading:
        // A log gets the phase and its size; a terminal sees the count move.
        if (mode_ == Mode::Lines && !start) return;
        Show("quro-pack: reading " + (start ? Megabytes(e.total) : Megabytes(e.done) + " of " + Megabytes(e.total)),
             start);
        break;
    case Phase::Compressing:
        if (start)
            Show("quro-pack: compressing " + std::to_string(e.total) + " chunk" + (e.total == 1 ? "" : "s"), true);
        else
            Show("quro-pack: compressed chunk " + std::to_string(e.done) + " of " + std::to_string(e.total), true);
        break;
    case Phase::Writing:
        if (start) Show("quro-pack: writing " + Megabytes(e.total), true);
        break;
    }
}

void Progress::Show(const std::string& line, bool force)
{
    if (mode_ == Mode::Quiet) return;
    if (mode_ == Mode::Lines) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
        return;
    }
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
