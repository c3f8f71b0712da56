// Binds the copy-out engine to the scan's services: the job-progress dialog, the progress
// mailbox, the scan state with its pause and resume, and the worker count. The dialogs that
// ask the user (recovery options, recovery finished) are left to the caller.
#pragma once

struct CopyOutServices;

void BindCopyOutToScanServices(CopyOutServices& services);
