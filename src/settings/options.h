// The operator's options: the state of the main window's option controls,
// read by every other subsystem and kept in the settings files.
#pragma once

#include <string>

namespace settings {

// Each member is named after its control. The initializers are the window's
// initial state, which a missing settings line leaves in place.
struct Options {
  bool chbConvXonXoff = false;            // "Conversione da XonXoff"
  bool chbTrace = false;                  // "Abilita Trace di Comunicazione"
  bool chkDisableDisplay = false;         // "Disabilita Display Articoli"
  bool chkCodFisc = false;                // "Abilita Stampa CF/PIVA"
  bool OptNonFiscal = false;              // "Input Non Fiscale"; otherwise OptFiscal
  bool chbPagamentiEstesi = false;        // "Abilita Estensione Pagamenti"
  bool chbInversioneScontiSuReso = false; // "Abilita Inversione Sconti su Reso"
  bool chbTend5ASCorrNonRiscosso = false; // "Tender n.5 come Corr. non riscosso"
  bool chbNoInviaApCassetto = false;      // "Non Invia Apert. Cassetto da SW"
  bool chbFastDisplay = false;            // "Abil. Display Veloce"
  bool chbDelayCompatibilita = false;     // "Ritardo Compatibilità"
  bool chbDisabTotalizzatori = false;     // "Disab.  Totalizzatori"
  bool chkForzaIntestazioneFattura = false; // "Forza Intest. Fattura"
  bool OptionFAST = false;                // "Notifica (Fast)"; otherwise OptionSLOW
  bool CheckLogPagamento = false;         // "Log Pagam. POS"
  bool CheckStampaLogo = false;           // "Logo In Coda"

  bool OptFiscal() const { return !OptNonFiscal; }
};

// VAT rates in hundredths of a percent (2200 is 22 %), slots 0 to 5.
struct VatTable {
  int slot[6] = {400, 1000, 2200, 3600, 0, 0};
};

}  // namespace settings
