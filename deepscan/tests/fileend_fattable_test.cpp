// The deep scan's end rule for a FAT32 allocation table it found (kind 228): it asks for the
// bytes the measure needs and then takes the measured length.
#include "deepscan/fileend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A FAT32 table of 8704 bytes (17 sectors: the earliest length the measure can find) with a
// short chain, followed at once by its second copy.
Bytes TableAndCopy() {
  Bytes table(8704, 0);
  const uint32_t entries[] = {0x0FFFFFF8, 0x0FFFFFFF, 0x0FFFFFFF, 4, 5, 0x0FFFFFFF};
  for (size_t i = 0; i < std::size(entries); ++i)
    for (int k = 0; k < 4; ++k) table[i * 4 + k] = uint8_t(entries[i] >> (8 * k));
  Bytes both = table;
  both.insert(both.end(), table.begin(), table.end());
  return both;
}

TEST(DetectFileEnd, Fat32TableAsksForMoreAndThenMeasures) {
  // A table that starts 8 sectors before the end of the first buffer.
  const Bytes image = TableAndCopy();
  Bytes first(64 * 512, 0);
  std::memcpy(first.data() + 56 * 512, image.data(), 8 * 512);
  CarveCandidate c;
  c.typeId = 228;
  c.startLba = 56;
  ASSERT_EQ(DetectFileEnd(c, 0, first.data(), first.size()), kEndNeedsMore);
  EXPECT_EQ(c.firstNeededLba, 56u);
  EXPECT_EQ(c.endNeededLba, 56u + (8 * 512 + 0x7FFE00) / 512);
  // A buffer that ends no later than the last request still needs more.
  EXPECT_EQ(DetectFileEnd(c, 0, first.data(), first.size()), kEndNeedsMore);
  Bytes whole(56 * 512, 0);
  whole.insert(whole.end(), image.begin(), image.end());
  whole.resize(whole.size() + 0x800000, 0);
  ASSERT_EQ(DetectFileEnd(c, 0, whole.data(), whole.size()), kEndKnown);
  EXPECT_EQ(c.size, 8704u);
}

}  // namespace
