// The converter's entry: a document in the command language becomes the
// native command file "KB.txt" in the data directory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/system.h"
#include "settings/options.h"

namespace convert {

// What the program knows of the printer when it converts.
struct PrinterState {
  bool rtMode = false;
  std::string printerSerial;
  int taxCodeKind = 0;
};

// Everything a conversion reads from the rest of the program.
struct ConvertContext {
  std::string dataDir;  // without a trailing separator
  int currentPort = 1;
  settings::Options options;
  settings::VatTable vat;
  PrinterState printer;
  platform::LocalTime now;       // the converter's "now"
  char decimalSeparator = '.';   // of the display amounts
  // The 200 ms pause before the OPFS adapter runs (the link's Attendi).
  std::function<void(int ms)> pause;
  // Message boxes ("Il file SR_DATI non esiste").
  std::function<void(const std::string&)> message;
  // Writes one line, after its time stamp, into the job's open trace file; empty when none is open.
  std::function<void(const std::string&)> trace;
};

// What a conversion gives the document transmission.
struct ConversionResult {
  // 0 when the output file exists after the conversion, 1 on a conversion error.
  int16_t result = 0;
  std::string outputPath;  // the "KB.txt" written, empty when none
  bool paymentSeen = false;
  bool invoiceMode = false;
  bool functionDocument = false;
  bool cashDue = false;
  bool chequeDue = false;
  bool cardDue = false;
  bool otherDue = false;
  std::string paymentText;
};

// Converts the document at `documentPath` (through "tempSL.txt" when the
// XonXoff option is on) into "KB.txt" in the data directory.
ConversionResult ConvertDocument(const std::string& documentPath, const ConvertContext& ctx);

// Joins the data directory and a file name with the platform's separator.
std::string DataFile(const ConvertContext& ctx, const std::string& name);

}  // namespace convert
