#include "catalogue/fba_kt_33a.h"

#include "catalogue/engine_catalogue.h"
#include "engine/fiscal_device.h"
#include "support/caught.h"

namespace kestrel {

namespace {

const char* const R0 = "Reserved - always 0.";
const char* const R1 = "Reserved - always 1.";

// Slot-1 descriptions of the model's status bits, byte by byte, bit 0 first.
const char* const kDescriptions[8][8] = {
    {"# Incoming data has syntax error.", "# Code of incoming command is invalid.", "The clock needs setting.",
     "The customer display is not connected.", "# Failure in the printing mechanism.",
     "General error - this is OR of all errors marked with #.", "The printer cover is opened.", R1},
    {"# Overflow during command execution.", "# Command is not permitted.", "More than 24 hours after day opening.", R0,
     R0, R0, R0, R1},
    {"# End of paper.", "Near paper end.", "EJ is full.", "A fiscal receipt is opened.", "EJ nearly full.",
     "A non-fiscal receipt is opened.", R0, R1},
    {R0, R0, R0, R0, R0, R0, R0, R1},
    {"Error writing to the fiscal memory.", "Tax number is set.", "Serial and fiscal memory number are set.",
     "There is space for less then 60 reports in Fiscal memory.", "Fiscal memory is full.",
     "OR of all errors marked with \u2018*\u2019 from Bytes 4 \u0438 5.", "Fiscal memory is not found or damaged.", R1},
    {R0, "The fiscal memory is formatted.", R0, "The device is in fiscal mode", "Tax rates have been set at least once.",
     R0, R0, R1},
    {R0, R0, R0, R0, R0, R0, R0, R1},
    {R0, R0, R0, R0, R0, R0, R0, R1},
};

// The error flags of the model: which bits count as errors under which check profile.
struct ErrorFlags {
  int byteIndex, bitIndex;
  bool production, developmentAndTest, service, endUser;
};
const ErrorFlags kErrorFlags[] = {
    {0, 0, true, true, true, true},   {0, 1, true, true, true, true},   {0, 4, true, true, false, true},
    {0, 5, false, true, false, true}, {0, 6, false, true, false, true}, {1, 0, true, true, false, true},
    {1, 1, true, true, false, true},  {2, 0, false, true, false, true}, {2, 2, false, false, false, true},
    {4, 0, true, true, false, true},  {4, 4, true, true, false, true},  {4, 5, true, true, false, true},
    {4, 6, true, true, false, true},
};

// Bits with a meaning for the model, as a mask per byte.
const uint8_t kInUse[8] = {0x7F, 0x07, 0x3F, 0x00, 0x7F, 0x1A, 0x00, 0x00};

struct Relation {
  const char* code;
  const char* name;
};
const Relation kRelations[] = {
    {"000010001", "last_ErrorCode"},
    {"000010002", "last_ErrorMessage"},
    {"000021001", "eSBit_GeneralType_1"},
    {"000021002", "eSBit_GeneralType_2"},
    {"000021003", "eSBit_Command_SyntaxError"},
    {"000021003", "eSBit_Command_InvalidCode"},
    {"000021004", "eSBit_Command_NotPermited"},
    {"000021005", "eSBit_Command_Overflow"},
    {"000021006", "eSBit_Full_EJournal"},
    {"000021007", "eSBit_Full_FiscalMemory"},
    {"000021008", "eSBit_OutOf_Paper"},
    {"000021009", "eSBit_WriteError"},
    {"000022001", "iSBit_OpenedReceipt_Fiscal"},
    {"000022002", "iSBit_OpenedReceipt_NonFiscal"},
    {"000022003", "iSBit_NearlyFull_EJournal"},
    {"000022004", "iSBit_NearlyFull_FiscalMemory"},
    {"000022005", "iSBit_Setted_SerialNumber"},
    {"000022006", "iSBit_Setted_TaxNumber"},
    {"000022007", "iSBit_Setted_TaxRates"},
    {"000022008", "iSBit_Formatted_FiscalMemory"},
    {"000022009", "iSBit_DeviceIsFiscalized"},
    {"000023001", "active_RS232Connection"},
    {"000023002", "active_TCPIPConnection"},
    {"000023003", "num_ZReport"},
    {"000023004", "num_ResetCount"},
    {"000023005", "num_VatChanges"},
    {"000023006", "needed_ZReport"},
    {"000030001", "support_RS232"},
    {"000030002", "support_TCPIP"},
    {"000030003", "support_ProgramedItems"},
    {"000030004", "support_ZReport"},
    {"000030005", "support_XReport"},
    {"000030006", "support_ReportsByPeriod"},
    {"000030007", "support_VoidPerSell"},
    {"000030008", "support_CancelReceipt"},
    {"000030009", "support_Invoices"},
    {"000030020", "support_DSTTime"},
    {"000030021", "support_Info_Owner"},
    {"000030022", "support_Info_NRE"},
    {"000030023", "support_Service"},
    {"000030024", "support_POSSoftware"},
    {"000030025", "support_DifferentPaperSize"},
    {"000030026", "support_PinPad_Quorin_001"},
    {"000051001", "max_FiscalMemoryRecords"},
    {"000051002", "max_ProgramedItem_SinglePrice"},
    {"000051003", "max_ProgramedItem_Quantity"},
    {"000051004", "max_FreeSell_SinglePrice"},
    {"000051005", "max_FreeSell_Quantity"},
    {"000051006", "max_FreeSell_RowPrice"},
    {"000051007", "max_Sell_Adjustment_Sum"},
    {"000051008", "max_Sell_Adjustment_Percent"},
    {"000051009", "max_Receipt_Adjustment_Sum"},
    {"000051010", "max_Receipt_Adjustment_Percent"},
    {"000051011", "max_Receipt_RowsCount"},
    {"000051012", "max_Receipt_SalesCount"},
    {"000051013", "max_ZReport_Sum"},
    {"000051014", "max_ZReport_SalesCount"},
    {"000051016", "max_InOut_Sum"},
    {"000052001", "sdn_Sum_ZReport"},
    {"000052002", "sdn_Sum_InOut"},
    {"000052003", "sdn_Sum_InOut"},
    {"000052004", "sdn_Sum_RowPrice"},
    {"000052005", "sdn_Sum_RowPrice_Correction"},
    {"000052006", "sdn_Sum_Total"},
    {"000052007", "sdn_Sum_SinglePrice"},
    {"000052008", "sdn_Sum_SubTotal"},
    {"000052009", "sdn_Sum_SubTotal_Correction"},
    {"000052010", "sdn_Quantity_PerSell"},
    {"000052011", "sdn_Quantity_ProgrammedItem"},
    {"000053001", "country_Code"},
    {"000053002", "country_Name"},
    {"000053003", "country_DealerCode"},
    {"000053004", "codePage_BaseValue"},
    {"000053005", "codePage_Custom"},
    {"000053006", "codePage_CustomCode"},
    {"000053007", "count_TaxRates"},
    {"000054001", "obligatory_ProgrammedItems"},
    {"000054002", "obligatory_Report_Daily_Z"},
    {"000054003", "obligatory_Report_PerMonth"},
    {"000054004", "obligatory_Report_PerYear"},
    {"000054005", "obligatory_Header"},
    {"000054006", "obligatory_Footer"},
    {"000054007", "obligatory_Invoices_CustomerInfo"},
    {"000054008", "obligatory_CorrectDateAndTime"},
    {"000054009", "obligatory_Setted_TaxRates"},
    {"000054020", "obligatory_Setted_DST"},
    {"000054021", "obligatory_Fiscalisation"},
    {"000054022", "obligatory_NRE_Registration"},
    {"000054023", "obligatory_ServiceContract"},
    {"000054024", "obligatory_FiscalReceipt_ForSale"},
    {"000071001", "device_Type"},
    {"000071002", "device_Model"},
    {"000072003", "firmware_Version"},
    {"000072004", "firmware_Revision"},
    {"000072005", "firmware_Date"},
    {"000072006", "firmware_CheckSum"},
    {"000073101", "id_Serial"},
    {"000073102", "id_FM"},
    {"000073103", "id_CPU"},
    {"000073201", "id_IMEI"},
    {"000073202", "id_IMSI"},
    {"000073301", "id_MAC"},
    {"000073302", "id_IPAddress"},
    {"000073303", "id_Port"},
    {"000073400", "id_POSSoftware"},
    {"000073501", "nre_CertificateNumber"},
    {"000073502", "nre_RegistrationNumber"},
    {"000073503", "nre_StartExploatationDate"},
    {"000073801", "nre_Owner"},
    {"000073802", "nre_Owner_AddressCompany"},
    {"000073803", "nre_OwnerAddressObject"},
    {"000073804", "nre_Owner_EIK"},
    {"000073805", "nre_Service_EIK"},
    {"000073901", "nre_Service_EIK"},
    {"000073902", "nre_Service_ExpirationDate"},
    {"000810001", "rs232_ComPort_FiscalDevice"},
    {"000810002", "rs232_BaudRate_FiscalDevice"},
    {"000810003", "rs232_ComPort_PinPad"},
    {"000810004", "rs232_BaudRate_PinPad"},
    {"000820000", "lan_DHCPEnabled"},
    {"000820001", "lan_NetMask"},
    {"000820002", "lan_DefaultGateway"},
    {"000820003", "lan_DNS_Primary"},
    {"000820004", "lan_DNS_Second"},
    {"000091001", "communication_Type"},
    {"000091002", "repeat_Count"},
    {"000091003", "read_TimeOut"},
    {"000091004", "exit_ByTime_Active"},
    {"000091005", "exit_ByTime_Value"},
    {"000092001", "debug_Mode"},
    {"000092002", "logValue_Path"},
    {"000092003", "logValue_FileName"},
};

struct OposProperty {
  const char* name;
  TMayUseAfter useAfter;
  TRWType mutability;
  const char* version;
  const char* value;  // its form chooses the list: integer, Boolean or text
};
// The properties of the UnifiedPOS fiscal printer device class: 32 integer, 12 text
// and 78 Boolean properties.
const OposProperty kOposProperties[] = {
    {"DataCount", mua_NotSupported, rwt_ReadOnly, "1.3", "0"},
    {"OutputID", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"PowerNotify", mua_Open, rwt_ReadWrite, "1.3", "0"},
    {"PowerState", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"State", mua_Always, rwt_ReadOnly, "1.3", "0"},
    {"DeviceControlVersion", mua_Always, rwt_ReadOnly, "1.3", "0"},
    {"DeviceServiceVersion", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"PhysicalDeviceName", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"ActualCurrency", mua_OpenClaimEnable, rwt_ReadOnly, "1.6", "0"},
    {"AmountDecimalPlaces", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "0"},
    {"ContractorId", mua_OpenClaimEnable, rwt_ReadWrite, "1.6", "0"},
    {"CountryCode", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "0"},
    {"DateType", mua_OpenClaimEnable, rwt_ReadWrite, "1.6", "0"},
    {"DescriptionLength", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"ErrorLevel", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"ErrorOutID", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "0"},
    {"ErrorState", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"ErrorStation", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"FiscalReceiptStation", mua_OpenClaimEnable, rwt_ReadWrite, "1.6", "0"},
    {"FiscalReceiptType", mua_OpenClaimEnable, rwt_ReadWrite, "1.6", "0"},
    {"MessageLength", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"MessageType", mua_Open, rwt_ReadWrite, "1.6", "0"},
    {"NumHeaderLines", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"NumTrailerLines", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"NumVatRates", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"PrinterState", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "0"},
    {"QuantityDecimalPlaces", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "0"},
    {"QuantityLength", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "0"},
    {"RemainingFiscalMemory", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "0"},
    {"SlipSelection", mua_OpenClaimEnable, rwt_ReadWrite, "1.3", "0"},
    {"TotalizerType", mua_OpenClaimEnable, rwt_ReadWrite, "1.6", "0"},
    {"CapPowerReporting", mua_Open, rwt_ReadOnly, "1.3", "0"},
    {"CheckHealthText", mua_Open, rwt_ReadOnly, "1.3", ""},
    {"DeviceControlDescription", mua_Always, rwt_ReadOnly, "1.3", ""},
    {"DeviceServiceDescription", mua_Open, rwt_ReadOnly, "1.3", ""},
    {"PhysicalDeviceDescription", mua_Open, rwt_ReadOnly, "1.3", ""},
    {"AdditionalHeader", mua_OpenClaimEnable, rwt_ReadWrite, "1.6", ""},
    {"AdditionalTrailer", mua_OpenClaimEnable, rwt_ReadWrite, "1.6", ""},
    {"ChangeDue", mua_Open, rwt_ReadWrite, "1.6", ""},
    {"ErrorString", mua_Open, rwt_ReadOnly, "1.3", ""},
    {"PostLine", mua_OpenClaimEnable, rwt_ReadWrite, "1.6", ""},
    {"PredefinedPaymentLines", mua_Open, rwt_ReadOnly, "1.3", ""},
    {"PreLine", mua_OpenClaimEnable, rwt_ReadWrite, "1.6", ""},
    {"ReservedWord", mua_Open, rwt_ReadOnly, "1.3", ""},
    {"AutoDisable", mua_NotSupported, rwt_ReadWrite, "1.3", "False"},
    {"Claimed", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"DataEventEnabled", mua_NotSupported, rwt_ReadWrite, "1.3", "False"},
    {"DeviceEnabled", mua_OpenClaim, rwt_ReadWrite, "1.3", "False"},
    {"FreezeEvents", mua_Open, rwt_ReadWrite, "1.3", "False"},
    {"AsyncMode", mua_Open, rwt_ReadWrite, "1.3", "False"},
    {"CheckTotal", mua_Open, rwt_ReadWrite, "1.3", "False"},
    {"CoverOpen", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "False"},
    {"DayOpened", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "False"},
    {"DuplicateReceipt", mua_Open, rwt_ReadWrite, "1.3", "False"},
    {"FlagWhenIdle", mua_Open, rwt_ReadWrite, "1.3", "False"},
    {"JrnEmpty", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "False"},
    {"JrnNearEnd", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "False"},
    {"RecEmpty", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "False"},
    {"RecNearEnd", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "False"},
    {"SlpEmpty", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "False"},
    {"SlpNearEnd", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "False"},
    {"TrainingModeActive", mua_OpenClaimEnable, rwt_ReadOnly, "1.3", "False"},
    {"CapCompareFirmwareVersion", mua_Open, rwt_ReadOnly, "1.9", "True"},
    {"CapStatisticsReporting", mua_Open, rwt_ReadOnly, "1.8", "False"},
    {"CapUpdateFirmware", mua_Open, rwt_ReadOnly, "1.9", "False"},
    {"CapUpdateStatistics", mua_Open, rwt_ReadOnly, "1.8", "False"},
    {"CapAdditionalHeader", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapAdditionalLines", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapAdditionalTrailer", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapAmountAdjustment", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapAmountNotPaid", mua_Deprecated, rwt_ReadOnly, "1.3", "False"},
    {"CapChangeDue", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapCheckTotal", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapCoverSensor", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapDoubleWidth", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapDuplicateReceipt", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapEmptyReceiptIsVoidable", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapFiscalReceiptStation", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapFiscalReceiptType", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapFixedOutput", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapHasVatTable", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapIndependentHeader", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapItemList", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapJrnEmptySensor", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapJrnNearEndSensor", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapJrnPresent", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapMultiContractor", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapNonFiscalMode", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapOnlyVoidLastItem", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapOrderAdjustmentFirst", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapPackageAdjustment", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapPercentAdjustment", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapPositiveAdjustment", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapPositiveSubtotalAdjustment", mua_Open, rwt_ReadOnly, "1.11", "False"},
    {"CapPostPreLine", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapPowerLossReport", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapPredefinedPaymentLines", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapReceiptNotPaid", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapEmptySensor", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapRecNearEndSensor", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapRecPresent", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapRemainingFiscalMemory", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapReservedWord", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSetCurrency", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapSetHeader", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSetPOSID", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSetStoreFiscalID", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSetTrailer", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSetVatTable", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSlpEmptySensor", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSlpFiscalDocument", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSlpFullSlip", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSlpNearEndSensor", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSlpPresent", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSlpValidation", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSubAmountAdjustment", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSubPercentAdjustment", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapSubtotal", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapTotalizerType", mua_Open, rwt_ReadOnly, "1.6", "False"},
    {"CapTrainingMode", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapValidateJournal", mua_Open, rwt_ReadOnly, "1.3", "False"},
    {"CapXReport", mua_Open, rwt_ReadOnly, "1.3", "False"},
};

constexpr int kOposDeviceCode = 1;

}  // namespace

TFBA_KT_33A::~TFBA_KT_33A() = default;

const char* TFBA_KT_33A::statusDescription(int byteIndex, int bitIndex) { return kDescriptions[byteIndex][bitIndex]; }

void TFBA_KT_33A::set_fCore(TFiscalDevice* value) {
  if (fEngine && fEngine != value) RemoveFreeNotification(fEngine);
  fEngine = value;
  if (!fEngine) return;
  FreeNotification(fEngine);
  init_fCore();
}

void TFBA_KT_33A::Notification(TComponent* component) {
  if (component == fEngine) fEngine = nullptr;
}

bool TFBA_KT_33A::init_fCore() {
  if (!fEngine) return false;
  try {
    TFiscalDevice& e = *fEngine;
    e.set_CommunicationType(ct_RS232);
    e.ModelName = "KT-33 A";
    e.set_ErrorStyle(errorCode);

    TDeviceDependent& dd = *e.dd();
    dd.set_Country(TSCountries::FederationBosniaAndHerzegovina);
    dd.CodePage = 1250;
    dd.CustomCodePage = false;
    dd.CustomCodePageCode = 22;
    dd.DeviceType = TFiscalDeviceType::FiscalPrinter;

    dd.LowLevel().set_ProtocolType(protocol_Type2);
    dd.LowLevel().set_errorCheckType(ccEndUser);

    return configureStatusTable() && add_DDCommands() && (clear_PCRs(), add_PCRs()) &&
           (oposProperties_Clear(), oposProperties_Add());
  } catch (...) {
    reportCaught("TFBA_KT_33A.init_fCore");
    return false;
  }
}

bool TFBA_KT_33A::configureStatusTable() {
  TLowLevel& ll = fEngine->dd()->LowLevel();
  const int count = ll.statusBytes().ByteCountInUse();
  for (int byte = 0; byte < count && byte < 8; ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      // The descriptions are English: they go to the English slot only.
      if (!ll.set_sBytesDescription(byte, bit, 1, kDescriptions[byte][bit])) return false;
    }
    for (int bit = 0; bit < 8; ++bit) {
      if (!ll.set_sBytesState(byte, bit, false) || !ll.set_sBytesCheckingForAll(byte, bit, false) ||
          !ll.set_sBytesBitInUse(byte, bit, false))
        return false;
    }
    for (const ErrorFlags& f : kErrorFlags) {
      if (f.byteIndex != byte) continue;
      if (!ll.set_sBytesChecking(byte, f.bitIndex, ccProduction, f.production) ||
          !ll.set_sBytesChecking(byte, f.bitIndex, ccDevelopmentAndTest, f.developmentAndTest) ||
          !ll.set_sBytesChecking(byte, f.bitIndex, ccService, f.service) ||
          !ll.set_sBytesChecking(byte, f.bitIndex, ccEndUser, f.endUser))
        return false;
    }
    for (int bit = 0; bit < 8; ++bit)
      if ((kInUse[byte] >> bit) & 1)
        if (!ll.set_sBytesBitInUse(byte, bit, true)) return false;
  }
  return true;
}

bool TFBA_KT_33A::add_DDCommands() {
  if (!fEngine) return false;
  clear_DDCommands();
  return true;
}

void TFBA_KT_33A::clear_DDCommands() {
  if (fEngine) kestrel::clear_DDCommands(*fEngine);
}

bool TFBA_KT_33A::add_PCRs() {
  if (!fEngine) return false;
  for (const Relation& r : kRelations)
    if (!add_PCR(*fEngine, r.code, r.name, "1.0.0", -1, -1, "", pvt_String, rwt_ReadOnly, mua_OpenClaimEnable,
                 st_Constant))
      return false;
  return true;
}

void TFBA_KT_33A::clear_PCRs() {
  if (fEngine) kestrel::clear_PCRs(*fEngine);
}

bool TFBA_KT_33A::oposProperties_Add() {
  if (!fEngine) return false;
  for (const OposProperty& p : kOposProperties)
    if (!opos_AddProperties(*fEngine, kOposDeviceCode, p.name, p.version, p.useAfter, p.mutability, p.value))
      return false;
  return true;
}

void TFBA_KT_33A::oposProperties_Clear() {
  if (fEngine) kestrel::oposProperties_Clear(*fEngine);
}

}  // namespace kestrel
