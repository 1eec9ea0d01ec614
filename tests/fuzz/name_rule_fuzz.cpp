// The name rule against a model of how Win32 joins a packaged name to the
// target folder: a name the rule accepts must land inside the folder, under
// exactly its own name, and never on a device.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "format/file_list_rules.h"
#include "utf8.h"

namespace {

using Name = std::u16string;

// Written apart from the rule on purpose: a second reading of which names
// Win32 maps to devices.
bool IsDevice(const Name& component)
{
    Name base = component.substr(0, component.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.pop_back();
    for (char16_t& c : base)
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    static const char16_t* const fixed[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
    for (const char16_t* f : fixed)
        if (base == f) return true;
    if (base.size() != 4 || (base.compare(0, 3, u"COM") != 0 && base.compare(0, 3, u"LPT") != 0)) return false;
    return (base[3] >= u'0' && base[3] <= u'9') || base[3] == 0xB9 || base[3] == 0xB2 || base[3] == 0xB3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096) return 0;
    const Name name = quro_pack::Utf8ToUtf16(data, size);
    const bool accepted = file_list::IsAcceptableName(name.data(), name.size());
    // Every instantiation judges alike.
    const std::u32string wide(name.begin(), name.end());
    if (file_list::IsAcceptableName(wide.data(), wide.size()) != accepted) std::abort();
    if (!accepted) return 0;

    // "C:\target\" + name as Win32 resolves it: separators either way, empty
    // and "." components dropped, ".." one level up, and trailing dots and
    // spaces of each component dropped.
    if (name.find(u':') != Name::npos || name[0] == u'\\' || name[0] == u'/') std::abort();
    std::vector<Name> path;  // below the target folder
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of(u"\\/", start);
        if (end == Name::npos) end = name.size();
        const Name component = name.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == u".") continue;
        if (component == u"..") {
            if (path.empty()) std::abort();  // left the target folder
            path.pop_back();
            std::abort();  // a step up is never accepted
        }
        Name written = component;
        while (!written.empty() && (written.back() == u'.' || written.back() == u' ')) written.pop_back();
        if (written != component) std::abort();  // Windows would write another name
        if (IsDevice(component)) std::abort();   // or no file at all
        path.push_back(component);
    }
    return 0;
}
