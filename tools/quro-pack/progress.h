// How the command line shows a pack's progress on stderr: on a terminal, one
// line rewritten in place and wiped before anything else is printed; in a
// CI log (not a terminal), a plain line per phase and per chunk, never an
// escape code; nothing with -q.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "package_writer.h"

namespace quro_pack {

class Progress {
public:
    enum class Mode { Terminal, Lines, Quiet };
    explicit Progress(Mode mode) : mode_(mode) {}
    ~Progress() { Clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Terminal when stderr is one, else Lines; Quiet when quiet.
    static Mode ModeFor(bool quiet);

    void Report(const ProgressEvent& event);
    // A sink for PackOptions that reports here.
    ProgressSink Sink()
    {
        return [this](const ProgressEvent& e) { Report(e); };
    }
    void Clear();

private:
    void Show(const std::string& line, bool force);

    Mode mode_;
    std::mutex mutex_;  // chunks report from the compressing threads
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace quro_pack
