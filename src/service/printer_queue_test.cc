// The one queue of units on the printer link: jobs, operator's actions and
// API documents take turns, never inside one another.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "service/journal.h"
#include "service/sha256.h"
#include "testing/job_service_test.h"

namespace service {
namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;
using PrinterQueueTest = JobServiceTest;

TEST_F(PrinterQueueTest, NoScanInsideAJob) {
  StartIdentified();
  Job(1);
  int sends = 0;
  printer.duringSend = [&] {
    ++sends;
    Scan();
  };
  Scan();
  EXPECT_EQ(sends, 1);
}

// The link has one owner: the window's actions during a job wait for it as
// units of work, the test receipt alone is sent unconverted, and the closing
// drops what still waits.
TEST_F(PrinterQueueTest, OperatorActionsDuringAJobWaitTheirTurn) {
  StartIdentified();
  svc->ViewShown(true);
  Job(1);
  printer.log.clear();
  printer.duringSend = [&] {
    printer.duringSend = nullptr;
    svc->TestReceipt();
    svc->CancelReceipt();
    EXPECT_EQ(svc->queue().Queued(), 2u);
  };
  Scan();
  EXPECT_TRUE(Shown("Text2: Stampante occupata: in coda"));
  const std::vector<std::string> expected = {"send 1", "1109", "send 1 as is", "1109", "open 1",
                                             "7007" + std::string(40, ' '), "3001818Annull.transazione000000000",
                                             "3011", "3013", "close 1"};
  EXPECT_EQ(printer.log, expected);
  EXPECT_EQ(printer.documents[0], (std::vector<std::string>{"SALE,N1,P100;", "CASH;"}));
  EXPECT_EQ(printer.documents[1].front(), "1109");
  EXPECT_TRUE(FileExists(P("FINESCO.001")));
  // A refused payment ends the test receipt, on screen alone; the host's
  // next document is converted all the same.
  payment.request = [](const std::vector<std::string>&) -> int16_t { return -203; };
  view.lines.clear();
  svc->TestReceipt();
  EXPECT_FALSE(FileExists(P("SR_ERR.001")));
  EXPECT_EQ(std::count_if(view.lines.begin(), view.lines.end(),
                          [](const std::string& l) { return l.rfind("log: Esegui Test: ", 0) == 0; }),
            1);
  payment.request = nullptr;
  Job(1);
  Scan();
  EXPECT_EQ(printer.log[printer.log.size() - 2], "send 1");

  // The closing waits for the running unit and drops the queued ones.
  Job(1);
  printer.log.clear();
  printer.duringSend = [&] {
    printer.duringSend = nullptr;
    svc->TestReceipt();
    svc->Unload();
  };
  Scan();
  EXPECT_TRUE(svc->Finished());
  EXPECT_EQ(std::count(printer.log.begin(), printer.log.end(), "send 1 as is"), 0);
  EXPECT_TRUE(Shown("log: Chiusura: annullato in coda: test"));
}

// The console's documents: eight wait per port, the ninth is refused at
// once; a host's file job that comes meanwhile goes after the one running.
TEST_F(PrinterQueueTest, ConsoleDocumentsWaitEightAtMostAndNeverBeforeTheHost) {
  StartIdentified();
  std::vector<FinishedJob> ends;
  auto post = [&](int n) {
    svc->SubmitDocument(1, "PRNT,api " + std::to_string(n) + ";\r\n", [&](const FinishedJob& e) { ends.push_back(e); });
  };
  printer.duringSend = [&] {
    printer.duringSend = nullptr;
    for (int n = 1; n <= 9; ++n) post(n);
    Job(1);
  };
  post(0);
  ASSERT_EQ(ends.size(), 10u);
  EXPECT_TRUE(ends[0].queueFull);  // the ninth, answered before any ran
  EXPECT_EQ(ends[0].code, "busy");
  for (size_t i = 1; i < ends.size(); ++i) EXPECT_TRUE(ends[i].ok && !ends[i].queueFull) << i;
  ASSERT_EQ(printer.bytes.size(), 10u);
  EXPECT_EQ(printer.bytes[0], "PRNT,api 0;\r\n");
  EXPECT_EQ(printer.bytes[1], "SALE,N1,P100;\r\nCASH;\r\n");
  EXPECT_EQ(printer.bytes[9], "PRNT,api 8;\r\n");
  EXPECT_EQ(ReadFileBytes(P("FINESCO.001")), "finesco");
}

}  // namespace
}  // namespace service
