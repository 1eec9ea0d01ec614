// Scratch folders, file contents and folder listings for the Windows-side tests.
#pragma once

#include "tests/windows/support/package_builder.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// What owns a folder on the machine is not copied: two copies would both
// remove or put it back.
struct NotCopied {
    NotCopied() = default;
    NotCopied(const NotCopied&) = delete;
    NotCopied& operator=(const NotCopied&) = delete;
};

// A new, empty folder below the user's temporary folder; removed with all it
// holds when the object goes.
class ScratchFolder : NotCopied {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

bool Exists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
// The file's bytes; false when it cannot be read.
bool ReadBytes(const std::wstring& path, Bytes& out);
// True when every byte was written.
bool WriteBytes(const std::wstring& path, const Bytes& data);
// Attributes without following a link; INVALID_FILE_ATTRIBUTES when absent.
DWORD OwnAttributes(const std::wstring& path);
// Names directly inside folder that match pattern, sorted, "." and ".." left out.
std::vector<std::wstring> List(const std::wstring& folder, const std::wstring& pattern = L"*");
// Every entry below folder, each folder before its contents; links are not entered.
std::vector<std::wstring> Walk(const std::wstring& folder);
// Test clean-up: deletes a tree without entering links.
void DeleteTree(const std::wstring& path);
// Creates the file's folder (not its ancestors) when needed.
bool WriteFileText(const std::wstring& path, const std::string& bytes);
std::optional<std::string> ReadFileText(const std::wstring& path);
// The folder that holds the running test program.
std::wstring ProgramFolder();
std::wstring Widen(const std::string& utf8);
