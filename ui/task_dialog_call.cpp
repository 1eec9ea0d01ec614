#include "ui/task_dialog_call.h"

#include "base/system_dll.h"

namespace quro {

HRESULT TaskDialogCall(const TASKDIALOGCONFIG* config, int* pressedButton)
{
    // comctl32 is no Known DLL: a static import would be resolved from the
    // folder the program was started in. The manifest makes this load the
    // version 6 that has task dialogs.
    using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
    const auto taskDialog = SystemFunction<TaskDialogIndirectFn>(L"comctl32.dll", "TaskDialogIndirect");
    if (!taskDialog) return E_NOTIMPL;
    return taskDialog(config, pressedButton, nullptr, nullptr);
}

}  // namespace quro
