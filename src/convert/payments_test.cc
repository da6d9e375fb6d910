// Payments, tax code, lottery code, invoices and the receipt's closing:
// document lines in, command lines out.
#include <string>
#include <vector>

#include "testing/converted_document.h"
#include "gtest/gtest.h"

namespace convert {
namespace {

using Lines = std::vector<std::string>;

const std::string kItem = "31011" "01" "22" "REPARTO 1             " "000000100";
const std::string kBlankCustomer = "3010105     ";

struct Case {
  const char* name;
  Lines document;
  void (*setup)(ConvertContext&);
  Lines commands;
};

void Extended(ConvertContext& c) { c.options.chbPagamentiEstesi = true; }
void Rt(ConvertContext& c) { c.printer.rtMode = true; }
void NoDrawer(ConvertContext& c) { c.options.chbNoInviaApCassetto = true; }
void TaxCodeF(ConvertContext& c) {
  c.options.chkCodFisc = true;
  c.printer.taxCodeKind = 2;
}
void NonFiscal(ConvertContext& c) { c.options.OptNonFiscal = true; }

const Case kCases[] = {
    {"cash", {"SALE,N1,P100;", "CASH,V1000;"}, nullptr, {kItem, "300408CONTANTI000001000", "3011", "70081"}},
    {"cash extended", {"SALE,N1,P100;", "CASH,V1000;"}, Extended,
     {kItem, "3007010008CONTANTI000001000", "3011", "70081"}},
    {"cash without amount", {"CASH;"}, nullptr, {"300408CONTANTI000000000"}},
    {"cheque and card", {"CHEQ,V100;", "CARD,V200;"}, nullptr,
     {"300407ASSEGNI000000100", "300416CARTA DI CREDITO000000200"}},
    {"card extended", {"CARD,V200;"}, Extended, {"3007030016CARTA DI CREDITO000000200"}},
    {"debit card", {"BANC,V300;", "BANC,:POS 2,V1;"}, Extended,
     {"3007080008BANCOMAT000000300", "3007080005POS 2000000001"}},
    {"tender by number", {"TEND,N5,V500;"}, Extended, {"3007050010PAGAM. N.5000000500"}},
    {"tender with text and leading zero", {"TEND,N07,:Satispay,V500;"}, nullptr, {"300408SATISPAY000000500"}},
    {"tender 31 is no payment", {"TEND,N31,V500;"}, nullptr, {}},
    {"tender 1 is cash", {"TEND,N1,V500;"}, nullptr, {"300408CONTANTI000000500"}},
    {"tender 2 is replaced by the tender", {"TEND,N2,V500;"}, nullptr, {"300410PAGAM. N.2000000500"}},
    {"meal voucher extended", {"TICK,Q2,V700;"}, Extended, {"3007050211BUONO PASTO000000700"}},
    {"meal voucher without count", {"TICK,V700;"}, Extended, {"3007050011BUONO PASTO000000700"}},
    {"meal voucher plain writes no command", {"TICK,Q2,V700;"}, nullptr, {}},
    {"plain meal voucher ignores a long count", {"TICK,Q123,V700;", "SALE,N1,P100;"}, nullptr,
     {kItem, "3011", "70081"}},
    {"not collected on an RT printer", {"CRED,T3;"}, Rt, {"30075100" "20" "NON RISCOSSO FATTURE" "000000000"}},
    {"credit on a printer not in RT mode", {"CRED,T3;"}, nullptr, {"300507CREDITO000000000"}},
    {"not collected types", {"CRED,T2,V100;", "CRED,T4;", "CRED,T5;", "CRED,T6,:Buono;", "CRED,T9;", "CRED,V50;"},
     Rt,
     {"30075000" "20" "NON RISCOSSO SERVIZI" "000000100", "30075200" "19" "NON RISCOSSO DCRSSN" "000000000",
      "30075300" "15" "SCONTO A PAGARE" "000000000", "30075300" "05" "BUONO" "000000000",
      "30070700" "17" "NON RISCOSSO BENI" "000000000", "300507CREDITO000000050"}},
    {"lottery code in brackets", {"LOTT,C[ABCD1234];"}, nullptr, {"301908ABCD1234"}},
    {"lottery code of another length", {"LOTT,CABC;", "LOTT;"}, nullptr, {}},
    {"logo and trailer lines", {"SALE,N1,P100;", "EXTL,:ARRIVEDERCI;", "EXTL,:A PRESTO;", "CASH;"},
     [](ConvertContext& c) { c.options.CheckStampaLogo = true; },
     {kItem, "300408CONTANTI000000000", "3011", "3017011", "3012111ARRIVEDERCI", "3012108A PRESTO", "70081"}},
    {"no drawer", {"SALE,N1,P100;", "CASH;"}, NoDrawer, {kItem, "300408CONTANTI000000000", "3011"}},
    {"reprint after the closing", {"SALE,N1,P100;", "CASH;", "RLPR"}, NoDrawer,
     {kItem, "300408CONTANTI000000000", "3011", "3013", "4007"}},
    {"reprint only as the last line", {"RLPR;", "SALE,N1,P100;"}, nullptr, {kItem, "1010"}},
    {"tax code before the first payment",
     {"PRNT,:RSSMRA80A01H501U;", "FUNC,N39;", "SALE,N1,P100;", "CASH,V100;", "CASH,V100;"}, TaxCodeF,
     {"3002116RSSMRA80A01H501U", kItem, kBlankCustomer, "3010F16RSSMRA80A01H501U", kBlankCustomer,
      "300408CONTANTI000000100", "300408CONTANTI000000100", "3011", "70081"}},
    {"tax code of a receipt without payment", {"SALE,N1,P100;", "PRNT,:12345678901;", "func,n39;"},
     [](ConvertContext& c) {
       c.options.chkCodFisc = true;
       c.printer.taxCodeKind = 3;
     },
     {kItem, "3002111" "12345678901", "1010", kBlankCustomer, "3010B11" "12345678901", "700111"}},
    {"no tax code without the FUNC line", {"PRNT,:RSSMRA80A01H501U;", "CASH,V100;"}, TaxCodeF,
     {"3002116RSSMRA80A01H501U", "300408CONTANTI000000100"}},
    {"printer without tax code", {"PRNT,:RSSMRA80A01H501U;", "FUNC,N39;", "CASH,V100;"},
     [](ConvertContext& c) { c.options.chkCodFisc = true; }, {"300408CONTANTI000000100"}},
    {"invoice", {"OPFS,V12345;", "PRNT,:A;B;", "CLFS;"}, NonFiscal,
     {"400121000012345", "4003103A;B", "4003F19TOTALE FATTURE EURO000012345", "4006"}},
    {"invoice with header", {"OPFS,A,V12345;", "CLFS;", "CLFS;"}, NonFiscal,
     {"400121000012345", "4002", "4003F19TOTALE FATTURE EURO000012345", "4006"}},
    {"invoice never closed gets no receipt closing", {"OPFS,V500;", "SALE,N1,P100;", "CASH;"}, NonFiscal,
     {"400121000000500", kItem, "300408CONTANTI000000000"}},
};

TEST(Payments, Table) {
  for (const Case& c : kCases) {
    ConvertContext ctx;
    if (c.setup) c.setup(ctx);
    Converted r = ConvertLines(c.document, ctx);
    EXPECT_EQ(r.result, 0) << c.name;
    EXPECT_EQ(Commands(r), c.commands) << c.name;
  }
}

TEST(Payments, DueFlagsAndPaymentText) {
  struct FlagCase {
    const char* line;
    bool rt;
    bool cash, cheque, card, other;
    const char* text;
  } cases[] = {
      {"CASH;", false, true, false, false, false, ""},
      {"CASH,V100;", false, false, false, false, false, ""},
      {"CHEQ;", false, false, true, false, false, ""},
      {"CARD;", false, false, false, true, false, ""},
      {"BANC;", false, false, false, false, true, "BANCOMAT"},
      {"TEND,N2;", false, false, true, false, true, "PAGAM. N.2"},
      {"TICK,:TICKET;", false, false, false, false, true, "TICKET"},
      {"CRED;", false, false, false, false, false, ""},
  };
  for (const FlagCase& c : cases) {
    ConvertContext ctx;
    ctx.printer.rtMode = c.rt;
    Converted r = ConvertLines({c.line}, ctx);
    EXPECT_TRUE(r.conversion.facts.paymentSeen) << c.line;
    EXPECT_EQ(r.conversion.facts.cashDue, c.cash) << c.line;
    EXPECT_EQ(r.conversion.facts.chequeDue, c.cheque) << c.line;
    EXPECT_EQ(r.conversion.facts.cardDue, c.card) << c.line;
    EXPECT_EQ(r.conversion.facts.otherDue, c.other) << c.line;
    EXPECT_EQ(r.conversion.facts.paymentText, c.text) << c.line;
  }
}

TEST(Payments, ReferencedReceiptOnRtPrinterPaysTheRestInCash) {
  ConvertContext ctx;
  ctx.printer.rtMode = true;
  Converted r = ConvertLines({"NDCR,N00120034,>POS,D010124;", "SALE,N1,P100;", "BANC,V100;"}, ctx);
  ASSERT_EQ(r.result, 0);
  EXPECT_TRUE(r.conversion.facts.otherDue);
  EXPECT_TRUE(r.conversion.facts.cashDue);
  for (const std::string& l : r.lines) EXPECT_NE(l.substr(0, 4), "3004") << l;
  // The display still shows the payment's name.
  EXPECT_EQ(Displays(r).back(), "7007BANCOMAT" + std::string(32, ' '));
}

TEST(Payments, Displays) {
  const std::string mark = "\x7f ";
  Converted r = ConvertLines({"CASH,V1000;", "CASH;", "CRED,V250;", "CRED;"});
  EXPECT_EQ(Displays(r), (Lines{"7007CONTANTI" + std::string(12 + 13, ' ') + mark + "10.00",
                                "7007CONTANTI" + std::string(32, ' '),
                                "7007CREDITO" + std::string(13 + 14, ' ') + mark + "2.50",
                                "7007CREDITO" + std::string(33, ' ')}));
}

}  // namespace
}  // namespace convert
