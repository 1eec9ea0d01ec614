// Scratch folders and file contents for the Windows-side tests.
#pragma once

#include "package_builder.h"

#include <string>

// A new, empty folder below the user's temporary folder; removed with all it
// holds when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
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
// Names of everything directly in folder, "." and ".." left out.
std::vector<std::wstring> FolderContents(const std::wstring& folder);
// The folder that holds the running test program.
std::wstring ProgramFolder();
std::wstring Widen(const std::string& utf8);
