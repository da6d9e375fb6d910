// Key sequences in, command lines out; and the file frame around them.
#include "adapters/xonxoff.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace adapters {
namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteFileBytes;

struct KeyCase {
  const char* keys;
  std::vector<std::string> lines;
};

class KeySequenceTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeySequenceTest, WritesTheCommands) {
  EXPECT_EQ(ParseXonXoffKeys(GetParam().keys), GetParam().lines) << "keys: " << GetParam().keys;
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
  for (const std::string& line : ParseXonXoffKeys(keys)) {
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), ';');
    EXPECT_EQ(line.find('\n'), std::string::npos);
  }
}

class XonXoffFileTest : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
  convert::ConvertContext ctx_;
  std::string in_ = dir_.File("SR_DATI.001");
  std::string out_ = dir_.File("tempSL.txt");
};

TEST_F(XonXoffFileTest, KeysSplitOverLinesAreJoined) {
  WriteFileBytes(in_, "25\r\n0H3R\r\n\"PA\nNE\"1\r\nR1000H\r\n1T");
  ASSERT_TRUE(ConvertXonXoff(in_, out_, ctx_));
  EXPECT_EQ(ReadFileBytes(out_), "SALE,N3,P250;\r\nPLUD,C[1],N1,:PANE;\r\nCASH,V1000;\r\n");
}

TEST_F(XonXoffFileTest, MissingOrEmptyInputFailsAndWritesNothing) {
  EXPECT_FALSE(ConvertXonXoff(in_, out_, ctx_));
  EXPECT_FALSE(FileExists(out_));
  WriteFileBytes(in_, "");
  EXPECT_FALSE(ConvertXonXoff(in_, out_, ctx_));
  EXPECT_FALSE(FileExists(out_));
}

TEST_F(XonXoffFileTest, ReplacesAnEarlierOutput) {
  WriteFileBytes(out_, "CASH;\r\nCASH;\r\n");
  WriteFileBytes(in_, "250H");
  ASSERT_TRUE(ConvertXonXoff(in_, out_, ctx_));
  EXPECT_EQ(ReadFileBytes(out_), "");
}

TEST_F(XonXoffFileTest, TextBytesAreKeptAsTheyAre) {
  WriteFileBytes(in_, "\"CAFF\xC8\"1R");
  ASSERT_TRUE(ConvertXonXoff(in_, out_, ctx_));
  EXPECT_EQ(ReadFileBytes(out_), "PLUD,C[1],N1,:CAFF\xC8;\r\n");
}

// With the option on, the converter reads the key sequence through the
// work file and goes on with it.
TEST_F(XonXoffFileTest, ThroughTheConverter) {
  ctx_.dataDir = dir_.path();
  ctx_.options.chbConvXonXoff = true;
  WriteFileBytes(in_, "250H3R\r\n1000H1T");
  convert::ConversionResult conversion = convert::ConvertDocument(in_, ctx_);
  ASSERT_EQ(conversion.result, 0);
  EXPECT_EQ(ReadFileBytes(out_), "SALE,N3,P250;\r\nCASH,V1000;\r\n");
  EXPECT_NE(ReadFileBytes(dir_.File("KB.txt")).find("300408CONTANTI000001000"), std::string::npos);
  EXPECT_TRUE(conversion.paymentSeen);
}

TEST_F(XonXoffFileTest, ConverterFailsOnAnEmptyKeyFile) {
  ctx_.dataDir = dir_.path();
  ctx_.options.chbConvXonXoff = true;
  WriteFileBytes(in_, "");
  EXPECT_EQ(convert::ConvertDocument(in_, ctx_).result, 1);
}

}  // namespace
}  // namespace adapters
