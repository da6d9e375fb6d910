// Exchange files: names, deletions with retry, SR_ERR, SR_MATR and FINESCO.
#include "service/exchange_files.h"

#include <cstdio>

#include "platform/system.h"
#include "service/test_stop.h"
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
  return fs_.Kind(PathOf(stem, port)) == platform::FileKind::kRegular;
}

bool ExchangeFiles::Present(const char* stem, int port) {
  return fs_.Kind(PathOf(stem, port)) != platform::FileKind::kMissing;
}

bool ExchangeFiles::DirectoryExists(const std::string& path) {
  return fs_.Kind(path) == platform::FileKind::kDirectory;
}

char ExchangeFiles::separator() const { return platform::PathSeparator(); }

bool ExchangeFiles::Retry(int* failures, const std::function<bool()>& step) {
  while (!step()) {
    if (++*failures >= kRetryLimit) return false;
    platform::RunUntil(loop_, [] { return false; }, kRetryPauseMs);
  }
  return true;
}

void ExchangeFiles::VerifyExistenceAndKill(const std::string& fileName) {
  std::string path = PathOf(fileName);
  if (fs_.Kind(path) != platform::FileKind::kMissing) fs_.RemoveFile(path);
}

void ExchangeFiles::Kill(const char* stem, bool fatal) {
  if (currentPort < 1 || currentPort > 4) return;
  const std::string path = PathOf(stem, currentPort);
  int failures = 0;
  if (fs_.Kind(path) == platform::FileKind::kMissing || Retry(&failures, [&] { return fs_.RemoveFile(path); }))
    return;
  if (fatal) {
    owner_.FatalFileError();
    return;
  }
  platform::LocalTime t = clock_.Now();
  char line[96];
  std::snprintf(line, sizeof line, "%02d/%02d/%04d %02d:%02d:%02d Errore nella Kill di %s\r\n", t.day,
                t.month, t.year, t.hour, t.minute, t.second, stem);
  std::string error;
  fs_.AppendFile(PathOf("LOGFILE.TXT"), line, false, &error);
}

void ExchangeFiles::SubKillStartFile() {
  if (currentPort < 1 || currentPort > 4) return;
  std::string start = PathOf(kStart, currentPort);
  std::string err = PathOf(kErr, currentPort);
  int failures = 0;
  auto step = [&](const std::function<bool()>& fn) {
    if (Retry(&failures, fn)) return true;
    owner_.FatalFileError();
    return false;
  };
  std::string error;
  if (fs_.Kind(start) == platform::FileKind::kMissing) return;
  TestStopPoint("before-start-delete");
  if (!step([&] { return fs_.RemoveFile(start); })) return;
  if (fs_.Kind(err) != platform::FileKind::kMissing) return;
  TestStopPoint("before-finesco");
  step([&] { return fs_.WriteFile(PathOf(kFinesco, currentPort), "finesco", &error); });
}

std::string ExchangeFiles::ErrorLine(const std::string& message) {
  std::string code = owner_.LastErrorCode();
  return code.empty() ? message : message + " : ERRORE " + code;
}

void ExchangeFiles::WriteErrText(const std::string& line, int iQualeCom) {
  if (iQualeCom < 1 || iQualeCom > 4) return;
  std::string error;
  if (!fs_.WriteFile(PathOf(kErr, iQualeCom), line + "\r\n", &error)) LogWriteFailure(kErr, iQualeCom, error);
}

void ExchangeFiles::WriteMatrFile(const ecr::PrinterIdentity& printer) {
  std::string text = printer.serialField + "\r\n" + printer.status + "\r\n" + "DriverType: Custom\r\n" + "Versione: " +
                     VersionText() + "\r\n" + "FW: " + printer.firmwareVersion + "\r\n";
  std::string error;
  if (currentPort >= 1 && currentPort <= 4 && !fs_.WriteFile(PathOf(kMatr, currentPort), text, &error))
    LogWriteFailure(kMatr, currentPort, error);
}

void ExchangeFiles::LogWriteFailure(const char* stem, int port, const std::string& error) {
  owner_.Log("File non scritto: " + ExchangeFileName(stem, port) + " : " + error);
}

std::string ExchangeFiles::RemovePlantedLinks(int port) {
  std::string names;
  for (const char* stem : {kStart, kDati, kOut, kErr, kFinesco, kMatr}) {
    const std::string name = ExchangeFileName(stem, port);
    if (fs_.Kind(PathOf(name)) != platform::FileKind::kOther) continue;
    fs_.RemoveFile(PathOf(name));
    owner_.Log("Collegamento rifiutato e rimosso: " + name);
    names += (names.empty() ? "" : ", ") + name;
  }
  return names;
}

}  // namespace service
