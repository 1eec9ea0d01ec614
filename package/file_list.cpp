#include "package/file_list.h"

#include "format/file_list_rules.h"
#include "package/container.h"

#include <windows.h>

#include <new>

namespace quro {

namespace {

// Malformed UTF-8 is no error: MultiByteToWideChar puts U+FFFD in its place.
std::wstring NameFromUtf8(const std::uint8_t* bytes, std::size_t length)
{
    if (length == 0) return {};
    const char* text = reinterpret_cast<const char*>(bytes);
    const int count = ::MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0);
    if (count <= 0) return {};
    std::wstring name(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), name.data(), count);
    return name;
}

}  // namespace

std::wstring ParseFileList(PackageEntries& entries)
{
    // A package of a few hundred compressed bytes can hold tens of millions
    // of tiny records, more entries than memory can hold: that list is
    // refused like any other that cannot be read, instead of ending the
    // process. The allocations of this walk are the only ones it catches.
    try {
        const wchar_t* failure = file_list::ParseFileListBytes(
            UnpackedPackageData(), UnpackedPackageSize(), NameFromUtf8,
            [&entries](std::wstring&& name, const std::uint8_t* data, std::uint64_t size) {
                entries.push_back(PackageEntry{std::move(name), data, size});
            });
        return failure ? failure : L"";
    } catch (const std::bad_alloc&) {
        PackageEntries().swap(entries);
        return file_list::kDamagedList;
    }
}

std::wstring UnpackPackage(PackageEntries& entries)
{
    std::wstring failure = UnpackContainer();
    if (!failure.empty()) return failure;
    return ParseFileList(entries);
}

}  // namespace quro
