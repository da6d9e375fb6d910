// The settings files: defaults, limits and odd lines, as start-up, "Set
// timer" and the save at the end meet them.
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "platform/system.h"
#include "testing/fake_file_system.h"

namespace {

using settings::Settings;

// The program directory, in memory.
struct ProgramDir {
  ProgramDir() { fs.AddDirectory(path()); }
  testing_support::FakeFileSystem fs;
  std::string path() const { return "prog"; }
  std::string File(const std::string& name) const { return path() + platform::PathSeparator() + name; }
};

struct Messages {
  std::vector<std::string> seen;
  settings::MessageFn fn() {
    return [this](const std::string& text) { seen.push_back(text); };
  }
};

std::string Ports(const Settings& s) {
  std::string r;
  for (bool on : s.portEnabled) r += on ? '1' : '0';
  return r;
}

TEST(SettingsStoreTest, PortFlags) {
  struct Case {
    std::optional<std::string> file;
    const char* ports;
  } cases[] = {
      {std::nullopt, "1111"},  {"101\r\n", "1111"},  {"0100\r\n", "0100"},
      {"", "1111"},            {"\r\n", "1111"},     {"  1010\r\n", "1010"},
      {"1x1\xB0\r\n", "1010"}, {"00011111", "0001"}, {"0000", "0000"},
  };
  for (const auto& c : cases) {
    ProgramDir dir;
    if (c.file) dir.fs.AddFile(dir.File("QLCHKCOM.TXT"), *c.file);
    Settings s;
    s.portEnabled[0] = false;  // a value the load must overwrite
    Messages m;
    settings::LoadSettings(dir.fs, dir.path(), &s, m.fn());
    EXPECT_EQ(Ports(s), c.ports) << (c.file ? *c.file : "(missing)");
    EXPECT_TRUE(m.seen.empty());
  }
}

TEST(SettingsStoreTest, IntervalAtStartUpSetsFieldAndRewritesFile) {
  struct Case {
    std::optional<std::string> file;
    int interval;
    const char* field;
  } cases[] = {
      {"70000\r\n", 60000, "60000"}, {"120\r\n", 120, "120"},   {"5\r\n", 5000, "5"},
      {"75\r\n", 60000, "60"},       {"abc\r\n", 1000, "1"},    {std::nullopt, 1000, "1"},
      {"", 1000, "1"},               {"0.5\r\n", 500, "0.5"},   {"-5\r\n", 1000, "1"},
      {"100\r\n", 100, "100"},       {"99\r\n", 60000, "60"},   {"60\r\n", 60000, "60"},
      {"  250\r\n", 250, "250"},     {"0.0001\r\n", 1, "0.0001"}, {"60000", 60000, "60000"},
  };
  for (const auto& c : cases) {
    ProgramDir dir;
    std::string path = dir.File("QLTIMER1.TXT");
    if (c.file) dir.fs.AddFile(path, *c.file);
    Settings s;
    s.pollInterval = 7;
    Messages m;
    settings::LoadSettings(dir.fs, dir.path(), &s, m.fn());
    std::string label = c.file ? *c.file : "(missing)";
    EXPECT_EQ(s.pollInterval, c.interval) << label;
    EXPECT_EQ(s.timerText, c.field) << label;
    EXPECT_EQ(dir.fs.Contents(path), std::string(c.field) + "\r\n") << label;
    EXPECT_TRUE(m.seen.empty());
  }
}

TEST(SettingsStoreTest, SetTimerAppliesTypedValue) {
  struct Case {
    const char* typed;
    int interval;
    const char* field;
    bool invalid;
    bool written;
  } cases[] = {
      {"0", 1000, "0", true, false},          {"abc", 1000, "abc", true, false},
      {"", 1000, "", true, false},            {"0.5", 500, "0.5", false, true},
      {"-2", 1000, "-2", false, false},       {"75", 60000, "60", false, true},
      {"70000", 60000, "70000", false, true}, {"250", 250, "250", false, true},
      {"3", 3000, "3", false, true},
  };
  for (const auto& c : cases) {
    ProgramDir dir;
    std::string path = dir.File("QLTIMER1.TXT");
    dir.fs.AddFile(path, "9\r\n");
    Settings s;
    s.pollInterval = 9000;
    Messages m;
    settings::TimerChange r = settings::SetTimer(dir.fs, dir.path(), c.typed, false, &s, m.fn());
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(s.pollInterval, c.interval) << c.typed;
    EXPECT_EQ(s.timerText, c.field) << c.typed;
    EXPECT_EQ(r.invalidValue, c.invalid) << c.typed;
    EXPECT_EQ(m.seen, c.invalid ? std::vector<std::string>{"Valore non ammesso"}
                                : std::vector<std::string>{})
        << c.typed;
    EXPECT_EQ(r.fileWritten, c.written) << c.typed;
    EXPECT_EQ(dir.fs.Contents(path), c.written ? std::string(c.typed) + "\r\n" : "9\r\n")
        << c.typed;
    EXPECT_EQ(r.fileText, c.written ? c.typed : "") << c.typed;
  }
}

TEST(SettingsStoreTest, SetTimerRefusedWhileConnected) {
  ProgramDir dir;
  dir.fs.AddFile(dir.File("QLTIMER1.TXT"), "9\r\n");
  Settings s;
  s.pollInterval = 9000;
  s.timerText = "9";
  Messages m;
  settings::TimerChange r = settings::SetTimer(dir.fs, dir.path(), "20", true, &s, m.fn());
  EXPECT_FALSE(r.accepted);
  EXPECT_FALSE(r.fileWritten);
  EXPECT_EQ(s.pollInterval, 9000);
  EXPECT_EQ(s.timerText, "9");
  EXPECT_EQ(m.seen, std::vector<std::string>{"Connessione in corso, valore non accettato"});
  EXPECT_EQ(dir.fs.Contents(dir.File("QLTIMER1.TXT")), "9\r\n");
}

// Every option switched away from the window's initial state, so a line
// that the load must not touch shows.
settings::Options AllOn() {
  settings::Options o;
  for (bool* b : {&o.chbConvXonXoff, &o.chbTrace, &o.chkDisableDisplay, &o.chkCodFisc,
                  &o.OptNonFiscal, &o.chbPagamentiEstesi, &o.chbInversioneScontiSuReso,
                  &o.chbTend5ASCorrNonRiscosso, &o.chbNoInviaApCassetto, &o.chbFastDisplay,
                  &o.chbDelayCompatibilita, &o.chbDisabTotalizzatori,
                  &o.chkForzaIntestazioneFattura, &o.OptionFAST, &o.CheckLogPagamento,
                  &o.CheckStampaLogo})
    *b = true;
  return o;
}

TEST(SettingsStoreTest, ShortOptionsFileSetsFirstLinesAndLeavesTheRest) {
  ProgramDir dir;
  dir.fs.AddFile(dir.File("QLCHKSCO.TXT"), "0\r\n1\r\n0\r\n");
  Settings s;
  s.options = AllOn();
  s.options.chkCodFisc = false;
  settings::LoadSettings(dir.fs, dir.path(), &s, nullptr);
  settings::Options want = AllOn();
  want.chkDisableDisplay = false;  // line 3
  // chbTrace from line 2, chkCodFisc on for its missing line 4, line 1
  // ignored, lines 5 to 16 as the window had them.
  EXPECT_EQ(std::memcmp(&s.options, &want, sizeof want), 0);
  EXPECT_TRUE(s.options.chkCodFisc);
  EXPECT_TRUE(s.options.chbTrace);
  EXPECT_TRUE(s.options.chbConvXonXoff);
}

TEST(SettingsStoreTest, MissingOptionsFileChangesNothingAndEmptyFileSetsDefaults) {
  ProgramDir dir;
  Settings s;
  s.options = AllOn();
  s.options.chkCodFisc = false;
  settings::LoadSettings(dir.fs, dir.path(), &s, nullptr);
  EXPECT_TRUE(s.options.chbTrace);
  EXPECT_FALSE(s.options.chkCodFisc);

  dir.fs.AddFile(dir.File("QLCHKSCO.TXT"), "");
  settings::LoadSettings(dir.fs, dir.path(), &s, nullptr);
  EXPECT_FALSE(s.options.chbTrace);
  EXPECT_FALSE(s.options.chkDisableDisplay);
  EXPECT_TRUE(s.options.chkCodFisc);
  EXPECT_TRUE(s.options.CheckStampaLogo);
}

std::string OptionsFile(const char* line2, const char* line5, const char* line14) {
  std::vector<std::string> lines(16, "0");
  lines[1] = line2;
  lines[4] = line5;
  lines[13] = line14;
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

TEST(SettingsStoreTest, OptionLinesExactTrimmedAndLine14) {
  struct Case {
    const char* line2;
    const char* line5;
    const char* line14;
    bool trace, nonFiscal, fast;
  } cases[] = {
      {"1", "1", "F", true, true, true},        {" 1", " 1 ", " F", true, true, true},
      {"1 ", "1  ", "f", false, true, false},   {"0", "0", "F ", false, false, false},
      {"x", "", "S", false, false, false},      {"11", "11", "FF", false, false, false},
  };
  for (const auto& c : cases) {
    ProgramDir dir;
    dir.fs.AddFile(dir.File("QLCHKSCO.TXT"), OptionsFile(c.line2, c.line5, c.line14));
    Settings s;
    s.options = AllOn();
    settings::LoadSettings(dir.fs, dir.path(), &s, nullptr);
    EXPECT_EQ(s.options.chbTrace, c.trace) << "[" << c.line2 << "]";
    EXPECT_EQ(s.options.OptNonFiscal, c.nonFiscal) << "[" << c.line5 << "]";
    EXPECT_EQ(s.options.OptionFAST, c.fast) << "[" << c.line14 << "]";
    EXPECT_FALSE(s.options.CheckStampaLogo);
  }
}

TEST(SettingsStoreTest, XonXoffFlag) {
  struct Case {
    std::optional<std::string> file;
    bool initial;
    bool want;
  } cases[] = {
      {"1\r\n", false, true},  {"0\r\n", true, false},  {"\r\n", true, false},
      {"", true, false},       {"2.5\r\n", false, true}, {"-1\r\n", true, false},
      {"abc\r\n", true, false}, {std::nullopt, true, true}, {std::nullopt, false, false},
  };
  for (const auto& c : cases) {
    ProgramDir dir;
    if (c.file) dir.fs.AddFile(dir.File("QLCHKXXS.TXT"), *c.file);
    Settings s;
    s.options.chbConvXonXoff = c.initial;
    settings::LoadSettings(dir.fs, dir.path(), &s, nullptr);
    EXPECT_EQ(s.options.chbConvXonXoff, c.want) << (c.file ? *c.file : "(missing)");
  }
}

TEST(SettingsStoreTest, VatTableFillsFourSlotsFromNumericLines) {
  ProgramDir dir;
  dir.fs.AddFile(dir.File("QLVALIVA.txt"), "500\r\nx\r\n1000\r\n2200\r\n2200\r\n99\r\n");
  Settings s;
  settings::LoadSettings(dir.fs, dir.path(), &s, nullptr);
  EXPECT_EQ(std::vector<int>(s.vat.slot, s.vat.slot + 6),
            (std::vector<int>{500, 1000, 2200, 2200, 0, 0}));
  ASSERT_TRUE(settings::SaveSettings(dir.fs, dir.path(), s, nullptr));
  EXPECT_EQ(dir.fs.Contents(dir.File("QLVALIVA.txt")), "500\r\n1000\r\n2200\r\n2200\r\n0\r\n");
}

TEST(SettingsStoreTest, VatTableOddLines) {
  struct Case {
    std::optional<std::string> file;
    std::vector<int> slots;
  } cases[] = {
      {std::nullopt, {400, 1000, 2200, 3600}},
      {"", {400, 1000, 2200, 3600}},
      {"  700 \r\n\r\n", {700, 1000, 2200, 3600}},
      {"22.5\r\n1e12\r\n12abc\r\n-1\r\n", {22, -1, 2200, 3600}},
      {"1\n2\n3\n4\n5\n", {1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    ProgramDir dir;
    if (c.file) dir.fs.AddFile(dir.File("QLVALIVA.txt"), *c.file);
    Settings s;
    s.vat.slot[0] = 1;  // the load starts from the fixed defaults
    s.vat.slot[4] = 5;
    settings::LoadSettings(dir.fs, dir.path(), &s, nullptr);
    EXPECT_EQ(std::vector<int>(s.vat.slot, s.vat.slot + 4), c.slots);
    EXPECT_EQ(s.vat.slot[4], 0);
  }
}

TEST(SettingsStoreTest, SaveWritesEveryFileAndLoadReadsItBack) {
  ProgramDir dir;
  Settings s;
  s.portEnabled[1] = s.portEnabled[3] = false;
  s.options.chbConvXonXoff = true;
  s.options.chkCodFisc = false;
  s.options.OptNonFiscal = true;
  s.options.chbDisabTotalizzatori = true;
  s.options.OptionFAST = true;
  s.options.CheckStampaLogo = true;
  s.vat.slot[4] = 1000;
  ASSERT_TRUE(settings::SaveSettings(dir.fs, dir.path(), s, nullptr));
  EXPECT_EQ(dir.fs.Contents(dir.File("QLCHKCOM.TXT")), "1010\r\n");
  EXPECT_EQ(dir.fs.Contents(dir.File("QLCHKXXS.TXT")), "1\r\n");
  EXPECT_EQ(dir.fs.Contents(dir.File("QLCHKSCO.TXT")),
            "1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\nF\r\n0\r\n1\r\n");
  EXPECT_EQ(dir.fs.Contents(dir.File("QLVALIVA.txt")), "400\r\n1000\r\n2200\r\n3600\r\n1000\r\n");
  EXPECT_FALSE(dir.fs.HasFile(dir.File("QLTIMER1.TXT")));
  // Readable by the shop, written by the program alone, whatever its umask.
  for (const char* name : {"QLCHKCOM.TXT", "QLCHKXXS.TXT", "QLCHKSCO.TXT", "QLVALIVA.txt"})
    EXPECT_EQ(0644u, dir.fs.Mode(dir.File(name))) << name;

  Settings back;
  back.options = AllOn();
  settings::LoadSettings(dir.fs, dir.path(), &back, nullptr);
  EXPECT_EQ(Ports(back), "1010");
  EXPECT_EQ(std::memcmp(&back.options, &s.options, sizeof s.options), 0);
  EXPECT_EQ(back.pollInterval, 1000);
  EXPECT_EQ(dir.fs.Contents(dir.File("QLTIMER1.TXT")), "1\r\n");
  // Slot 4 is written but never read.
  EXPECT_EQ(back.vat.slot[4], 0);
}

TEST(SettingsStoreTest, UnreadableFilesAreReportedAndDefaultsKept) {
  ProgramDir dir;
  // A folder in place of each file: it exists, but no read can succeed.
  for (const char* name : {"QLCHKCOM.TXT", "QLTIMER1.TXT", "QLCHKSCO.TXT", "QLCHKXXS.TXT",
                           "QLVALIVA.txt"})
    dir.fs.AddDirectory(dir.File(name));
  Settings s;
  s.portEnabled[2] = false;
  Messages m;
  settings::LoadSettings(dir.fs, dir.path(), &s, m.fn());
  ASSERT_EQ(m.seen.size(), 5u);
  EXPECT_NE(m.seen[0].find(dir.File("QLCHKCOM.TXT")), std::string::npos);
  EXPECT_NE(m.seen[4].find(dir.File("QLVALIVA.txt")), std::string::npos);
  EXPECT_EQ(Ports(s), "1111");
  EXPECT_EQ(s.pollInterval, 1000);
  EXPECT_EQ(s.timerText, "1");
  EXPECT_EQ(dir.fs.Kind(dir.File("QLTIMER1.TXT")), platform::FileKind::kDirectory);
  // Each unreadable file was tried eleven times.
  EXPECT_EQ(dir.fs.Count("read", dir.File("QLVALIVA.txt")), 11);
  EXPECT_EQ(s.vat.slot[3], 3600);
}

TEST(SettingsStoreTest, SaveReportsAFileItCannotWriteAndWritesTheOthers) {
  ProgramDir dir;
  dir.fs.AddDirectory(dir.File("QLCHKXXS.TXT"));
  Settings s;
  Messages m;
  EXPECT_FALSE(settings::SaveSettings(dir.fs, dir.path(), s, m.fn()));
  ASSERT_EQ(m.seen.size(), 1u);
  EXPECT_NE(m.seen[0].find("QLCHKXXS.TXT"), std::string::npos);
  EXPECT_EQ(dir.fs.Contents(dir.File("QLCHKCOM.TXT")), "1111\r\n");
  EXPECT_TRUE(dir.fs.HasFile(dir.File("QLCHKSCO.TXT")));
  EXPECT_TRUE(dir.fs.HasFile(dir.File("QLVALIVA.txt")));
}

// A Windows install: users were given the settings files, never the
// right to create a file in the program folder.
TEST(SettingsStoreTest, SaveInAFolderThatRefusesNewFilesWritesTheFilesGiven) {
  ProgramDir dir;
  dir.fs.RefuseNewFiles(dir.path());
  for (const char* name : {"QLCHKCOM.TXT", "QLCHKSCO.TXT", "QLVALIVA.txt", "QLTIMER1.TXT"})
    dir.fs.AddFile(dir.File(name), "");
  Settings s;
  s.portEnabled[0] = false;
  s.options.OptionFAST = true;
  Messages m;
  EXPECT_FALSE(settings::SaveSettings(dir.fs, dir.path(), s, m.fn()));
  // The one file the installer did not make cannot be made.
  ASSERT_EQ(m.seen.size(), 1u);
  EXPECT_NE(m.seen[0].find("QLCHKXXS.TXT"), std::string::npos);
  EXPECT_FALSE(dir.fs.HasFile(dir.File("QLCHKXXS.TXT")));
  EXPECT_EQ(dir.fs.Contents(dir.File("QLCHKCOM.TXT")), "0111\r\n");
  EXPECT_NE(dir.fs.Contents(dir.File("QLCHKSCO.TXT")).find("F\r\n"), std::string::npos);
  EXPECT_EQ(dir.fs.Contents(dir.File("QLVALIVA.txt")), "400\r\n1000\r\n2200\r\n3600\r\n0\r\n");

  Settings back;
  settings::LoadSettings(dir.fs, dir.path(), &back, nullptr);
  EXPECT_EQ(Ports(back), "0111");
  EXPECT_TRUE(back.options.OptionFAST);
  EXPECT_EQ(dir.fs.Contents(dir.File("QLTIMER1.TXT")), "1\r\n");
}

TEST(SettingsStoreTest, GarbageNeverBreaksTheLoad) {
  const std::string garbage[] = {std::string("\0\xFF,\"\r\r\n\x1A", 8), "\r\n\r\n\r\n",
                                 std::string(5000, '9'), ",,,;\n-\n.\ne5\n"};
  for (const auto& bytes : garbage) {
    ProgramDir dir;
    for (const char* name : {"QLCHKCOM.TXT", "QLTIMER1.TXT", "QLCHKSCO.TXT", "QLCHKXXS.TXT",
                             "QLVALIVA.txt"})
      dir.fs.AddFile(dir.File(name), bytes);
    Settings s;
    settings::LoadSettings(dir.fs, dir.path(), &s, nullptr);
    EXPECT_GE(s.pollInterval, 1);
    EXPECT_LE(s.pollInterval, 60000);
  }
}

}  // namespace
