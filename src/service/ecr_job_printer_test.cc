// A job through the real printer side on the in-memory file system and a
// scripted printer: the document is read once, converted in memory and sent
// from memory; what a conversion leaves in the data directory are records.
#include "service/ecr_job_printer.h"

#include <gtest/gtest.h>

#include "platform/system.h"
#include "service/job_service.h"
#include "testing/fake_clock.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_file_system.h"
#include "testing/fake_serial_port.h"

namespace service {
namespace {

class NoView : public StatusView {
 public:
  NoView() {
    Subscribe([this](const ServiceState& s, StateChange c) {
      if (c.what == Shown::kProgramStatus) status.push_back(s.programStatus);
    });
  }
  std::vector<std::string> status;
};

// A file of the data directory "/data", joined as the program joins it.
std::string D(const std::string& name) { return "/data" + std::string(1, platform::PathSeparator()) + name; }

class EcrJobPrinterTest : public ::testing::Test, public ProgramHost {
 protected:
  EcrJobPrinterTest()
      : port(loop), link(port, loop, settings.options, clock), printer(link, fs, settings, [this](const std::string& m) { messages.push_back(m); }),
        service(ServiceParts{loop, fs, clock, printer, settings, view, *this, nullptr, "/prog"}) {
    port.SetScript(testing_support::Printer([](const std::string& c) {
      const std::string code = c.substr(0, 4);
      if (code == "1008") return std::string("1008RT99MEY012");
      if (code == "1511") return std::string("1511X99MEY012345678901234561");
      if (code == "1214") return std::string("12142");
      if (code == "1013") return std::string("1013FW 05.01.02 RT VIRTUAL ECR");
      if (code == "1009") return std::string("100900");
      return code + "00";
    }));
    fs.AddDirectory("/data");
    for (bool& ticked : settings.portEnabled) ticked = false;
    settings.portEnabled[0] = true;
    settings.options.chbTrace = true;
  }
  void SaveSettings() override {}
  void EndProgram() override {}
  // Runs the scans until the port's job has its answer.
  void RunJob(const std::string& document) {
    fs.AddFile(D("SR_DATI.001"), document);
    fs.AddFile(D("SR_START.001"), "");
    for (int i = 0; i < 5 && fs.HasFile(D("SR_START.001")); ++i) service.detection().Scan();
  }

  testing_support::FakeEventLoop loop;
  testing_support::FakeClock clock{&loop};
  testing_support::FakeFileSystem fs;
  testing_support::FakeSerialPort port;
  settings::Settings settings;
  std::vector<std::string> messages;
  ecr::EcrLink link;
  EcrJobPrinter printer;
  NoView view;
  JobService service;
};

TEST_F(EcrJobPrinterTest, TheDocumentIsReadOnceAndSentFromMemory) {
  service.Start("/data");
  service.detection().Scan();  // identifies the printer
  ASSERT_TRUE(fs.HasFile(D("SR_MATR.001")));
  const std::string invoice = "OPFS,N3,:VERDI;\r\nSALE,:X,Q2,P150,I22;\r\nSALE,:Y,P1,I2.2.2;\r\nCASH;\r\n";
  for (const std::string& document : {std::string("SALE,N1,P100;\r\nCASH;\r\n"), invoice}) {
    fs.ClearCalls();
    // A transmission whose SR_OUT cannot be made at first tries again with
    // the same commands.
    fs.FailNext("write", D("SR_OUT.001"), 1);
    RunJob(document);
    EXPECT_EQ(fs.Contents(D("FINESCO.001")), "finesco");
    EXPECT_EQ(fs.Count("read", D("SR_DATI.001")), 1);
    EXPECT_EQ(fs.Count("read", D("KB.txt")), 0);
    EXPECT_FALSE(fs.Contents(D("KB.txt")).empty());
  }
  // The invoice's records: the copy as the host wrote it; the adapter's
  // trace line in the job's trace file.
  EXPECT_EQ(fs.Contents(D("SR_DATI.001.txt")), invoice);
  std::string trace;
  for (const auto& [path, bytes] : fs.files())
    if (path.find("TRACE_") != std::string::npos && bytes.find("ConvertFatturaSuScontrino") != std::string::npos)
      trace = bytes;
  EXPECT_NE(trace.find(" --> ConvertFatturaSuScontrino: 13 - Type mismatch\r\n"), std::string::npos);
}

// An SR_OUT that cannot be created is never a success: after three tries
// 100 ms apart the job fails unsent, with the message box of the file.
TEST_F(EcrJobPrinterTest, UncreatableOutputFileIsNeverASuccess) {
  service.Start("/data");
  service.detection().Scan();
  ASSERT_TRUE(fs.HasFile(D("SR_MATR.001")));
  const size_t framesBefore = port.frames().size();
  fs.FailNext("write", D("SR_OUT.001"), 100);
  const int64_t start = loop.NowMs();
  RunJob("SALE,N1,P100;\r\nCASH;\r\n");
  EXPECT_GE(loop.NowMs() - start, 200);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("ERRORE3 = Path/File access error: ", 0), 0u);
  EXPECT_FALSE(fs.HasFile(D("FINESCO.001")));
  EXPECT_TRUE(fs.HasFile(D("SR_ERR.001")));
  // The counter read before the document and the job's closing command alone.
  std::vector<std::string> sent;
  for (size_t i = framesBefore; i < port.frames().size(); ++i)
    sent.push_back(testing_support::ParseFrame(port.frames()[i]).command);
  for (const std::string& command : sent) EXPECT_TRUE(command == "1004" || command == "1109") << command;
}

}  // namespace
}  // namespace service
