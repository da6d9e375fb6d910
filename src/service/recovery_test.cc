// Start-up after a crash: the journal decides what each job cut off gets,
// and the printer is asked before a receipt is answered or cancelled.
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
using RecoveryTest = JobServiceTest;

// A job cut off by a crash or a power cut: start-up reads how far it went in
// the journal and gives the host a true answer once the printer is
// identified, before SR_MATR; files the journal cannot explain are kept as a
// copy and removed, with nothing sent to the printer.
TEST_F(RecoveryTest, StartUpAnswersTheJobACrashCutOff) {
  const std::string document = "SALE,N1,P100;\r\nSALE,N2,P200;\r\nCASH;\r\n";
  const std::vector<std::string> cancel = {"open 1", "7007" + std::string(40, ' '),
                                           "3001818Annull.transazione000000000", "3011", "3013", "close 1"};
  const char* kE510 = "E510: Stampa interrotta dal riavvio di Quilo1: scontrino annullato, inviare di nuovo\r\n";
  struct Case {
    const char* what;
    int lastStep;  // 0: no record
    int counterBefore, counterNow;
    // SR_START, SR_DATI, FINESCO, SR_OUT present before the start; "SR_DATI+"
    // is another document than the job's (the job came over the console).
    std::vector<std::string> filesLeft;
    std::vector<std::string> printed;    // after the dump
    std::string err;                     // SR_ERR afterwards, "" none
    bool finesco, dataKept, copyKept;
  } cases[] = {
      {"mid-receipt", 1, -1, -1, {"SR_START", "SR_DATI"}, cancel, kE510, false, true, true},
      {"closing sent, printer closed it", 2, 5, 6, {"SR_START", "SR_DATI"}, {"open 1", "1004", "close 1", "open 1", "stamp", "close 1"}, "", true, false, true},
      {"closing sent, not closed", 2, 5, 5, {"SR_START", "SR_DATI"}, {}, kE510, false, true, true},
      {"closing answered", 3, 5, 6, {"SR_START", "SR_DATI", "SR_OUT"}, {"open 1", "1004", "close 1"}, "", true, false, true},
      {"outcome recorded, FINESCO missing", 4, -1, -1, {"SR_OUT"}, {}, "", true, false, false},
      {"answered: left for the host", 5, -1, -1, {"FINESCO", "SR_OUT"}, {}, "", true, false, false},
      {"no record: written while down", 0, -1, -1, {"SR_START", "SR_DATI"}, {}, "", false, false, true},
      {"console job mid-receipt, a host's document waiting", 1, -1, -1, {"SR_START", "SR_DATI+"}, cancel, "", false, false, true},
      {"console job closed, a host's document waiting", 2, 5, 6, {"SR_START", "SR_DATI+"}, {"open 1", "1004", "close 1"}, "", false, false, true},
  };
  cases[2].printed = {"open 1", "1004", "close 1"};
  cases[2].printed.insert(cases[2].printed.end(), cancel.begin(), cancel.end());
  settings.portEnabled[1] = settings.portEnabled[2] = settings.portEnabled[3] = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) std::filesystem::remove(entry.path());
    platform::FileSystem& files = fs;
    Journal journal(files, P("Quilo1.journal"));
    for (int step = 1; step <= c.lastStep; ++step) {
      JournalRecord r;
      r.job = 7;
      r.step = static_cast<JournalStep>(step);
      r.port = 1;
      r.document_sha256 = Sha256Hex(document);
      r.receipt_counter_before = c.counterBefore;
      r.outcome = "FINESCO";
      std::string error;
      ASSERT_TRUE(journal.Append(r, &error)) << error;
    }
    std::string left = document;
    for (const std::string& stem : c.filesLeft) {
      if (stem == "SR_DATI+") left = "SALE,N2,P300;\r\nCASH;\r\n";
      WriteFileBytes(P(stem.substr(0, 7) == "SR_DATI" ? "SR_DATI.001" : stem + ".001"),
                     stem.substr(0, 7) == "SR_DATI" ? left : stem == "FINESCO" ? "finesco" : "");
    }
    printer.counter = c.counterNow;
    printer.log.clear();
    view.lines.clear();
    Restart();
    StartIdentified();
    std::vector<std::string> after(printer.log.begin() + 1, printer.log.end());
    EXPECT_EQ(printer.log.front(), "dump 1");
    EXPECT_EQ(after, c.printed);
    EXPECT_FALSE(FileExists(P("SR_START.001")));
    EXPECT_EQ(FileExists(P("SR_ERR.001")) ? ReadFileBytes(P("SR_ERR.001")) : "", c.err);
    EXPECT_EQ(FileExists(P("FINESCO.001")), c.finesco);
    EXPECT_EQ(FileExists(P("SR_DATI.001")), c.dataKept);
    EXPECT_TRUE(FileExists(P("SR_MATR.001")));
    EXPECT_EQ(view.state().journalRecoveries, c.lastStep >= 1 && c.lastStep <= 4 ? 1u : 0u);
    std::vector<std::string> copies;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (entry.path().filename().string().rfind("SR_DATI.001.interrupted-", 0) == 0)
        copies.push_back(entry.path().string());
    ASSERT_EQ(copies.size(), c.copyKept ? 1u : 0u);
    if (c.copyKept) {
      EXPECT_EQ(ReadFileBytes(copies[0]), left);
      EXPECT_TRUE(Shown("Text2: DOCUMENTO INTERROTTO, COPIA IN " +
                        std::filesystem::path(copies[0]).filename().string()));
    }
  }
}

// The journal of an older version, among the hosts' files, moves to the
// program's own folder at the first start and still answers the job a crash
// cut off; a journal the hosts plant there later is not read.
TEST_F(RecoveryTest, TheOldJournalMovesToTheProgramsFolder) {
  testing_support::ScopedTempDir own;
  journalDir = own.path();
  Restart();
  settings.portEnabled[1] = settings.portEnabled[2] = settings.portEnabled[3] = false;
  const std::string document = "SALE,N1,P100;\r\nCASH;\r\n";
  std::string error;
  JournalRecord started{.step = JournalStep::kStarted, .job = 7, .port = 1, .document_sha256 = Sha256Hex(document)};
  ASSERT_TRUE(Journal(fs, P("Quilo1.journal")).Append(started, &error)) << error;
  WriteFileBytes(P("SR_START.001"), "");
  WriteFileBytes(P("SR_DATI.001"), document);
  StartIdentified();
  EXPECT_FALSE(FileExists(P("Quilo1.journal")));
  ASSERT_TRUE(FileExists(own.File("Quilo1.journal")));
  EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")),
            "E510: Stampa interrotta dal riavvio di Quilo1: scontrino annullato, inviare di nuovo\r\n");
  EXPECT_TRUE(Shown("log: Giornale dei lavori: spostato da " + P("Quilo1.journal") + " a " + own.File("Quilo1.journal")));
#ifndef _WIN32
  EXPECT_EQ(std::filesystem::status(own.File("Quilo1.journal")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
  // A host's journal in the data directory now: two records that would
  // answer a job that never printed with FINESCO.
  started.job = 9;
  ASSERT_TRUE(Journal(fs, P("Quilo1.journal")).Append(started, &error));
  ASSERT_TRUE(Journal(fs, P("Quilo1.journal"))
                  .Append({.step = JournalStep::kOutcomeWritten, .job = 9, .outcome = "FINESCO"}, &error));
  std::filesystem::remove(P("SR_ERR.001"));
  WriteFileBytes(P("SR_START.001"), "");
  Restart();
  StartIdentified();
  EXPECT_FALSE(FileExists(P("FINESCO.001")));
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_TRUE(FileExists(P("Quilo1.journal")));  // left alone, never read
}

}  // namespace
}  // namespace service
