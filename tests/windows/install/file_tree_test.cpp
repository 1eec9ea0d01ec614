// The tree helpers that both installation and removal stand on.
#include "base/file_tree.h"
#include "install/restart_deletions.h"

#include "base/unique_handles.h"
#include "tests/windows/support/install_support.h"
#include "tests/windows/support/restart_list.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

using namespace quro;

namespace {

// Where the host-side script planted a tree holding a link to a folder
// outside it (empty when the script did not run this program).
std::wstring g_linkFixture;

void MakeTree(const ScratchFolder& scratch)
{
    ::CreateDirectoryW((scratch / L"tree").c_str(), nullptr);
    ::CreateDirectoryW((scratch / L"tree\\sub").c_str(), nullptr);
    ::CreateDirectoryW((scratch / L"tree\\sub\\deeper").c_str(), nullptr);
    ::CreateDirectoryW((scratch / L"tree\\empty").c_str(), nullptr);
    WriteBytes(scratch / L"tree\\a.txt", BytesOf("a"));
    WriteBytes(scratch / L"tree\\sub\\b.txt", BytesOf("b"));
    WriteBytes(scratch / L"tree\\sub\\deeper\\c.txt", BytesOf("c"));
}

std::size_t IndexOf(const std::vector<std::wstring>& list, const std::wstring& entry)
{
    return static_cast<std::size_t>(std::find(list.begin(), list.end(), entry) - list.begin());
}

TEST(PathExists, TellsAbsentFromPresent)
{
    ScratchFolder scratch;
    WriteBytes(scratch / L"file.txt", BytesOf("x"));
    struct Case {
        std::wstring path;
        bool present;
        // clang-format off
    } cases[] = {
        {scratch.path(), true},
        {scratch / L"file.txt", true},
        {scratch / L"missing.txt", false},                // file not found
        {scratch / L"missing\\below.txt", false},         // path not found
        {scratch / L"file.txt\\below.txt", false},        // a file used as a folder
        {scratch / L"bad<name>.txt", false},              // invalid name
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(PathExists(c.path), c.present) << std::string(c.path.begin(), c.path.end());
}

TEST(WalkTree, ListsEachFolderBeforeItsContents)
{
    ScratchFolder scratch;
    MakeTree(scratch);
    const std::wstring root = scratch / L"tree";
    const std::vector<std::wstring> entries = WalkTree(root);
    const std::vector<std::wstring> expected = {root + L"\\a.txt",
                                                root + L"\\sub",
                                                root + L"\\sub\\b.txt",
                                                root + L"\\sub\\deeper",
                                                root + L"\\sub\\deeper\\c.txt",
                                                root + L"\\empty"};
    ASSERT_EQ(entries.size(), expected.size());
    for (const std::wstring& e : expected) ASSERT_LT(IndexOf(entries, e), entries.size());
    EXPECT_LT(IndexOf(entries, root + L"\\sub"), IndexOf(entries, root + L"\\sub\\b.txt"));
    EXPECT_LT(IndexOf(entries, root + L"\\sub"), IndexOf(entries, root + L"\\sub\\deeper"));
    EXPECT_LT(IndexOf(entries, root + L"\\sub\\deeper"), IndexOf(entries, root + L"\\sub\\deeper\\c.txt"));
    EXPECT_TRUE(WalkTree(scratch / L"missing").empty());
    EXPECT_TRUE(WalkTree(scratch / L"tree\\empty").empty());
}

TEST(RemoveTree, RemovesWhateverTheTreeHolds)
{
    struct Case {
        const char* what;
        void (*make)(const ScratchFolder&);
        std::wstring target;
    } cases[] = {
        {"nested folders", MakeTree, L"tree"},
        {"a plain file", [](const ScratchFolder& s) { WriteBytes(s / L"lone.txt", BytesOf("x")); }, L"lone.txt"},
        {"a read-only file deep inside",
         [](const ScratchFolder& s) {
             MakeTree(s);
             ::SetFileAttributesW((s / L"tree\\sub\\deeper\\c.txt").c_str(), FILE_ATTRIBUTE_READONLY);
         },
         L"tree"},
        {"a read-only file given itself",
         [](const ScratchFolder& s) {
             WriteBytes(s / L"ro.txt", BytesOf("x"));
             ::SetFileAttributesW((s / L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
         },
         L"ro.txt"},
        {"a path that does not exist", [](const ScratchFolder&) {}, L"nothing\\here"},
    };
    for (const Case& c : cases) {
        ScratchFolder scratch;
        c.make(scratch);
        EXPECT_TRUE(RemoveTree(scratch / c.target)) << c.what;
        EXPECT_FALSE(PathExists(scratch / c.target)) << c.what;
        EXPECT_TRUE(PathExists(scratch.path())) << c.what;
    }
}

// Each level of a removal holds a handle and a listing: a chain of folders
// deeper than the limit stays, a chain at the limit goes.
TEST(RemoveTree, StopsAtTheDepthLimit)
{
    for (const std::size_t depth : {kMaxTreeDepth, kMaxTreeDepth + 1}) {
        ScratchFolder scratch;
        std::wstring folder = scratch / L"tree";
        for (std::size_t level = 1; level <= depth; ++level, folder += L"\\d") {
            ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr)) << level;
        }
        EXPECT_EQ(RemoveTree(scratch / L"tree"), depth == kMaxTreeDepth) << depth;
        EXPECT_EQ(PathExists(scratch / L"tree"), depth > kMaxTreeDepth) << depth;
    }
}

TEST(RemoveTree, FileInUseStopsItAndKeepsItsFolders)
{
    ScratchFolder scratch;
    MakeTree(scratch);
    const std::wstring held = scratch / L"tree\\sub\\deeper\\c.txt";
    UniqueFileHandle handle(::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle);
    EXPECT_FALSE(RemoveTree(scratch / L"tree"));
    EXPECT_TRUE(PathExists(held));
    EXPECT_TRUE(PathExists(scratch / L"tree\\sub\\deeper"));
    handle.reset();
    EXPECT_TRUE(RemoveTree(scratch / L"tree"));
    EXPECT_FALSE(PathExists(scratch / L"tree"));
}

TEST(ScheduleTreeDeletionAtRestart, RegistersContentsBeforeTheirFolderAndTheFolderLast)
{
    PendingDeletionsGuard guard;
    ScratchFolder scratch;
    MakeTree(scratch);
    const std::wstring root = scratch / L"tree";
    UniqueFileHandle handle(
        ::CreateFileW((root + L"\\sub\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle);
    ASSERT_FALSE(RemoveTree(root));  // really in use: this is the case the registrations exist for
    const std::vector<std::wstring> leftovers = WalkTree(root);
    ASSERT_FALSE(leftovers.empty());

    const std::size_t before = PendingDeletions().size();
    ScheduleTreeDeletionAtRestart(root, true);
    std::vector<std::wstring> order = PendingDeletions();
    order.erase(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(before));
    ASSERT_EQ(order.size(), leftovers.size() + 1) << "every leftover and the folder, as deletions";
    EXPECT_EQ(order.back(), root);
    for (const std::wstring& entry : leftovers) {
        const std::size_t at = IndexOf(order, entry);
        ASSERT_LT(at, order.size()) << "not registered";
        // Everything inside entry comes before it.
        for (std::size_t j = at + 1; j < order.size(); ++j) {
            EXPECT_NE(order[j].rfind(entry + L"\\", 0), 0u) << "a folder is registered before what it holds";
        }
    }

    const std::size_t mark = PendingDeletions().size();
    ScheduleTreeDeletionAtRestart(root, false);
    const std::vector<std::wstring> withoutFolder = PendingDeletions();
    ASSERT_EQ(withoutFolder.size() - mark, leftovers.size());
    EXPECT_NE(withoutFolder.back(), root);
    handle.reset();
}

// A reinstall takes its folders back out of the restart list that an earlier
// removal left, in both values Windows reads, and nothing else.
TEST(ForgetRestartDeletions, TakesOutOnlyDeletionsAtOrBelowOurFolders)
{
    PendingDeletionsGuard guard;
    const std::wstring folder = L"C:\\Program Files\\Quro";
    using Strings = std::vector<std::wstring>;
    const Strings kept = {
        L"\\??\\C:\\Program Files\\Quro.old-12\\x",
        L"",
        L"\\??\\C:\\Program Files\\Quro-Remove-5\\Quro-Setup.exe",
        L"",
        L"\\??\\C:\\Program Files\\Quro\\moved.txt",
        L"!\\??\\C:\\elsewhere.txt",  // a rename, not a deletion
        L"\\??\\C:\\Program Files\\Quroo",
        L"",
        L"\\??\\D:\\Other\\file",
        L"",
    };
    const Strings ours = {
        L"\\??\\C:\\Program Files\\Quro\\a.txt",
        L"",
        L"\\??\\c:\\program files\\QURO",
        L"",
        L"C:\\Program Files\\Quro\\sub",
        L"",
        L"\\??\\C:\\Program Files\\Quro.new\\stray",
        L"",
    };
    Strings mixed;
    for (std::size_t i = 0; i < ours.size(); i += 2) {
        mixed.insert(mixed.end(), {ours[i], ours[i + 1], kept[i], kept[i + 1]});
    }
    mixed.insert(mixed.end(), kept.begin() + static_cast<std::ptrdiff_t>(ours.size()), kept.end());
    const struct {
        const char* what;
        Strings before, after;
    } cases[] = {
        {"ours among others", mixed, kept},
        {"only ours: the value goes", ours, {}},
        {"none of ours", kept, kept},
    };
    for (const auto& c : cases) {
        for (const wchar_t* value : kPendingValues) SetPendingStrings(value, c.before);
        ForgetRestartDeletions({folder, folder + L".new"});
        for (const wchar_t* value : kPendingValues) EXPECT_EQ(PendingStrings(value), c.after) << c.what;
    }
}

// A tree with a link to a folder outside it, planted by the host-side script
// (a Unix symbolic link appears as a directory reparse point). Nothing behind
// the link is listed, scheduled or touched. Windows removes the link itself;
// Wine 8 cannot delete a directory link at all, and then the removal stops
// at it and reports so.
TEST(LinkedFolder, IsRemovedAsALinkAndNeverEntered)
{
    if (g_linkFixture.empty()) GTEST_SKIP() << "needs the host-side script that plants the link";
    PendingDeletionsGuard guard;
    const std::wstring tree = g_linkFixture + L"\\tree";
    const std::wstring link = tree + L"\\link";
    const std::wstring outside = g_linkFixture + L"\\outside";
    const DWORD linkAttributes = ::GetFileAttributesW(link.c_str());
    ASSERT_NE(linkAttributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT) << "the link was not planted";
    const Tree outsideBefore = ReadTree(outside);
    ASSERT_FALSE(outsideBefore.empty());

    const std::vector<std::wstring> entries = WalkTree(tree);
    EXPECT_LT(IndexOf(entries, link), entries.size());
    for (const std::wstring& e : entries) EXPECT_NE(e.rfind(link + L"\\", 0), 0u) << "walked into the link";

    const std::size_t before = PendingDeletions().size();
    ScheduleTreeDeletionAtRestart(tree, true);
    const std::vector<std::wstring> pending = PendingDeletions();
    for (std::size_t i = before; i < pending.size(); ++i) {
        EXPECT_EQ(pending[i].find(link + L"\\"), std::wstring::npos) << "scheduled what lies behind the link";
    }

    if (RemoveTree(tree)) {
        EXPECT_FALSE(PathExists(tree));
    } else {
        EXPECT_TRUE(PathExists(link)) << "a failure must come from the link";
    }
    EXPECT_EQ(ReadTree(outside), outsideBefore);
}

}  // namespace

void SetLinkFixture(const std::wstring& folder) { g_linkFixture = folder; }
