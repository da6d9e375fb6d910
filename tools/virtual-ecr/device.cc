// Frame handling, repeat detection and fault injection of the virtual printer.
#include "device.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace vecr {

std::vector<Output> Device::Receive(std::string_view bytes) {
  std::vector<Output> out;
  for (const FrameReader::Item& item : reader_.Feed(bytes)) {
    if (dead_) break;
    if (!item.good) {
      Log("recv bad frame " + Printable(item.raw) + " -> NAK");
      out.push_back({0, std::string(1, kNak)});
      continue;
    }
    Log("recv " + Printable(item.raw));
    for (Output& o : OnFrame(item.frame)) out.push_back(std::move(o));
  }
  return out;
}

bool Device::Take(Act act, const std::string& command, Rule* found) {
  for (size_t i = 0; i < rules_.size(); ++i) {
    if (rules_[i].act != act || command.rfind(rules_[i].prefix, 0) != 0) continue;
    if (found) *found = rules_[i];
    if (!rules_[i].always) rules_.erase(rules_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
  }
  return false;
}

std::string Device::Answer(const std::string& command, bool& raw) {
  raw = false;
  for (size_t i = 0; i < rules_.size(); ++i) {
    const Rule& r = rules_[i];
    if ((r.act != Act::kAnswer && r.act != Act::kRaw) || command.rfind(r.prefix, 0) != 0) continue;
    std::string answer = r.answer;
    raw = r.act == Act::kRaw;
    if (!r.always) rules_.erase(rules_.begin() + static_cast<std::ptrdiff_t>(i));
    return answer;
  }
  ++executed_;
  return printer_.Execute(command);
}

std::vector<Output> Device::OnFrame(const Frame& frame) {
  if (nak_ > 0) {
    --nak_;
    Log("fault: NAK");
    return {{0, std::string(1, kNak)}};
  }
  if (silent_ > 0) {
    --silent_;
    Log("fault: silent");
    return {};
  }
  const std::string& command = frame.command;
  std::string answer_frame;
  int64_t pause_ms = 0;
  Rule rule;
  if (have_last_ && frame.sequence == last_sequence_ && command == last_command_) {
    Log("repeated frame, answered again");
    answer_frame = last_frame_;
  } else {
    if (Take(Act::kDieBefore, command, &rule)) {
      Log("DIE-BEFORE " + rule.prefix);
      dead_ = true;
      return {};
    }
    // Logged before the wait, so a test can act while the printer holds.
    if (Take(Act::kPauseBefore, command, &rule)) {
      Log("PAUSE " + rule.prefix);
      if (sleep_) sleep_(rule.ms);
    }
    bool raw = false;
    std::string answer = Answer(command, raw);
    answer_frame = raw ? answer : BuildFrame(frame.sequence, answer);
    have_last_ = true;
    last_sequence_ = frame.sequence;
    last_command_ = command;
    last_frame_ = answer_frame;
    if (Take(Act::kDieAfter, command, &rule)) {
      Log("DIE-AFTER " + rule.prefix);
      dead_ = true;
      return {};
    }
    if (Take(Act::kPauseAfter, command, &rule)) {
      // A test cuts the power on this line: what was run must be on disk.
      if (save_) save_();
      Log("PAUSE " + rule.prefix);
      pause_ms = rule.ms;
    }
  }
  // Also a repeat's answer: "always" keeps the printer mute on that command.
  if (Take(Act::kDrop, command, &rule)) {
    Log("fault: answer to " + rule.prefix + " dropped");
    return {};
  }
  if (lost_ > 0) {
    --lost_;
    Log("fault: answer lost");
    return {};
  }
  std::string sent = answer_frame;
  if (bad_echo_ > 0 && sent.size() >= 7 && sent[0] == kStx) {
    --bad_echo_;
    // Damaged on the way: the first code digit changes, the stored answer
    // stays right for a repeat.
    std::string text = sent.substr(4, sent.size() - 7);
    if (!text.empty()) text[0] = text[0] == '9' ? '8' : '9';
    sent = BuildFrame(frame.sequence, text);
    Log("fault: bad echo");
  }
  std::vector<Output> out;
  int64_t late = pause_ms + delay_line_ms_;
  if (lone_ack_ > 0) {
    --lone_ack_;
    out.push_back({0, std::string(1, kAck)});
    out.push_back({late + lone_ack_ms_, sent});
    Log("fault: lone ACK, answer in " + std::to_string(late + lone_ack_ms_) + " ms");
  } else {
    if (delay_ > 0) {
      --delay_;
      late += delay_ms_;
    }
    out.push_back({late, sent});
    if (late > 0) Log("fault: answer in " + std::to_string(late) + " ms");
  }
  Log("send " + Printable(sent));
  return out;
}

const char* Device::ControlHelp() {
  return "  nak N              answer NAK to the next N frames (they are not run)\n"
         "  silent N           ignore the next N frames\n"
         "  lost N             run the next N frames but send no answer\n"
         "  lone-ack N MS      next N frames: ACK at once, the answer MS ms later\n"
         "  delay N MS         next N frames: the answer MS ms later\n"
         "  bad-echo N         next N answers arrive with a wrong command code\n"
         "  err CODE NN [always]\n"
         "                     answer ERRNN to the next command beginning with CODE\n"
         "                     (not run); with always, to all of them\n"
         "  answer CODE once|always TEXT\n"
         "                     answer TEXT (\\xNN escapes) instead of running CODE\n"
         "  raw CODE once|always BYTES\n"
         "                     send BYTES (\\xNN escapes) as they are, without a frame\n"
         "  err CODE off       drop every rule for CODE (err, answer, raw, drop-answer,\n"
         "                     die-before, die-after, pause-before, pause-after)\n"
         "  drop-answer CODE [once|always]\n"
         "                     run the next command beginning with CODE but send no\n"
         "                     answer (a repeat of it is answered); with always, never\n"
         "                     answer CODE, repeats included\n"
         "  die-before CODE    when CODE arrives, end at once without running it, as if\n"
         "                     the power went (log line DIE-BEFORE CODE)\n"
         "  die-after CODE     when CODE arrives, run it, save the state and end at once\n"
         "                     without answering (log line DIE-AFTER CODE)\n"
         "  pause-before CODE MS [always]\n"
         "                     hold the next CODE MS ms before running it; the printer\n"
         "                     does nothing else meanwhile (log line PAUSE CODE first)\n"
         "  pause-after CODE MS [always]\n"
         "                     run the next CODE at once, answer MS ms later (log line\n"
         "                     PAUSE CODE when it is run and saved)\n"
         "  delay-line MS      every answer MS ms late from now on (0: off)\n"
         "  status SS          the status request answers SS (00 01 10 11 12 54 99);\n"
         "                     01 refuses printing with ERR16; 10, 11 and 12 with ERR37;\n"
         "                     54 with ERR54 until a fiscal closing; 99 with ERR99\n"
         "  paper-out N        paper ends after N more printed lines (0: now)\n"
         "  paper-in           paper replaced\n"
         "  refuse-date on|off setting the date and time answers ERR54\n"
         "  keys CENTS [open]  a sale of CENTS rung up on the printer's own keys, paid\n"
         "                     in cash and closed; with open, left open after the item,\n"
         "                     and the line's printing commands get ERR21 meanwhile\n"
         "  clear              every fault off, status 00, paper in\n"
         "  quit               end the program: the line goes away as if unplugged\n"
         "Blank lines and lines starting with # are skipped; blanks at the end of a\n"
         "line are dropped (write \\x20 to keep one).\n";
}

namespace {

bool ToInt(const std::string& s, int64_t& value) {
  if (s.empty()) return false;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (*end != '\0' || v < 0) return false;
  value = v;
  return true;
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
      out += static_cast<char>(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::string Device::Control(const std::string& raw) {
  std::string line = raw;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.pop_back();
  std::istringstream in(line);
  std::string word;
  if (!(in >> word) || word[0] == '#') return "";
  std::vector<std::string> args;
  for (std::string a; in >> a;) args.push_back(a);
  int64_t n = 0, ms = 0;
  auto count = [&](int& field) -> std::string {
    if (args.size() != 1 || !ToInt(args[0], n)) return word + ": expected a count";
    field = static_cast<int>(n);
    return "";
  };
  auto timed = [&](int& field, int64_t& delay) -> std::string {
    if (args.size() != 2 || !ToInt(args[0], n) || !ToInt(args[1], ms)) return word + ": expected a count and milliseconds";
    field = static_cast<int>(n);
    delay = ms;
    return "";
  };
  std::string error;
  if (word == "nak") error = count(nak_);
  else if (word == "silent") error = count(silent_);
  else if (word == "lost") error = count(lost_);
  else if (word == "bad-echo") error = count(bad_echo_);
  else if (word == "lone-ack") error = timed(lone_ack_, lone_ack_ms_);
  else if (word == "delay") error = timed(delay_, delay_ms_);
  else if (word == "err") {
    if (args.size() == 2 && args[1] == "off") {
      std::erase_if(rules_, [&](const Rule& r) { return r.prefix == args[0]; });
    } else if ((args.size() == 2 || (args.size() == 3 && args[2] == "always")) && args[1].size() == 2) {
      rules_.push_back({args[0], Act::kAnswer, "ERR" + args[1], args.size() == 3});
    } else {
      error = "err: expected CODE NN [always] or CODE off";
    }
  } else if (word == "answer" || word == "raw") {
    // The text is the rest of the line after the mode, blanks included.
    size_t pos = 0;
    for (int field = 0; field < 3 && pos != std::string::npos; ++field) {
      pos = line.find_first_not_of(' ', pos);
      if (pos != std::string::npos) pos = line.find(' ', pos);
    }
    if (args.size() < 3 || (args[1] != "once" && args[1] != "always") || pos == std::string::npos) {
      error = word + ": expected CODE once|always TEXT";
    } else {
      rules_.push_back(
          {args[0], word == "raw" ? Act::kRaw : Act::kAnswer, Unescape(line.substr(pos + 1)), args[1] == "always"});
    }
  } else if (word == "drop-answer") {
    if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != "once" && args[1] != "always")) {
      error = "drop-answer: expected CODE [once|always]";
    } else {
      rules_.push_back({args[0], Act::kDrop, "", args.size() == 2 && args[1] == "always"});
    }
  } else if (word == "die-before" || word == "die-after") {
    if (args.size() != 1) error = word + ": expected CODE";
    else rules_.push_back({args[0], word == "die-before" ? Act::kDieBefore : Act::kDieAfter, "", false, 0});
  } else if (word == "pause-before" || word == "pause-after") {
    if ((args.size() != 2 && !(args.size() == 3 && args[2] == "always")) || !ToInt(args[1], ms)) {
      error = word + ": expected CODE MS [always]";
    } else {
      rules_.push_back({args[0], word == "pause-before" ? Act::kPauseBefore : Act::kPauseAfter, "", args.size() == 3, ms});
    }
  } else if (word == "delay-line") {
    if (args.size() != 1 || !ToInt(args[0], ms)) error = "delay-line: expected milliseconds";
    else delay_line_ms_ = ms;
  } else if (word == "status") {
    if (args.size() != 1 || args[0].size() != 2) error = "status: expected two characters";
    else printer_.SetStatus(args[0]);
  } else if (word == "paper-out") {
    int lines = 0;
    error = count(lines);
    if (error.empty()) printer_.PaperOutAfter(lines);
  } else if (word == "paper-in") {
    printer_.PaperIn();
  } else if (word == "refuse-date") {
    if (args.size() != 1 || (args[0] != "on" && args[0] != "off")) error = "refuse-date: expected on or off";
    else printer_.set_refuse_date(args[0] == "on");
  } else if (word == "keys") {
    if (args.empty() || args.size() > 2 || !ToInt(args[0], n) || n > 999999999 ||
        (args.size() == 2 && args[1] != "open")) {
      error = "keys: expected CENTS [open]";
    } else {
      char amount[24];
      std::snprintf(amount, sizeof amount, "%09lld", static_cast<long long>(n));
      const std::string answer = printer_.ExecuteFromKeys(std::string("3101" "1" "01" "05TASTI") + amount);
      if (answer.rfind("ERR", 0) == 0) {
        error = "keys: " + answer;
      } else if (args.size() == 1) {
        printer_.ExecuteFromKeys("3011");
        printer_.ExecuteFromKeys("3013");
      }
    }
  } else if (word == "clear") {
    nak_ = silent_ = lost_ = bad_echo_ = lone_ack_ = delay_ = 0;
    delay_line_ms_ = 0;
    rules_.clear();
    printer_.SetStatus("00");
    printer_.PaperIn();
    printer_.set_refuse_date(false);
  } else if (word == "quit") {
    quit_ = true;
  } else {
    error = "unknown control command: " + word;
  }
  Log(error.empty() ? "control: " + line : "control error: " + error);
  return error;
}

}  // namespace vecr
