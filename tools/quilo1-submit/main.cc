// quilo1-submit: hands one document to a running Quilo1 through a port's
// exchange files, as a host application does, and waits for the answer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "claim.h"
#include "platform/dir_watcher.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "quilo1-submit [--data-dir DIR] [--port N] [--timeout SECONDS] FILE|-\n"
    "  Takes the port for itself (a lock on SR_LOCK.00N in the data directory, held\n"
    "  until the answer is read; another submit on that port waits for it), writes\n"
    "  FILE (or standard input for -) as SR_DATI.00N in Quilo1's data directory (a\n"
    "  new temporary name, then a rename that never replaces), then an empty\n"
    "  SR_START.00N, and waits for the program's answer, taken once SR_START.00N is\n"
    "  gone. Answers are read only as regular files up to 1 MiB.\n"
    "  Exit status: 0 FINESCO came: SR_OUT's content is written to standard output;\n"
    "  1 SR_ERR came: its line is written to standard error; 2 no answer within the\n"
    "  time-out (the exchange files are left as they are); 3 SR_START.00N already\n"
    "  exists, or another submit held the port for the whole time-out (a job of that\n"
    "  port is still waiting; nothing is written); 4 bad usage, a file that cannot be\n"
    "  read or written, an answer that is not a regular file or is too large, or an\n"
    "  SR_DATI.00N left by another user that this one cannot remove.\n"
    "  --data-dir DIR   Quilo1's data directory (default: the current directory)\n"
    "  --port N         the port, 1 to 4 (default 1)\n"
    "  --timeout S      seconds to wait for the port, then as many for the answer\n"
    "                   (default 120)\n";

// SR_OUT holds a few lines; anything larger is not an answer of the program.
constexpr size_t kMaxAnswerBytes = 1u << 20;

// A document another submit has just put in place gets its SR_START within
// milliseconds; one older than this without it is left from an earlier job.
constexpr int64_t kClaimGraceMs = 3000;

std::string Name(const char* stem, int port) {
  char ext[8];
  std::snprintf(ext, sizeof ext, ".%03d", port);
  return std::string(stem) + ext;
}

bool ReadAll(const fs::path& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Fail(const std::string& text, int status) {
  std::cerr << "quilo1-submit: " << text << "\n";
  return status;
}

// Why an answer file was not taken, in words.
std::string Why(platform::ReadStatus status, const std::string& error) {
  switch (status) {
    case platform::ReadStatus::kNotRegular:
      return "not a regular file (a link, a FIFO or a device)";
    case platform::ReadStatus::kTooLarge:
      return "larger than 1 MiB";
    default:
      return error.empty() ? "cannot be read" : error;
  }
}

// A name nobody can plant a link at beforehand.
std::string TemporaryName(int port) {
  std::random_device random;
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".%08x%08x.tmp", unsigned(random()), unsigned(random()));
  return "~" + Name("SR_DATI", port) + suffix;
}

bool Young(const fs::path& path) {
  std::error_code ec;
  const auto written = fs::last_write_time(path, ec);
  if (ec) return false;
  const auto age = fs::file_time_type::clock::now() - written;
  return age < std::chrono::milliseconds(kClaimGraceMs);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  fs::path dir = ".";
  int port = 1;
  long timeoutS = 120;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--data-dir" && hasValue) {
      dir = argv[++i];
    } else if (arg == "--port" && hasValue) {
      port = std::atoi(argv[++i]);
    } else if (arg == "--timeout" && hasValue) {
      timeoutS = std::atol(argv[++i]);
    } else if (file.empty() && (arg == "-" || arg[0] != '-')) {
      file = arg;
    } else {
      std::cerr << kUsage;
      return 4;
    }
  }
  if (file.empty() || port < 1 || port > 4 || timeoutS < 1) {
    std::cerr << kUsage;
    return 4;
  }

  std::string document;
  if (file == "-") {
    std::ostringstream all;
    all << std::cin.rdbuf();
    document = all.str();
  } else if (!ReadAll(file, &document)) {
    return Fail("cannot read " + file, 4);
  }

  auto files = platform::FileSystem::CreateReal();
  auto there = [&](const fs::path& p) { return files->Kind(p.string()) != platform::FileKind::kMissing; };
  const fs::path start = dir / Name("SR_START", port), dati = dir / Name("SR_DATI", port),
                 finesco = dir / Name("FINESCO", port), err = dir / Name("SR_ERR", port),
                 out = dir / Name("SR_OUT", port);
  const std::string busy = start.string() + " already exists: a job of port " + std::to_string(port) + " is waiting";

  // The port is ours from before the document is written until its answer
  // has been read: a second submit waits here rather than take the port
  // between our job's end and our reading of its answer.
  std::string error;
  const fs::path lockPath = dir / Name("SR_LOCK", port);
  submit::ClaimResult held = submit::ClaimResult::kFailed;
  const auto portLock = submit::PortLock::Take(lockPath.string(), int64_t(timeoutS) * 1000, &held, &error);
  if (held == submit::ClaimResult::kTaken)
    return Fail("another submit held port " + std::to_string(port) + " for " + std::to_string(timeoutS) +
                    " s; nothing is written",
                3);
  if (!portLock) {
    const std::string owner = submit::OtherOwner(lockPath.string());
    return Fail("cannot lock " + lockPath.string() + ": " + error + (owner.empty() ? "" : " (belongs to " + owner + ")"),
                4);
  }
  if (there(start)) return Fail(busy, 3);

  auto loop = platform::EventLoop::Create();
  bool started = false;
  int result = -1;
  std::string answer, problem;
  // One look at the answer files: after writing and after each change. The
  // answer is there once the program has taken SR_START away: while it is
  // there, FINESCO or SR_ERR can be an earlier job's and SR_ERR can be the
  // paper-end notice of a job that goes on. Reads never wait: a FIFO or a
  // device planted at an answer's name is refused, not opened for good.
  auto check = [&] {
    if (!started || result >= 0 || there(start)) return;
    std::string error;
    if (there(finesco)) {
      auto status = files->ReadFile(out.string(), kMaxAnswerBytes, &answer, &error);
      if (status == platform::ReadStatus::kOk || status == platform::ReadStatus::kMissing) {
        if (status == platform::ReadStatus::kMissing) answer.clear();
        result = 0;
      } else {
        problem = "the job ended with " + finesco.filename().string() + ", but " + out.string() + " was not read: " +
                  Why(status, error);
        result = 4;
      }
    } else if (there(err)) {
      auto status = files->ReadFile(err.string(), kMaxAnswerBytes, &answer, &error);
      if (status == platform::ReadStatus::kOk) {
        result = 1;
      } else if (status != platform::ReadStatus::kMissing && status != platform::ReadStatus::kBusy) {
        problem = err.string() + " was not read: " + Why(status, error);
        result = 4;
      }
    }
  };
  auto watcher = platform::DirChangeSource::Open(*loop, dir.string(), false, [&](uint32_t) { check(); });
  if (!watcher) return Fail("cannot watch " + dir.string(), 4);

  // The program reads SR_DATI once SR_START is there: a whole file or none.
  // The file is made under a new random name (never through a link planted
  // at a known one) and moved into place only if no SR_DATI is there, so
  // two submits on one port cannot swap their documents.
  fs::path temp;
  bool made = false;
  for (int attempt = 0; attempt < 8 && !made; ++attempt) {
    temp = dir / TemporaryName(port);
    made = files->CreateFile(temp.string(), document, &error);
    if (!made && !there(temp)) break;
  }
  if (!made) return Fail("cannot write " + temp.string() + ": " + error, 4);
  auto drop = [&](const std::string& text, int status) {
    files->RemoveFile(temp.string());
    return Fail(text, status);
  };
  submit::ClaimResult claim = submit::MoveIfFree(temp.string(), dati.string(), &error);
  if (claim == submit::ClaimResult::kTaken) {
    // Either another submit is between its SR_DATI and its SR_START, or the
    // document of an earlier job was left (after an SR_ERR it stays).
    if (Young(dati))
      platform::RunUntil(*loop, [&] { return there(start) || !there(dati); },
                         std::min<int64_t>(kClaimGraceMs, int64_t(timeoutS) * 1000));
    if (there(start)) return drop(busy, 3);
    if (!files->RemoveFile(dati.string())) {
      const std::string owner = submit::OtherOwner(dati.string());
      if (!owner.empty())
        return drop(dati.string() + " belongs to another user (" + owner + "), left from an earlier job, and blocks port " +
                        std::to_string(port) + ": ask that user or the administrator to remove it",
                    4);
      return drop(dati.string() + " is left from an earlier job and cannot be removed; it blocks port " +
                      std::to_string(port) + ": ask the administrator to remove it",
                  4);
    }
    claim = submit::MoveIfFree(temp.string(), dati.string(), &error);
    if (claim == submit::ClaimResult::kTaken)
      return drop("another submit has just taken port " + std::to_string(port) + "; nothing is written", 3);
  }
  if (claim != submit::ClaimResult::kDone) return drop("cannot write " + dati.string() + ": " + error, 4);

  if (!files->CreateFile(start.string(), "", &error)) {
    if (there(start)) return Fail(busy, 3);
    return Fail("cannot write " + start.string() + ": " + error, 4);
  }
  started = true;
  check();
  platform::RunUntil(*loop, [&] { return result >= 0; }, int64_t(timeoutS) * 1000);

  if (result == 0) {
    std::cout.write(answer.data(), std::streamsize(answer.size()));
    return 0;
  }
  if (result == 1) {
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    std::cerr << answer << "\n";
    return 1;
  }
  if (result == 4) return Fail(problem, 4);
  return Fail("no answer from Quilo1 on port " + std::to_string(port) + " within " + std::to_string(timeoutS) + " s", 2);
}
