// The settings-file readers on any five files (the input split at byte 0x1E,
// in the order QLCHKCOM, QLTIMER1, QLCHKSCO, QLCHKXXS, QLVALIVA): the polling
// interval stays usable, and what was read is what is read again after the
// program has saved it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "fuzz_support.h"
#include "settings/settings_store.h"

namespace {

bool Same(const settings::Settings& a, const settings::Settings& b) {
  const settings::Options &x = a.options, &y = b.options;
  return std::memcmp(a.portEnabled, b.portEnabled, sizeof a.portEnabled) == 0 &&
         std::memcmp(a.vat.slot, b.vat.slot, sizeof a.vat.slot) == 0 && a.pollInterval == b.pollInterval &&
         a.timerText == b.timerText && x.chbConvXonXoff == y.chbConvXonXoff && x.chbTrace == y.chbTrace &&
         x.chkDisableDisplay == y.chkDisableDisplay && x.chkCodFisc == y.chkCodFisc &&
         x.OptNonFiscal == y.OptNonFiscal && x.chbPagamentiEstesi == y.chbPagamentiEstesi &&
         x.chbInversioneScontiSuReso == y.chbInversioneScontiSuReso &&
         x.chbTend5ASCorrNonRiscosso == y.chbTend5ASCorrNonRiscosso &&
         x.chbNoInviaApCassetto == y.chbNoInviaApCassetto && x.chbFastDisplay == y.chbFastDisplay &&
         x.chbDelayCompatibilita == y.chbDelayCompatibilita && x.chbDisabTotalizzatori == y.chbDisabTotalizzatori &&
         x.chkForzaIntestazioneFattura == y.chkForzaIntestazioneFattura && x.OptionFAST == y.OptionFAST &&
         x.CheckLogPagamento == y.CheckLogPagamento && x.CheckStampaLogo == y.CheckStampaLogo;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kFiles[] = {settings::kPortsFile, settings::kTimerFile, settings::kOptionsFile,
                                       settings::kXonXoffFile, settings::kVatFile};
  const std::string dir = fuzz::ScratchDir();
  std::string part;
  size_t file = 0;
  for (size_t i = 0; i <= size && file < 5; ++i) {
    if (i == size || data[i] == 0x1E) {
      fuzz::WriteFile(dir + "/" + kFiles[file++], part);
      part.clear();
    } else {
      part += char(data[i]);
    }
  }
  for (; file < 5; ++file) std::filesystem::remove(dir + "/" + kFiles[file]);

  auto quiet = [](const std::string&) {};
  static auto files = platform::FileSystem::CreateReal();
  settings::Settings first;
  settings::LoadSettings(*files, dir, &first, quiet);
  fuzz::Check(first.pollInterval >= 1 && first.pollInterval <= 60000,
              "interval " + std::to_string(first.pollInterval));
  fuzz::Check(settings::SaveSettings(*files, dir, first, quiet), "settings not saved");
  settings::Settings second;
  settings::LoadSettings(*files, dir, &second, quiet);
  fuzz::Check(Same(first, second), "settings changed by a save and a load");
  return 0;
}
