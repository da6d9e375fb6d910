// virtual-ecr's frame reader on any byte stream (byte 0 sets where the
// stream is cut into reads), with every good frame run by the printer: the
// frames found never depend on how the bytes were cut, a frame is taken only
// with its checksum, and the fiscal memory survives its state file.
#include <cstddef>
#include <cstdint>

#include "frame.h"
#include "fuzz_support.h"
#include "printer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t cut = size_t(data[0] % 16) + 1;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

  vecr::FrameReader whole, pieces;
  const auto items = whole.Feed(stream);
  std::vector<vecr::FrameReader::Item> pieced;
  for (size_t i = 0; i < stream.size(); i += cut)
    for (auto& item : pieces.Feed(stream.substr(i, cut))) pieced.push_back(std::move(item));
  fuzz::Check(items.size() == pieced.size(), "frames depend on the reads");

  vecr::Printer printer(vecr::PrinterConfig{}, [] { return std::time_t(1796640000); });
  for (size_t i = 0; i < items.size(); ++i) {
    const auto& item = items[i];
    fuzz::Check(item.raw == pieced[i].raw && item.good == pieced[i].good, "frames depend on the reads");
    fuzz::Check(item.raw.size() <= vecr::FrameReader::kMaxFrame + 1, "frame kept past its limit");
    if (!item.good) continue;
    fuzz::Check(vecr::BuildFrame(item.frame.sequence, item.frame.command).substr(1) == item.raw.substr(1) ||
                    item.frame.terminal != '0',
                "a frame taken with a wrong checksum");
    const std::string answer = printer.Execute(item.frame.command);
    fuzz::Check(answer.rfind("ERR", 0) == 0 || answer.compare(0, 4, item.frame.command.substr(0, 4)) == 0,
                "answer " + answer + " to " + item.frame.command);
  }
  vecr::FiscalState reread;
  fuzz::Check(vecr::ParseState(vecr::SerializeState(printer.state()), reread) &&
                  vecr::SerializeState(reread) == vecr::SerializeState(printer.state()),
              "fiscal memory changed by its state file");
  return 0;
}
