// The services the copy-out engine needs from the layers above it: the job-progress dialog
// and the progress mailbox, the scan state with its pause and resume, the worker count, the
// recovery options dialog and the recovery-finished dialog. The application installs the real
// ones at start; tests and the headless driver install their own. Every member left null falls
// back to a headless default (noted per member).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/cstring.h"

struct CopyProgress;
struct RecoverOptions;

struct CopyOutServices {
  // Makes the progress dialog over the job's status word; false while one exists. Default: a
  // headless dialog that only watches the word.
  bool (*createProgressDlg)(std::atomic<uint32_t>* status, void* owner) = nullptr;
  // Runs it until the word reads 2 or 3; true when it ended as 3.
  bool (*runProgressDlg)() = nullptr;
  // Offers a kind-3 record to the progress mailbox. Default: dropped.
  void (*postProgress)(const CopyProgress& rec) = nullptr;
  // The scan state word: 0 running, 1 paused, 2 idle, 3 input finished. Default: 2.
  uint32_t (*scanRunState)() = nullptr;
  // 1 when a running scan was paused. Default: 0.
  int (*pauseScan)() = nullptr;
  void (*resumeScan)() = nullptr;
  // Worker count. Default: nothing.
  void (*threadBegin)(const CString& name) = nullptr;
  void (*threadEnd)(const CString& name) = nullptr;
  // The recovery options dialog for that many files and bytes; true for OK with the options
  // filled. Default: false (cancelled).
  bool (*saveParamDlg)(void* owner, uint32_t files, uint64_t bytes, RecoverOptions& options) = nullptr;
  // The recovery-finished dialog with its result text. Default: nothing.
  void (*supportSoftDlg)(void* owner, const CString& resultText) = nullptr;
};

// Installs the services (a copy is kept); members left null use the defaults.
void SetCopyOutServices(const CopyOutServices& services);
const CopyOutServices& GetCopyOutServices();

// Wrappers that apply the defaults.
bool CopyOutCreateProgressDlg(std::atomic<uint32_t>* status, void* owner);
bool CopyOutRunProgressDlg();
void CopyOutPostProgress(const CopyProgress& rec);
uint32_t CopyOutScanRunState();
int CopyOutPauseScan();
void CopyOutResumeScan();
void CopyOutThreadBegin(const CString& name);
void CopyOutThreadEnd(const CString& name);
bool CopyOutSaveParamDlg(void* owner, uint32_t files, uint64_t bytes, RecoverOptions& options);
void CopyOutSupportSoftDlg(void* owner, const CString& resultText);

// Whether a temporary copy is still held open by another program. Linux lets an open file be
// deleted, so the default answers false; tests answer true to exercise the purge's refusal.
using TempCopyInUseFn = bool (*)(const CString& path);
void SetTempCopyInUseHook(TempCopyInUseFn fn);
bool IsTempCopyInUse(const CString& path);
