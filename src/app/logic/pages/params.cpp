#include "app/logic/pages/params.h"

#include "app/logic/config_pages.h"
#include "app/logic/device_ops.h"
#include "engine/fiscal_device.h"

namespace kestrel {

const std::vector<std::string> TIMEZONE_CHOICES = {"-4", "-3", "-2", "-1", "0", "+1", "+2", "+3", "+4"};

const TParamTable& paramsTable() {
  using E = TParamEnc;
  static const TParamTable table = {
      "parameters",
      {
          {"DaylightSavingMinutes", "", "chbxAutoSummerTime", E::CheckMinutes},
          {"RegModeOnIdle", "", "ledClearDisplay", E::Number},
          {"EcrNumberBarcode", "", "cbxBarcodeCount", E::EntryText, TModelRule::Any, &numberChoices(1, 4)},
          {"EcrScaleBarMask", "", "ledBarcodeMask", E::Text},
          {"EcrAskForPassword", "", "chbxAutoExitAfterTotal", E::Check},
          {"EcrAskForVoidPassword", "", "chbxVoidPassword", E::Check},
          {"EcrConnectedOperReport", "", "chbxZconnectOperator", E::Check},
          {"EcrConnectedDeptReport", "", "chbxZconnectDept", E::Check},
          {"EcrConnectedPluSalesReport", "", "chbxZconnectItems", E::Check},
          {"EcrPluDailyClearing", "", "chbxZnullItems", E::Check},
          {"EcrConnectedGroupsReport", "", "chbxZconnectStock", E::Check},
          {"EcrUserPeriodReports", "", "chbxUsePeriodicReports", E::Check},
          {"EcrLogNumber", "", "ledLogical", E::Number},
          {"EcrWithoutPasswords", "", "chbxNoPasswords", E::Check},
          {"EcrSafeOpening", "", "chbxOpenDrawer", E::Check},
          {"AutoPowerOff", "", "ledAutoOff", E::Number},
          {"BkLight_AutoOff", "", "ledBckLightOff", E::Number},
          {"FlushAtEndOnly", "", "chbxPrintAfterPay_ECR", E::Check, TModelRule::RegisterGroup},
          {"DateFromNAPServDisable", "", "chbxNTPuse", E::CheckInverted},
          {"TimeServerAddress", "", "edNTPServeraddr", E::Text},
          {"TimeZone", "", "cbxTimezone", E::TimeZone, TModelRule::Any, &TIMEZONE_CHOICES},
      },
      {"DaylightSavingMinutes", "EcrScaleBarMask", "EcrNumberBarcode", "EcrLogNumber", "BkLight_AutoOff",
       "AutoPowerOff", "EcrWithoutPasswords", "EcrAskForPassword", "EcrAskForVoidPassword", "EcrSafeOpening",
       "EcrConnectedOperReport", "EcrConnectedDeptReport", "EcrConnectedPluSalesReport", "EcrPluDailyClearing",
       "EcrConnectedGroupsReport", "EcrUserPeriodReports", "FlushAtEndOnly", "RegModeOnIdle",
       "DateFromNAPServDisable", "TimeServerAddress", "TimeZone"},
      {"DaylightSavingMinutes", "RegModeOnIdle", "EcrNumberBarcode", "EcrScaleBarMask", "EcrAskForPassword",
       "EcrAskForVoidPassword", "EcrConnectedOperReport", "EcrConnectedDeptReport", "EcrConnectedPluSalesReport",
       "EcrPluDailyClearing", "EcrConnectedGroupsReport", "EcrUserPeriodReports", "EcrLogNumber",
       "EcrWithoutPasswords", "EcrSafeOpening", "AutoPowerOff", "BkLight_AutoOff", "FlushAtEndOnly",
       "DateFromNAPServDisable", "TimeServerAddress", "TimeZone"},
  };
  return table;
}

bool readParamsTab(TDeviceOps& ops, TPageValues& values) { return readParams(ops, paramsTable(), values); }

namespace {
// The engine's repeat count for a scope, back to what it was on every way out (the
// window's 1; a command line's own --repeat stays for the commands after the save).
class RepeatCountScope {
 public:
  RepeatCountScope(TFiscalDevice& fd, int count) : fFd(fd), fBefore(fd.repeatCount) { fFd.repeatCount = count; }
  ~RepeatCountScope() { fFd.repeatCount = fBefore; }
  RepeatCountScope(const RepeatCountScope&) = delete;
  RepeatCountScope& operator=(const RepeatCountScope&) = delete;

 private:
  TFiscalDevice& fFd;
  int fBefore;
};
}  // namespace

bool saveParameters(TDeviceOps& ops, const TPageValues& values) {
  RepeatCountScope repeat(ops.fd, PARAMS_SAVE_REPEAT_COUNT);
  if (!saveParams(ops, paramsTable(), values)) return false;
  ops.informSaved();
  return true;
}

TConfigPage paramsConfigPage() {
  TConfigPage p;
  p.name = paramsTable().page;
  p.read = readParamsTab;
  p.save = saveParameters;
  p.show = [](const TPageValues& values, int ecrModel) { return showParamTable(paramsTable(), values, ecrModel); };
  p.set = [](TPageValues& values, const std::string& key, const std::string& value, int ecrModel) {
    setParamTable(paramsTable(), values, key, value, ecrModel);
  };
  p.deviceValue = [](const std::string& key, const std::string& value, int ecrModel) {
    return paramTableDeviceValue(paramsTable(), key, value, ecrModel);
  };
  return p;
}

}  // namespace kestrel
