// The link's answer handling: a printer that answers every write with bytes
// taken from the input (any lengths, NAK, lone ACK, ETX anywhere, late or
// never). Whatever it sends, one exchange ends with a documented result code,
// within a bounded number of frames, and every frame is well formed.
#include <cstddef>
#include <cstdint>
#include <set>

#include "ecr/link.h"
#include "fuzz_support.h"
#include "testing/fake_clock.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_serial_port.h"

namespace {

// The input, taken as replies: a delay byte (x 100 ms, so time-outs are
// reached), a length byte, then that many bytes.
class Replies {
 public:
  Replies(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Next(testing_support::FakeSerialPort::Reply* reply) {
    if (pos_ + 2 > size_) return false;
    reply->delay_ms = int64_t(data_[pos_]) * 100;
    size_t n = data_[pos_ + 1];
    pos_ += 2;
    if (n > size_ - pos_) n = size_ - pos_;
    reply->bytes.assign(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return true;
  }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// The documented results of one exchange.
const std::set<int16_t> kResults = {
    ecr::kLinkOk,           ecr::kLinkNoAnswer,      ecr::kPrinterError,        ecr::kPrintBufferFull,
    ecr::kFiscalMemoryFull, ecr::kPaperEnd,          ecr::kCoverOpen,           ecr::kReceiptOpen,
    ecr::kPrinterNotReady,  ecr::kCoverOpenPaperEnd, ecr::kNegativeTotal,       ecr::kJournalFull,
    ecr::kJournalNearlyFull, ecr::kFiscalClosingNeeded, ecr::kNegativeVat,      ecr::kRtDocumentRefused,
    ecr::kRtDocumentNotFound, ecr::kPrinterError99};

const char* const kCommands[] = {"1009", "1003", "1004", "1105", "3007", "7101120", "30011003PANE000000100",
                                 "1015"};

void CheckFrame(const std::string& w) {
  if (w == std::string(1, ecr::ACK)) return;
  fuzz::Check(w.size() >= 8 && w.front() == ecr::STX && w.back() == ecr::ETX, "malformed frame");
  const std::string body = w.substr(1, w.size() - 4);
  fuzz::Check(body.size() <= 255, "frame over the protocol's limit");
  fuzz::Check(ecr::CalcolaChecksum(body) == w.substr(w.size() - 3, 2), "wrong checksum");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Replies replies(data, size);
  const uint8_t mode = replies.Byte();
  testing_support::FakeEventLoop loop;
  testing_support::FakeSerialPort port(loop);
  settings::Options options;
  options.chbDelayCompatibilita = mode & 0x40;
  testing_support::FakeClock clock;
  ecr::EcrLink link(port, loop, options, clock);
  link.state().checkStatusFirst = mode & 0x80;
  port.SetScript([&](const std::string&) {
    std::vector<testing_support::FakeSerialPort::Reply> out;
    testing_support::FakeSerialPort::Reply r;
    if (replies.Next(&r)) out.push_back(r);
    return out;
  });

  const std::string command = kCommands[mode % 8];
  const int64_t start = loop.NowMs();
  int frames = 0;
  if (mode & 0x20) {
    const std::string status = link.VerificaStato();
    fuzz::Check(status.size() <= 2, "status " + status);
    for (const auto& w : port.writes())
      if (w != std::string(1, ecr::ACK)) ++frames;
    fuzz::Check(frames <= 7, "status request sent " + std::to_string(frames) + " times");
  } else {
    const int16_t result = link.TrasmettiStringa(command);
    fuzz::Check(kResults.count(result) == 1, "result " + std::to_string(result));
    for (const auto& w : port.writes())
      if (w != std::string(1, ecr::ACK)) ++frames;
    // Seven sends at most, each repeated at most four times after a NAK;
    // with the status request first, seven more.
    fuzz::Check(frames <= 7 + 4 + ((mode & 0x80) ? 7 : 0), "sent " + std::to_string(frames) + " frames");
    // A lone ACK earns 15 s more, and the input can hold only so many.
    const int64_t limit = int64_t(frames + 7) * 8200 + int64_t(size) * 15000;
    fuzz::Check(loop.NowMs() - start <= limit, "exchange took " + std::to_string(loop.NowMs() - start) + " ms");
  }
  for (const auto& w : port.writes()) CheckFrame(w);
  return 0;
}
