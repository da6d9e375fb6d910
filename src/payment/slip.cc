// StampaEsitoPOS: the payment data for shop and customer after an approved
// payment, or the reason after a refused or failed one.
#include "payment/slip.h"

#include "language/text_value.h"

namespace payment {

std::string SlipLine(const std::string& text) { return "40031" + std::to_string(text.size()) + text; }

std::string SlipAmount(const std::string& cents) {
  // The amount as the host wrote it: digits with an optional sign; other
  // characters end it.
  size_t i = cents.find_first_not_of(" \t");
  bool negative = false;
  long long value = 0;
  if (i != std::string::npos) {
    if (cents[i] == '+' || cents[i] == '-') negative = cents[i++] == '-';
    for (; i < cents.size() && cents[i] >= '0' && cents[i] <= '9' && value < 100000000000000LL; ++i)
      value = value * 10 + (cents[i] - '0');
  }
  std::string text = language::FormatCents(negative ? -value : value, '.');
  if (text.size() < 15) text.insert(0, 15 - text.size(), ' ');
  return text;
}

int16_t StampaEsitoPOS(const POSData& d, const SendCommand& trasmetti, bool copy) {
  if (d.commandWord.empty()) return 0;
  const std::string amount = SlipAmount(d.amount);
  auto line = [&](const std::string& text) { trasmetti(SlipLine(text)); };

  trasmetti("40011");
  trasmetti("4002");
  trasmetti("700101");
  line("* ACQUISTO CON POS *");
  if (copy) line(kSlipCopyLine);
  line("COMANDO : " + d.commandWord);
  if (d.TransactionResult != "00") {
    line("ESITO : " + d.resultDescription);
    line("DESCR. ERR       : " + d.errorText);
    line("DESCR. ERR AGGI. : " + d.additionalError);
    line("KODescription : " + d.KODescription);
    line("TerminalId : " + d.TerminalId);
    trasmetti("700102");
    trasmetti("4004");
    return 0;
  }
  line("KODescription : " + d.KODescription);
  line("TerminalId : " + d.TerminalId);
  line("AcquirerId : " + d.AcquirerId);
  line("TransactionType : " + d.TransactionType);
  line("TransactionResult : " + d.TransactionResult);
  line("KODescription : " + d.KODescription);
  line("CardType : " + d.CardType);
  line("STAN : " + d.STAN);
  line(" PAN : " + d.PAN);
  line("AuthorizationCode : " + d.AuthorizationCode);
  line("OperationNumber : " + d.OperationNumber);
  line("DataTrs : " + d.DataTrs);
  trasmetti("700101");
  line("IMPORTO EUR " + amount);
  trasmetti("700101");
  line("-----COPIA------CLIENTE-----");
  trasmetti("700101");
  if (d.CardType == "2") {
    line("C/M  SIGNATURE      FIRMA");
    trasmetti("700102");
    line(std::string(30, '-'));
    trasmetti("700102");
  }
  trasmetti("4004");
  return 0;
}

}  // namespace payment
