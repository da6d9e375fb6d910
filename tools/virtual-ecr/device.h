// The virtual printer as seen from the serial line: frames in, answers out,
// with the faults that the control channel switches on (refusals, silence,
// late and lost answers, forced error answers, a power cut at a chosen
// command).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "frame.h"
#include "printer.h"

namespace vecr {

// Bytes to send `delay_ms` after the input that caused them.
struct Output {
  int64_t delay_ms = 0;
  std::string bytes;
};

class Device {
 public:
  explicit Device(Printer& printer) : printer_(printer) {}

  // Everything read from the line; returns what to send, in order.
  std::vector<Output> Receive(std::string_view bytes);

  // Runs one control command (syntax in ControlHelp()); returns an error text
  // or an empty one. Blank lines and lines starting with '#' are ignored.
  std::string Control(const std::string& line);
  static const char* ControlHelp();

  void set_log(std::function<void(const std::string&)> log) { log_ = std::move(log); }
  // How the printer stands still for a "pause-before" (the front end sleeps).
  void set_sleep(std::function<void(int64_t ms)> sleep) { sleep_ = std::move(sleep); }
  // Saves the state (and the paper) now: a "pause-after" is logged once saved.
  void set_save(std::function<void()> save) { save_ = std::move(save); }

  int frames_executed() const { return executed_; }
  // A "quit" control command came: the program should end.
  bool quit() const { return quit_; }
  // A "die-before" or "die-after" command came: the power is gone. The front
  // end saves what was done before (and, for die-after, the command itself)
  // and ends at once, sending nothing more.
  bool dead() const { return dead_; }

 private:
  enum class Act {
    kAnswer,  // `answer` is sent instead of running the command
    kRaw,     // the same, `answer` being the bytes to send, frame and all
    kDrop,    // the command is run, its answer is not sent
    kDieBefore,
    kDieAfter,
    kPauseBefore,  // wait `ms` before running the command
    kPauseAfter,   // run it, send the answer `ms` later
  };
  struct Rule {
    std::string prefix;  // command code (or any leading part of the command)
    Act act = Act::kAnswer;
    std::string answer;
    bool always = false;
    int64_t ms = 0;
  };

  std::vector<Output> OnFrame(const Frame& frame);
  // The answer text, or with `raw` set the exact bytes to send.
  std::string Answer(const std::string& command, bool& raw);
  // The first rule of that kind for the command; a one-time rule is used up.
  bool Take(Act act, const std::string& command, Rule* found = nullptr);
  void Log(const std::string& line) {
    if (log_) log_(line);
  }

  Printer& printer_;
  FrameReader reader_;
  std::function<void(const std::string&)> log_;
  std::function<void(int64_t)> sleep_;
  std::function<void()> save_;

  // The last frame run, so that a repeated frame is answered again
  // without being run twice.
  bool have_last_ = false;
  std::string last_sequence_;
  std::string last_command_;
  std::string last_frame_;
  int executed_ = 0;
  bool quit_ = false;
  bool dead_ = false;

  int nak_ = 0;
  int silent_ = 0;
  int lost_ = 0;
  int bad_echo_ = 0;
  int lone_ack_ = 0;
  int64_t lone_ack_ms_ = 0;
  int delay_ = 0;
  int64_t delay_ms_ = 0;
  int64_t delay_line_ms_ = 0;  // every answer this late
  std::vector<Rule> rules_;
};

}  // namespace vecr
