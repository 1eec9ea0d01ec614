#include "install/setup_lock.h"

#include "base/log.h"
#include "base/system_paths.h"
#include "ui/run_mode.h"
#include "install/lock_wait_call.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

namespace quro {

namespace {

// One name for every setup of this product on the machine, in the global
// namespace so that setups in different sessions see each other. A private
// namespace would keep the name out of reach of users without administrator
// rights, but Windows deletes a private namespace when the process that made
// it closes it: a third setup could then make a fresh one and run beside the
// second. The global name with an owner check holds on every system.
constexpr wchar_t kGlobalMutex[] = L"Global\\QuroHostSetupRun";
// Owned by the Administrators group, which only a process with administrator
// rights can name as owner; full access for that group and SYSTEM, nothing
// for anyone else.
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)";
// How long an unattended run waits for another setup: long enough for an
// install or removal that a person or another engine started just before,
// well short of the hour after which Intune gives up on a run.
constexpr DWORD kUnattendedLockWaitMs = 3 * 60 * 1000;

// Where the runs take turns when the mutex's name is taken: a file directly
// in Program Files, where no user without administrator rights can create
// one. Each run opens it without sharing, so one at a time has it; it is
// made with the mutex's owner and access, so no one else can open it to hold
// the runs back, and it goes when the run that holds it ends.
constexpr wchar_t kLockFileName[] = L"\\Quro-Setup.lock";
constexpr DWORD kLockFilePollMs = 100;
// The moment between the holder's end and the file's deletion, in which
// Windows answers "access denied" to the next open.
constexpr DWORD kLockFileDeniedMs = 2000;

// A mutex of our name that someone without administrator rights made first
// (to hold every setup back, or to let two run at once) is not waited for:
// the runs take turns on the lock file instead.
UniqueHandle OpenGlobalMutex(SECURITY_ATTRIBUTES* attributes)
{
    UniqueHandle mutex(::CreateMutexW(attributes, FALSE, kGlobalMutex));
    if (!mutex || ::GetLastError() != ERROR_ALREADY_EXISTS) return mutex;
    PSID owner = nullptr;
    UniqueLocalMemory descriptor;
    PSECURITY_DESCRIPTOR raw = nullptr;
    const DWORD read = ::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                         nullptr, nullptr, &raw);
    descriptor.reset(raw);
    if (read != ERROR_SUCCESS) return UniqueHandle();
    const bool trusted =
        ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(owner, WinLocalSystemSid);
    return trusted ? std::move(mutex) : UniqueHandle();
}

// Waits until this run has the lock file to itself, for at most timeoutMs
// (INFINITE: as long as it takes). Empty when there is no lock file to be
// had, or the time is up.
UniqueFileHandle WaitForLockFile(SECURITY_ATTRIBUTES* attributes, DWORD timeoutMs, bool& timedOut)
{
    const std::wstring programFiles = KnownFolderPath(FOLDERID_ProgramFiles);
    if (programFiles.empty()) return UniqueFileHandle();
    const std::wstring path = programFiles + kLockFileName;
    const ULONGLONG start = ::GetTickCount64();
    ULONGLONG deniedSince = 0;
    for (;;) {
        // By path, but in Program Files itself, where only administrators make
        // entries; opened without following a link all the same, and taken only
        // when the handle shows a plain file (closing it then deletes nothing
        // but that file).
        UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, attributes,
                                            OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (file && ::GetFileInformationByHandle(file.get(), &info) &&
            !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
            return file;
        }
        if (file) return UniqueFileHandle();
        const DWORD error = ::GetLastError();
        const ULONGLONG now = ::GetTickCount64();
        if (error == ERROR_ACCESS_DENIED) {
            if (!deniedSince) deniedSince = now;
            if (now - deniedSince >= kLockFileDeniedMs) return UniqueFileHandle();
        } else if (error == ERROR_SHARING_VIOLATION) {
            deniedSince = 0;
        } else {
            return UniqueFileHandle();
        }
        if (timeoutMs != INFINITE && now - start >= timeoutMs) {
            timedOut = true;
            return UniqueFileHandle();
        }
        ::Sleep(kLockFilePollMs);
    }
}

}  // namespace

SetupLock WaitForSetupLock()
{
    SetupLock lock;
    UniqueLocalMemory security;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &descriptor,
                                                               nullptr)) {
        security.reset(descriptor);
        attributes.lpSecurityDescriptor = descriptor;
    }
    const DWORD bound = IsUnattended() ? kUnattendedLockWaitMs : INFINITE;
    lock.mutex = OpenGlobalMutex(&attributes);
    if (!lock.mutex) {
        lock.file = WaitForLockFile(&attributes, bound, lock.timedOut);
        lock.held = static_cast<bool>(lock.file);
    } else {
        // An abandoned mutex is the mark of a setup that was ended partway:
        // the lock is ours, and this run's own sequence clears what that one left.
        const DWORD waited = LockWaitCall(lock.mutex.get(), bound);
        lock.held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        lock.timedOut = waited == WAIT_TIMEOUT;
    }
    if (lock.timedOut) Log(L"another setup is still running: nothing was changed");
    return lock;
}

}  // namespace quro
