// What the job service asks of the printer side: probing, the dump, the
// document transmission and single commands. Abstract so detection and
// outcome handling can be tested without a link.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ecr/dump.h"

namespace service {

class ExchangeFiles;

// The receipt's closing as the job journal sees it, filled by SendDocument.
struct ClosingWatch {
  // Called once, just before the command that closes the receipt goes out,
  // with the printer's receipt counter before it (-1 when unknown).
  std::function<void(int counterBefore)> aboutToClose;
  // Set once it was called.
  bool sent = false;
  int counterBefore = -1;
  // A line that goes into a receipt was sent: the printer may hold a receipt
  // of ours open until its closing is answered.
  bool printed = false;
  bool answered = false;
  // A document with no line to print (blank, or nothing the conversion
  // understood) is refused unsent, ecr::kDocumentNothingToPrint: a stamp
  // would report the receipt before it.
  bool refuseNothingToPrint = false;
};

class JobPrinter {
 public:
  virtual ~JobPrinter() = default;

  // Programs the serial port of `port` without opening it; true when usable.
  virtual bool ProbePort(int16_t port) = 0;
  // Opens the port for single commands.
  virtual void OpenPort(int16_t port) = 0;
  virtual void ClosePort(int16_t port) = 0;
  // Opens the port, runs the configuration dump (its trace file goes into
  // `dataDir`), closes the port. Returns the dump result, 0 success.
  virtual int16_t RunDump(int16_t port, const std::string& dataDir) = 0;
  // What the dumps found out; the job printer is its one owner.
  virtual const ecr::PrinterIdentity& identity() const = 0;
  // Converts the document (unless `sendAsIs`: native commands already) and
  // sends it, writing the port's SR_OUT and the records of the conversion
  // in the data directory of `files`. `lines` are `bytes` split. Returns the
  // document status and, for status 99, the error description.
  virtual int16_t SendDocument(int16_t port, ExchangeFiles& files, const std::vector<std::string>& lines,
                               const std::string& bytes, bool sendAsIs, ClosingWatch& closing,
                               std::string* errorDetail) = 0;
  // The receipt counter ("1004"), -1 when it cannot be read.
  virtual int ReadReceiptCounter(int16_t port) = 0;
  // Whether the printer holds a receipt open: 1 yes, 0 no, -1 it does not say.
  // Asked only when a crash left a closing unverified, never inside a job.
  virtual int ReceiptOpen(int16_t) { return -1; }
  // Cancels the receipt the printer holds open; false when a command of it
  // was not taken.
  virtual bool CancelReceipt(int16_t port) = 0;
  // The last receipt counter the printer told, -1 when unknown (a receipt
  // closed since, or a daily closing); read again after every identification
  // and before a document when unknown.
  virtual int LastKnownReceiptCounter() const = 0;
  // Appends the receipt stamp (time, date and number, version, totals) read
  // from the printer to the port's SR_OUT; false when it could not be read.
  virtual bool AppendReceiptStamp(int16_t port, ExchangeFiles& files) = 0;
  // One native command on the current port.
  virtual int16_t Send(const std::string& command) = 0;
  virtual std::string LastErrorCode() = 0;
  // Ends the running exchange and every later wait (closing).
  virtual void RaiseTimedOut() = 0;
  // The closing has cut the link's waits short.
  virtual bool Closing() = 0;
  // How many paper ends were waited out since the start.
  virtual uint64_t PaperEndWaits() const = 0;
  virtual bool CheckStatusFirst() = 0;
  // Trace lines of the exchanges go here while set.
  virtual void SetTraceSink(std::function<void(const std::string&)> sink) = 0;
};

}  // namespace service
