// The log that "/log FILE" asks for: plain UTF-8 lines, each with the time
// and the process, appended to the file. Deployment engines read nothing
// but the exit code; the log is where an administrator learns what a run
// without a window did and why it failed. Without a log nothing is written.
#pragma once

#include <string>
#include <string_view>

namespace quro {

// Opens path (a full path) for appending, as a plain file with one link and
// never through a link: an elevated run writes it, and the folder it lies in
// may be a user's. False when it cannot be opened so; the run then goes on
// without a log.
bool OpenLog(const std::wstring& path);

// Appends one line when a log is open; does nothing otherwise.
void Log(std::wstring_view line);

// The decimal digits of number, for log lines.
std::wstring Decimal(unsigned long long number);

}  // namespace quro
