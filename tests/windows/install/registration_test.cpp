// The uninstall entry, the autostart value and the links, read back the way
// the system's list of programs and the shell read them.
#include "install/locations.h"
#include "install/registration.h"
#include "install/shortcuts.h"

#include "base/unique_handles.h"
#include "package/container.h"
#include "tests/windows/support/install_support.h"

#include <gtest/gtest.h>

using namespace quro;

namespace {

const std::wstring kFolder = L"C:\\Program Files\\Quro Test";
const std::wstring kMain = kFolder + L"\\DraloHost.exe";

void UnpackOfSize(std::size_t size)
{
    const Bytes unpacked(size, 0x5A);
    const Bytes resource = Container(unpacked);
    ASSERT_EQ(UnpackContainerBytes(resource.data(), static_cast<std::uint32_t>(resource.size())), L"");
    ASSERT_EQ(UnpackedPackageSize(), size);
}

std::optional<state::RegValue> Uninstall(const wchar_t* name)
{
    return state::ReadValue(HKEY_LOCAL_MACHINE, state::kUninstallKey, name, KEY_WOW64_64KEY);
}

class UninstallEntry : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, state::kUninstallKey, KEY_WOW64_64KEY, 0); }
    void TearDown() override { ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, state::kUninstallKey, KEY_WOW64_64KEY, 0); }
};

TEST_F(UninstallEntry, HoldsTheNineValuesAndKeepsOthers)
{
    {
        UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, state::kUninstallKey, 0, nullptr, 0,
                                    KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const Bytes other = state::StringValue(L"kept").data;
        ::RegSetValueExW(key.get(), L"Comments", 0, REG_SZ, other.data(), static_cast<DWORD>(other.size()));
        const Bytes stale = state::StringValue(L"0A.01").data;
        ::RegSetValueExW(key.get(), L"DisplayVersion", 0, REG_SZ, stale.data(), static_cast<DWORD>(stale.size()));
    }
    UnpackOfSize(5000);
    WriteUninstallEntry(kFolder, kMain);

    struct Expected {
        const wchar_t* name;
        DWORD type;
        Bytes data;
    } values[] = {
        {L"DisplayName", REG_SZ, state::StringValue(L"Quro Host").data},
        {L"DisplayVersion", REG_SZ, state::StringValue(L"0J.76").data},
        {L"Publisher", REG_SZ, state::StringValue(L"Quro").data},
        {L"InstallLocation", REG_SZ, state::StringValue(kFolder).data},
        {L"DisplayIcon", REG_SZ, state::StringValue(kMain).data},
        {L"UninstallString", REG_SZ,
         state::StringValue(L"\"C:\\Program Files\\Quro Test\\Quro-Setup.exe\" /uninstall").data},
        {L"QuietUninstallString", REG_SZ,
         state::StringValue(L"\"C:\\Program Files\\Quro Test\\Quro-Setup.exe\" /uninstall /quiet").data},
        {L"NoModify", REG_DWORD, state::DwordValue(1).data},
        {L"NoRepair", REG_DWORD, state::DwordValue(1).data},
        {L"EstimatedSize", REG_DWORD, state::DwordValue(4).data},
        {L"Comments", REG_SZ, state::StringValue(L"kept").data},
    };
    for (const Expected& e : values) {
        const auto v = Uninstall(e.name);
        ASSERT_TRUE(v) << "missing value";
        EXPECT_EQ(v->type, e.type);
        EXPECT_EQ(v->data, e.data) << "value data differs (the NUL counts)";
    }
    // Only the 64-bit view holds the entry.
    EXPECT_FALSE(
        state::ReadValue(HKEY_LOCAL_MACHINE, state::kUninstallKey, L"DisplayName", KEY_WOW64_32KEY).has_value());
}

TEST_F(UninstallEntry, EstimatedSizeDropsWhatIsBelowAWholeKiB)
{
    const std::pair<std::size_t, DWORD> cases[] = {{1, 0}, {1023, 0}, {1024, 1}, {2047, 1}, {3 << 20, 3072}};
    for (const auto& [size, kib] : cases) {
        UnpackOfSize(size);
        WriteUninstallEntry(kFolder, kMain);
        EXPECT_EQ(Uninstall(L"EstimatedSize").value().data, state::DwordValue(kib).data) << size;
    }
}

class Autostart : public ::testing::Test {
protected:
    void SetUp() override { saved_ = state::ReadValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue); }
    void TearDown() override
    {
        state::DeleteValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue);
        state::RestoreValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue, saved_);
    }
    std::optional<state::RegValue> saved_;
};

TEST_F(Autostart, AnExistingValueBecomesTheQuotedMainExecutable)
{
    const DWORD number = 7;
    struct Case {
        const char* what;
        DWORD type;
        Bytes data;
    } cases[] = {
        {"another copy", REG_SZ, state::StringValue(L"\"D:\\Unzipped\\Quro\\DraloHost.exe\" --tray").data},
        {"an expandable text", REG_EXPAND_SZ, state::StringValue(L"%LOCALAPPDATA%\\Quro\\DraloHost.exe").data},
        {"a number", REG_DWORD, state::DwordValue(number).data},
        {"no data at all", REG_BINARY, {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(state::WriteValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue, {c.type, c.data}));
        RetargetAutostartValue(kMain);
        const auto v = state::ReadValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue);
        ASSERT_TRUE(v) << c.what;
        EXPECT_EQ(v->type, DWORD(REG_SZ)) << c.what;
        EXPECT_EQ(v->data, state::StringValue(L"\"" + kMain + L"\"").data) << c.what;
    }
}

TEST_F(Autostart, NoValueStaysNoValue)
{
    state::DeleteValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue);
    RetargetAutostartValue(kMain);
    EXPECT_FALSE(state::ReadValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue).has_value());
}

TEST(Shortcut, CarriesTargetFolderDescriptionAndIconAndIsRewritten)
{
    ScratchFolder scratch;
    const std::wstring link = scratch / L"Quro Host.lnk";
    const std::wstring folder = scratch / L"Program Files With Spaces\\Quro";
    const std::wstring main = folder + L"\\DraloHost.exe";
    // The link object wants its target to exist.
    ::CreateDirectoryW((scratch / L"Program Files With Spaces").c_str(), nullptr);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    WriteBytes(main, BytesOf("MZ"));
    WriteBytes(link, BytesOf("not a link yet"));

    for (int round = 0; round < 2; ++round) {
        CreateShortcut(link, main, folder);
        const LinkInfo info = ReadLink(link);
        ASSERT_TRUE(info.loaded) << "round " << round;
        EXPECT_EQ(info.path, main);
        EXPECT_EQ(info.workingFolder, folder);
        EXPECT_EQ(info.description, L"Quro Host");
        EXPECT_EQ(info.arguments, L"");
        EXPECT_EQ(info.icon, main);
        EXPECT_EQ(info.iconIndex, 0);
    }
}

TEST(Shortcut, AFolderThatCannotTakeItLeavesNothingBehind)
{
    ScratchFolder scratch;
    const std::wstring link = scratch / L"no such folder\\Quro Host.lnk";
    CreateShortcut(link, scratch / L"DraloHost.exe", scratch.path());
    EXPECT_FALSE(Exists(link));
}

// The digits are the C runtime's conversion into a fixed buffer: the
// largest tick count must keep all twenty.
TEST(WithTickCount, WritesEveryDigit)
{
    EXPECT_EQ(WithTickCount(L"Quro.old-", 0), L"Quro.old-0");
    EXPECT_EQ(OldFolder(L"C:\\P\\Quro", 1234567890123ull), L"C:\\P\\Quro.old-1234567890123");
    EXPECT_EQ(WithTickCount(L"x", 18446744073709551615ull), L"x18446744073709551615");
}

}  // namespace
