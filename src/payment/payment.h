// The card payment before a document: one request to the local payment
// service, its answer kept in the POSData record for the slip, and the log.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/system.h"
#include "settings/options.h"

namespace payment {

// The service address when the program directory has no QLPOSURL.TXT.
inline constexpr char kDefaultServiceUrl[] = "http://127.0.0.1:8088";
inline constexpr char kServiceUrlFile[] = "QLPOSURL.TXT";

inline constexpr char kTimedOut[] = "Timed out.";
inline constexpr char kNoConnection[] = "A connection with the server could not be established";

// Outcomes of EseguiPaga besides 0.
inline constexpr int16_t kPosTimedOut = -200;
inline constexpr int16_t kPosServiceError = -201;
inline constexpr int16_t kPosRefused = -202;
inline constexpr int16_t kPosNoConnection = -203;

struct POSData {
  std::string commandWord;        // "PAGA" once a payment was asked for
  std::string amount;             // the "V" text, cents
  std::string resultDescription;
  std::string transactionDate;    // second copy of DataTrs
  std::string errorText;          // kTimedOut or kNoConnection
  std::string additionalError;    // never filled; the slip prints it empty
  std::string TerminalId;
  std::string AcquirerId;
  std::string TransactionType;
  std::string TransactionResult;  // "00" approved; "KO" for a service error
  std::string KODescription;
  std::string CardType;
  std::string STAN;
  std::string PAN;
  std::string AuthorizationCode;
  std::string OperationNumber;
  std::string DataTrs;
  // Control bytes of the answer's texts, replaced by blanks.
  size_t controlBytesBlanked = 0;
};

// What the card payment borrows from the rest of the program.
struct PaymentSetup {
  platform::EventLoop* loop = nullptr;
  platform::HttpClient* http = nullptr;
  std::string serviceUrl = kDefaultServiceUrl;
  std::string dataDirectory;                 // where the payment log goes
  platform::FileSystem* files = nullptr;     // the payment log's folder and files
  const settings::Options* options = nullptr;  // CheckLogPagamento
  // True once the program is closing: the wait for the answer then ends as
  // if it had timed out.
  std::function<bool()> closing;
  // The message box of unexpected failures.
  std::function<void(const std::string&)> showMessage;
  // The clock of the log names; platform::NowLocal when empty.
  std::function<platform::LocalTime()> now;
};

// The payment request of the running program and the record of the last one.
class PaymentRequest {
 public:
  // The setup's pointers must outlive the request.
  explicit PaymentRequest(PaymentSetup setup) : setup_(std::move(setup)) {}

  // Looks at the first of the document's lines, as the job read them; a
  // "PAGA" line with an amount and a "P" field asks the service for the
  // payment. 0 when no payment was asked or it was approved, else -200 to -203.
  int16_t EseguiPaga(const std::vector<std::string>& documentLines);

  // One exchange with the service, waiting on the event loop without a limit
  // until the answer comes or the program closes. True when the answer carries
  // no error and its transaction result is "00".
  bool Pagame(int32_t amount, int32_t extra, std::string* answer);

  // Filled by EseguiPaga and read by the slip until the next EseguiPaga.
  const POSData& posData() const { return posData_; }
  // In place of EseguiPaga: the job's payment is `earlier`, approved before.
  void UseEarlier(const POSData& earlier);
  // One more line in the payment log (with CheckLogPagamento): in the file
  // of the last answer, or a file of its own when there is none.
  void NoteInLog(const std::string& line);

 private:
  // The amount and the "P" value of a PAGA line; false when it asks for no
  // payment (or a number is too large, which the operator is shown).
  bool ReadPagaLine(const std::string& line, int32_t* amount, int32_t* extra);
  // The service's answer into posData_, logged when the option says so.
  int16_t ReadAnswer(const std::string& answer, bool approved);
  void ShowMessage(const std::string& text);
  void WriteLog(const std::string& answer);

  PaymentSetup setup_;
  POSData posData_;
  std::string lastLog_;
};

// The request path for an amount in cents and the extra "P" value.
std::string PaymentPath(int32_t amount, int32_t extra);
// The request headers, in the order they are sent.
std::vector<platform::HttpHeader> PaymentHeaders();

// The first line of QLPOSURL.TXT in `programDirectory`, without blanks
// around it and without a trailing "/", "http://" put in front when it
// names no scheme; kDefaultServiceUrl when there is none.
std::string ReadServiceUrl(platform::FileSystem& files, const std::string& programDirectory);

}  // namespace payment
