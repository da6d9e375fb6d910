// The converter's entry: the lines of a document in the command language
// become the lines of the native command file "KB.txt". Nothing here reads
// or writes a file: the caller reads the document once and writes what the
// result says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/date_time.h"
#include "settings/options.h"
#include "language/receipt_facts.h"

namespace convert {

// What the program knows of the printer when it converts.
struct PrinterState {
  bool rtMode = false;
  std::string printerSerial;
  int taxCodeKind = 0;
};

// Everything a conversion reads from the rest of the program.
struct ConvertContext {
  // READ targets are built from these: the data directory (without a
  // trailing separator) and the separator the program joins paths with.
  std::string dataDir;
  char pathSeparator = '\\';
  int currentPort = 1;
  settings::Options options;
  settings::VatTable vat;
  PrinterState printer;
  settings::DateTime now;        // the converter's "now"
  char decimalSeparator = '.';   // of the display amounts
};

// What a conversion gives the document transmission, and the files it
// leaves behind, for the caller to write in this order.
struct ConversionResult {
  // 0 converted, 1 a conversion error. With 0 and no commands there is
  // nothing to send and no command file (missing or empty document, failed
  // OPFS adapter).
  int16_t result = 0;
  std::vector<std::string> commands;  // the lines of "KB.txt"
  language::ReceiptFacts facts;
  // The commands that close the receipt, by their index in `commands`.
  std::vector<size_t> closings;

  // "tempSL.txt" in the data directory: the XonXoff adapter's lines.
  std::optional<std::vector<std::string>> tempSL;
  // The OPFS adapter ran: the document is copied as it was to its path plus
  // ".txt" ("SR_DATI.001.txt"), then replaced by `rewrittenDocument`.
  bool opfsCopy = false;
  std::vector<std::string> rewrittenDocument;
  // Bytes below 0x20 of the document's texts, replaced by blanks.
  size_t controlBytesBlanked = 0;
  // Lines for the job's trace file (only with the trace option on).
  std::vector<std::string> traceLines;
  // Message box texts, in order.
  std::vector<std::string> messages;
};

// Converts the document `lines` as read (the same lines twice give the same
// result).
ConversionResult ConvertDocument(const std::vector<std::string>& lines, const ConvertContext& ctx);

// Which of the native `commands` close a receipt (the paid closing and the
// plain one), by index: a document already in native commands is read so.
std::vector<size_t> ClosingCommands(const std::vector<std::string>& commands);

// The result for a document file that does not exist.
ConversionResult ConvertMissingDocument(const ConvertContext& ctx);

// Joins the data directory and a file name with the context's separator.
std::string DataFile(const ConvertContext& ctx, const std::string& name);

}  // namespace convert
