// The install's progress window: a topmost window with a status line and a
// progress bar that the user cannot close. The program has no message loop
// of its own; the window stays responsive only while PumpMessages runs.
#pragma once

#include "base/progress_callback.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace quro {

void CreateProgressWindow(const std::wstring& title);
void SetProgressStatus(const std::wstring& text);
// A callback that sets the bar to written/total and drains the message queue.
ProgressCallback MakeProgressCallback(std::int32_t total);
void DestroyProgressWindow();
void PumpMessages();
// Waits that long while draining the queue as messages arrive, so that the
// window goes on painting through a pause of the install.
void PumpMessagesFor(DWORD milliseconds);
// Waits until object is signalled, draining the queue meanwhile, as a
// thread that owns windows and a COM apartment must.
void WaitPumping(HANDLE object);

}  // namespace quro
