#include "install/setup_lock.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

namespace {

constexpr wchar_t kNamespace[] = L"QuroHostSetup";
constexpr wchar_t kPrivateMutex[] = L"QuroHostSetup\\Run";
constexpr wchar_t kGlobalMutex[] = L"Global\\QuroHostSetupRun";
// Owned by the Administrators group, which only a process with administrator
// rights can name as owner; full access for that group and SYSTEM, nothing
// for anyone else.
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)";

struct LocalSecurityDescriptor {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ~LocalSecurityDescriptor()
    {
        if (descriptor) ::LocalFree(descriptor);
    }
};

struct BoundaryDescriptor {
    HANDLE handle = nullptr;
    ~BoundaryDescriptor()
    {
        if (handle) ::DeleteBoundaryDescriptor(handle);
    }
};

// A private namespace whose boundary holds the Administrators group: only a
// process with that group in its token can make it, so a program without
// administrator rights cannot create our mutex first and hold every setup
// back, as it could with a plain name in the global namespace.
UniqueHandle OpenAdministratorsNamespace(SECURITY_ATTRIBUTES* attributes)
{
    BoundaryDescriptor boundary;
    boundary.handle = ::CreateBoundaryDescriptorW(kNamespace, 0);
    if (!boundary.handle) return UniqueHandle();
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize) ||
        !::AddSIDToBoundaryDescriptor(&boundary.handle, sid)) {
        return UniqueHandle();
    }
    // The namespace lives while any process holds it: whoever comes first
    // makes it, the others open it. It can vanish between a failed create and
    // the open when its maker ends just then, so that is tried again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (HANDLE made = ::CreatePrivateNamespaceW(attributes, boundary.handle, kNamespace)) return UniqueHandle(made);
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return UniqueHandle();
        if (HANDLE opened = ::OpenPrivateNamespaceW(boundary.handle, kNamespace)) return UniqueHandle(opened);
    }
    return UniqueHandle();
}

// Where private namespaces are not available, a global name whose maker we
// check: a mutex that someone without administrator rights made first is
// not waited for.
UniqueHandle OpenGlobalMutex(SECURITY_ATTRIBUTES* attributes)
{
    UniqueHandle mutex(::CreateMutexW(attributes, FALSE, kGlobalMutex));
    if (!mutex || ::GetLastError() != ERROR_ALREADY_EXISTS) return mutex;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS) {
        return UniqueHandle();
    }
    const bool trusted =
        ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(owner, WinLocalSystemSid);
    ::LocalFree(descriptor);
    return trusted ? std::move(mutex) : UniqueHandle();
}

}  // namespace

SetupLock WaitForSetupLock()
{
    SetupLock lock;
    LocalSecurityDescriptor security;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                               &security.descriptor, nullptr)) {
        attributes.lpSecurityDescriptor = security.descriptor;
    }
    lock.nameSpace = OpenAdministratorsNamespace(&attributes);
    if (lock.nameSpace) {
        lock.mutex.reset(::CreateMutexW(&attributes, FALSE, kPrivateMutex));
    } else {
        lock.mutex = OpenGlobalMutex(&attributes);
    }
    if (!lock.mutex) return lock;
    // An abandoned mutex is the mark of a setup that was ended partway: the
    // lock is ours, and this run's own sequence clears what that one left.
    const DWORD waited = ::WaitForSingleObject(lock.mutex.get(), INFINITE);
    lock.held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return lock;
}
