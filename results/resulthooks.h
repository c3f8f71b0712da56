// The windows the result views open but that are built beside them: the preview window, the
// rename dialog and the search filter dialog. Each installs its entry point here at start-up;
// while one is missing, the command that needs it does nothing (as if cancelled).
#pragma once

#include <cstdint>

#include "core/filefilter.h"
#include "platform/afx/afxwin.h"
#include "platform/cstring.h"

// Shows the preview of the item (key, id).
using PreviewItemFn = void (*)(uint32_t key, uint32_t id);
// Runs the rename dialog for the item; true for OK with the new name filled.
using RenameDialogFn = bool (*)(CWnd* owner, uint32_t key, uint32_t id, CString& newName);
// Runs the search filter dialog over a copy of the settings; true for OK with them changed.
using FilterDialogFn = bool (*)(CWnd* owner, FileFilterSettings& settings);

void SetPreviewItemHandler(PreviewItemFn fn);
void SetRenameDialogHandler(RenameDialogFn fn);
void SetFilterDialogHandler(FilterDialogFn fn);

void RunPreviewItem(uint32_t key, uint32_t id);
bool RunRenameDialog(CWnd* owner, uint32_t key, uint32_t id, CString& newName);
bool RunFilterDialog(CWnd* owner, FileFilterSettings& settings);
