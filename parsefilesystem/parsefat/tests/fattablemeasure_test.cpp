#include "parsefilesystem/parsefat/fattablemeasure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void PutEntry(Bytes& b, size_t index, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[index * 4 + i] = uint8_t(v >> (8 * i));
}

// A FAT32 table of 8704 bytes (17 sectors: the earliest length the rule can find) holding a
// few chains, followed by its second copy and then filler. The entries given are set in both.
Bytes TwoCopies(size_t total, std::initializer_list<std::pair<size_t, uint32_t>> entries = {}) {
  Bytes table(8704, 0);
  PutEntry(table, 0, 0x0FFFFFF8);
  PutEntry(table, 1, 0x0FFFFFFF);
  PutEntry(table, 2, 0x0FFFFFFF);  // root directory
  PutEntry(table, 3, 4);           // 3 → 4 → 5 → end
  PutEntry(table, 4, 5);
  PutEntry(table, 5, 0x0FFFFFFF);
  PutEntry(table, 6, 300);         // 6 → 300 → 301 → end
  PutEntry(table, 300, 301);
  PutEntry(table, 301, 0x0FFFFFFF);
  for (const auto& [index, value] : entries) PutEntry(table, index, value);
  Bytes b(total, 0x44);
  std::memcpy(b.data(), table.data(), std::min(total, table.size()));
  if (total > table.size()) std::memcpy(b.data() + 8704, table.data(), std::min(total - 8704, table.size()));
  return b;
}

TEST(MeasureFat32Table, EndsAtTheSecondCopy) {
  CarveCandidate c;
  Bytes b = TwoCopies(16896);
  EXPECT_EQ(MeasureFat32Table(b.data(), uint32_t(b.size()), c), kEndKnown);
  EXPECT_EQ(c.size, 8704u);

  struct Case {
    const char* what;
    size_t length;
    int32_t result;
  };
  const Case cases[] = {
      {"fewer than 8192 bytes in all", 8190 / 512 * 512, kEndNeedsMore},
      {"too little of the copy to compare", 16896 - 512, kEndNeedsMore},
      {"the copy not reached", 8704, kEndNeedsMore},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_EQ(MeasureFat32Table(b.data(), uint32_t(k.length), c), k.result);
  }
}

TEST(MeasureFat32Table, RefusesImpossibleTables) {
  CarveCandidate c;
  Bytes one = TwoCopies(16896, {{200, 1}});
  EXPECT_EQ(MeasureFat32Table(one.data(), uint32_t(one.size()), c), kEndNotValid);
  Bytes high = TwoCopies(16896, {{200, 0x10000000}});
  EXPECT_EQ(MeasureFat32Table(high.data(), uint32_t(high.size()), c), kEndNotValid);
  // Two chains that jump into the same cluster (beyond the first sector, which the start test
  // already checks on its own).
  Bytes shared = TwoCopies(16896, {{200, 900}, {400, 900}});
  EXPECT_EQ(MeasureFat32Table(shared.data(), uint32_t(shared.size()), c), kEndNotValid);
  Bytes notTable = TwoCopies(16896, {{0, 0x12345678}});
  EXPECT_EQ(MeasureFat32Table(notTable.data(), uint32_t(notTable.size()), c), kEndNotValid);
}

TEST(MeasureFat32Table, AFollowingChainIsNoJump) {
  // 500 → 501 → 502 continue the chain before them; a second visit of 501 would be a jump.
  CarveCandidate c;
  Bytes b = TwoCopies(16896, {{200, 501}, {501, 502}, {502, 0x0FFFFFFF}});
  EXPECT_EQ(MeasureFat32Table(b.data(), uint32_t(b.size()), c), kEndKnown);
}

}  // namespace
