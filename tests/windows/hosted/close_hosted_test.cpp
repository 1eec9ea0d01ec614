// Finding and ending the hosted application's processes: real processes
// (copies of the sample programs under the names to tell apart), with the
// question answered by the recorded message box of this test program.
#include "hosted/close_hosted.h"

#include "base/path_form_call.h"
#include "base/unique_handles.h"
#include "hosted/process_image_call.h"
#include "tools/driver/driver.h"
#include "tests/windows/support/install_support.h"
#include "tests/windows/support/ui_seams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace quro;

namespace {

// The image paths the seam reports instead of the real ones, by process id,
// and every path that was resolved into a long or short form.
std::map<DWORD, std::wstring> g_reportedImages;
std::vector<std::wstring> g_resolved;

}  // namespace

namespace quro {

BOOL ProcessImageCall(HANDLE process, wchar_t* path, DWORD* length)
{
    const auto reported = g_reportedImages.find(::GetProcessId(process));
    if (reported == g_reportedImages.end()) return ::QueryFullProcessImageNameW(process, 0, path, length);
    *length = static_cast<DWORD>(reported->second.copy(path, *length - 1));
    path[*length] = L'\0';
    return TRUE;
}

DWORD LongPathNameCall(const wchar_t* path, wchar_t* buffer, DWORD size)
{
    g_resolved.emplace_back(path);
    return ::GetLongPathNameW(path, buffer, size);
}

DWORD ShortPathNameCall(const wchar_t* path, wchar_t* buffer, DWORD size)
{
    g_resolved.emplace_back(path);
    return ::GetShortPathNameW(path, buffer, size);
}

}  // namespace quro

namespace {

struct Running {
    UniqueHandle process;
    DWORD id = 0;
};

// A copy of a sample program under name, started from a folder of its own
// below parent (the install folder, unless a test says elsewhere).
Running StartCopy(const std::wstring& parent, const std::wstring& source, const std::wstring& name)
{
    // A folder per copy: names that differ only in letter case would
    // otherwise be one file, and the copy would fail over a running image.
    static int copies = 0;
    const std::wstring folder = parent + L"\\p" + std::to_wstring(++copies);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = folder + L"\\" + name;
    EXPECT_TRUE(::CopyFileW((ProgramFolder() + L"\\" + source).c_str(), exe.c_str(), FALSE));
    Running running;
    driver::Started started = driver::StartProgram(exe, L"");
    running.process = std::move(started.process);
    running.id = started.processId;
    // Up and taking messages, so that it can be asked to close.
    EXPECT_EQ(::WaitForInputIdle(running.process.get(), 10000), 0u) << "the copy never came up";
    return running;
}

bool Contains(const ProcessIdList& list, DWORD id) { return std::find(list.begin(), list.end(), id) != list.end(); }

bool HasEnded(const Running& r) { return ::WaitForSingleObject(r.process.get(), 0) == WAIT_OBJECT_0; }

class CloseHostedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetRecordedBoxes();
        // A hosted process left over from elsewhere would confuse the count.
        ASSERT_TRUE(FindHostedProcesses().empty()) << "a hosted process already runs";
        ::CreateDirectoryW(state::InstallFolder().c_str(), nullptr);
    }
    void TearDown() override
    {
        for (Running& r : started_) {
            ::TerminateProcess(r.process.get(), 0);
            ::WaitForSingleObject(r.process.get(), 5000);
        }
        RemoveInstallation();
        DeleteTree(inside_ + L"-Beta");
    }
    const std::wstring inside_ = state::InstallFolder();
    ScratchFolder scratch_;
    std::vector<Running> started_;
};

// Ours: a whole image name in any letter case, run from inside the install
// folder. A same-named program elsewhere (a sibling folder whose name begins
// like ours included) is none of ours.
TEST_F(CloseHostedTest, MatchesWholeImageNamesInAnyLetterCaseInsideTheInstallFolder)
{
    struct Case {
        const wchar_t* source;
        const wchar_t* name;
        bool hosted;
    } cases[] = {
        {L"DraloHost.exe", L"DraloHost.exe", true},   {L"DraloHost.exe", L"DRALOHOST.EXE", true},
        {L"Holvenar.exe", L"holvenar.exe", true},     {L"DraloHost.exe", L"XDraloHost.exe", false},
        {L"DraloHost.exe", L"DraloHost2.exe", false}, {L"DraloHost.exe", L"DraloHost.exe.old", false},
        {L"DraloHost.exe", L"DraloHost", false},      {L"Holvenar.exe", L"Holvenar.ex", false},
    };
    for (const Case& c : cases) started_.push_back(StartCopy(inside_, c.source, c.name));
    ::CreateDirectoryW((inside_ + L"-Beta").c_str(), nullptr);
    for (const std::wstring& elsewhere : {scratch_.path(), inside_ + L"-Beta"}) {
        started_.push_back(StartCopy(elsewhere, L"DraloHost.exe", L"DraloHost.exe"));
    }
    const ProcessIdList found = FindHostedProcesses();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(Contains(found, started_[i].id), cases[i].hosted) << i;
    }
    EXPECT_EQ(found.size(), 3u);
}

// Windows reports an image by the name it was started with: the install
// folder's short form is ours, a program on a user's share is not, and its
// path is never resolved (that would sign in to the share's server).
TEST_F(CloseHostedTest, ReportedImagesAreComparedNeverResolved)
{
    wchar_t shortForm[MAX_PATH] = {};
    ::GetShortPathNameW(inside_.c_str(), shortForm, MAX_PATH);
    const struct {
        std::wstring reported;
        bool hosted;
    } cases[] = {
        {L"\\\\their-host\\share\\DraloHost.exe", false},
        {std::wstring(shortForm) + L"\\p\\DraloHost.exe", true},
    };
    for (const auto& c : cases) {
        started_.push_back(StartCopy(inside_, L"DraloHost.exe", L"DraloHost.exe"));
        g_reportedImages[started_.back().id] = c.reported;
    }
    g_resolved.clear();
    const ProcessIdList found = FindHostedProcesses();
    g_reportedImages.clear();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(Contains(found, started_[i].id), cases[i].hosted) << testing::PrintToString(cases[i].reported);
    }
    for (const std::wstring& path : g_resolved) EXPECT_EQ(path, inside_) << "a reported path was resolved";
}

TEST_F(CloseHostedTest, NothingRunningAsksNothing)
{
    EXPECT_TRUE(CloseHostedApplication(false));
    EXPECT_TRUE(RecordedBoxes().empty());
}

// One question however many instances run: Yes ends every one, No leaves
// them all running.
TEST_F(CloseHostedTest, OneQuestionForAllInstances)
{
    struct Case {
        bool removal;
        int answer;
        const wchar_t* text;
    } cases[] = {
        {true, IDYES, L"Quro Host is open. It will be closed so it can be removed. Continue?"},
        {false, IDNO, L"Quro Host is open. It will be closed so it can be updated. Continue?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer == IDYES ? "Yes" : "No");
        const std::size_t first = started_.size();
        started_.push_back(StartCopy(inside_, L"DraloHost.exe", L"DraloHost.exe"));
        started_.push_back(StartCopy(inside_, L"DraloHost.exe", L"dralohost.exe"));
        started_.push_back(StartCopy(inside_, L"Holvenar.exe", L"Holvenar.exe"));
        ResetRecordedBoxes();
        AnswerNextQuestions({c.answer});
        EXPECT_EQ(CloseHostedApplication(c.removal), c.answer == IDYES);
        ASSERT_EQ(RecordedBoxes().size(), 1u);
        EXPECT_EQ(RecordedBoxes()[0].text, c.text);
        EXPECT_TRUE(RecordedBoxes()[0].question);
        EXPECT_FALSE(RecordedBoxes()[0].flag) << "Yes must be the default";
        EXPECT_EQ(RecordedBoxes()[0].caption, L"Quro Host Setup");
        EXPECT_EQ(RecordedBoxes()[0].style, 0x50024u);
        for (std::size_t i = first; i < started_.size(); ++i) EXPECT_EQ(HasEnded(started_[i]), c.answer == IDYES) << i;
    }
}

}  // namespace
