// Whether a person answers this run, settled once at the start as the
// language is. Deployment engines (winget, Intune, Configuration Manager)
// start the setup program unattended, often as SYSTEM where no window is
// seen, and read only its exit code: there every question has a fixed answer
// and every message goes to the log instead of a box. The boxes, the chooser
// and the progress window read the mode here; nothing else asks for it.
#pragma once

#include <string>

namespace quro {

// Interactive: boxes and windows as always. Passive: the progress window
// only. Quiet: no window at all.
enum class RunMode { Interactive, Passive, Quiet };

// The questions the program asks, each with its answer for a run that no
// person answers.
enum class Question {
    Install,           // yes
    CloseApplication,  // closeApp: a running Quro Host is left running unless asked to close it
    OpenApplication,   // never
    Remove,            // yes
    RemoveData,        // removeData: the user's data is kept unless asked to remove it
};

struct RunOptions {
    RunMode mode = RunMode::Interactive;
    bool closeApp = false;
    bool removeData = false;
    std::wstring logPath;  // full path, or empty for no log
};

// Set once, before the first box could be shown.
void SetRunOptions(const RunOptions& options);
const RunOptions& CurrentRunOptions();
bool IsUnattended();
bool FixedAnswer(Question question);

// The words that hand this run's mode, answers and log on to a copy of the
// program that the run starts, each with its leading space; empty for an
// interactive run, whose copies keep their command lines as they were.
std::wstring UnattendedWords();

// Whether the window station the process runs in shows its windows to
// anyone: not so in session 0, where services and SYSTEM's scheduled tasks
// run, and where a message box would wait for ever.
bool WindowsCanBeSeen();

}  // namespace quro
