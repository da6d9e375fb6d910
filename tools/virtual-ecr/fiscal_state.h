// The virtual printer's fiscal memory: counters and totals of the day, grand
// total, closings, clock offset and the receipt in progress. Kept in a small
// key=value file so a session can be resumed.
#pragma once

#include <cstdint>
#include <string>

namespace vecr {

enum class DocKind { kNone, kReceipt, kNonFiscal, kInvoice };
// What a fiscal receipt is: a sale, or a return or cancellation that refers
// to an earlier receipt.
enum class ReceiptKind { kSale, kReturn, kCancel };
// Receipt phases: items may be added until the first payment; after the
// closing command only trailer lines follow until the footer is printed.
enum class Phase { kItems, kPaying, kClosing };

struct OpenDocument {
  DocKind kind = DocKind::kNone;
  ReceiptKind receipt_kind = ReceiptKind::kSale;
  Phase phase = Phase::kItems;
  int64_t total = 0;  // cents, running total of the receipt
  int64_t paid = 0;
  int64_t not_paid = 0;  // credit and not-collected tenders
  int64_t surcharges = 0;
  int64_t discounts = 0;
  int64_t voids = 0;
  int64_t returns = 0;
  int items = 0;
  bool cancelled = false;
  bool total_printed = false;  // the total line is on the paper already
  // Rung up on the printer's own keys: the line's printing commands are
  // refused until it closes.
  bool keys = false;
  int64_t invoice_amount = 0;
  // The receipt's amounts per department, booked into the day's when it
  // closes, so a cancelled receipt leaves them untouched.
  int64_t departments[100] = {};
};

struct FiscalState {
  // Counters and totals of the day, reset by the fiscal closing.
  int receipt_number = 0;  // number of the last fiscal receipt of the day
  int64_t receipts_total = 0;
  int invoices_count = 0;
  int64_t invoices_total = 0;
  int tickets_count = 0;  // fiscal "ricevute"
  int64_t tickets_total = 0;
  int mf_count = 0;
  int64_t surcharges = 0;
  int64_t discounts = 0;
  int64_t voids = 0;
  int64_t returns = 0;
  int64_t not_paid = 0;
  // Payment totals of the day, for the financial report.
  int64_t cash = 0;
  int64_t cheques = 0;
  int64_t cards = 0;
  int64_t other_payments = 0;
  int64_t deposits = 0;
  int64_t withdrawals = 0;
  int64_t departments[100] = {};

  // Never reset.
  int64_t grand_total = 0;
  int closings = 0;
  int nonfiscal_number = 0;
  int64_t clock_offset = 0;  // seconds added to the real clock

  OpenDocument doc;
  int64_t last_total = 0;  // total of the last closed receipt

  // Zeroes the counters and totals of the day.
  void ResetDaily();
};

// Empty text on success, else why it failed. A missing file leaves `state`
// as it is and is not an error.
std::string LoadState(const std::string& path, FiscalState& state);
std::string SaveState(const std::string& path, const FiscalState& state);

std::string SerializeState(const FiscalState& state);
bool ParseState(const std::string& text, FiscalState& state);

}  // namespace vecr
