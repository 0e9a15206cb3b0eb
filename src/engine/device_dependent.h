#pragma once
// What the engine knows of the device it talks to: code page, country, protocol and
// status table, and the diagnostic information that command 90 returns.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine_types.h"
#include "engine/status_bytes.h"

namespace kestrel {

class TFiscalDevice;

// A part of the description that a higher layer defines (the command descriptors and the
// property-code relations); the description owns it and destroys it with itself.
class TDDPart {
 public:
  virtual ~TDDPart() = default;
};

struct TTransportSupport {
  bool RS232 = true;
  bool TCPIP = false;
};

struct TSignificantDigitsCount {
  int rowQuantity = 8, maxDaySum = 14, maxSaleSum = 11, maxSinglePrice = 10, maxRowPrice = 10,
      maxRowPriceWithCorrection = 10, maxInOutSum = 11, maxSubtotalSum = 11, maxSubtotalWithCorrection = 11;
};

struct TSalesLimitations {
  TSignificantDigitsCount numberOfSignificantDigits;
  int maxNumberOfRowsPerSale = 1000;
  int maxNumberOfSaleRowsPerSale = 380;
  int maxNumberOfSalesPerZReport = -1;
};

class TI90 {
 public:
  explicit TI90(TFiscalDevice* engine = nullptr) : fEngine(engine) {}

  std::string shDTP, shCCC, shNNNNNN, shDD, shOMV, shOBV, shIBV, shSN, shHV, shBLV;
  std::string DeviceName, FirmwareRevision, FirmwareDate, FirmwareTime, CheckSum, SoftwareSwitches,
      SerialNumber, FiscalMemoryNumber;
  bool getAfterConnect = false;
  std::string specialParam = "#";

  // Reads both command-90 answers through the engine; False without an engine.
  bool getFromDevice();
  bool set_FiscalMemoryNumber(const std::string& FM_Number) {
    FiscalMemoryNumber = FM_Number;
    return true;
  }
  void clear();

 private:
  bool readFirst(TFiscalDevice& engine, TPacketFormat format);
  bool readSecond(TFiscalDevice& engine, TPacketFormat format);
  TFiscalDevice* fEngine;
};

class TDeviceDependent {
 public:
  explicit TDeviceDependent(TFiscalDevice* engine = nullptr) : fEngine(engine), fI90(engine) {}

  TTransportSupport TransportSupport;
  TSalesLimitations SalesLimitations;
  TLowLevel& LowLevel() { return fLowLevel; }
  const TLowLevel& LowLevel() const { return fLowLevel; }
  TI90& i90() { return fI90; }
  const TI90& i90() const { return fI90; }
  uint32_t CodePage = 1252;
  bool CustomCodePage = false;
  int32_t CustomCodePageCode = 0;
  TFiscalDeviceType DeviceType = TFiscalDeviceType::FiscalPrinter;
  TSCountries Country() const { return fCountry; }
  void set_Country(TSCountries value);

  static constexpr const char* VersionS = "1.0.0.0";
  static constexpr int VersionI = 1;

  TFiscalDevice* engine() const { return fEngine; }

  // Owned slots for the command descriptor collection (`cmds`) and the property-code
  // relations (`pcrs`); the catalogue layer fills them on first use.
  std::unique_ptr<TDDPart> cmdsPart;
  std::unique_ptr<TDDPart> pcrsPart;

 private:
  TFiscalDevice* fEngine;
  TLowLevel fLowLevel;
  TI90 fI90;
  TSCountries fCountry = TSCountries::Unknown;
};

}  // namespace kestrel
