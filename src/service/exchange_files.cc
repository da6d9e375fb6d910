// Exchange files: names, deletions with retry, SR_ERR, SR_MATR and FINESCO.
#include "service/exchange_files.h"

#include <cstdio>

#include "platform/system.h"
#include "service/version.h"

namespace service {

std::string ExchangeFileName(const char* stem, int port) {
  char ext[8];
  std::snprintf(ext, sizeof ext, ".%03d", port);
  return std::string(stem) + ext;
}

std::string ExchangeFiles::PathOf(const std::string& name) const {
  return dataDir_ + platform::PathSeparator() + name;
}

bool ExchangeFiles::Exists(const char* stem, int port) {
  bool exists = false;
  fs_.Exists(PathOf(stem, port), &exists);
  return exists;
}

void ExchangeFiles::Pause(int64_t ms) {
  bool done = false;
  int id = loop_.AddTimer(ms, [&done] { done = true; });
  platform::RunUntil(loop_, [&done] { return done; }, -1);
  loop_.CancelTimer(id);
}

bool ExchangeFiles::Retry(int* failures, const std::function<bool()>& step) {
  while (!step()) {
    if (++*failures >= kRetryLimit) return false;
    Pause(kRetryPauseMs);
  }
  return true;
}

void ExchangeFiles::VerifyExistenceAndKill(const std::string& fileName) {
  std::string path = PathOf(fileName);
  bool exists = false;
  if (fs_.Exists(path, &exists) && exists) fs_.Remove(path);
}

bool ExchangeFiles::KillWithRetry(const char* stem) {
  std::string path = PathOf(stem, currentPort);
  int failures = 0;
  bool exists = false;
  if (!Retry(&failures, [&] { return fs_.Exists(path, &exists); })) return false;
  if (!exists) return true;
  return Retry(&failures, [&] { return fs_.Remove(path); });
}

void ExchangeFiles::LogKillFailure(const char* stem) {
  platform::LocalTime t = platform::NowLocal();
  char line[96];
  std::snprintf(line, sizeof line, "%02d/%02d/%04d %02d:%02d:%02d Errore nella Kill di %s\r\n", t.day,
                t.month, t.year, t.hour, t.minute, t.second, stem);
  fs_.Append(PathOf("LOGFILE.TXT"), line);
}

void ExchangeFiles::SubKillErrFile() {
  if (currentPort < 1 || currentPort > 4) return;
  if (!KillWithRetry(kErr)) LogKillFailure(kErr);
}

void ExchangeFiles::SubKillFileOut() {
  if (currentPort < 1 || currentPort > 4) return;
  if (!KillWithRetry(kOut)) LogKillFailure(kOut);
}

void ExchangeFiles::SubKillDatiFile() {
  if (currentPort < 1 || currentPort > 4) return;
  if (!KillWithRetry(kDati)) owner_.FatalFileError();
}

void ExchangeFiles::SubKillStartFile() {
  if (currentPort < 1 || currentPort > 4) return;
  std::string start = PathOf(kStart, currentPort);
  std::string err = PathOf(kErr, currentPort);
  int failures = 0;
  bool exists = false;
  auto step = [&](const std::function<bool()>& fn) {
    if (Retry(&failures, fn)) return true;
    owner_.FatalFileError();
    return false;
  };
  if (!step([&] { return fs_.Exists(start, &exists); }) || !exists) return;
  if (!step([&] { return fs_.Remove(start); })) return;
  if (!step([&] { return fs_.Exists(err, &exists); }) || exists) return;
  step([&] { return fs_.Write(PathOf(kFinesco, currentPort), "finesco"); });
}

void ExchangeFiles::WriteErrFile(const std::string& cErrMesg, int iQualeCom) {
  if (iQualeCom < 1 || iQualeCom > 4) return;
  std::string code = owner_.LastErrorCode();
  std::string line = code.empty() ? cErrMesg : cErrMesg + " : ERRORE " + code;
  fs_.Write(PathOf(kErr, iQualeCom), line + "\r\n");
}

void ExchangeFiles::WriteMatrFile(const ecr::PrinterIdentity& printer) {
  std::string text = printer.serialField + "\r\n" + printer.status + "\r\n" + "DriverType: Custom\r\n" + "Versione: " +
                     VersionText() + "\r\n" + "FW: " + printer.firmwareVersion + "\r\n";
  if (currentPort >= 1 && currentPort <= 4) fs_.Write(PathOf(kMatr, currentPort), text);
}

}  // namespace service
