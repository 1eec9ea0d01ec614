// One setup at a time: the elevated install and the elevated removal share
// "Quro.new", the old folders and the registration, and two of them at once
// (two clicks on a download, or an install while a removal runs) could leave
// a tree of both.
#pragma once

#include "base/unique_handles.h"

namespace quro {

// Held until it is destroyed, which is at the end of the process: the
// mutex, or, where someone else took the mutex's name, the lock file.
struct SetupLock {
    UniqueHandle mutex;
    UniqueFileHandle file;
    bool held = false;
    // Another setup held the lock for longer than an unattended run waits:
    // the run must end, changing nothing.
    bool timedOut = false;
};

// Waits, showing nothing, until no other elevated setup runs, and returns
// the lock. A lock that cannot be had at all (neither the mutex nor the lock
// file under Program Files) is not held, and the run goes on unguarded
// rather than never. A person's run waits as long as it takes; an unattended
// one, whose engine gives up on it after some time and then reports a
// failure it cannot explain, waits a few minutes and then reports that
// another setup is running.
SetupLock WaitForSetupLock();

}  // namespace quro
