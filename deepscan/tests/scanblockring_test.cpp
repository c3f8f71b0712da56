#include "deepscan/scanblockring.h"

#include <gtest/gtest.h>

#include <set>

#include "base/heap.h"

namespace {

struct RingFixture : ::testing::Test {
  uint8_t* block = static_cast<uint8_t*>(AllocMem(kScanBlockBytes, 1));
  uint8_t* out = static_cast<uint8_t*>(AllocMem(kScanBlockBytes, 1));
  void SetUp() override { AllocScanBlockRing(); }
  void TearDown() override {
    FreeScanBlockRing();
    FreeMem(block);
    FreeMem(out);
  }
  bool Put(uint64_t lba) {
    ResetScanBlock(block, lba);
    SetScanBlockReadResult(block, 1);
    block[0] = uint8_t(lba);
    block[kScanBlockDataBytes - 1] = uint8_t(lba + 1);
    return PutScanBlock(block);
  }
};

TEST_F(RingFixture, NinthPutWaitsAndTakesKeepTheOrder) {
  for (uint64_t i = 0; i < 8; ++i) ASSERT_TRUE(Put(i * kScanBlockSectors));
  EXPECT_FALSE(Put(8 * kScanBlockSectors)) << "the ring holds eight blocks";
  EXPECT_EQ(GetScanRingState().count, 8u);
  for (uint64_t i = 0; i < 8; ++i) {
    ASSERT_TRUE(TakeScanBlock(out));
    EXPECT_EQ(ScanBlockLba(out), i * kScanBlockSectors);
    EXPECT_EQ(ScanBlockReadResult(out), 1);
    EXPECT_EQ(out[0], uint8_t(i * kScanBlockSectors));
    EXPECT_EQ(out[kScanBlockDataBytes - 1], uint8_t(i * kScanBlockSectors + 1));
  }
  EXPECT_FALSE(TakeScanBlock(out));
  EXPECT_EQ(ScanRingHighWater(), 8u);
}

TEST_F(RingFixture, EmptiedRingRefillsTheSlotUsedLast) {
  ASSERT_TRUE(Put(100));
  ASSERT_TRUE(Put(200));
  ASSERT_TRUE(TakeScanBlock(out));
  ASSERT_TRUE(TakeScanBlock(out));
  ScanRingState st = GetScanRingState();
  EXPECT_EQ(st.count, 0u);
  EXPECT_EQ(st.readIndex, 1u);
  EXPECT_EQ(st.writeIndex, 1u);
  ASSERT_TRUE(Put(300));
  st = GetScanRingState();
  EXPECT_EQ(st.writeIndex, 1u) << "the next put fills the second slot again";
  EXPECT_EQ(st.readIndex, 1u);
  ASSERT_TRUE(TakeScanBlock(out));
  EXPECT_EQ(ScanBlockLba(out), 300u);
}

TEST_F(RingFixture, SlotsAreFilledAndExaminedInPlace) {
  uint8_t* first = BeginPutScanBlock();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(BeginPutScanBlock(), nullptr) << "one claim of the producer at a time";
  ResetScanBlock(first, 100);
  EXPECT_EQ(GetScanRingState().count, 0u) << "a slot being filled is not yet a block";
  EXPECT_EQ(BeginTakeScanBlock(), nullptr);
  EndPutScanBlock(true);

  const uint8_t* taken = BeginTakeScanBlock();
  ASSERT_EQ(taken, first) << "the consumer works on the slot the reader filled";
  EXPECT_EQ(BeginTakeScanBlock(), nullptr) << "one claim of the consumer at a time";
  uint8_t* second = BeginPutScanBlock();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first) << "the slot under examination is never handed to the reader";
  // A block given back unused leaves the ring as it was and its slot is claimed again next.
  EndPutScanBlock(false);
  EXPECT_EQ(GetScanRingState().count, 1u);
  EXPECT_EQ(BeginPutScanBlock(), second);
  ResetScanBlock(second, 200);
  EndPutScanBlock(true);
  EndTakeScanBlock();
  const uint8_t* next = BeginTakeScanBlock();
  ASSERT_EQ(next, second);
  EXPECT_EQ(ScanBlockLba(next), 200u);
  EndTakeScanBlock();
  EXPECT_EQ(GetScanRingState().count, 0u);
}

TEST_F(RingFixture, AConsumerThatKeepsUpCyclesThroughTwoSlots) {
  std::set<const uint8_t*> used;
  ASSERT_TRUE(Put(0));
  for (uint64_t i = 1; i < 40; ++i) {
    const uint8_t* b = BeginTakeScanBlock();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ScanBlockLba(b), (i - 1) * kScanBlockSectors);
    used.insert(b);
    ASSERT_TRUE(Put(i * kScanBlockSectors));
    EndTakeScanBlock();
  }
  EXPECT_EQ(used.size(), 2u);
}

TEST_F(RingFixture, MissingRingIsFullForThePutAndEmptyForTheTake) {
  FreeScanBlockRing();
  EXPECT_FALSE(ScanBlockRingExists());
  EXPECT_FALSE(Put(0));
  EXPECT_FALSE(TakeScanBlock(out));
  EXPECT_EQ(BeginPutScanBlock(), nullptr);
  EXPECT_EQ(BeginTakeScanBlock(), nullptr);
  AllocScanBlockRing();
}

TEST_F(RingFixture, TrailerFields) {
  ResetScanBlock(block, 0x123456789ull);
  EXPECT_EQ(ScanBlockLba(block), 0x123456789ull);
  EXPECT_EQ(ScanBlockReadResult(block), 0);
  SetScanBlockReadResult(block, 1);
  EXPECT_EQ(ScanBlockReadResult(block), 1);
  for (uint32_t i = kScanBlockDataBytes + 12; i < kScanBlockBytes; ++i) ASSERT_EQ(block[i], 0) << i;
}

}  // namespace
