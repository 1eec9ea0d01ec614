#include "base/log.h"

#include "base/plain_file.h"
#include "base/unique_handles.h"

#include <windows.h>
#include <winternl.h>

#include <string>

namespace quro {

namespace {

UniqueFileHandle g_log;

// digits of number, at least width of them.
void AppendNumber(std::wstring& text, unsigned long long number, int width)
{
    wchar_t digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count < width) digits[count++] = L'0';
    while (count > 0) text += digits[--count];
}

// "2026-12-10T14:03:22.123Z [1234] ": the time in UTC, so that the lines of
// a relaunched copy and of the process that waits for it sort together
// whatever the machine's time zone; the process tells the copies apart.
std::wstring LinePrefix()
{
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    const struct {
        unsigned value;
        int width;
        wchar_t after;
    } fields[] = {{now.wYear, 4, L'-'},   {now.wMonth, 2, L'-'},  {now.wDay, 2, L'T'},         {now.wHour, 2, L':'},
                  {now.wMinute, 2, L':'}, {now.wSecond, 2, L'.'}, {now.wMilliseconds, 3, L'Z'}};
    std::wstring prefix;
    for (const auto& field : fields) {
        AppendNumber(prefix, field.value, field.width);
        prefix += field.after;
    }
    prefix += L" [";
    AppendNumber(prefix, ::GetCurrentProcessId(), 1);
    prefix += L"] ";
    return prefix;
}

}  // namespace

bool OpenLog(const std::wstring& path)
{
    // Appending only: the file's earlier lines (another run's, or the waiting
    // process's) are never overwritten, and every write lands at its end.
    // Two processes of one run write it in turn, so both share it.
    UniqueFileHandle folder;
    g_log = OpenPlainFile(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF, folder);
    return static_cast<bool>(g_log);
}

void Log(std::wstring_view line)
{
    if (!g_log) return;
    std::wstring text = LinePrefix();
    // One line stays one line, whatever the text carries (a message's line
    // breaks, a name with control characters).
    for (const wchar_t c : line) text += c < L' ' ? L' ' : c;
    text += L"\r\n";
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(g_log.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Decimal(unsigned long long number)
{
    std::wstring text;
    AppendNumber(text, number, 1);
    return text;
}

}  // namespace quro
