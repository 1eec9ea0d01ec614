// Starting another program: the setup program's temporary copy and the
// hosted application's clean-up call.
#pragma once

#include "base/unique_handles.h"

#include <string>

namespace quro {

// The two handles a started process comes with, owned.
struct StartedProcess {
    UniqueHandle process;
    UniqueHandle thread;
};

// Starts application with the whole commandLine (its first word the quoted
// application, as programs expect), with folder as its working folder; a
// hidden start gets no window and no console. Nothing is inherited but the
// environment. Empty handles when Windows refused the start.
StartedProcess StartProcess(const std::wstring& application, const std::wstring& commandLine,
                            const std::wstring& folder, bool hidden);

}  // namespace quro
