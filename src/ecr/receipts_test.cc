// The test receipt and the receipt cancelling, byte for byte.
#include "ecr/receipts.h"

#include <gtest/gtest.h>

namespace ecr {
namespace {

TEST(ReceiptsTest, TestReceiptWithItsTwoOptions) {
  const std::string display = std::string(14, ' ') + "\x7f ";
  std::vector<std::string> lines = {
      "1109",
      "7007" + std::string(40, ' '),
      "7007ARTICOLO 1          " + display + "0,01",
      "310110122ARTICOLO 1            000000001",
      "3002106 STORNO",
      "7007STORNO              " + display + "0,01",
      "310140122ARTICOLO 1            000000001",
      "7007CONTANTI            " + display + "0,00",
      "300408CONTANTI000000000",
      "3011",
      "70081",
      "3013",
      "1109",
  };
  EXPECT_EQ(lines, TestReceiptCommands(false, false));
  for (const std::string& l : lines) {
    if (l.rfind("7007", 0) == 0) {
      EXPECT_EQ(44u, l.size()) << l;
    }
  }

  lines.erase(lines.begin() + 10);  // no drawer
  EXPECT_EQ(lines, TestReceiptCommands(false, true));
  lines.insert(lines.begin() + 10, "3017011");  // the logo
  EXPECT_EQ(lines, TestReceiptCommands(true, true));
}

TEST(ReceiptsTest, Cancel) {
  EXPECT_EQ((std::vector<std::string>{"7007" + std::string(40, ' '), "3001818Annull.transazione000000000", "3011",
                                      "3013"}),
            CancelReceiptCommands());
}

}  // namespace
}  // namespace ecr
