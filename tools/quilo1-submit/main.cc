// quilo1-submit: hands one document to a running Quilo1 through a port's
// exchange files, as a host application does, and waits for the answer.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "platform/dir_watcher.h"
#include "platform/event_loop.h"

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "quilo1-submit [--data-dir DIR] [--port N] [--timeout SECONDS] FILE|-\n"
    "  Writes FILE (or standard input for -) as SR_DATI.00N in Quilo1's data\n"
    "  directory (a temporary name, then a rename), then an empty SR_START.00N, and\n"
    "  waits for the program's answer, taken once SR_START.00N is gone. FINESCO.00N\n"
    "  and SR_ERR.00N left from an earlier job are deleted first where allowed.\n"
    "  Exit status: 0 FINESCO came: SR_OUT's content is written to standard output;\n"
    "  1 SR_ERR came: its line is written to standard error; 2 no answer within the\n"
    "  time-out (the exchange files are left as they are); 3 SR_START.00N already\n"
    "  exists (a job of that port is still waiting; nothing is written); 4 bad usage\n"
    "  or a file that cannot be read or written.\n"
    "  --data-dir DIR   Quilo1's data directory (default: the current directory)\n"
    "  --port N         the port, 1 to 4 (default 1)\n"
    "  --timeout S      seconds to wait for the answer (default 120)\n";

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

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

int Fail(const std::string& text, int status) {
  std::cerr << "quilo1-submit: " << text << "\n";
  return status;
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

  const fs::path start = dir / Name("SR_START", port), dati = dir / Name("SR_DATI", port),
                 finesco = dir / Name("FINESCO", port), err = dir / Name("SR_ERR", port),
                 out = dir / Name("SR_OUT", port);
  if (Exists(start)) return Fail(start.string() + " already exists: a job of port " + std::to_string(port) + " is waiting", 3);

  std::error_code ec;
  fs::remove(finesco, ec);
  fs::remove(err, ec);
  // The program reads SR_DATI once SR_START is there: a whole file or none.
  const fs::path temp = dir / ("~" + Name("SR_DATI", port) + ".tmp");
  {
    std::ofstream o(temp, std::ios::binary | std::ios::trunc);
    o.write(document.data(), std::streamsize(document.size()));
    o.close();
    if (!o) return Fail("cannot write " + temp.string(), 4);
  }
  fs::rename(temp, dati, ec);
  if (ec) {
    fs::remove(temp, ec);
    return Fail("cannot write " + dati.string(), 4);
  }

  auto loop = platform::EventLoop::Create();
  int result = -1;
  std::string answer;
  // One look at the answer files: after writing and after each change. The
  // answer is there once the program has taken SR_START away: while it is
  // there, FINESCO or SR_ERR can be an earlier job's (a shared data folder
  // may not let us delete them) and SR_ERR can be the paper-end notice of a
  // job that goes on.
  auto check = [&] {
    if (result >= 0 || Exists(start)) return;
    if (Exists(finesco)) {
      if (!ReadAll(out, &answer)) answer.clear();
      result = 0;
    } else if (Exists(err) && ReadAll(err, &answer)) {
      result = 1;
    }
  };
  auto watcher = platform::DirChangeSource::Open(*loop, dir.string(), false, [&](uint32_t) { check(); });
  if (!watcher) return Fail("cannot watch " + dir.string(), 4);

  {
    std::ofstream s(start, std::ios::binary | std::ios::trunc);
    s.close();
    if (!s) return Fail("cannot write " + start.string(), 4);
  }
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
  return Fail("no answer from Quilo1 on port " + std::to_string(port) + " within " + std::to_string(timeoutS) + " s", 2);
}
