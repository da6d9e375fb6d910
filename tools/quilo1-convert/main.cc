// quilo1-convert: runs the converter on one document, as a print job does,
// and writes the resulting native command file to standard output.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#endif

#include "convert/converter.h"
#include "language/language.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "settings/document.h"

namespace {

const char kUsage[] =
    "quilo1-convert [options] DOCUMENT\n"
    "  Converts DOCUMENT as a print job would and writes the bytes of the resulting\n"
    "  native command file (KB.txt) to standard output.\n"
    "  Exit status: 0 converted; 1 conversion error (the converter's result 1);\n"
    "  3 the converter returned 0 without writing an output file (missing or empty\n"
    "  document, failed OPFS adapter), or DOCUMENT is no regular file or over 1 MiB;\n"
    "  2 bad usage. Message texts go to standard error.\n"
    "  --data-dir DIR      data directory: KB.txt and tempSL.txt are written there and\n"
    "                      READ targets are built from it (default: READ targets name a\n"
    "                      temporary directory and nothing is written)\n"
    "  --port N            the current port, 1 to 4 (default 1)\n"
    "  --rt-mode           the printer is in RT mode\n"
    "  --printer-serial S  the printer's serial number\n"
    "  --tax-code-kind N   the printer's model digit (default 0)\n"
    "  --option NAME       turns one main-window option on; repeatable. NAME is one of\n"
    "                      chbConvXonXoff, OptNonFiscal (otherwise OptFiscal is selected),\n"
    "                      CheckStampaLogo, chbNoInviaApCassetto, chkDisableDisplay,\n"
    "                      chbInversioneScontiSuReso, chbPagamentiEstesi, chkCodFisc,\n"
    "                      chkForzaIntestazioneFattura. All are off unless given.\n"
    "  --vat R0,R1,R2,R3,R4  VAT table slots 0 to 4, hundredths of a percent\n"
    "                      (default 400,1000,2200,3600,0)\n"
    "  --now YYYYMMDDhhmmss  the date and time the converter takes as now\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "quilo1-convert: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

bool ParseInt(const std::string& s, int lo, int hi, int* out) {
  if (s.empty() || s.size() > 9) return false;
  int v = 0;
  for (char ch : s) {
    if (ch < '0' || ch > '9') return false;
    v = v * 10 + (ch - '0');
  }
  if (v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool SetOption(settings::Options& o, const std::string& name) {
  struct Entry {
    const char* name;
    bool settings::Options::*member;
  };
  static const Entry kOptions[] = {
      {"chbConvXonXoff", &settings::Options::chbConvXonXoff},
      {"OptNonFiscal", &settings::Options::OptNonFiscal},
      {"CheckStampaLogo", &settings::Options::CheckStampaLogo},
      {"chbNoInviaApCassetto", &settings::Options::chbNoInviaApCassetto},
      {"chkDisableDisplay", &settings::Options::chkDisableDisplay},
      {"chbInversioneScontiSuReso", &settings::Options::chbInversioneScontiSuReso},
      {"chbPagamentiEstesi", &settings::Options::chbPagamentiEstesi},
      {"chkCodFisc", &settings::Options::chkCodFisc},
      {"chkForzaIntestazioneFattura", &settings::Options::chkForzaIntestazioneFattura},
  };
  for (const Entry& e : kOptions)
    if (name == e.name) {
      o.*e.member = true;
      return true;
    }
  return false;
}

bool ParseVat(const std::string& s, settings::VatTable* vat) {
  std::vector<int> rates;
  size_t start = 0;
  for (;;) {
    size_t comma = s.find(',', start);
    int v = 0;
    if (!ParseInt(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start), 0, 100000, &v))
      return false;
    rates.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (rates.size() != 5) return false;
  for (size_t i = 0; i < 5; ++i) vat->slot[i] = rates[i];
  return true;
}

bool ParseNow(const std::string& s, settings::DateTime* t) {
  if (s.size() != 14) return false;
  auto part = [&](size_t at, size_t len, int lo, int hi, int* out) {
    return ParseInt(s.substr(at, len), lo, hi, out);
  };
  return part(0, 4, 1, 9999, &t->year) && part(4, 2, 1, 12, &t->month) && part(6, 2, 1, 31, &t->day) &&
         part(8, 2, 0, 23, &t->hour) && part(10, 2, 0, 59, &t->minute) && part(12, 2, 0, 59, &t->second);
}

// Documents are receipts: anything bigger is no document of ours.
constexpr std::uintmax_t kMaxDocument = 1 << 20;

// Where READ targets point without --data-dir: a name of our own under the
// system's temporary directory. Nothing is written there.
std::string TempDataDir() {
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) base = ".";
  return (base / ("quilo1-convert-" + std::to_string(std::random_device()()))).string();
}

enum class Input { kRead, kMissing, kRefused, kUnreadable };

// Reads the whole document. Only a regular file is opened, so a FIFO or a
// device never blocks the tool.
Input ReadInput(const std::string& path, std::string* bytes) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st)) return Input::kMissing;
  if (!fs::is_regular_file(st)) {
    std::fprintf(stderr, "quilo1-convert: %s is not a regular file\n", path.c_str());
    return Input::kRefused;
  }
  const std::uintmax_t size = fs::file_size(path, ec);
  if (!ec && size > kMaxDocument) {
    std::fprintf(stderr, "quilo1-convert: %s is larger than 1 MiB\n", path.c_str());
    return Input::kRefused;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    std::fprintf(stderr, "quilo1-convert: cannot read %s\n", path.c_str());
    return Input::kUnreadable;
  }
  // One byte more than its size shows whether it grew meanwhile.
  const std::uintmax_t expected = ec ? kMaxDocument : size;
  bytes->resize(expected + 1);
  const size_t n = std::fread(bytes->data(), 1, bytes->size(), f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  bytes->resize(n);
  if (failed) {
    std::fprintf(stderr, "quilo1-convert: cannot read %s\n", path.c_str());
    return Input::kUnreadable;
  }
  if (n > kMaxDocument) {
    std::fprintf(stderr, "quilo1-convert: %s is larger than 1 MiB\n", path.c_str());
    return Input::kRefused;
  }
  if (n > expected) {
    std::fprintf(stderr, "quilo1-convert: %s changed while it was read\n", path.c_str());
    return Input::kRefused;
  }
  return Input::kRead;
}

// With --data-dir the tool leaves there what a print job leaves: the work
// file of the XonXoff option and the command file, never an earlier one.
bool WriteDataFiles(const convert::ConvertContext& ctx, const convert::ConversionResult& conversion) {
  const std::string kb = convert::DataFile(ctx, "KB.txt");
  std::unique_ptr<platform::FileSystem> fs = platform::FileSystem::CreateReal();
  fs->RemoveFile(kb);
  settings::FileError error;
  if (conversion.tempSL &&
      !settings::WriteDocument(*fs, convert::DataFile(ctx, "tempSL.txt"), *conversion.tempSL, false, &error))
    return false;
  if (conversion.result != 0 || conversion.commands.empty()) return true;
  return settings::WriteDocument(*fs, kb, conversion.commands, false, &error);
}

int Run(int argc, char** argv) {
  convert::ConvertContext ctx;
  const platform::LocalTime now = platform::NowLocal();
  ctx.now = {now.year, now.month, now.day, now.hour, now.minute, now.second};
  ctx.decimalSeparator = platform::DecimalSeparator();
  ctx.pathSeparator = platform::PathSeparator();
  std::string document;
  bool haveDataDir = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--rt-mode") {
      ctx.printer.rtMode = true;
    } else if (arg == "--data-dir") {
      if (!value(&v) || v.empty()) return Usage("--data-dir needs a directory");
      while (v.size() > 1 && (v.back() == '/' || v.back() == '\\')) v.pop_back();
      ctx.dataDir = v;
      haveDataDir = true;
    } else if (arg == "--port") {
      if (!value(&v) || !ParseInt(v, 1, 4, &ctx.currentPort)) return Usage("--port needs 1 to 4");
    } else if (arg == "--printer-serial") {
      if (!value(&v)) return Usage("--printer-serial needs a serial number");
      ctx.printer.printerSerial = v;
    } else if (arg == "--tax-code-kind") {
      if (!value(&v) || !ParseInt(v, 0, 9, &ctx.printer.taxCodeKind)) return Usage("--tax-code-kind needs a digit");
    } else if (arg == "--option") {
      if (!value(&v) || !SetOption(ctx.options, v)) return Usage("unknown --option " + v);
    } else if (arg == "--vat") {
      if (!value(&v) || !ParseVat(v, &ctx.vat)) return Usage("--vat needs five rates R0,R1,R2,R3,R4");
    } else if (arg == "--now") {
      if (!value(&v) || !ParseNow(v, &ctx.now)) return Usage("--now needs YYYYMMDDhhmmss");
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
      return Usage("unknown option " + arg);
    } else {
      if (arg == "--") {
        if (++i >= argc) return Usage("no document given");
      }
      if (!document.empty()) return Usage("only one document");
      document = argv[i];
    }
  }
  if (document.empty()) return Usage("no document given");

  if (!haveDataDir) ctx.dataDir = TempDataDir();

  std::string bytes;
  convert::ConversionResult conversion;
  switch (ReadInput(document, &bytes)) {
    case Input::kRead: conversion = convert::ConvertDocument(language::SplitLines(bytes), ctx); break;
    case Input::kMissing: conversion = convert::ConvertMissingDocument(ctx); break;
    case Input::kRefused: return 3;
    case Input::kUnreadable: return 1;
  }
  for (const std::string& text : conversion.messages) std::fprintf(stderr, "%s\n", text.c_str());
  if (haveDataDir && !WriteDataFiles(ctx, conversion)) conversion.result = 1;
  if (conversion.result != 0) {
    std::fprintf(stderr, "quilo1-convert: conversion error\n");
    return 1;
  }
  if (conversion.commands.empty()) {
    std::fprintf(stderr, "quilo1-convert: no command file written\n");
    return 3;
  }
#ifdef F_SETPIPE_SZ
  // A pipe that holds the whole output lets the tool end without waiting
  // for its reader to take each 64 KiB.
  size_t size = 0;
  for (const std::string& line : conversion.commands) size += line.size() + 2;
  if (size > 65536) fcntl(1, F_SETPIPE_SZ, static_cast<int>(size));
#endif
  // Written in pieces of 32 KiB: a buffer of the whole output would be as
  // many fresh pages to fault in as it has bytes to hold.
  constexpr size_t kPiece = 32 * 1024;
  std::string out;
  out.reserve(kPiece + 256);
  for (const std::string& line : conversion.commands) {
    out += line;
    out += "\r\n";
    if (out.size() >= kPiece) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  // As ninja does: exit here, and spare the release, one by one, of the
  // thousands of strings that a long document leaves.
  std::exit(std::fflush(stdout) == 0 ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  return Run(argc, argv);
}
