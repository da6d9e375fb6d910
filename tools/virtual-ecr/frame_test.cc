// Tests of the frame checksum, answer framing and frame cutting.
#include "frame.h"

#include <gtest/gtest.h>

namespace vecr {
namespace {

std::string Wire(const std::string& body, const std::string& sum) {
  return std::string(1, kStx) + body + sum + std::string(1, kEtx);
}

TEST(Checksum, SumOfBytesModuloHundred) {
  struct Case {
    std::string text, sum;
  } cases[] = {
      {"0001009", "46"},  // 346
      {"", "00"},
      {"d", "00"},        // 100
      {"\x01", "01"},
      {"\xff", "55"},     // bytes count unsigned: 255
  };
  for (const Case& c : cases) EXPECT_EQ(Checksum(c.text), c.sum) << c.text;
}

TEST(BuildFrame, WrapsSequenceTerminalAndText) {
  EXPECT_EQ(BuildFrame("00", "1009"), Wire("0001009", "46"));
  std::string f = BuildFrame("42", "100900");
  EXPECT_EQ(f.substr(1, 3), "420");
  EXPECT_EQ(f.substr(f.size() - 3, 2), Checksum("420100900"));
}

TEST(FrameReader, CutsFramesAndSkipsBytesBetweenThem) {
  FrameReader reader;
  std::string stream = std::string(1, kAck) + "xx" + Wire("0001009", "46") + std::string(1, kAck) +
                       BuildFrame("01", "1001");
  auto items = reader.Feed(stream);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_TRUE(items[0].good);
  EXPECT_EQ(items[0].frame.sequence, "00");
  EXPECT_EQ(items[0].frame.command, "1009");
  EXPECT_TRUE(items[1].good);
  EXPECT_EQ(items[1].frame.sequence, "01");
  EXPECT_EQ(items[1].frame.command, "1001");
}

TEST(FrameReader, FrameSplitAcrossReads) {
  FrameReader reader;
  std::string f = BuildFrame("07", "3101100222REPARTO 2             000000250");
  std::vector<FrameReader::Item> all;
  for (char c : f) {
    for (auto& i : reader.Feed(std::string(1, c))) all.push_back(i);
  }
  ASSERT_EQ(all.size(), 1u);
  EXPECT_TRUE(all[0].good);
  EXPECT_EQ(all[0].frame.command, "3101100222REPARTO 2             000000250");
}

TEST(FrameReader, BadFramesAreReported) {
  struct Case {
    std::string name, wire;
  } cases[] = {
      {"wrong checksum", Wire("0001009", "47")},
      {"letters in sequence", Wire("a001009", Checksum("a001009"))},
      {"no command", Wire("000", "48")},
      {"checksum not digits", Wire("0001009", "4x")},
  };
  for (const Case& c : cases) {
    FrameReader reader;
    auto items = reader.Feed(c.wire);
    ASSERT_EQ(items.size(), 1u) << c.name;
    EXPECT_FALSE(items[0].good) << c.name;
  }
}

TEST(FrameReader, NewStxRestartsTheFrame) {
  FrameReader reader;
  auto items = reader.Feed(std::string(1, kStx) + "0001" + BuildFrame("01", "1009"));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_TRUE(items[0].good);
  EXPECT_EQ(items[0].frame.sequence, "01");
}

TEST(FrameReader, EndlessFrameIsGivenUp) {
  FrameReader reader;
  auto items = reader.Feed(std::string(1, kStx) + std::string(FrameReader::kMaxFrame + 10, '1'));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_FALSE(items[0].good);
  // And the reader is usable again.
  items = reader.Feed(BuildFrame("02", "1009"));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_TRUE(items[0].good);
}

}  // namespace
}  // namespace vecr
