// The language chooser's one TaskDialogIndirect call, alone in its own file
// so that a test build can read the configuration it is given and answer it.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace quro {

// The result of TaskDialogIndirect; E_NOTIMPL when comctl32 version 6 (and
// with it the function) is missing, which counts as a failed dialog.
HRESULT TaskDialogCall(const TASKDIALOGCONFIG* config, int* pressedButton);

}  // namespace quro
