// What the operator can ask of the job service from the main window. The job
// service implements it; the window calls it and never reaches further in.
#pragma once

#include <cstdint>
#include <string>

namespace service {

class OperatorActions {
 public:
  virtual ~OperatorActions() = default;

  // A port box ticked (LockConfiguration) or cleared (UnlockConfiguration).
  virtual void SetPortEnabled(int16_t port, bool ticked) = 0;
  // "Notifica (Fast)" and "Timer    (Slow)".
  virtual void SelectFastDetection() = 0;
  virtual void SelectTimerDetection() = 0;
  // "Set timer" with the text typed in the interval field.
  virtual void SetTimerValue(const std::string& typedText) = 0;
  // The window shown from the notification icon, or minimised and hidden.
  virtual void ShowMainWindow() = 0;
  virtual void WindowMinimised() = 0;
  // " Esegui Test" and "Annulla Scontrino".
  virtual void PrintTestReceipt() = 0;
  virtual void CancelReceipt() = 0;
  // Closing from the close box, the menus or the end of the session; the
  // program may end once Finished() holds.
  virtual void Unload() = 0;
  virtual bool Finished() const = 0;

  // What the window reads when it is shown.
  virtual bool PortAvailable(int16_t port) const = 0;
  virtual bool WindowShown() const = 0;
};

}  // namespace service
