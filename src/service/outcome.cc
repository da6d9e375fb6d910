// Outcome numbers and their fixed texts, character for character.
#include "service/outcome.h"

namespace service {

int16_t OutcomeOfTransmission(int16_t status) {
  switch (status) {
    case 0: return 0;
    case 1: return -10;
    case 2: return -14;
    case 3: return -4;
    case 4: return -1;
    case 5: return -7;
    case 6: return -8;
    case 7: return -3;
    case 8: return -9;
    case 9: return -5;
    case 10: return -2;
    case 11: return -4;
    case 12: return -12;
    case 13: return -13;
    case 29: return -29;
    case 99: return -99;
    default: return -4;  // never success for a status the transmission does not return
  }
}

namespace {

struct Texts {
  const char* display;
  const char* message;
};

const char kGeneric[] = "Errore generico sull'Ecr, verificare sul manuale del registratore";

Texts TextsOf(int16_t outcome) {
  switch (outcome) {
    case 0: return {"TUTTO OK", ""};
    case -1: return {"TOTALE SCONTRINO NEGATIVO", "E505: Totale scontrino negativo"};
    case -2: return {"SCONTRINO APERTO", "E503: Scontrino aperto, chiudere e riavviare l'esecuzione"};
    case -3: return {"CHIUDERE SPORTELLINO STAMPANTE", "E509: Coperchio stampante aperto"};
    case -4:
      return {"TIMEOUT SCADUTO", "E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr"};
    case -7: return {"GIORNALE ELETTR. ESAURITO : SOSTITUIRE", "E508: Giornale elettronico esaurito : sostituire"};
    case -8: return {"GIORNALE ELETTR. IN ESAURIMENTO : SOSTITUIRE", "E507: Giornale elettronico in esaurimento"};
    case -9: return {"MF ESAURITA", "E1: MF esaurita : contattare assistenza tecnica"};
    case -10:
      return {"BUFFER STAMPA ESAURITO : CHIUDERE SCONTRINO",
              "Fine Buffer di stampa: chiudere manualmente lo scontrino"};
    case -12:
      return {"Errore 12 : Documento RT non trovato non modificabile ",
              "Errore 12 : Documento RT non trovato non modificabile "};
    case -13: return {"NECESSARIO ESEGUIRE CHIUSURA FISCALE", "Errore: necessario eseguire chiusura fiscale"};
    case -14: return {"FILE DI INPUT NON RILEVATO", "E506: Trasmissione non avvenuta: file di input non presente"};
    case -29: return {"RILEVATO ERRORE 29 : ", "Errore 29 : IVA Negativa Documento RT Annullato "};
    case -99: return {"RILEVATO ERRORE 99: ", "Errore 99: "};
    case -200:
      return {"E601: Trasmissione POS interrotta: timeout ricevuto", "E601: Trasmissione POS interrotta: timeout ricevuto"};
    case -201: return {"E602:  Ricevuto errore dal servizio", "E602:  Ricevuto errore dal servizio"};
    case -202:
      return {"E603: TRANSAZIONE ANNULLATA  DAL TERMINALE POS", "E603: TRANSAZIONE ANNULLATA  DAL TERMINALE POS"};
    case -203:
      return {"E604: A connection with the server could not be established",
              "E604: A connection with the server could not be established"};
    default: return {"ERRORE GENERICO SU ECR", kGeneric};
  }
}

}  // namespace

std::string OutcomeDisplayText(int16_t outcome, const std::string& errorDetail) {
  std::string text = TextsOf(outcome).display;
  if (outcome == -29 || outcome == -99) text += errorDetail;
  return text;
}

std::string OutcomeErrorMessage(int16_t outcome, const std::string& errorDetail) {
  std::string text = TextsOf(outcome).message;
  if (outcome == -99) text += errorDetail;
  return text;
}

}  // namespace service
