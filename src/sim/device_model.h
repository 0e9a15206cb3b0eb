#pragma once
// The simulated KT-family fiscal device: request data in, answer data out.
// No transport, no thread: the servers in simulator.h feed it one command at a time.
// Texts are bytes of the device code page (1250); answers are TAB-terminated fields
// with the error code in field 0.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_util.h"

namespace kestrel::sim {

struct ModelInfo {
  std::string name;
  int index = -1;               // position in the model table, -1 for another name
  bool registerGroup = false;   // cash register (keys, clients) rather than printer
  int directKeys = 0;
  bool widePaper = false;       // may print 48 columns
  std::string operatorPassword; // factory password of every operator
};

// Sets bit 7 of every status byte and the bits that summarise error bits.
void completeStatusBytes(uint8_t* status);

// The model table; any other name gives a printer-like device with index -1.
ModelInfo modelInfo(std::string_view name);
extern const char* const MODEL_NAMES[7];

inline constexpr int MAX_PLU = 100000;
inline constexpr int MAX_CLIENT = 1000;
inline constexpr int OPERATORS = 30;
inline constexpr int VAT_GROUPS = 5;
inline constexpr int PAYMENTS = 4;
inline constexpr int VAT_DISABLED = 10000;  // rate in hundredths of a percent
inline constexpr int FM_CAPACITY = 3650;    // Z reports the fiscal memory holds
inline constexpr size_t MAX_LOGO = 65536;   // bytes of the logo memory (command 202)
// Combined by exclusive or with the CRC-32 of the date to form the file unlock code of command 129.
inline constexpr uint32_t FILE_UNLOCK_MASK = 0x5A3C96E1u;

struct Item {
  int vat = 1, dept = 0, stock = 1, priceType = 0;
  int64_t price = 0, turnover = 0, soldQty = 0, stockQty = 0;  // fixed-point, 4 decimals
  std::array<std::string, 4> barcodes;
  std::string name;
};

struct Client {
  std::string name, taxNumber, name2, address1, address2;
};

// Operator registers in the order command 112 answers them; counts are whole numbers,
// sums fixed-point.
enum OperReg {
  OR_RECEIPTS, OR_SALES, OR_STORNO_CNT, OR_STORNO_SUM, OR_DISC_CNT, OR_DISC_SUM, OR_SURCH_CNT, OR_SURCH_SUM,
  OR_VOID_CNT, OR_VOID_SUM, OR_VOIDSTORNO_CNT, OR_VOIDSTORNO_SUM, OR_COUNT
};

struct Operator {
  std::string password;
  std::array<int64_t, OR_COUNT> regs{};
};

// Journal document types as command 124/125 select them.
enum DocType {
  DOC_FISCAL = 0, DOC_STORNO = 1, DOC_X = 2, DOC_Z = 3, DOC_PERIODIC = 4, DOC_ALL_FISCAL = 5,
  DOC_NONFISCAL = 6, DOC_COPY = 7, DOC_ALL = 8
};

struct JournalDoc {
  int number = 0;
  int type = 0;
  DeviceTime time = 0;
  std::vector<std::string> lines;
};

struct ZRecord {
  int number = 0;
  DeviceTime time = 0;
  std::array<int64_t, VAT_GROUPS> sales{}, storno{};
};

struct SaleLine {
  int plu = 0, vat = 1;
  int64_t qty = 0, price = 0, amount = 0, correction = 0;
  bool voided = false;
  std::string name;
};

enum ReceiptKind { RK_NONE = 0, RK_FISCAL = 1, RK_STORNO = 2, RK_NONFISCAL = 3 };

struct Receipt {
  int kind = RK_NONE;
  int op = 0;
  std::string iosa, stornoOf;
  DeviceTime opened = 0;
  std::vector<SaleLine> lines;
  std::vector<std::string> texts;  // non-fiscal receipt lines
  int64_t total = 0;
  std::array<int64_t, PAYMENTS> paid{};
  bool paying = false;

  int64_t paidTotal() const;
  bool hasActiveLines() const;
};

// Everything the device keeps over a power cycle (and the state file keeps between runs).
struct DeviceState {
  std::string model;
  int64_t clockOffset = 0;  // device time minus host time, seconds
  bool clockSet = true;
  std::map<std::string, std::vector<std::string>, std::less<>> params;
  std::array<int, VAT_GROUPS> vat{};  // hundredths of a percent, VAT_DISABLED when off
  bool vatSet = false;
  std::string serial, fmNumber, jib, pib, iosa;
  bool fiscal = false;
  std::map<int, Item> items;
  std::map<int, Client> clients;
  std::array<Operator, OPERATORS> operators;
  // day registers since the last Z report
  std::array<int64_t, VAT_GROUPS> daySales{}, dayStorno{};
  int dayReceipts = 0;
  DeviceTime dayOpened = 0;  // 0: no day open
  int64_t cash = 0, cashIn = 0, cashOut = 0;
  int zNumber = 0, docNumber = 0, receiptNumber = 0;
  std::vector<ZRecord> fiscalMemory;
  std::vector<JournalDoc> journal;
  Receipt receipt;
  // terminal functions
  bool firstInstall = true;
  int lastSentZ = 0;
  std::string commandFile;
  std::string logo;
};

class DeviceModel {
 public:
  explicit DeviceModel(std::string_view model = "KT-33A");

  // Runs one command; `answer` receives the answer data.
  void execute(uint16_t cmd, std::string_view input, std::string& answer);
  // The 8 status bytes after the last command (bit 7 of each set).
  void statusBytes(uint8_t out[8]) const;
  // Device code (field 0) of the last command.
  int lastCode() const { return fLastCode; }

  const ModelInfo& model() const { return fModel; }
  const DeviceState& state() const { return fS; }
  DeviceState& mutableState() { return fS; }
  bool serviceMode() const { return fService; }
  DeviceTime now() const;

  // The host clock as naive local time; tests replace it with a fixed one.
  std::function<DeviceTime()> hostClock = hostLocalNow;
  std::string servicePassword = "1234";
  // Faults of the device itself for tests: a code other than 0 refuses the command with
  // that code, nothing executed.
  std::function<int(uint16_t cmd, std::string_view input)> commandFault;
  // The journal document of this number never ends: after its last line its reader
  // gets its lines again (0: none).
  int endlessDocument = 0;
  // Certificates served by command 129, by device path.
  std::map<std::string, std::string, std::less<>> files;
  // A firmware fault seen in the field: "N" answers the last client again instead of
  // the next one.
  bool clientCursorStuck = false;
  // Another: "N" answers the client number with a letter in front of it.
  bool clientNumberGarbled = false;
  // Client numbers whose "P" the device refuses (a client it cannot take).
  std::set<int> refusedClientNumbers;

  // Persistence: the state as text and back. A text that does not parse leaves the
  // device unchanged and returns false with a message.
  std::string serialize() const;
  bool deserialize(std::string_view text, std::string& error);
  // Set by every command that changed persistent state.
  bool dirty = false;
  // A faulty device that accepts voids (command 52) of an open receipt without end.
  bool endlessVoids = false;

  // Back to a fresh device of the model (factory defaults).
  void factoryReset();

 private:
  using Args = std::vector<std::string_view>;

  // result helpers
  void ok();
  void fail(int code);
  void put(std::string_view field);
  void putInt(int64_t v);
  void putFixed(int64_t v, int decimals);
  std::string_view arg(size_t i) const { return i < fArgs.size() ? fArgs[i] : std::string_view{}; }

  // command groups
  void cmdDiagnostic(std::string_view input);
  void cmdParam();
  void cmdSetDateTime();
  void cmdGetDateTime();
  void cmdVat();
  void cmdFiscalSerial();
  void cmdFiscalTax();
  void cmdFiscalIosa();
  void cmdFiscalize();
  void cmdService();
  void cmdItems();
  void cmdClients();
  void cmdOperPassword();
  void cmdOperRegisters();
  void cmdReport();
  void cmdDiagPrint();
  void cmdOperReport();
  void cmdPluReport();
  void cmdFmByDate();
  void cmdFmByNumber();
  void cmdCash();
  void cmdOpenFiscal(bool storno);
  void cmdOpenNonFiscal();
  void cmdNonFiscalText();
  void cmdCloseNonFiscal();
  void cmdSale();
  void cmdVoid();
  void cmdPayment();
  void cmdCloseFiscal();
  void cmdReceiptState();
  void cmdJournalFind();
  void cmdJournalSelect();
  void cmdTerminal();
  void cmdFiles();
  void cmdLogo();

  // parameters of command 255
  bool paramValue(std::string_view name, int index, std::string& value, int& code) const;
  int setParam(std::string_view name, std::string_view indexText, std::string_view value);
  const std::string& param(std::string_view name, int index = 0) const;
  bool flag(std::string_view name) const { return param(name) == "1"; }
  void defaultParams();
  int setVatRates(const std::array<int, VAT_GROUPS>& rates);

  // receipts and documents
  bool dayHasTransactions() const { return fS.dayReceipts > 0; }
  bool dayExpired() const;
  int checkOperator(std::string_view op, std::string_view password, int& number) const;
  int receiptBusy() const;
  void openDay();
  void closeFiscalReceipt();
  void zeroDay();
  int makeZ(int& number);
  void beginDoc(int type, std::string_view title);
  void docLine(std::string_view text);
  void docPair(std::string_view label, std::string_view value);
  void docPairFixed(std::string_view label, int64_t value, int decimals);
  void endDoc();
  bool printFmReport(const std::function<bool(const ZRecord&)>& select);
  static bool docMatches(int docType, int wanted);
  const JournalDoc* findDoc(int number) const;
  void recordServiceReset(char type);

  ModelInfo fModel;
  DeviceState fS;
  Args fArgs;
  std::string* fOut = nullptr;
  int fLastCode = 0;
  // transient state (lost on a restart)
  bool fService = false;
  bool fUnlocked = false;
  JournalDoc fDoc;  // document being printed
  int fEjSelected = 0;
  size_t fEjLine = 0;
  int fClientCursor = 0;
  std::string fFileData;
  size_t fFilePos = 0;
  bool fFileOpen = false, fFileExists = false, fFileInfoSent = false;
  bool fLogoUpload = false, fLogoStopped = false;
  std::string fLogoData;
  uint32_t fLogoSum = 0;
};

}  // namespace kestrel::sim
