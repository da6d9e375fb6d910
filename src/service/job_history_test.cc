// The console's view of finished jobs: outcome codes, the receipt's fields
// of SR_OUT, and a journal job as the list shows it.
#include "service/job_history.h"

#include <gtest/gtest.h>

namespace service {
namespace {

TEST(JobHistoryTest, CodesFieldsAndJournalJobs) {
  struct {
    int16_t outcome;
    const char* message;
    const char* code;
  } codes[] = {
      {-2, "E503: Scontrino aperto, chiudere e riavviare l'esecuzione", "E503"},
      {-12, "Errore 12 : Documento RT non trovato non modificabile ", "E12"},
      {-10, "Fine Buffer di stampa: chiudere manualmente lo scontrino", "E10"},
      {-601, "E601: Trasmissione POS interrotta: timeout ricevuto", "E601"},
  };
  for (const auto& c : codes) EXPECT_EQ(OutcomeCode(c.outcome, c.message), c.code) << c.message;

  auto fields = ReceiptFields({"TIME,CASS. 1 10:15 CASSA   1 ,E,A1;", "DATE,07/12/26  SCONTR. N.0042,E,A1;",
                               "Versione 1.0.0.1", "GTOT,V250;"});
  std::vector<std::pair<std::string, std::string>> expected = {
      {"time", "10:15"}, {"date", "07/12/26"}, {"number", "0042"}};
  EXPECT_EQ(fields, expected);

  JobSummary ok;
  ok.port = 2;
  ok.step = JournalStep::kAnswered;
  ok.wall_time = "20261207101500";
  ok.outcome = "FINESCO";
  ok.receipt_number = "42";
  console::JobRecord r = JobRecordOf(ok);
  EXPECT_EQ(r.outcomeCode, "ok");
  EXPECT_EQ(r.outcomeText, "TUTTO OK");
  EXPECT_EQ(r.receiptNumber, "42");
  EXPECT_EQ(r.port, 2);
  EXPECT_GT(r.time, 1796600000);
  ok.outcome = "E505: Totale scontrino negativo : ERRORE 23";
  EXPECT_EQ(JobRecordOf(ok).outcomeCode, "E505");
}

// The API's receipt comes only from the job's own answered closing; a stamp
// without one reads the receipt before it.
TEST(JobHistoryTest, AnAnswerCarriesOnlyItsOwnReceipt) {
  const std::string out = "TIME,CASS. 1 10:15 CASSA   1 ,E,A1;\r\nDATE,07/12/26  SCONTR. N.0001-0028,E,A1;\r\n";
  struct {
    bool closed;
    std::string out, number;
    std::vector<std::pair<std::string, std::string>> receipt;
  } rows[] = {
      {true, out, "0001-0028", {{"time", "10:15"}, {"date", "07/12/26"}, {"number", "0001-0028"}}},
      {false, out, "", {}},
      {true, "", "0001-0028", {{"number", "0001-0028"}}},  // answered after a restart, from the journal
  };
  for (const auto& row : rows) {
    FinishedJob end;
    end.ok = true;
    end.receiptClosed = row.closed;
    end.out = row.out;
    end.receiptNumber = row.number;
    EXPECT_EQ(SubmitResultOf(end).receipt, row.receipt) << row.closed << row.out;
  }
  FinishedJob conflict;
  conflict.keyConflict = true;
  EXPECT_TRUE(SubmitResultOf(conflict).conflict);
}

}  // namespace
}  // namespace service
