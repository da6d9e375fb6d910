// Outcome numbers and their fixed texts, character for character.
#include "service/outcome.h"

#include <utility>

#include "ecr/transmission.h"
#include "payment/payment.h"

namespace service {
namespace {

const struct {
  int16_t status;
  int16_t outcome;
} kStatusOutcomes[] = {
    {ecr::kDocumentDone, kOutcomeOk},
    {ecr::kDocumentBufferFull, kOutcomeBufferFull},
    {ecr::kDocumentNotSent, kOutcomeNoInputFile},
    {ecr::kDocumentPrinterNotReady, kOutcomeTimedOut},
    {ecr::kDocumentNegativeTotal, kOutcomeNegativeTotal},
    {ecr::kDocumentJournalFull, kOutcomeJournalFull},
    {ecr::kDocumentJournalNearlyFull, kOutcomeJournalNearlyFull},
    {ecr::kDocumentCoverOpen, kOutcomeCoverOpen},
    {ecr::kDocumentFiscalMemoryFull, kOutcomeFiscalMemoryFull},
    {ecr::kDocumentPrinterError, kOutcomePrinterError},
    {ecr::kDocumentReceiptOpen, kOutcomeReceiptOpen},
    {ecr::kDocumentNoAnswer, kOutcomeTimedOut},
    {ecr::kDocumentRtRefused, kOutcomeRtRefused},
    {ecr::kDocumentFiscalClosingNeeded, kOutcomeFiscalClosingNeeded},
    {ecr::kDocumentControlByte, kOutcomeControlByte},
    {ecr::kDocumentNothingToPrint, kOutcomeNothingToPrint},
    {ecr::kDocumentNegativeVat, kOutcomeNegativeVat},
    {ecr::kDocumentError99, kOutcomeError99},
};

const char kGeneric[] = "Errore generico sull'Ecr, verificare sul manuale del registratore";

// The display text and the error-file message of each outcome; -29 and -99
// get the error detail after them.
const struct {
  int16_t outcome;
  const char* display;
  const char* message;
} kTexts[] = {
    {kOutcomeOk, "TUTTO OK", ""},
    {kOutcomeNegativeTotal, "TOTALE SCONTRINO NEGATIVO", "E505: Totale scontrino negativo"},
    {kOutcomeReceiptOpen, "SCONTRINO APERTO", "E503: Scontrino aperto, chiudere e riavviare l'esecuzione"},
    {kOutcomeCoverOpen, "CHIUDERE SPORTELLINO STAMPANTE", "E509: Coperchio stampante aperto"},
    {kOutcomeTimedOut, "TIMEOUT SCADUTO", "E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr"},
    {kOutcomeJournalFull, "GIORNALE ELETTR. ESAURITO : SOSTITUIRE", "E508: Giornale elettronico esaurito : sostituire"},
    {kOutcomeJournalNearlyFull, "GIORNALE ELETTR. IN ESAURIMENTO : SOSTITUIRE",
     "E507: Giornale elettronico in esaurimento"},
    {kOutcomeFiscalMemoryFull, "MF ESAURITA", "E1: MF esaurita : contattare assistenza tecnica"},
    {kOutcomeBufferFull, "BUFFER STAMPA ESAURITO : CHIUDERE SCONTRINO",
     "Fine Buffer di stampa: chiudere manualmente lo scontrino"},
    {kOutcomeRtRefused, "Errore 12 : Documento RT non trovato non modificabile ",
     "Errore 12 : Documento RT non trovato non modificabile "},
    {kOutcomeFiscalClosingNeeded, "NECESSARIO ESEGUIRE CHIUSURA FISCALE", "Errore: necessario eseguire chiusura fiscale"},
    {kOutcomeNoInputFile, "FILE DI INPUT NON RILEVATO", "E506: Trasmissione non avvenuta: file di input non presente"},
    {kOutcomeControlByte, "CARATTERE DI CONTROLLO NEL COMANDO",
     "E512: Carattere di controllo nel comando: documento non stampato"},
    {kOutcomeNothingToPrint, "DOCUMENTO SENZA RIGHE DA STAMPARE", "E511: Documento senza righe da stampare"},
    {kOutcomeNegativeVat, "RILEVATO ERRORE 29 : ", "Errore 29 : IVA Negativa Documento RT Annullato "},
    {kOutcomeError99, "RILEVATO ERRORE 99: ", "Errore 99: "},
    {payment::kPosTimedOut, "E601: Trasmissione POS interrotta: timeout ricevuto",
     "E601: Trasmissione POS interrotta: timeout ricevuto"},
    {payment::kPosServiceError, "E602:  Ricevuto errore dal servizio", "E602:  Ricevuto errore dal servizio"},
    {payment::kPosRefused, "E603: TRANSAZIONE ANNULLATA  DAL TERMINALE POS",
     "E603: TRANSAZIONE ANNULLATA  DAL TERMINALE POS"},
    {payment::kPosNoConnection, "E604: A connection with the server could not be established",
     "E604: A connection with the server could not be established"},
};

// Every other outcome (among them -5, -6, -11 and -100) is a generic printer error.
std::pair<const char*, const char*> TextsOf(int16_t outcome) {
  for (const auto& t : kTexts)
    if (t.outcome == outcome) return {t.display, t.message};
  return {"ERRORE GENERICO SU ECR", kGeneric};
}

}  // namespace

int16_t OutcomeOfTransmission(int16_t status) {
  for (const auto& s : kStatusOutcomes)
    if (s.status == status) return s.outcome;
  return kOutcomeTimedOut;  // never success for a status the transmission does not return
}

std::string OutcomeDisplayText(int16_t outcome, const std::string& errorDetail) {
  std::string text = TextsOf(outcome).first;
  if (outcome == kOutcomeNegativeVat || outcome == kOutcomeError99) text += errorDetail;
  return text;
}

std::string OutcomeErrorMessage(int16_t outcome, const std::string& errorDetail) {
  std::string text = TextsOf(outcome).second;
  if (outcome == kOutcomeError99) text += errorDetail;
  return text;
}

}  // namespace service
