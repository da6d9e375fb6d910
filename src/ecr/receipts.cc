// The native commands of the test receipt and of the receipt cancelling.
#include "ecr/receipts.h"

#include "ecr/transmission.h"

namespace ecr {

std::vector<std::string> TestReceiptCommands(bool logo, bool noDrawer) {
  std::vector<std::string> lines = {
      "1109",
      "7007" + std::string(40, ' '),
      "7007" + PaymentLine("ARTICOLO 1", "0,01"),
      "310110122ARTICOLO 1            000000001",
      "3002106 STORNO",
      "7007" + PaymentLine("STORNO", "0,01"),
      "310140122ARTICOLO 1            000000001",
      "7007" + PaymentLine("CONTANTI", "0,00"),
      "300408CONTANTI000000000",
      "3011",
  };
  if (logo) lines.push_back("3017011");
  if (!noDrawer) lines.push_back("70081");
  lines.push_back("3013");
  lines.push_back("1109");
  return lines;
}

std::vector<std::string> CancelReceiptCommands() {
  return {"7007" + std::string(40, ' '), "3001818Annull.transazione000000000", "3011", "3013"};
}

}  // namespace ecr
