// Helpers shared by the fuzz targets: a private scratch directory, whole-file
// access, and a failure that libFuzzer records as a crash with its input.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fuzz {

// One directory per process, so parallel fuzzers never share files. The
// path is never freed: the clean-up at exit runs after static destructors.
inline const std::string& ScratchDir() {
  static const std::string* const dir = [] {
    auto p = std::filesystem::temp_directory_path() / ("quilo1-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(p);
    auto* path = new std::string(p.string());
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchDir(), ec);
    });
    return path;
  }();
  return *dir;
}

inline std::string Scratch(const std::string& name) { return ScratchDir() + "/" + name; }

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// The file's lines without their CR LF or LF.
inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::string text = ReadFile(path), line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// A broken invariant: libFuzzer keeps the input as a crash.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
}

}  // namespace fuzz
