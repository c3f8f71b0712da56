// Item queries on the VolumeList: records by item address, child lists, paths, slot lists,
// labels and renaming.
//
// An item address is (slot, record id) for a volume item or (0x10000 | view index, node id) for
// a view item. While the list's mode word is -1 (search result) a record exists only when it
// carries the visible flag (the visibility rule). Each call takes the list's read lock; record
// and node pointers stay valid only while the caller holds a VolumeListReadGuard.
#pragma once

#include <cstdint>
#include <vector>

#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "core/volumelist.h"
#include "platform/cstring.h"

// The check state of a record: 0 unchecked, 1 checked, 2 partly checked.
inline uint32_t GetCheckState(const FileRecord& r) { return (uint32_t(r.flags) >> 1) & 3; }
void SetCheckState(FileRecord& r, uint32_t state);
inline bool HasChildren(const FileRecord& r) { return r.childCount != 0 && r.childIds != nullptr; }
inline bool HasChildren(const ViewNode& n) { return n.childCount != 0 && n.childIds != nullptr; }
// A record's name as text (bounded by its block); empty when it has none.
CString RecordNameText(const FileRecord* r);

// The record of a volume item, or the record a view node shows; null when missing or hidden.
FileRecord* GetItemRecord(VolumeList& list, uint32_t slotOrView, uint32_t id);
// The node of a view item whose record resolves; with withChildren non-zero only a node with
// children.
ViewNode* ResolveViewNode(VolumeList& list, uint32_t viewId, uint32_t nodeId, uint32_t withChildren);
int CopySlotContext(VolumeList& list, uint32_t slotOrView, VolumeContext& out);

// 0 (list emptied) when the record is missing, hidden or childless; else 1 with the children
// other than 5 that resolve (and have children, when withChildren is non-zero).
int ListVolumeChildren(VolumeList& list, uint32_t slot, uint32_t id, std::vector<uint32_t>& out,
                       uint32_t withChildren);
// 0 with the caller's list untouched when the node does not resolve with children; else 1.
int ListViewChildren(VolumeList& list, uint32_t viewId, uint32_t nodeId, std::vector<uint32_t>& out,
                     uint32_t withChildren);
int HasSubfolders(VolumeList& list, uint32_t slotOrView, uint32_t id);
// The ids from the item up to the root (5); 1 when the root was reached.
int GetItemPathIds(VolumeList& list, uint32_t slotOrView, uint32_t id, std::vector<uint32_t>& out);
int ListCheckedVolumeSlots(VolumeList& list, std::vector<uint32_t>& out);
int ListVisibleVolumeSlots(VolumeList& list, std::vector<uint32_t>& out);
void ListRootItemsToRecover(VolumeList& list, uint32_t slot, std::vector<uint32_t>& out);

// 1 when the item is a folder; then every listener (the caller too) is asked to open it.
int RequestOpenFolder(VolumeList& list, HWND caller, uint32_t slotOrView, uint32_t id);
int GetItemLabel(VolumeList& list, uint32_t slotOrView, uint32_t id, CString& text, uint32_t& state);
int GetItemLabelsAndChecks(VolumeList& list, uint32_t slotOrView, const std::vector<uint32_t>& ids,
                           std::vector<CString>& texts, std::vector<uint32_t>& states);
// 1 when renamed (the file's own record for a view item); an empty name changes nothing.
int RenameItem(VolumeList& list, uint32_t slotOrView, uint32_t id, const CString& name);
// The first id whose record is a picture file, else the first id; 0 for an empty list.
int FindFirstPreviewableItem(VolumeList& list, const std::vector<uint32_t>& ids, uint32_t slotOrView,
                             uint32_t& outId);
