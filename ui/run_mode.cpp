#include "ui/run_mode.h"

#include "ui/window_station_call.h"

#include <windows.h>

namespace quro {

namespace {

RunOptions g_options;

// Quoted as CommandLineToArgvW reads it back: backslashes are doubled only
// where they come before a quote, the closing one included.
std::wstring Quoted(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L'"';
}

}  // namespace

void SetRunOptions(const RunOptions& options) { g_options = options; }

const RunOptions& CurrentRunOptions() { return g_options; }

bool IsUnattended() { return g_options.mode != RunMode::Interactive; }

bool FixedAnswer(Question question)
{
    switch (question) {
    case Question::Install:
    case Question::Remove:
        return true;
    case Question::CloseApplication:
        return g_options.closeApp;
    case Question::RemoveData:
        return g_options.removeData;
    case Question::OpenApplication:
        break;
    }
    return false;
}

std::wstring UnattendedWords()
{
    if (!IsUnattended()) return std::wstring();
    std::wstring words = g_options.mode == RunMode::Quiet ? L" /quiet" : L" /passive";
    if (g_options.closeApp) words += L" /closeapp";
    if (g_options.removeData) words += L" /removedata";
    if (!g_options.logPath.empty()) words += L" /log " + Quoted(g_options.logPath);
    return words;
}

bool WindowsCanBeSeen()
{
    // A station whose flags cannot be read is taken for the desktop it
    // usually is: the interactive road stays as it was.
    USEROBJECTFLAGS flags{};
    if (!WindowStationFlagsCall(&flags)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace quro
