// The tests write the real language file of the user they run as; this
// keeps what was there and puts it back afterwards.
#pragma once

#include <optional>
#include <string>

// The file's bytes, or nullopt when it cannot be read (missing).
std::optional<std::string> ReadBytes(const std::wstring& path);
// Creates the folder when needed; true when every byte was written.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// The language file's folder.
std::wstring LanguageFolder();

// Moves the whole language folder aside on construction (so the test starts
// without one) and back on destruction, whatever the test left there.
class SavedLanguageFolder {
public:
    SavedLanguageFolder();
    ~SavedLanguageFolder();
    SavedLanguageFolder(const SavedLanguageFolder&) = delete;
    SavedLanguageFolder& operator=(const SavedLanguageFolder&) = delete;

private:
    std::wstring folder_, aside_;
    bool moved_ = false;
};

// Deletes a folder and everything in it; a missing one is fine.
void DeleteTree(const std::wstring& folder);
