#include "install/setup_lock.h"

#include "base/log.h"
#include "ui/run_mode.h"
#include "install/lock_wait_call.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

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

// A mutex of our name that someone without administrator rights made first
// (to hold every setup back) is not waited for: the run goes on unguarded
// rather than blocked.
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
    lock.mutex = OpenGlobalMutex(&attributes);
    if (!lock.mutex) return lock;
    // An abandoned mutex is the mark of a setup that was ended partway: the
    // lock is ours, and this run's own sequence clears what that one left.
    const DWORD waited = LockWaitCall(lock.mutex.get(), IsUnattended() ? kUnattendedLockWaitMs : INFINITE);
    lock.held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    lock.timedOut = waited == WAIT_TIMEOUT;
    if (lock.timedOut) Log(L"another setup is still running: nothing was changed");
    return lock;
}

}  // namespace quro
