// What the operator can ask of the job service, from the window, the web
// console or anything later: the one way in. The job service implements it;
// every action says how it went.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "settings/options.h"

namespace service {

struct FinishedJob;

struct ActionResult {
  enum Kind { kDone, kQueued, kRefused };
  Kind kind = kDone;
  // A refusal's text, as the operator sees it.
  std::string message;
  bool ok() const { return kind != kRefused; }
  static ActionResult Refused(const std::string& text) { return {kRefused, text}; }
};

class OperatorActions {
 public:
  virtual ~OperatorActions() = default;

  // A port box ticked (the options locked) or cleared (unlocked).
  virtual ActionResult SetPortEnabled(int16_t port, bool ticked) = 0;
  // "Notifica (Fast)" or "Timer    (Slow)".
  virtual ActionResult SetFastDetection(bool fast) = 0;
  // "Set timer" with the text typed in the interval field.
  virtual ActionResult SetTimerValue(const std::string& typedText) = 0;
  // A box of "Altre Opzioni" or "Gest. Fatture su Scontrino".
  virtual ActionResult SetOption(bool settings::Options::*option, bool value) = 0;
  // A view of the state was opened or closed: while one is shown the
  // polling's heartbeat is written, and opening it reads the port boxes
  // again for the dump flags.
  virtual ActionResult ViewShown(bool shown) = 0;
  // " Esegui Test" and "Annulla Scontrino".
  virtual ActionResult TestReceipt() = 0;
  virtual ActionResult CancelReceipt() = 0;
  // A document that came over HTTP for `port` (0: the served port), run on
  // the port's queue; `done` gets how it ended, maybe before this returns.
  virtual void SubmitDocument(int16_t port, const std::string& bytes, std::function<void(const FinishedJob&)> done,
                              const std::string& idempotencyKey = "") = 0;
  // Closing from the close box, the menus or the end of the session; the
  // program may end once Finished() holds.
  virtual void Unload() = 0;
  virtual bool Finished() const = 0;
};

}  // namespace service
