// Writes ZIP archives into memory with minizip, and the UTF-16LE text files the resource
// archive holds. Used by the packing tool and by test fixtures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ZipSourceEntry {
  std::string name;   // the entry name, '/' separated
  std::string bytes;  // the entry's content
};

// A deflated ZIP archive of the entries, in order. False when minizip refuses an entry.
bool BuildZipInMemory(const std::vector<ZipSourceEntry>& entries, std::vector<uint8_t>& out);

// UTF-8 text as the archive's text files hold it: UTF-16LE, lines ending in CR LF (a lone LF
// of the source becomes CR LF), with or without a byte-order mark.
std::string Utf8ToUtf16LeFile(std::string_view utf8, bool withBom);
