// The scan consumer of the disk-image edition: every block the reader puts into the ring is
// written into the image file chosen before the scan (core/diskimage.h), nothing is carved.
#pragma once

#include "platform/wintypes.h"

// The thread procedure (param: the scan state word): writes the blocks, ends the scan, and
// shows how imaging ended.
UINT VuzuDazuvHandThread(LPVOID param);
// Registers it as the scan's disk-image consumer.
void InstallDiskImageConsumer();
