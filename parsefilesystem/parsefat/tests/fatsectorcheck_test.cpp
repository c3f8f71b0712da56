#include "parsefilesystem/parsefat/fatsectorcheck.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> FatSector(std::initializer_list<uint32_t> entries) {
  std::vector<uint8_t> s(512, 0);
  size_t i = 0;
  for (uint32_t e : entries) std::memcpy(s.data() + 4 * i++, &e, 4);
  return s;
}

TEST(FatSectorCheck, Fat32TableStartCases) {
  struct Case {
    const char* what;
    std::vector<uint8_t> sector;
    bool expected;
  };
  std::vector<uint8_t> lastEntry = FatSector({0x0FFFFFF8, 0x0FFFFFFF});
  const uint32_t v = 0x0FFFFFEF;
  std::memcpy(lastEntry.data() + 4 * 127, &v, 4);
  const Case cases[] = {
      {"fresh table, all free", FatSector({0x0FFFFFF8, 0x0FFFFFFF}), true},
      {"media mark in the top bits is ignored", FatSector({0xFFFFFFF8, 0x0FFFFFFF}), true},
      {"end mark 0x0FFFFFF8 in entry 1", FatSector({0x0FFFFFF8, 0x0FFFFFF8}), true},
      {"chains and end marks", FatSector({0x0FFFFFF8, 0x0FFFFFFF, 0x0FFFFFFF, 4, 5, 0x0FFFFFFF, 0x0FFFFFF7}), true},
      {"the highest cluster number at the last entry", lastEntry, true},
      {"wrong media entry", FatSector({0x0FFFFFF0, 0x0FFFFFFF}), false},
      {"entry 1 not an end mark", FatSector({0x0FFFFFF8, 0x00000007}), false},
      {"entry 1 with bit 3 clear", FatSector({0x0FFFFFF8, 0x0FFFFFF7}), false},
      {"the value 1", FatSector({0x0FFFFFF8, 0x0FFFFFFF, 1}), false},
      {"a value above 28 bits", FatSector({0x0FFFFFF8, 0x0FFFFFFF, 0x10000003}), false},
      {"a repeated cluster number", FatSector({0x0FFFFFF8, 0x0FFFFFFF, 9, 3, 9}), false},
      {"repeated end marks are fine", FatSector({0x0FFFFFF8, 0x0FFFFFFF, 0x0FFFFFFF, 0x0FFFFFFF}), true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsFat32TableStart(c.sector.data()), c.expected) << c.what;
}

}  // namespace
