// The offer at the end of a long scan to save its state beside the program, so a later run can
// resume it instead of reading the device again.
//
// A save writes files. When the folder it writes into lies on the very device (or partition)
// being scanned, the save could overwrite the deleted data the user is trying to recover, so
// no offer is made then; the same holds when it cannot be told where the folder lies.
#pragma once

#include <cstdint>

#include "core/volumecontext.h"
#include "platform/cstring.h"

// The scan must have run this many net seconds (pauses not counted) and handled this many
// sectors before the save is offered.
constexpr int64_t kSaveOfferMinSeconds = 300;
constexpr uint64_t kSaveOfferMinSectors = 204800;

// The headless scan driver saves every scan it is asked to save, short or small: it lowers the
// two minimums (the defaults above come back with kSaveOfferMinSeconds, kSaveOfferMinSectors).
void SetScanSaveOfferMinimum(int64_t seconds, uint64_t sectors);

// The end-of-scan offer, on the consumer's thread: nothing while the program is closing, for a
// scan shorter than 5 net minutes, when CanOfferScanSave says no, or with fewer than 204800
// handled sectors. Blocks taken but never handled are marked unread first, so a saved state
// reads them again. On "Yes" the state is saved; a failed save says so.
void AskSaveScanData();

// Whether the scan's state may be saved: false when the save folder (the program folder) lies
// on the scanned device or partition, or where it lies cannot be told.
bool CanOfferScanSave();

// Writes the scan state; true on success. Installed by the scan-state writer.
using ScanStateSaver = bool (*)();
void SetScanStateSaver(ScanStateSaver saver);

// The device question itself, replaceable for tests: true when folder lies on the device that
// the target reads (or when it cannot be told).
using SaveFolderDeviceQuery = bool (*)(const CString& folder, const VolumeContext& target);
void SetSaveFolderDeviceQuery(SaveFolderDeviceQuery query);
bool SaveFolderOnScannedDevice(const CString& folder, const VolumeContext& target);
