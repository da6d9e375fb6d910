// The exchange files of the four ports: their names, and the operations that
// delete and write them with the retry rules the hosts rely on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ecr/dump.h"
#include "platform/event_loop.h"
#include "platform/clock.h"
#include "platform/file_system.h"

namespace service {

// Stems of the six files of a port; the extension is the port number.
inline constexpr const char* kStart = "SR_START";
inline constexpr const char* kDati = "SR_DATI";
inline constexpr const char* kOut = "SR_OUT";
inline constexpr const char* kErr = "SR_ERR";
inline constexpr const char* kFinesco = "FINESCO";
inline constexpr const char* kMatr = "SR_MATR";

// "SR_START.001" for port 1.
std::string ExchangeFileName(const char* stem, int port);

class ExchangeFiles {
 public:
  // Failed steps are retried this often, this far apart.
  static constexpr int kRetryLimit = 20;
  static constexpr int kRetryPauseMs = 500;

  // What the file steps need from the program around them.
  class Owner {
   public:
    virtual ~Owner() = default;
    // The link's error code of the last exchange, appended to error files.
    virtual std::string LastErrorCode() = 0;
    // A start or data file that cannot be deleted ends the program at once,
    // after the settings have been saved.
    virtual void FatalFileError() = 0;
    // A line for the operator's log (a file that could not be written).
    virtual void Log(const std::string& text) = 0;
  };

  ExchangeFiles(platform::EventLoop& loop, platform::FileSystem& fs, platform::Clock& clock, Owner& owner)
      : loop_(loop), fs_(fs), clock_(clock), owner_(owner) {}

  void SetDataDir(const std::string& dir) { dataDir_ = dir; }
  const std::string& dataDir() const { return dataDir_; }
  // The data directory joined with a file name.
  std::string PathOf(const std::string& name) const;
  std::string PathOf(const char* stem, int port) const { return PathOf(prefix_ + ExchangeFileName(stem, port)); }
  // Names of the files of a job that is not the host's ("HTTP_": HTTP_SR_OUT.001).
  void SetNamePrefix(const std::string& prefix) { prefix_ = prefix; }
  // A regular file (a folder or a link is not one).
  bool Exists(const char* stem, int port);
  // Anything at all under the name.
  bool Present(const char* stem, int port);
  bool DirectoryExists(const std::string& path);
  char separator() const;

  // Port whose files the operations below act on; 1 to 4, else they do nothing.
  int16_t currentPort = 0;
  // Deletes the file if it exists; errors are ignored.
  void VerifyExistenceAndKill(const std::string& fileName);
  void SubKillErrFile() { Kill(kErr, false); }
  void SubKillFileOut() { Kill(kOut, false); }
  void SubKillDatiFile() { Kill(kDati, true); }
  // Ends a job on the file side: deletes SR_START and, when there is no
  // SR_ERR, writes FINESCO. Does nothing more when SR_START is missing.
  void SubKillStartFile();
  // Writes SR_ERR of `iQualeCom`; never fails towards the caller.
  void WriteErrFile(const std::string& cErrMesg, int iQualeCom) { WriteErrText(ErrorLine(cErrMesg), iQualeCom); }
  // The line WriteErrFile writes: the message and the link's error code.
  std::string ErrorLine(const std::string& message);
  // Writes SR_ERR with exactly this line.
  void WriteErrText(const std::string& line, int port);
  // Writes SR_MATR of the current port for the identified printer.
  void WriteMatrFile(const ecr::PrinterIdentity& printer);
  // A link, FIFO or device planted where one of the port's exchange files
  // goes is removed (never followed) and named; empty when there is none.
  std::string RemovePlantedLinks(int port);

 private:
  // Runs `step` until it succeeds; false once the call's failures reach the limit.
  bool Retry(int* failures, const std::function<bool()>& step);
  // Deletes the current port's file, retrying; a failure for good ends the
  // program when `fatal`, else it goes into LOGFILE.TXT.
  void Kill(const char* stem, bool fatal);
  void LogWriteFailure(const char* stem, int port, const std::string& error);

  platform::EventLoop& loop_;
  platform::FileSystem& fs_;
  platform::Clock& clock_;
  Owner& owner_;
  std::string dataDir_;
  std::string prefix_;
};

}  // namespace service
