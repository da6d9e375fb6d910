// Printer registers and the receipt data lines, all built on single
// exchanges of the link and on the answer body it leaves behind.
#include "ecr/registers.h"

#include <cstdio>
#include <cstdlib>

#include "ecr/text.h"

namespace ecr {
namespace {

// Short answers may still have bytes on the way: take them once.
std::string Completed(EcrLink& link, size_t needed) {
  std::string answer = link.lastAnswer();
  if (answer.size() < needed) {
    answer += link.Input();
    link.SetLastAnswer(answer);
  }
  return answer;
}

void RestoreOpenState(EcrLink& link, bool wasOpen) {
  if (link.IsPortOpen() == wasOpen) return;
  if (wasOpen)
    link.Vexocx21_OpenPort();
  else
    link.Vexocx21_ClosePort();
}

}  // namespace

std::string ReadDataOra(EcrLink& link) {
  const bool wasOpen = link.IsPortOpen();
  std::string line;
  if (link.TrasmettiStringa("1001") == 0) {
    const std::string a = Completed(link, 14);
    if (a.size() >= 14) line = "REDT,D" + Mid(a, 5, 6) + ",T" + Mid(a, 11, 4) + ";";
  }
  RestoreOpenState(link, wasOpen);
  return line;
}

bool WriteDataOra(EcrLink& link, const std::string& dateTime) {
  const bool wasOpen = link.IsPortOpen();
  if (!wasOpen) link.Vexocx21_OpenPort();
  const std::string command = "2001" + Mid(dateTime, 1, 6) + Mid(dateTime, 7, 4);
  int budget = 5;
  int failed = 0;
  bool accepted = false;
  for (;;) {
    if (link.TrasmettiStringa(command) == 0) {
      if (Mid(link.lastAnswer(), 5, 1) == "0") {
        accepted = true;
        break;
      }
      if (--budget <= 0) break;
    } else {
      // A fiscal closing is due: no repeat can succeed.
      if (link.lastAnswer() == "ERR54" || link.lastErrorCode() == "54") break;
      if (++failed >= kWriteDataOraFailedExchanges) break;
    }
  }
  RestoreOpenState(link, wasOpen);
  return accepted;
}

std::string ReadGranTotale(EcrLink& link) {
  if (link.TrasmettiStringa("1105") != 0) return "";
  const std::string a = Completed(link, 14);
  if (a.size() < 14) return "";
  return "GRTO,V" + Mid(a, 5, 10) + ";";
}

std::string ReadNumeroAzzeramenti(EcrLink& link) {
  if (link.TrasmettiStringa("1104") != 0) return "";
  const std::string a = Completed(link, 12);
  if (a.size() < 12) return "";
  return Mid(a, 5, 4);
}

int ReceiptCounterOf(const std::string& answer) {
  if (answer.size() < 8 || answer.compare(0, 4, "1004") != 0) return -1;
  for (size_t i = 4; i < 8; ++i)
    if (answer[i] < '0' || answer[i] > '9') return -1;
  return std::atoi(answer.substr(4, 4).c_str());
}

bool WriteHeaderLines(EcrLink& link, const LineSink& out, const HeaderContext& ctx) {
  const settings::Options& options = link.options();
  char next[32];
  std::snprintf(next, sizeof next, "%04lld", static_cast<long long>(Val(ReadNumeroAzzeramenti(link)) + 1));

  link.SetLastAnswer("");
  if (options.chbDelayCompatibilita) link.Attendi(200);
  link.Input();
  if (link.TrasmettiStringa("1001") != 0) return false;
  std::string a = Completed(link, 14);
  if (a.size() < 14) return false;
  auto at = a.find("1001");
  if (at == std::string::npos) return true;
  a = a.substr(at);
  link.SetLastAnswer(a);

  out("TIME,CASS. 1 " + Mid(a, 11, 2) + ":" + Mid(a, 13, 2) + " CASSA   1 ,E,A1;");
  std::string date = "DATE," + Mid(a, 5, 2) + "/" + Mid(a, 7, 2) + "/" + Mid(a, 9, 2);

  if (options.chbDelayCompatibilita) link.Attendi(200);
  link.Input();
  link.SetLastAnswer("");
  if (link.TrasmettiStringa("1004") != 0) return true;
  std::string counters = link.lastAnswer();
  if (ctx.receiptCounter) *ctx.receiptCounter = ReceiptCounterOf(counters);
  if (counters.size() < 92) {
    link.Attendi(100);
    counters += link.Input();
    link.SetLastAnswer(counters);
  }
  if (counters.size() >= 92 && counters.find("1004") != std::string::npos) {
    const std::string receipt = Mid(counters, 5, 4);
    date += "  SCONTR. N." + (ctx.rtMode ? std::string(next) + "-" + receipt : receipt);
  }
  out(date + ",E,A1;");

  out("Versione " + std::to_string(ctx.version.major) + "." + std::to_string(ctx.version.minor) + ".0" + "." +
      std::to_string(ctx.version.revision));

  if (!options.chbDisabTotalizzatori) {
    out("GTOT,V" + std::to_string(Val(Mid(counters, 9, 9))) + ";");
    out(ReadGranTotale(link));
    out("NAZF,V" + ReadNumeroAzzeramenti(link) + ";");
  }
  if (ctx.storedRedtLine && !ctx.storedRedtLine->empty()) {
    out(*ctx.storedRedtLine);
    ctx.storedRedtLine->clear();
  }
  return true;
}

}  // namespace ecr
