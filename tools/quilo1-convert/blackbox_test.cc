// Outside view of quilo1-convert: whole documents in, the exact command file
// bytes and exit status out, with the expected bytes worked out by hand.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/temp_dir.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteFileBytes;

std::string Pad(const std::string& s, size_t n) {
  return s.size() >= n ? s.substr(0, n) : s + std::string(n - s.size(), ' ');
}
std::string Blanks(size_t n) { return std::string(n, ' '); }

// Display rows as the customer sees them: 40 characters after "7007".
std::string Row(const std::string& text) { return "7007" + Pad(text, 40); }
std::string ItemRow(const std::string& desc, const std::string& amount) {
  return "7007" + Pad(desc, 22) + Blanks(40 - 22 - 2 - amount.size()) + "\x7f " + amount;
}
std::string PayRow(const std::string& desc, const std::string& amount) {
  return "7007" + Pad(desc, 20) + Blanks(40 - 20 - 2 - amount.size()) + "\x7f " + amount;
}
std::string ValueRow(const std::string& desc, size_t gap, const std::string& amount) {
  return Row(Pad(desc, 22) + Blanks(gap) + "\x7f " + amount);
}
std::string Item(const std::string& head, const std::string& desc, const std::string& a9) {
  return head + "22" + Pad(desc, 22) + a9;
}

const std::string kClear = "7007" + Blanks(40);
const std::string kBlankCustomer = "3010105     ";

struct Case {
  const char* name;
  std::string args;  // "@DIR@" stands for the data directory
  std::string document;
  int status;
  std::vector<std::string> lines;  // without the leading display clear
};

std::string Subst(std::string s, const std::string& dir) {
  for (size_t p; (p = s.find("@DIR@")) != std::string::npos;) s.replace(p, 5, dir);
  return s;
}

std::vector<Case> Cases() {
  return {
      {"CashReceipt",
       "",
       "SALE,N3,P250;\r\nCASH,V1000;\r\n",
       0,
       {ItemRow("REPARTO 3", "2.50"), Item("3101103", "REPARTO 3", "000000250"), PayRow("CONTANTI", "10.00"),
        "300408CONTANTI000001000", "3011", "70081"}},
      {"LowerCaseQuantityAndDueCash",
       "",
       "sale,n01,q2.5,p0100;\r\ncash;\r\n",
       0,
       {"3002113 2,500 X 1,00", ItemRow("REPARTO 1", "2.50"), Item("3101101", "REPARTO 1", "000000250"),
        Row("CONTANTI"), "300408CONTANTI000000000", "3011", "70081"}},
      {"QuantityBelowOneAndSmallPrice",
       "",
       "SALE,N1,Q0.5,P8;\r\nSALE,N2,Q3,P45;\r\nSALE,N1,Q1,P100;\r\n",
       0,
       {"3002113 0,500 X 0,08", ItemRow("REPARTO 1", "0.04"), Item("3101101", "REPARTO 1", "000000004"),
        "3002109 3 X 0,45", ItemRow("REPARTO 2", "1.35"), Item("3101102", "REPARTO 2", "000000135"),
        ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), "1010"}},
      {"LogoTrailersExtendedNoDrawer",
       "--option chbPagamentiEstesi --option CheckStampaLogo --option chbNoInviaApCassetto",
       "PLUD,N2,:Pane,P100;\r\nEXTL,:ARRIVEDERCI;\r\nEXTL,H2,:A PRESTO;\r\nCHEQ,V100;\r\n",
       0,
       {ItemRow("PANE", "1.00"), Item("3101102", "PANE", "000000100"), PayRow("ASSEGNI", "1.00"),
        "3007020007ASSEGNI000000100", "3011", "3017011", "3012111ARRIVEDERCI", "3012208A PRESTO"}},
      {"ReturnThenInvertedDiscount",
       "--option chbInversioneScontiSuReso",
       "PLUD,N2,:PANE,P1000,R;\r\nDISC,%10;\r\nCASH,V900;\r\n",
       0,
       {"3002104RESO", ItemRow("RESO", "10.00"), Item("3101902", "PANE", "000001000"),
        Row(Pad("MAGG. ARTICOLO 10.00%", 22) + "10"), Item("3101202", "MAGG. ARTICOLO 10.00%", "000000100"),
        PayRow("CONTANTI", "9.00"), "300408CONTANTI000000900", "3011", "70081"}},
      {"ReturnWithoutInversionKeepsDiscount",
       "",
       "PLUD,N2,:PANE,P1000,R;\r\nDISC,%10;\r\n",
       0,
       {"3002104RESO", ItemRow("RESO", "10.00"), Item("3101902", "PANE", "000001000"),
        Row(Pad("SCONTO ART 10.00%", 22) + "10"), Item("3101302", "SCONTO ART 10.00%", "000000100"), "1010"}},
      {"PercentagesOnTheLastItem",
       "",
       "SALE,N1,P1234;\r\nDISC,%10;\r\nDISC,%12.5;\r\nMAGG,%200,:EXTRA;\r\n",
       0,
       {ItemRow("REPARTO 1", "12.34"), Item("3101101", "REPARTO 1", "000001234"),
        Row(Pad("SCONTO ART 10.00%", 22) + "10"), Item("3101301", "SCONTO ART 10.00%", "000000123"),
        Row(Pad("SCONTO ART 12.50%", 22) + "12,50"), Item("3101301", "SCONTO ART 12.50%", "000000015"),
        Row(Pad("EXTRA", 22) + "200"), Item("3101201", "EXTRA", "000000031"), "1010"}},
      {"VoidKindsWithoutItemDisplay",
       "--option chkDisableDisplay",
       "SALE,N4,P300;\r\nSALE,N4,P300,S;\r\nSALE,N5,P200,S1;\r\nSALE,N5,P200,S3;\r\nSALE,N5,P200,S2;\r\nCASH,V100;\r\n",
       0,
       {Item("3101104", "REPARTO 4", "000000300"), "3002106STORNO", Item("3101404", "REPARTO 4", "000000300"),
        "3002114STORNO ACCONTO", Item("3101F05", "REPARTO 5", "000000200"), "3002114STORNO OMAGGIO",
        Item("3101G05", "REPARTO 5", "000000200"), "3002121STORNO BUONO CORRISP.",
        Item("3101F05", "REPARTO 5", "000000200"), PayRow("CONTANTI", "1.00"), "300408CONTANTI000000100", "3011",
        "70081"}},
      {"ValueAdjustmentsAndSubtotal",
       "",
       "SALE,N2,P1000;\r\nCOUP,V100;\r\nADDI,V50,:SERVIZIO;\r\nSUBT;\r\nCOST,V200;\r\nADDS,V150,:TRASPORTO;\r\nCASH;"
       "\r\n",
       0,
       {ItemRow("REPARTO 2", "10.00"), Item("3101102", "REPARTO 2", "000001000"), ValueRow("SCONTO VALORE", 2, "1.00"),
        Item("3101302", "SCONTO VALORE", "000000100"), ValueRow("SERVIZIO", 3, "0.50"),
        Item("3101202", "SERVIZIO", "000000050"), "3003", ValueRow("SCONTO SBTL", 3, "2.00"),
        Item("30013", "SCONTO SBTL", "000000200"), ValueRow("TRASPORTO", 3, "1.50"),
        Item("30012", "TRASPORTO", "000000150"), Row("CONTANTI"), "300408CONTANTI000000000", "3011", "70081"}},
      {"SubtotalPercentagesPassedOn",
       "",
       "SALE,N1,P500;\r\nDOST,%5,:PROMO;\r\nMOST,%2.5;\r\nDOST;\r\nCASH,V500;\r\n",
       0,
       {ItemRow("REPARTO 1", "5.00"), Item("3101101", "REPARTO 1", "000000500"), "DOST%5,PROMO", "MOST%2.50",
        PayRow("CONTANTI", "5.00"), "300408CONTANTI000000500", "3011", "70081"}},
      {"TenderNumbersExtended",
       "--option chbPagamentiEstesi",
       "SALE,N1,P500;\r\nTEND,N5,V100;\r\ntend,n2,v100;\r\nTEND,N31,V100;\r\nTEND,N1,V100;\r\nTEND,N3;\r\n",
       0,
       {ItemRow("REPARTO 1", "5.00"), Item("3101101", "REPARTO 1", "000000500"), PayRow("PAGAM. N.5", "1.00"),
        "3007050010PAGAM. N.5000000100", PayRow("PAGAM. N.2", "1.00"), "3007020010PAGAM. N.2000000100",
        PayRow("CONTANTI", "1.00"), "3007010008CONTANTI000000100", Row("PAGAM. N.3"), "3007030010PAGAM. N.3000000000",
        "3011", "70081"}},
      {"CardDebitAndVoucherPlain",
       "",
       "SALE,N1,P1500;\r\nBANC,V500;\r\nTICK,Q2,V400,:TICKET;\r\nCARD,V600;\r\n",
       0,
       {ItemRow("REPARTO 1", "15.00"), Item("3101101", "REPARTO 1", "000001500"), PayRow("BANCOMAT", "5.00"),
        "300408BANCOMAT000000500", PayRow("TICKET", "4.00"), PayRow("CARTA DI CREDITO", "6.00"),
        "300416CARTA DI CREDITO000000600", "3011", "70081"}},
      {"CardDebitAndVoucherExtended",
       "--option chbPagamentiEstesi",
       "SALE,N1,P1500;\r\nBANC,V500;\r\nTICK,Q2,V400,:TICKET;\r\nTICK;\r\nCARD,V600;\r\n",
       0,
       {ItemRow("REPARTO 1", "15.00"), Item("3101101", "REPARTO 1", "000001500"), PayRow("BANCOMAT", "5.00"),
        "3007080008BANCOMAT000000500", PayRow("TICKET", "4.00"), "3007050206TICKET000000400", Row("BUONO PASTO"),
        "3007050011BUONO PASTO000000000", PayRow("CARTA DI CREDITO", "6.00"), "3007030016CARTA DI CREDITO000000600",
        "3011", "70081"}},
      {"NotCollectedTypesInRtMode",
       "--rt-mode",
       "SALE,N1,P1000;\r\nCRED,T3;\r\nCRED,T2,V100;\r\nCRED,T5,V100,:BUONO SCONTO;\r\nCRED,T6;\r\nCRED,T9;\r\n"
       "CRED,V100;\r\n",
       0,
       {ItemRow("REPARTO 1", "10.00"), Item("3101101", "REPARTO 1", "000001000"), Row("CREDITO"),
        "3007510020NON RISCOSSO FATTURE000000000", PayRow("NON RISCOSSO SERVIZI", "1.00"),
        "3007500020NON RISCOSSO SERVIZI000000100", PayRow("BUONO SCONTO", "1.00"), "3007530012BUONO SCONTO000000100",
        Row("CREDITO"), "3007530019BUONO CORRISPETTIVO000000000", Row("CREDITO"),
        "3007070017NON RISCOSSO BENI000000000", PayRow("CREDITO", "1.00"), "300507CREDITO000000100", "3011", "70081"}},
      {"CreditOutsideRtMode",
       "",
       "SALE,N1,P100;\r\nCRED,T3;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), Row("CREDITO"),
        "300507CREDITO000000000", "3011", "70081"}},
      {"TaxCodeBeforeThePayment",
       "--option chkCodFisc --tax-code-kind 2",
       "SALE,N1,P100;\r\nPRNT,:RSSMRA80A01H501U;\r\nFUNC,N39;\r\nCASH,V100;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), "3002116RSSMRA80A01H501U",
        kBlankCustomer, "3010F16RSSMRA80A01H501U", kBlankCustomer, PayRow("CONTANTI", "1.00"),
        "300408CONTANTI000000100", "3011", "70081"}},
      {"TaxCodeOfAnUnpaidReceipt",
       "--option chkCodFisc --tax-code-kind 3",
       "SALE,N1,P100;\r\nPRNT,:01234567890;\r\nFUNC,N39;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), "300211101234567890", "1010",
        kBlankCustomer, "3010B1101234567890", "700111"}},
      {"TaxCodeOnAnUnknownModel",
       "--option chkCodFisc",
       "SALE,N1,P100;\r\nPRNT,:01234567890;\r\nFUNC,N39;\r\nCASH;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), Row("CONTANTI"),
        "300408CONTANTI000000000", "3011", "70081"}},
      {"TaxCodeCandidateWithoutMark",
       "--option chkCodFisc --tax-code-kind 2",
       "SALE,N1,P100;\r\nPRNT,:01234567890;\r\nCASH;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), "300211101234567890", Row("CONTANTI"),
        "300408CONTANTI000000000", "3011", "70081"}},
      {"LotteryCode",
       "",
       "SALE,N1,P100;\r\nlott,c[abcd1234];\r\nLOTT,CABC;\r\nCASH;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), "301908ABCD1234", Row("CONTANTI"),
        "300408CONTANTI000000000", "3011", "70081"}},
      {"InvoiceWithHeaderAndCommaTexts",
       "--option OptNonFiscal",
       "OPFS,V12345,A;\r\nPRNT,:A;B;\r\nPRNT,H1,:RIGA, CON VIRGOLA,H2;\r\nCLFS;\r\n",
       0,
       {"400121000012345", "4002", "4003103A;B", "4003417RIGA, CON VIRGOLA", "4003F19TOTALE FATTURE EURO000012345",
        "4006"}},
      {"InvoiceHeaderForced",
       "--option OptNonFiscal --option chkForzaIntestazioneFattura",
       "OPFS,V500;\r\nPRNT,:X;\r\nEXTL,:NO;\r\nCLFS;\r\nCLFS;\r\n",
       0,
       {"400121000000500", "4002", "4003101X", "4003F19TOTALE FATTURE EURO000000500", "4006"}},
      {"InvoiceWithoutHeader",
       "--option OptNonFiscal",
       "OPFS,V500;\r\nPRNT,:X;\r\n",
       0,
       {"400121000000500", "4003101X"}},
      {"NonFiscalAfterAReceipt",
       "--option CheckStampaLogo",
       "SALE,N1,P100;\r\nEXTL,:CIAO;\r\nCASH;\r\nOPNF;\r\nPRNT,:TESTO LIBERO;\r\nCLNF;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), Row("CONTANTI"),
        "300408CONTANTI000000000", "3011", "3017011", "3012104CIAO", "70081", "3013", "40011", "4002",
        "4003112TESTO LIBERO", "4004"}},
      {"NonFiscalAlone", "", "OPNF;\r\nPRNT,H2,:RIGA;\r\nCLNF;\r\n", 0, {"40011", "4002", "4003204RIGA", "4004"}},
      {"ReturnReferenceOutsideRtMode",
       "",
       "NDCR,N00120034,D010124,:reso merce;\r\nSALE,N1,P100,R;\r\nCASH;\r\n",
       0,
       {"7102600000", "3010P12RESO MERCE  ", ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"),
        Row("CONTANTI"), "300408CONTANTI000000000", "3011", "70081"}},
      {"ReturnReferenceToPos",
       "--rt-mode",
       "NDCR,N00120034,>POS,D010124;\r\nSALE,N1,P100;\r\nCASH,V100;\r\n",
       0,
       {"7114R03POS010124", ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), Row("CONTANTI"),
        "3011", "70081"}},
      {"ReturnReferenceToVr", "--rt-mode", "NDCR,N00120034,>VR,D010124;\r\n", 0, {"7114R02VR010124"}},
      {"ReturnReferenceToAnotherPrinter",
       "--rt-mode --printer-serial 99MEY012345",
       "NDCR,N00120034,>72MEY000111,D010124;\r\nSALE,N1,P100;\r\nCASH;\r\n",
       0,
       {"7101R00120034010124011"
        "72MEY000111",
        "7101R00120034010124111"
        "72MEY000111",
        ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), Row("CONTANTI"), "3011", "70081"}},
      {"ReturnReferenceToThisPrinter",
       "--rt-mode --printer-serial 72MEY000111",
       "NDCR,N00120034,>72MEY000111,D010124;\r\n",
       0,
       {"7101R001200340101240",
        "7101R00120034010124811"
        "72MEY000111"}},
      {"ReturnReferenceUnknownThreeLetterOrigin",
       "--rt-mode",
       "NDCR,N00120034,>ABC,D010124;\r\nSALE,N1,P100,R;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), "1010"}},
      {"CancellationOnThisPrinterOnlyCash",
       "--rt-mode --printer-serial 72MEY000111",
       "DELD,N00120034,>72MEY000111,D010124;\r\nSALE,N1,P100;\r\nCASH,V100;\r\n",
       0,
       {"7101A001200340101248", "7101A001200340101241", Row("CONTANTI")}},
      {"CancellationOfAPosDocument",
       "--rt-mode",
       "DELD,N00120034,>POS,D010124;\r\nSALE,N1,P100;\r\nCASH;\r\n",
       0,
       {"7114A03POS010124", ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), Row("CONTANTI"),
        "3011", "70081"}},
      {"CancellationOutsideRtMode", "", "DELD,N00120034,>POS,D010124;\r\n", 1, {}},
      {"ReferenceWithShortNumber", "--rt-mode", "NDCR,N123,>VR,D010124;\r\n", 1, {}},
      {"ReferenceWithoutDate", "--rt-mode", "NDCR,N00120034,>VR;\r\n", 1, {}},
      {"ReferenceWithUnknownTwoLetterOrigin", "--rt-mode", "NDCR,N00120034,>XX,D010124;\r\n", 1, {}},
      {"ReferenceWithOriginOfFourLetters", "--rt-mode", "SALE,N1,P100;\r\nNDCR,N00120034,>ABCD,D010124;\r\n", 1, {}},
      {"ReportsAfterZkeyAndXkey",
       "",
       "ZKEY;\r\nFUNC,N1;\r\nFUNC,N2;\r\nXKEY;\r\nFUNC,N3;\r\nfunc,n1;\r\nFUNC,N7;\r\n",
       0,
       {Row("RAPP. FISCALE : AZZERAMENTO"), "2002", Row("RAPP. REPARTI : AZZERAMENTO"), "2102",
        Row("LETT. FINANZIARIO"), "220302", Row("RAPP. FISCALE : LETTURA"), "2003"}},
      {"FinancialClosing", "", "ZKEY;\r\nFUNC,N3;\r\n", 0, {Row("RAPP. FINANZIARIO"), "220202"}},
      {"ReceiptCancelledByFunction",
       "",
       "SALE,N1,P100;\r\nFUNC,N25;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), "3101817ANNULLO SCONTRINO000000000",
        "3011", "3013"}},
      {"BarcodesAndQrCodes",
       "",
       "BARC,T9,:12345;\r\nBARC,T2,H1,:ABC;\r\nBARC,T,H0,:X1;\r\nQRCO,:HTTP://A.IT/X;\r\nQRCO,: ;\r\nBARC,:999;\r\n"
       "BARC,T3,H,:77;\r\n",
       0,
       {"302110000512345", "3021220003ABC", "3021100002X1", "3021600013HTTP://A.IT/X", "302132000277"}},
      {"ReadTargets",
       "--port 3 --data-dir '@DIR@'",
       "READ,N2,:TOTALI;\r\nREAD;\r\nREAD,N3,:x.txt;\r\nREAD,:/tmp/abc;\r\nREAD,:\"/tmp/q.dat\";\r\n",
       0,
       {"READ,2,@DIR@/TOTALI.003", "READ,1,@DIR@/DataReceived.txt", "READ,3,@DIR@/x.txt", "READ,1,/tmp/abc.003",
        "READ,1,/tmp/q.dat"}},
      {"CustomerDisplay",
       "",
       "DISP,N1,:BENVENUTO;\r\nDISP,N2,:CASSA 1;\r\nDISP,N2,:SOLO RIGA DUE;\r\n"
       "DISP,:UN TESTO PIU LUNGO DI VENTI CARATTERI XYZ;\r\nDISP;\r\nDISP,:CIAO;\r\nSUBT;\r\n",
       0,
       {"7007" + Pad("BENVENUTO", 20) + Pad("CASSA 1", 20), "7007" + Blanks(20) + Pad("SOLO RIGA DUE", 20),
        "7007UN TESTO PIU LUNGO DI VENTI CARATTERI XY", "7007" + Blanks(40), "7007" + Pad("CIAO", 40), "3003"}},
      {"CashMovements",
       "",
       "DEPO,V10000;\r\nPREL,V2550;\r\nDEPO,V0;\r\nPREL;\r\n",
       0,
       {"7106D000010000", "7106P000002550"}},
      {"DrawerAndTextLines",
       "",
       "open;\r\nCLER,C123;\r\nPRNT,H1,:GRAZIE;\r\nPRNT,H3,:X;\r\nPRNT,:;\r\nPRNT,:A;B;\r\n"
       "prnt,:ciao;\r\nPRNTX,:ABC;\r\n",
       0,
       {"70081", "3002103123", "3002406GRAZIE", "3002101X", "3002101 ", "3002101A", "3002104ciao", "3002103ABC"}},
      {"PrintLineFolding",
       "",
       "PRNT,:Citt\xe0 \xa9 \x80 5;\r\nPRNT,:" + std::string(40, 'W') + ";\r\n",
       0,
       {"3002111Citta . E 5", "3002132" + std::string(32, 'W')}},
      {"TextNormalisation",
       "",
       "plud,N07,q2,p0150,:Caff\xe8 totale;\r\nPLUD,N1,:ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMN,P100;\r\n"
       "PLUD,N1,:Totale \xe4,P100;\r\n",
       0,
       {"3002109 2 X 1,50", ItemRow("CAFFE TOT.", "3.00"), Item("3101107", "CAFFE TOT.", "000000300"),
        ItemRow("ABCDEFGHIJKLMNOPQRSTUV", "1.00"), Item("3101101", "ABCDEFGHIJKLMNOPQRSTUV", "000000100"),
        ItemRow("TOT.   AE", "1.00"), Item("3101101", "TOT.   AE", "000000100"), "1010"}},
      {"MarkerInsideAText",
       "",
       "PLUD,N1,:PANE,SALATO,P100;\r\nSALES,N1,P100;\r\n",
       0,
       {"3002106STORNO", ItemRow("STORNO", "1.00"), Item("3101401", "PANE", "000000100"), ItemRow("REPARTO 1", "1.00"),
        Item("3101101", "REPARTO 1", "000000100"), "1010"}},
      {"DepartmentBeyondTwentyKeepsDescription",
       "",
       "SALE,N20,P123456;\r\nSALE,N21,P100;\r\n",
       0,
       {ItemRow("REPARTO 20", "1234.56"), Item("3101120", "REPARTO 20", "000123456"), ItemRow("REPARTO 20", "1.00"),
        Item("3101121", "REPARTO 20", "000000100"), "1010"}},
      {"MarkerWithoutVerbAndDiscountWithReturn",
       "",
       "SALE,N1,P1000;\r\nDISC,%10,R;\r\nNOTE,R;\r\nHELLO;\r\n\r\nCASH,V900;\r\n",
       0,
       {ItemRow("REPARTO 1", "10.00"), Item("3101101", "REPARTO 1", "000001000"), "3002104RESO",
        Row(Pad("SCONTO ART 10.00%", 22) + "10"), Item("3101301", "SCONTO ART 10.00%", "000000100"), "3002104RESO",
        "3002104RESO", PayRow("CONTANTI", "9.00"), "300408CONTANTI000000900", "3011", "70081"}},
      {"Reprint",
       "",
       "SALE,N1,P100;\r\nCASH;\r\nRLPR;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), Row("CONTANTI"),
        "300408CONTANTI000000000", "3011", "70081", "3013", "4007"}},
      {"OnlyUnknownLines", "", "HELLO;\r\n\r\nXYZW,N1;\r\n", 0, {}},
      {"NumberRewriting",
       "",
       "SALE,N1.0,q.5,P100;\r\nSALE,N1,P1000;\r\nDISC,%10.555;\r\nDISC,%;\r\nMAGG,%0;\r\nCASH,V0O10;\r\n",
       0,
       {"3002113 0,500 X 1,00", ItemRow("REPARTO 1", "0.50"), Item("3101101", "REPARTO 1", "000000050"),
        ItemRow("REPARTO 1", "10.00"), Item("3101101", "REPARTO 1", "000001000"),
        Row(Pad("SCONTO ART 10.55%", 22) + "10,55"), Item("3101301", "SCONTO ART 10.55%", "000000106"),
        Row(Pad("SCONTO ART 1.00%", 22) + "1"), Item("3101301", "SCONTO ART 1.00%", "000000001"),
        Row(Pad("MAGG. ARTICOLO 0.00%", 22) + "0"), Item("3101201", "MAGG. ARTICOLO 0.00%", "000000000"),
        PayRow("CONTANTI", "0.10"), "300408CONTANTI000000010", "3011", "70081"}},
      {"PaymentRequestLineWritesNothing",
       "",
       "PAGA,V1000,P1;\r\nSALE,N1,P100;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), "1010"}},
      {"NoReadOnAReferencedReceipt",
       "",
       "NDCR,N00120034,D010124;\r\nREAD,N2,:X;\r\n",
       0,
       {"7102600000", "3010P12" + Blanks(12)}},
      {"InversionTurnsValueDiscountOnly",
       "--option chbInversioneScontiSuReso",
       "SALE,N1,P1000,R;\r\nCOUP,V100;\r\nSALE,N1,P1000,R;\r\nCOST,V100;\r\nDISC,%10;\r\nSALE,N1,P100,S;\r\nDISC,%10;"
       "\r\n",
       0,
       {"3002104RESO", ItemRow("RESO", "10.00"), Item("3101901", "REPARTO 1", "000001000"),
        ValueRow("MAGG. ART.", 3, "1.00"), Item("3101201", "MAGG. ART.", "000000100"), "3002104RESO",
        ItemRow("RESO", "10.00"), Item("3101901", "REPARTO 1", "000001000"), ValueRow("SCONTO SBTL", 3, "1.00"),
        Item("30013", "SCONTO SBTL", "000000100"), Row(Pad("MAGG. ARTICOLO 10.00%", 22) + "10"),
        Item("3101201", "MAGG. ARTICOLO 10.00%", "000000100"), "3002106STORNO", ItemRow("STORNO", "1.00"),
        Item("3101401", "REPARTO 1", "000000100"), Row(Pad("SCONTO ART 10.00%", 22) + "10"),
        Item("3101301", "SCONTO ART 10.00%", "000000010"), "1010"}},
      {"MiscellaneousFields",
       "",
       "FUNC,N01;\r\nLOTT,CABCD1234;\r\nLOTT,C[ABCD12345];\r\nBARC,T5,:A;\r\nBARC,T12,H05,:A;\r\nBARC,T4,H2,:A;\r\n"
       "NDCR,:ABCDEFGHIJKLMNOP;\r\n",
       0,
       {Row("RAPP. FISCALE : LETTURA"), "2003", "301908ABCD1234", "3021100001A", "3021100001A", "3021420001A",
        "7102600000", "3010P12ABCDEFGHIJKL"}},
      {"PlainVoucherWithLongCount",
       "",
       "SALE,N1,P100;\r\nTICK,Q123,V100;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), PayRow("BUONO PASTO", "1.00"), "3011",
        "70081"}},
      {"ReturnAndVoidMarkersTogether",
       "",
       "SALE,N1,Q2,P100,R;\r\nSALE,N1,Q1.0,P100;\r\nSALE,N1,P100,S,R;\r\n",
       0,
       {"3002104RESO", "3002109 2 X 1,00", ItemRow("RESO", "2.00"), Item("3101901", "REPARTO 1", "000000200"),
        "3002113 1,000 X 1,00", ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"),
        "3002106STORNO", "3002104RESO", ItemRow("RESO", "1.00"), Item("3101901", "REPARTO 1", "000000100"), "1010"}},
      {"ByteFoldingOfDescriptionsAndPrintLines",
       "",
       "PLUD,N1,:A&B\tC\xb0\xb7\x88\xc3\xf5\xf8\x9c\x9a\xe4\xfc,P100;\r\n"
       "PRNT,:A&B\tC\xb0\xb7\x88\xc3\xf5\xf8\x9c\x9a\xe4\xfc totale;\r\n",
       0,
       {ItemRow("AeBC..eE..L.AEUE", "1.00"), Item("3101101", "AeBC..eE..L.AEUE", "000000100"),
        "3002122A&B\tC.A..  L... totale", "1010"}},
      {"ItemsWithoutDescriptionOrDepartment",
       "",
       "PLUD,N1,P100;\r\nSALE,P100;\r\nSALE,N1,q2.12345,P100;\r\nEXTL,:" + std::string(40, 'T') +
           ";\r\nEXTL,:;\r\nCASH,V100;\r\n",
       0,
       {ItemRow("", "1.00"), "3101101000000100", ItemRow("", "1.00"), Item("31011", "", "000000100"),
        "3002113 2,123 X 1,00", ItemRow("REPARTO 1", "2.12"), Item("3101101", "REPARTO 1", "000000212"),
        PayRow("CONTANTI", "1.00"), "300408CONTANTI000000100", "3011", "3012130" + std::string(30, 'T'), "3012101 ",
        "70081"}},
      {"NoDisplayForAdjustments",
       "--option chkDisableDisplay",
       "SALE,N1,P100;\r\nCOST,V100;\r\nDISC,%10;\r\nCOUP,V5;\r\nADDS,V5;\r\nCASH,V100;\r\n",
       0,
       {Item("3101101", "REPARTO 1", "000000100"), Item("30013", "SCONTO SBTL", "000000100"),
        Item("3101301", "SCONTO ART 10.00%", "000000010"), Item("3101301", "SCONTO VALORE", "000000005"),
        Item("30012", "MAGG. SBTL", "000000005"), PayRow("CONTANTI", "1.00"), "300408CONTANTI000000100", "3011",
        "70081"}},
      {"TenderEdgesAndBareDiscount",
       "",
       "SALE,N1,P100;\r\nTEND,N4,V100,:buoni;\r\nTEND,N30;\r\nTEND,N0,V5;\r\nTEND,V5;\r\nCASH,V100,:XX;\r\nDISC;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), PayRow("BUONI", "1.00"),
        "300405BUONI000000100", Row("PAGAM. N.30"), "300411PAGAM. N.30000000000", PayRow("CONTANTI", "1.00"),
        "300408CONTANTI000000100", "3101301", "3011", "70081"}},
      {"ReferenceOutsideRtModeZeroesAmounts",
       "",
       "NDCR,N00120034,D010124;\r\nSALE,N1,P100;\r\nCASH,V100;\r\nRLPR;\r\n",
       0,
       {"7102600000", "3010P12" + Blanks(12), ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"),
        Row("CONTANTI"), "300408CONTANTI000000000", "3011", "70081"}},
      {"ReprintNotOnTheLastLine",
       "",
       "SALE,N1,P100;\r\nRLPR;\r\nCASH;\r\n",
       0,
       {ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"), Row("CONTANTI"),
        "300408CONTANTI000000000", "3011", "70081"}},
      {"NoTaxCodeInsideAnInvoice",
       "--option OptNonFiscal --option chkCodFisc --tax-code-kind 2",
       "OPFS,V500;\r\nPRNT,:RSSMRA80A01H501U;\r\nFUNC,N39;\r\nCLFS;\r\n",
       0,
       {"400121000000500", "4003116RSSMRA80A01H501U", "4003F19TOTALE FATTURE EURO000000500", "4006"}},
      {"DisplayRowsPairedAndAlone",
       "",
       "DISP,N1,:A;\r\nDISP,N2,:B;\r\nDISP,N1,:C;\r\nDISP,N3,:D;\r\nDISP,N02;\r\n",
       0,
       {"7007" + Pad("A", 20) + Pad("B", 20), "7007" + Pad("C", 40), "7007" + Blanks(20) + Pad("D", 20),
        "7007" + Blanks(40)}},
      {"FunctionDocumentHasNoClosing",
       "",
       "FUNC,N1;\r\nSALE,N1,P100;\r\nCASH;\r\nOPNF;\r\n",
       0,
       {Row("RAPP. FISCALE : LETTURA"), "2003", ItemRow("REPARTO 1", "1.00"), Item("3101101", "REPARTO 1", "000000100"),
        Row("CONTANTI"), "300408CONTANTI000000000", "40011", "4002"}},
      {"CancellationKeepsOnlyCashLines",
       "--rt-mode --printer-serial 72MEY000111",
       "DELD,N00120034,>72MEY000111,D010124;\r\nSALE,N1,P100;\r\ncash,v100;\r\nPRNT,:X;\r\n",
       0,
       {"7101A001200340101248", "7101A001200340101241", Row("CONTANTI")}},
      {"CancellationOfAnotherPrinterAndND",
       "--rt-mode --printer-serial 99MEY000111",
       "DELD,N00120034,>72MEY000111,D010124;\r\nDELD,N00120034,>ND,D010124;\r\n",
       0,
       {"7101A00120034010124011"
        "72MEY000111",
        "7101A00120034010124111"
        "72MEY000111",
        "7114A02ND010124"}},
      {"ReferencesWithoutNumber",
       "--rt-mode",
       "NDCR,>POS,D010124;\r\nNDCR,N00120034,>ND,D010124;\r\n",
       0,
       {"7114R03POS010124", "7114R02ND010124"}},
      {"TextLinesWithoutText", "", "PRNT,:ABC,H2;\r\nCLER,C;\r\nCLER;\r\nPRNT;\r\n", 0, {"3002203ABC", "30021011"}},
      {"AmountTooLongRefused", "", "SALE,N1,P99999999999;\r\nCASH,V99999999999;\r\n", 1, {}},
      {"KeySequence",
       "--option chbConvXonXoff",
       "2*150H\"Pane, burro\"1R50\r\n0H5Tz1F@\r\n",
       0,
       {"3002109 2 X 1,50", ItemRow("PANE. BURRO", "3.00"), Item("3101101", "PANE. BURRO", "000000300"),
        PayRow("PAGAM. N.5", "5.00"), "300410PAGAM. N.5000000500", Row("RAPP. FISCALE : AZZERAMENTO"), "2002"}},
      {"EmptyKeySequence", "--option chbConvXonXoff", "", 1, {}},
      {"InvoiceFromTheAdapter",
       "--now 20261207103000",
       "OPFS,N12,:ROSSI SRL,<VIA ROMA 1,=MILANO;\r\nSALE,N1,Q2,P150,I22,:PANE;\r\nPLUD,N1,P1000,I10,:VINO;\r\n"
       "COST,V100;\r\nCASH;\r\n",
       0,
       {"400121000001200",
        "4003415FATTURA Num. 12",
        "400311807-12-2026   10:30",
        "4003130" + Blanks(26) + "EURO",
        "4003132" + Blanks(32),
        "40031142    X    1,50",
        "4003132PANE" + Blanks(22) + "3,00 C",
        "40031151    X    10,00",
        "4003132VINO" + Blanks(21) + "10,00 B",
        "4003131SCONTO SU SUBT." + Blanks(11) + "1,00 ",
        "4003132" + Blanks(32),
        "4003130TOT. FATTURA EURO" + Blanks(8) + "12,00",
        "4003131CONTANTI" + Blanks(17) + "12,00 ",
        "4003132" + Blanks(32),
        "4003131CORRISP. PAGATO" + Blanks(10) + "12,00 ",
        "4003131CORRISP. NON PAGATO" + Blanks(7) + "0,00 ",
        "4003132" + Blanks(32),
        "4003131IMPONIBILE B=10,00%" + Blanks(7) + "8,39 ",
        "4003131IVA B=10,00%" + Blanks(14) + "0,84 ",
        "4003131IMPONIBILE C=22,00%" + Blanks(7) + "2,27 ",
        "4003131IVA C=22,00%" + Blanks(14) + "0,50 ",
        "4003132" + Blanks(32),
        "4003131TOT. IMPONIBILE " + Blanks(9) + "10,66 ",
        "4003131TOT. IVA " + Blanks(17) + "1,34 ",
        "4003132" + Blanks(32),
        "4003129 --- Intestazione Cliente ---",
        "4003110ROSSI SRL ",
        "4003111VIA ROMA 1 ",
        "4003107MILANO ",
        "4003101 ",
        "4003F19TOTALE FATTURE EURO000001200",
        "4006"}},
      {"InvoiceWithOwnVatSlot",
       "--now 20260102030405 --vat 400,1000,2200,3600,500",
       "OPFS,V100;\r\nSALE,P100,I5,:X;\r\nCASH,V100;\r\n",
       0,
       {"400121000000100",
        "4003414FATTURA Num. 1",
        "400311802-01-2026   03:04",
        "4003130" + Blanks(26) + "EURO",
        "4003132" + Blanks(32),
        "40031141    X    1,00",
        "4003132X" + Blanks(25) + "1,00 E",
        "4003132" + Blanks(32),
        "4003130TOT. FATTURA EURO" + Blanks(9) + "1,00",
        "4003131CONTANTI" + Blanks(18) + "1,00 ",
        "4003132" + Blanks(32),
        "4003131CORRISP. PAGATO" + Blanks(11) + "1,00 ",
        "4003131CORRISP. NON PAGATO" + Blanks(7) + "0,00 ",
        "4003132" + Blanks(32),
        "4003131IMPONIBILE E=5,00%" + Blanks(8) + "0,95 ",
        "4003131IVA E=5,00%" + Blanks(15) + "0,05 ",
        "4003132" + Blanks(32),
        "4003131TOT. IMPONIBILE " + Blanks(10) + "0,95 ",
        "4003131TOT. IVA " + Blanks(17) + "0,05 ",
        "4003132" + Blanks(32),
        "4003129 --- Intestazione Cliente ---",
        "4003101 ",
        "4003101 ",
        "4003101 ",
        "4003101 ",
        "4003F19TOTALE FATTURE EURO000000100",
        "4006"}},
      {"InvoiceWithUnknownVatRate", "--now 20260102030405", "OPFS,V100;\r\nSALE,P100,I5,:X;\r\nCASH,V100;\r\n", 3, {}},
  };
}

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

ToolRun Tool(const ScopedTempDir& dir, const std::string& args) {
  const std::string out = dir.File("stdout"), err = dir.File("stderr");
  const std::string cmd =
      std::string("LC_ALL=C '") + QUILO1_CONVERT_TOOL + "' " + args + " >'" + out + "' 2>'" + err + "'";
  const int raw = std::system(cmd.c_str());
  ToolRun r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFileBytes(out);
  r.err = ReadFileBytes(err);
  return r;
}

TEST(ConvertToolBlackBox, Documents) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteFileBytes(dir.File("doc"), c.document);
    ToolRun r = Tool(dir, Subst(c.args, dir.path()) + " '" + dir.File("doc") + "'");
    EXPECT_EQ(r.status, c.status) << r.err;
    std::string expected;
    if (c.status == 0) {
      expected = kClear + "\r\n";
      for (const std::string& line : c.lines) expected += Subst(line, dir.path()) + "\r\n";
    }
    EXPECT_EQ(r.out, expected);
  }
}

TEST(ConvertToolBlackBox, DocumentsWithoutOutput) {
  ScopedTempDir dir;
  WriteFileBytes(dir.File("empty"), "");
  WriteFileBytes(dir.File("invoice"), "OPFS,V100;\r\nSALE,P100,I5,:X;\r\n");
  for (const char* name : {"empty", "missing", "invoice"}) {
    // A command file left from an earlier job is never handed on.
    WriteFileBytes(dir.File("KB.txt"), "3011\r\n");
    ToolRun r = Tool(dir, "--data-dir '" + dir.path() + "' '" + dir.File(name) + "'");
    EXPECT_EQ(r.status, 3) << name;
    EXPECT_EQ(r.out, "") << name;
    EXPECT_FALSE(testing_support::FileExists(dir.File("KB.txt"))) << name;
  }
}

}  // namespace
