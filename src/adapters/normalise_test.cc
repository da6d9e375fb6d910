// Line and print-line normalisation, byte for byte.
#include "adapters/normalise.h"

#include "gtest/gtest.h"

namespace adapters {
namespace {

TEST(NormaliseLine, Table) {
  struct Case {
    std::string in;
    int width;
    std::string out;
  } cases[] = {
      {"sale,N07,q2,p0150,:Caff\xe8 totale;", 30, "SALE,N7,Q2,P150,:CAFFE TOT.  ;"},
      {"SALE,N1,q1.5,P100;", 30, "SALE,N1,Q1.500,P100;"},
      {"SALE,N1,q2.12345,P100;", 30, "SALE,N1,Q2.123,P100;"},
      {"SALE,N1,Q.5,P1.;", 30, "SALE,N1,Q0.500,P1;"},
      {"open;", 30, "OPEN;"},
      {"PRNTX,:abc", 30, "PRNT,:ABC;"},
      {"CASH", 30, "CASH;"},
      {"", 30, ""},
      {"SALE,N1,P100,R;", 30, "SALE,N1,P100,R;"},
      {"SALE,N,P100;", 30, "SALE,N1,P100;"},
      {"SALE,,N1,;", 30, "SALE,N1,;1"},
      {"SALE,N1, P 1 0 0 ,S1", 30, "SALE,N1,P100,S1;"},
      {"PLUD,N1,:PANE,salato,P100;", 30, "PLUD,N1,:PANE,S,P100;"},
      {"PLUD,N01,c 0a1 ,P0100", 30, "PLUD,N1,C 0A1,P100;"},
      {"PLUD,N1,:", 30, "PLUD,N1,: ;"},
      {"PLUD,N1,:a\tb&c", 30, "PLUD,N1,:ABeC;"},
      {"PLUD,N1,:xx,yy", 30, "PLUD,N1,:XX,Y1;"},
      {"DISC,%10.5;", 30, "DISC,%10.50;"},
      {"DISC,%7.125;", 30, "DISC,%7.12;"},
      {"MOST,%05;", 30, "MOST,%5;"},
      {"CASH,V0100;", 30, "CASH,V100;"},
      {"TEND,N05,V0;", 30, "TEND,N5,V0;"},
      {"CASH,V1.50;", 30, "CASH,V1.5;"},
      {"TICK,Q02,V700;", 30, "TICK,Q02,V700;"},
      {"LOTT,C[abcd1234];", 30, "LOTT,C[ABCD1234];"},
      {"CLER,Cabc;", 30, "CLER,C1;"},
      {"NDCR,N00120034,>pos,D010124;", 30, "NDCR,N00120034,>POS,D010124;"},
      {"DELD,n 0012 ,>abc,:Citt\xe0;", 30, "DELD,N 0012,>ABC,:CITTA;"},
      {"FUNC,N01;", 30, "FUNC,N1;"},
      {"PLUD,N1,:" + std::string(40, 'x'), 30, "PLUD,N1,:" + std::string(30, 'X') + ";"},
      {"DISP,N1,:" + std::string(45, 'x') + ";", 40, "DISP,N1,:" + std::string(40, 'X') + ";"},
      // DOS letters are folded, Windows letters are upper-cased first.
      {"PLUD,:\x80\x82\x85\x87\x88\x8a\x8d\x95\x97\x9c", 30, "PLUD,:EeaceeiouL;"},
      {"PLUD,:\xe4\xf6\xfc\xc4\xd6\xdc\xe0\xe9\xec\xf2\xf9\xc3", 30, "PLUD,:AEOEUEAEOEUEAEIOUE;"},
      {"PLUD,:\xf8\xb0", 30, "PLUD,:\xd8\xb0;"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormaliseLine(c.in, c.width), c.out) << c.in;
}

TEST(NormalisePrintLine, Table) {
  struct Case {
    std::string in;
    int width;
    std::string out;
  } cases[] = {
      {"PRNT,:;", 32, "PRNT,: ;"},
      {"PRNT,:Citt\xe0", 32, "PRNT,:Citta;"},
      {"PRNT;", 32, "PRNT;"},
      {"PRNT,H1,:A;", 32, "PRNT,H1,:A;"},
      {"PRNT,H1,A", 32, "PRNT,H1,A"},
      {"PRNT,:" + std::string(40, 'a') + ";", 32, "PRNT,:" + std::string(32, 'a') + ";"},
      {"PRNT,:" + std::string(40, 'a') + ";", -1, "PRNT,:" + std::string(40, 'a') + ";"},
      {"PRNT,:a&b\x88\xb0\xb7\xc3\xe4\t", 32, "PRNT,:a&b\x88.A\xc3\xe4\t;"},
      {"PRNT,:\x80uro,H1", 32, "PRNT,:Euro,H1;"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalisePrintLine(c.in, c.width), c.out) << c.in;
}

}  // namespace
}  // namespace adapters
