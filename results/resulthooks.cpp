#include "results/resulthooks.h"

#include <atomic>

namespace {

std::atomic<PreviewItemFn> g_preview{nullptr};
std::atomic<RenameDialogFn> g_rename{nullptr};
std::atomic<FilterDialogFn> g_filter{nullptr};

}  // namespace

void SetPreviewItemHandler(PreviewItemFn fn) { g_preview.store(fn); }
void SetRenameDialogHandler(RenameDialogFn fn) { g_rename.store(fn); }
void SetFilterDialogHandler(FilterDialogFn fn) { g_filter.store(fn); }

void RunPreviewItem(uint32_t key, uint32_t id) {
  if (PreviewItemFn fn = g_preview.load()) fn(key, id);
}

bool RunRenameDialog(CWnd* owner, uint32_t key, uint32_t id, CString& newName) {
  const RenameDialogFn fn = g_rename.load();
  return fn != nullptr && fn(owner, key, id, newName);
}

bool RunFilterDialog(CWnd* owner, FileFilterSettings& settings) {
  const FilterDialogFn fn = g_filter.load();
  return fn != nullptr && fn(owner, settings);
}
