#include "engine/device_dependent.h"

namespace kestrel {

void TI90::clear() {
  for (std::string* s : {&shDTP, &shCCC, &shNNNNNN, &shDD, &shOMV, &shOBV, &shIBV, &shSN, &shHV, &shBLV,
                         &DeviceName, &FirmwareRevision, &FirmwareDate, &FirmwareTime, &CheckSum,
                         &SoftwareSwitches, &SerialNumber, &FiscalMemoryNumber})
    s->clear();
}

void TDeviceDependent::set_Country(TSCountries value) {
  fCountry = value;
  // Countries whose devices need their own code page; the others keep what was set.
  switch (value) {
    case TSCountries::Unknown:
      CodePage = 1252;
      break;
    case TSCountries::Bulgaria:
      CodePage = 1251;
      break;
    case TSCountries::Georgia:
      CodePage = 1251;
      CustomCodePage = true;
      CustomCodePageCode = 16;
      break;
    default:
      break;
  }
}

}  // namespace kestrel
