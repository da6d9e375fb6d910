// quilo1-convert: runs the converter on one document, as a print job does,
// and writes the resulting native command file to standard output.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "convert/converter.h"
#include "platform/system.h"

namespace {

const char kUsage[] =
    "quilo1-convert [options] DOCUMENT\n"
    "  Converts DOCUMENT as a print job would and writes the bytes of the resulting\n"
    "  native command file (KB.txt) to standard output.\n"
    "  Exit status: 0 converted; 1 conversion error (the converter's result 1);\n"
    "  3 the converter returned 0 without writing an output file (missing or empty\n"
    "  document, failed OPFS adapter); 2 bad usage. Message texts go to standard error.\n"
    "  --data-dir DIR      data directory: KB.txt and tempSL.txt are written there and\n"
    "                      READ targets are built from it (default: a temporary directory)\n"
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

bool ParseNow(const std::string& s, platform::LocalTime* t) {
  if (s.size() != 14) return false;
  auto part = [&](size_t at, size_t len, int lo, int hi, int* out) {
    return ParseInt(s.substr(at, len), lo, hi, out);
  };
  return part(0, 4, 1, 9999, &t->year) && part(4, 2, 1, 12, &t->month) && part(6, 2, 1, 31, &t->day) &&
         part(8, 2, 0, 23, &t->hour) && part(10, 2, 0, 59, &t->minute) && part(12, 2, 0, 59, &t->second);
}

// A fresh directory of our own under the system's temporary directory.
std::string MakeTempDir() {
  std::random_device rd;
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) return "";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path p = base / ("quilo1-convert-" + std::to_string(rd()));
    if (std::filesystem::create_directory(p, ec)) return p.string();
  }
  return "";
}

int Run(int argc, char** argv, std::string* tempDir) {
  convert::ConvertContext ctx;
  ctx.now = platform::NowLocal();
  ctx.decimalSeparator = platform::DecimalSeparator();
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

  if (!haveDataDir) {
    *tempDir = MakeTempDir();
    if (tempDir->empty()) {
      std::fprintf(stderr, "quilo1-convert: cannot create a temporary directory\n");
      return 1;
    }
    ctx.dataDir = *tempDir;
  }
  ctx.pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  ctx.message = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };

  convert::ConversionResult conversion = convert::ConvertDocument(document, ctx);
  if (conversion.result != 0) {
    std::fprintf(stderr, "quilo1-convert: conversion error\n");
    return 1;
  }
  if (conversion.outputPath.empty()) {
    std::fprintf(stderr, "quilo1-convert: no command file written\n");
    return 3;
  }
  std::FILE* f = std::fopen(conversion.outputPath.c_str(), "rb");
  if (!f) {
    std::fprintf(stderr, "quilo1-convert: cannot read %s\n", conversion.outputPath.c_str());
    return 3;
  }
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) std::fwrite(buf, 1, n, stdout);
  std::fclose(f);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::string tempDir;
  int status = Run(argc, argv, &tempDir);
  if (!tempDir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(tempDir, ec);
  }
  return status;
}
