// The two documents the program makes up itself in native commands: the
// test receipt of the main window and the cancelling of an open receipt.
#pragma once

#include <string>
#include <vector>

namespace ecr {

// The test receipt: an article, its reversal, a cash payment of nothing.
// `logo` prints the shop's logo (CheckStampaLogo); `noDrawer` leaves the cash
// drawer shut (chbNoInviaApCassetto).
std::vector<std::string> TestReceiptCommands(bool logo, bool noDrawer);

// Cancels whatever receipt a cut-off job may have left open ("Annulla Scontrino").
std::vector<std::string> CancelReceiptCommands();

}  // namespace ecr
