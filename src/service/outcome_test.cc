// The outcome of every document status and its texts.
#include "service/outcome.h"

#include <gtest/gtest.h>

namespace service {
namespace {

TEST(OutcomeTest, EveryDocumentStatusHasItsOutcome) {
  const int16_t table[][2] = {{0, 0},   {1, -10}, {2, -14}, {3, -4},   {4, -1},  {5, -7},
                              {6, -8},  {7, -3},  {8, -9},  {9, -5},   {10, -2}, {11, -4},
                              {12, -12}, {13, -13}, {14, -15}, {29, -29}, {99, -99}};
  for (const auto& row : table) EXPECT_EQ(OutcomeOfTransmission(row[0]), row[1]) << row[0];
  EXPECT_NE(OutcomeOfTransmission(15), 0);
}

TEST(OutcomeTest, TextsCharacterForCharacter) {
  struct Case {
    int16_t outcome;
    const char* display;
    const char* message;
  } cases[] = {
      {0, "TUTTO OK", ""},
      {-1, "TOTALE SCONTRINO NEGATIVO", "E505: Totale scontrino negativo"},
      {-2, "SCONTRINO APERTO", "E503: Scontrino aperto, chiudere e riavviare l'esecuzione"},
      {-3, "CHIUDERE SPORTELLINO STAMPANTE", "E509: Coperchio stampante aperto"},
      {-4, "TIMEOUT SCADUTO", "E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr"},
      {-5, "ERRORE GENERICO SU ECR", "Errore generico sull'Ecr, verificare sul manuale del registratore"},
      {-7, "GIORNALE ELETTR. ESAURITO : SOSTITUIRE", "E508: Giornale elettronico esaurito : sostituire"},
      {-8, "GIORNALE ELETTR. IN ESAURIMENTO : SOSTITUIRE", "E507: Giornale elettronico in esaurimento"},
      {-9, "MF ESAURITA", "E1: MF esaurita : contattare assistenza tecnica"},
      {-10, "BUFFER STAMPA ESAURITO : CHIUDERE SCONTRINO", "Fine Buffer di stampa: chiudere manualmente lo scontrino"},
      {-12, "Errore 12 : Documento RT non trovato non modificabile ",
       "Errore 12 : Documento RT non trovato non modificabile "},
      {-13, "NECESSARIO ESEGUIRE CHIUSURA FISCALE", "Errore: necessario eseguire chiusura fiscale"},
      {-14, "FILE DI INPUT NON RILEVATO", "E506: Trasmissione non avvenuta: file di input non presente"},
      {-15, "CARATTERE DI CONTROLLO NEL COMANDO", "E512: Carattere di controllo nel comando: documento non stampato"},
      {-29, "RILEVATO ERRORE 29 : ABC", "Errore 29 : IVA Negativa Documento RT Annullato "},
      {-99, "RILEVATO ERRORE 99: ABC", "Errore 99: ABC"},
      {-200, "E601: Trasmissione POS interrotta: timeout ricevuto", "E601: Trasmissione POS interrotta: timeout ricevuto"},
      {-201, "E602:  Ricevuto errore dal servizio", "E602:  Ricevuto errore dal servizio"},
      {-202, "E603: TRANSAZIONE ANNULLATA  DAL TERMINALE POS", "E603: TRANSAZIONE ANNULLATA  DAL TERMINALE POS"},
      {-203, "E604: A connection with the server could not be established",
       "E604: A connection with the server could not be established"},
      {-6, "ERRORE GENERICO SU ECR", "Errore generico sull'Ecr, verificare sul manuale del registratore"},
      {-11, "ERRORE GENERICO SU ECR", "Errore generico sull'Ecr, verificare sul manuale del registratore"},
      {-100, "ERRORE GENERICO SU ECR", "Errore generico sull'Ecr, verificare sul manuale del registratore"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OutcomeDisplayText(c.outcome, "ABC"), c.display) << c.outcome;
    EXPECT_EQ(OutcomeErrorMessage(c.outcome, "ABC"), c.message) << c.outcome;
  }
}

}  // namespace
}  // namespace service
