// The window on a stand-in job service, to look at its layout without a
// printer: window_preview.exe [--show].
#include <windows.h>

#include <cstring>

#include "platform/event_loop.h"
#include "service/operator_actions.h"
#include "service/window/main_window.h"
#include "service/window/resource.h"

namespace {

class PreviewActions : public service::OperatorActions {
 public:
  PreviewActions(platform::EventLoop& loop, service::StatusView& view, settings::Settings& s)
      : loop_(loop), view_(view), s_(s) {}
  void SetPortEnabled(int16_t, bool ticked) override { view_.ConfigurationLocked(ticked); }
  void SelectFastDetection() override { view_.TimerControls(false, s_.timerText); }
  void SelectTimerDetection() override { view_.TimerControls(true, s_.timerText); }
  void SetTimerValue(const std::string& typed) override {
    if (typed == "0") view_.MessageBox("Valore non ammesso");
  }
  void ShowMainWindow() override {
    shown_ = true;
    view_.DumpState(1, "DUMP ESEGUITO");
    for (int16_t p = 2; p <= 4; ++p) view_.DumpState(p, "DUMP NON ESEGUITO");
    view_.PrinterMessage("");
    view_.ProgramStatus(1, "In attesa di lavori su COM1");
    view_.DetectionStatus("PRONTO");
  }
  void WindowMinimised() override { shown_ = false; }
  void PrintTestReceipt() override { view_.PrinterMessage("DUMP NON ANCORA ESEGUITO"); }
  void CancelReceipt() override {}
  void Unload() override {
    view_.ClosingNotice("Chiusura programma Quilo1 in corso ...");
    platform::RunUntil(loop_, [] { return false; }, 1000);
    finished_ = true;
  }
  bool Finished() const override { return finished_; }
  bool PortAvailable(int16_t port) const override { return port <= 2; }
  bool WindowShown() const override { return shown_; }

 private:
  platform::EventLoop& loop_;
  service::StatusView& view_;
  settings::Settings& s_;
  bool shown_ = false, finished_ = false;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmd, int) {
  auto loop = platform::EventLoop::Create();
  service::window::MainWindow view(instance);
  view.ShowSplash();
  std::string error;
  if (!view.Create(&error)) return 1;
  settings::Settings s;
  s.portEnabled[1] = false;
  s.options.chkCodFisc = true;
  s.options.CheckStampaLogo = true;
  PreviewActions actions(*loop, view, s);
  view.Bind(*loop, actions, s, "C:\\ProgramData\\ZEDODER1\\dodarav1.pdf");
  view.DataDirectory("C:\\ProgramData\\ZEDODER1");
  for (int16_t p = 1; p <= 4; ++p) view.PortAvailable(p, p <= 2);
  view.PrinterSerial(1, "99MEY012345");
  view.ConfigurationLocked(true);
  view.TimerControls(true, "1");
  view.WatcherStarted();
  platform::RunUntil(*loop, [] { return false; }, 1500);
  view.EndSplash();
  if (std::strstr(cmd, "--show")) PostMessageW(view.hwnd(), WM_QUILO1_ICON, 1, WM_LBUTTONDBLCLK);
  while (!actions.Finished()) loop->RunOnce(-1);
  view.FinishClosing();
  return 0;
}
