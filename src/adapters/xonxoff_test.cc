// Key sequences in, command lines out; and the document's lines around them.
#include "adapters/xonxoff.h"

#include <gtest/gtest.h>

#include "language/language.h"

namespace adapters {
namespace {

using Lines = std::vector<std::string>;

struct KeyCase {
  const char* keys;
  std::vector<std::string> lines;
};

class KeySequenceTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeySequenceTest, WritesTheCommands) {
  EXPECT_EQ(ConvertXonXoff({GetParam().keys}), GetParam().lines) << "keys: " << GetParam().keys;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, KeySequenceTest,
    ::testing::Values(
        KeyCase{"2*150H\"PANE\"1R", {"PLUD,C[1],N1,:PANE,Q2,P150;"}},
        KeyCase{"250H3R", {"SALE,N3,P250;"}},
        KeyCase{"1*250H3R", {"SALE,N3,P250;"}},
        KeyCase{"1.0*250H3R", {"SALE,N3,P250;"}},
        KeyCase{"\"PANE, BURRO\"1R", {"PLUD,C[1],N1,:PANE. BURRO;"}},
        KeyCase{"1000H1T", {"CASH,V1000;"}},
        KeyCase{"2T", {"CHEQ;"}},
        KeyCase{"300H3T", {"CARD,V300;"}},
        KeyCase{"500H5T", {"TEND,N5,V500;"}},
        KeyCase{"5*\"BUONI\"100H4T", {"TEND,N4,:BUONI,Q5,V100;"}},
        KeyCase{"10*2M", {"SUBT;", "DOST,%10;"}},
        KeyCase{"150H3M", {"COUP,V150;"}},
        KeyCase{"10*1M", {"DISC,%10;"}},
        KeyCase{"200H4M", {"SUBT;", "COST,V200;"}},
        KeyCase{"10*5M", {"MAGG,%10;"}},
        KeyCase{"5*6M", {"SUBT;", "MOST,%5;"}},
        KeyCase{"200H7M", {"ADDI,V200;"}},
        KeyCase{"\"EXTRA\"200H8M", {"SUBT;", "ADDS,:EXTRA,V200;"}},
        KeyCase{"1*1M", {"DISC;"}},
        KeyCase{"9M250H3R", {"SALE,N3,P250,R;"}},
        KeyCase{"0M250H3R", {"SALE,N3,P250,S;"}},
        KeyCase{"12M", {"CRED;"}},
        KeyCase{"99M12M", {"CRED;"}},
        KeyCase{"\"ACCONTO\"13M", {"RECO,:ACCONTO;"}},
        KeyCase{"\"GRAZIE\"@", {"PRNT,:GRAZIE;"}},
        KeyCase{"\"OFFERTA\">", {"DISP,N1,C2,:OFFERTA;"}},
        KeyCase{"5O", {"OPER,C5;"}},
        KeyCase{"O", {}},
        KeyCase{"O250H3R", {"SALE,N3,P250;"}},
        KeyCase{"3#", {"CLER,C3;"}},
        KeyCase{"12F", {"FUNC,N12;"}},
        KeyCase{"2*150H\"PANE\"5P", {"PLUI,N5,:PANE,Q2,P150;"}},
        KeyCase{"2*a150H3R", {"OPEN;", "SALE,N3,Q2,P150;"}},
        KeyCase{"aKjJ=czyx", {"OPEN;", "CLEA;", "OPNF;", "CLNF;", "SUBT;", "REGK;", "ZKEY;", "MGRK;", "XKEY;"}},
        KeyCase{"250H", {}},
        KeyCase{"250H3R100H", {"SALE,N3,P250;"}},
        KeyCase{" 25 0H 3R ", {"SALE,N3,P250;"}},
        KeyCase{"\"A B\"1R", {"PLUD,C[1],N1,:A B;"}},
        KeyCase{"\"VECCHIO\"\"NUOVO\"1R", {"PLUD,C[1],N1,:NUOVO;"}},
        KeyCase{"\"a=K\"1R", {"PLUD,C[1],N1,:a=K;"}},
        // Every command starts from scratch: nothing leaks into the next line.
        KeyCase{"\"PANE\"2*150H1R250H3R", {"PLUD,C[1],N1,:PANE,Q2,P150;", "SALE,N3,P250;"}},
        KeyCase{"0T250H3R", {"SALE,N3,P250;"}},
        // A character that is no key is part of the number.
        KeyCase{"2b50H3R", {"SALE,N3,P2b50;"}}));

INSTANTIATE_TEST_SUITE_P(
    Barcode, KeySequenceTest,
    ::testing::Values(KeyCase{"1Z", {"BARC,T1,H0,:1234567890123;"}},
                      KeyCase{"2Z", {"BARC,T2,H0,:1234567890123;"}},
                      KeyCase{"3Z", {"BARC,T4,H0,:1234567890123;"}},
                      KeyCase{"4Z", {"BARC,T4,H0,:1234567890123;"}},
                      KeyCase{"5Z", {}},
                      KeyCase{"Z", {}},
                      KeyCase{"0Z", {}},
                      // The state is cleared by the key whatever the number.
                      KeyCase{"\"X\"150H7Z3R", {"SALE,N3;"}},
                      KeyCase{"\"X\"150H1Z3R", {"BARC,T1,H0,:1234567890123;", "SALE,N3;"}}));

// Line feeds never reach the parser: the file's lines are joined first.
TEST(KeySequence, AnyByteGivesOnlyWholeCommands) {
  std::string keys;
  for (int round = 0; round < 3; ++round)
    for (int c = 0; c < 256; ++c)
      if (c != '\n') keys += char(c);
  for (const std::string& line : ConvertXonXoff({keys})) {
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), ';');
    EXPECT_EQ(line.find('\n'), std::string::npos);
  }
}

TEST(XonXoffDocument, KeysSplitOverLinesAreJoined) {
  EXPECT_EQ(ConvertXonXoff(language::SplitLines("25\r\n0H3R\r\n\"PA\nNE\"1\r\nR1000H\r\n1T")),
            (Lines{"SALE,N3,P250;", "PLUD,C[1],N1,:PANE;", "CASH,V1000;"}));
}

TEST(XonXoffDocument, NoCommandFromNoKeysOrUnfinishedOnes) {
  EXPECT_EQ(ConvertXonXoff({}), Lines{});
  EXPECT_EQ(ConvertXonXoff({"", ""}), Lines{});
  EXPECT_EQ(ConvertXonXoff({"250H"}), Lines{});
}

TEST(XonXoffDocument, TextBytesAreKeptAsTheyAre) {
  EXPECT_EQ(ConvertXonXoff({"\"CAFF\xC8\"1R"}), Lines{"PLUD,C[1],N1,:CAFF\xC8;"});
}

}  // namespace
}  // namespace adapters
