#include "app/logic/pages/receipt_format.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/logic/config_pages.h"
#include "app/logic/device_ops.h"
#include "engine/fiscal_device.h"
#include "support/base64.h"
#include "support/files.h"

namespace kestrel {

const std::vector<std::string> FONT_TYPE_CHOICES = {"Normal with small line spacing", "Small with more line spacing"};
const std::vector<std::string> PAPER_CUTTING_CHOICES = {"Partial", "Full"};
const std::vector<std::string> PRINT_COLUMNS_CHOICES = {"42 symbols - 57mm paper", "48 symbols - 79mm paper"};

namespace {
constexpr const char* PRINT_SIZE_WIDGET = "cbx_PrintColumns_X";
}  // namespace

const TParamTable& receiptFormatTable() {
  using E = TParamEnc;
  using M = TModelRule;
  static const TParamTable table = {
      "receipt",
      {
          {"DublReceipts", "", "chbxPrintDuplicate", E::Check},
          {"BarcodePrint", "", "chbxPrintBarcode", E::Check},
          {"LogoPrint", "", "chbxPrintLogo", E::Check},
          {"PrnQuality", "", "cbxPrintContrast", E::EntryByNumber, M::Any, &numberChoices(0, 20)},
          {"BarCodeHeight", "", "cbxBarcoreHeight", E::EntryText, M::Any, &numberChoices(1, 10)},
          {"HeaderMinLines", "", "cbx_HeaderMinLines", E::EntryText, M::Any, &numberChoices(0, 9)},
          {"FooterEmptyLines", "", "cbxFooterEmptyLines", E::EntryText, M::Any, &numberChoices(0, 9)},
          {"PaperCuttingType", "", "cbxPaperCuttingType", E::EntryIndex, M::PrinterGroup, &PAPER_CUTTING_CHOICES},
          {"AutoPaperCutting", "", "chbxAutoPaperCut", E::Check, M::PrinterGroup},
          {"Dec2xLineSpacing", "", "cbxLineSpacing", E::EntryIndex, M::Any, &numberChoices(0, 5)},
          {"PrintFontType", "", "cbxFontType", E::EntryIndex, M::Any, &FONT_TYPE_CHOICES},
          {"LogoPrintAfterFooter", "", "chbxLogoPrint_footer", E::Check},
          // Read and written by rules of its own (printColumnsEntry, printColumnsToSave).
          {PRINT_COLUMNS, "", PRINT_SIZE_WIDGET, E::EntryIndex, M::Any, &PRINT_COLUMNS_CHOICES},
      },
      {"DublReceipts", "PrnQuality", "BarcodePrint", PRINT_COLUMNS, "LogoPrint", "BarCodeHeight", "HeaderMinLines",
       "FooterEmptyLines", "PaperCuttingType", "AutoPaperCutting", "Dec2xLineSpacing", "PrintFontType",
       "LogoPrintAfterFooter"},
      {"DublReceipts", "BarcodePrint", "LogoPrint", "PrnQuality", "BarCodeHeight", "HeaderMinLines",
       "FooterEmptyLines", "PaperCuttingType", "AutoPaperCutting", "Dec2xLineSpacing", "PrintFontType",
       "LogoPrintAfterFooter", PRINT_COLUMNS},
  };
  return table;
}

namespace {
bool isWidePaperPrinter(int ecrModel) { return ecrModel == 2 || ecrModel == 4; }
}  // namespace

std::string printColumnsEntry(const std::string& deviceValue, int ecrModel) {
  if (appliesTo(TModelRule::PrinterGroup, ecrModel)) {
    try {
      const int columns = parseIntValue(deviceValue);
      return columns == 42 ? "0" : columns == 48 ? "1" : "-1";
    } catch (const std::invalid_argument&) {
      return "-1";
    }
  }
  return appliesTo(TModelRule::RegisterGroup, ecrModel) ? "0" : "-1";
}

std::string printColumnsToSave(const std::string& widgetValue, int ecrModel, bool fiscalMode) {
  if (fiscalMode || ecrModel < 0) return {};
  return isWidePaperPrinter(ecrModel) && widgetValue == "1" ? "48" : "42";
}

bool readBONFormat(TDeviceOps& ops, TPageValues& values) {
  const TParamTable& table = receiptFormatTable();
  for (const auto& key : table.readOrder) {
    if (key != PRINT_COLUMNS) {
      if (!readParams(ops, table, {key}, values)) return false;
      continue;
    }
    // No selection until the device has answered.
    values[PRINT_SIZE_WIDGET] = "-1";
    std::string columns;
    if (!ops.readParam(PRINT_COLUMNS, "", columns)) return false;
    values[PRINT_SIZE_WIDGET] = printColumnsEntry(columns, ops.ecrModel);
  }
  return true;
}

bool saveBONFormat(TDeviceOps& ops, const TPageValues& values) {
  const TParamTable& table = receiptFormatTable();
  std::vector<std::string> bound = table.saveOrder;
  std::erase(bound, std::string(PRINT_COLUMNS));
  paramWriteTexts(ops, table, bound, values);  // every value checked before the first is written
  for (const auto& key : table.saveOrder) {
    if (key != PRINT_COLUMNS) {
      if (!saveParams(ops, table, {key}, values)) return false;
      continue;
    }
    // The status of the last answer tells whether the device is in fiscal mode.
    const bool fiscalMode = ops.fd.dd()->LowLevel().get_sBytesState(5, 3);
    const auto it = values.find(PRINT_SIZE_WIDGET);
    std::string columns =
        printColumnsToSave(it == values.end() ? std::string("-1") : it->second, ops.ecrModel, fiscalMode);
    if (const auto d = values.find(deviceValueKey(PRINT_COLUMNS)); !columns.empty() && d != values.end())
      columns = d->second;
    if (!columns.empty() && !ops.writeParam(PRINT_COLUMNS, "", columns)) return false;
  }
  ops.informSaved();
  return true;
}

bool centerLogo(TDeviceOps& ops, TPageValues& values) {
  const TParamTable& table = receiptFormatTable();
  const TParamBinding& header = *table.find("HeaderMinLines", ops.ecrModel).front();
  const TParamBinding& footer = *table.find("FooterEmptyLines", ops.ecrModel).front();
  if (!ops.writeParam(header.name, "", "0")) return false;
  if (!ops.writeParam(footer.name, "", "8")) return false;
  values[header.widget] = widgetValueOf(header, "0");
  values[footer.widget] = widgetValueOf(footer, "8");
  return true;
}

// ---- logo upload ----

uint32_t logoDeviceChecksum(const std::string& field) {
  if (field.empty() || field.size() > 8) return 0;
  uint32_t v = 0;
  for (char c : field) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (d < 0) return 0;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  return v;
}

std::string logoChecksumMessage(uint32_t device, uint32_t calculated) {
  char text[128];
  std::snprintf(text, sizeof text, LOGO_CHECKSUM_MESSAGE, static_cast<int>(device), static_cast<int>(calculated));
  return text;
}

std::string loadLogoFile(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (ec || !fs::exists(status)) throw std::runtime_error("The logo file \"" + path + "\" does not exist.");
  if (!fs::is_regular_file(status)) throw std::runtime_error("\"" + path + "\" is not a file.");
  auto tooLarge = [&](std::uintmax_t size) {
    return std::runtime_error("The logo file \"" + path + "\" has " + std::to_string(size) +
                              " bytes, more than any device takes as a logo (" + std::to_string(LOGO_FILE_LIMIT) +
                              "). Nothing was sent.");
  };
  const std::uintmax_t size = fs::file_size(path, ec);
  if (!ec && size > LOGO_FILE_LIMIT) throw tooLarge(size);
  std::string data;
  try {
    data = readWholeFile(path);
  } catch (const EFileError& e) {
    throw std::runtime_error(std::string(e.what()) + ". Nothing was sent.");
  }
  // The file may have grown since its size was taken.
  if (data.size() > LOGO_FILE_LIMIT) throw tooLarge(data.size());
  if (data.rfind("BM", 0) != 0)
    throw std::runtime_error("The file \"" + path + "\" is not a BMP image. Nothing was sent.");
  return data;
}

namespace {

constexpr uint16_t LOGO_COMMAND = 202;

// The device's checksum in field 1 against ours: empty when they match, else the
// mismatch message, which is shown and ends the upload.
std::string checksumMismatch(TDeviceOps& ops, uint32_t calculated) {
  const uint32_t device = logoDeviceChecksum(ops.fieldCount() > 1 ? ops.field(1) : std::string());
  if (device == calculated) return {};
  const std::string message = logoChecksumMessage(device, calculated);
  ops.inform(message);
  return message;
}

}  // namespace

TLoopOutcome uploadLogo(TDeviceOps& ops, const std::string& data, std::chrono::milliseconds deadline) {
  PageHost& host = ops.host();
  TRecordLoop loop(ops, static_cast<int64_t>((data.size() + LOGO_BLOCK_SIZE - 1) / LOGO_BLOCK_SIZE));
  ProgressScope progress(host, 1, static_cast<int>(data.size()));
  // "START", "STOPP" and "UPDATE": a refusal (or a stop in their wait) ends the upload.
  auto step = [&](const char* word) {
    if (ops.command(LOGO_COMMAND, std::string(word) + "\t")) return true;
    if (!loop.waitCancelled()) loop.fail(std::string("the device refused \"") + word + "\"");
    return false;
  };
  if (!step("START")) return loop.outcome();
  const auto until = std::chrono::steady_clock::now() + deadline;
  bool timeUp = false;
  uint32_t sum = 0;
  size_t sent = 0;
  int64_t number = 0;
  for (;;) {
    const std::string block = data.substr(sent, LOGO_BLOCK_SIZE);
    if (!block.empty()) {
      sent += block.size();
      host.progressSet(static_cast<int>(sent));
      loop.asking(++number);
      if (!ops.command(LOGO_COMMAND, base64Encode(block) + "\t")) {
        if (loop.commandFailed(number)) loop.fail({});
        return loop.outcome();
      }
      for (unsigned char c : block) sum += c;
      if (const std::string mismatch = checksumMismatch(ops, sum); !mismatch.empty()) {
        loop.refused(number, mismatch);
        loop.fail({});
        return loop.outcome();
      }
      loop.answered(number);
      host.processMessages();
      // Stopped before "STOPP": the device keeps its old logo.
      if (loop.stopRequested()) return loop.outcome();
    }
    if (block.size() < LOGO_BLOCK_SIZE) break;
    if (std::chrono::steady_clock::now() >= until) {
      timeUp = true;
      break;
    }
  }
  if (!step("STOPP")) return loop.outcome();
  if (const std::string mismatch = checksumMismatch(ops, sum); !mismatch.empty()) {
    loop.fail(mismatch);
    return loop.outcome();
  }
  if (!step("UPDATE")) return loop.outcome();
  ops.informSaved();
  // The device took the part sent before the time limit as its logo: no whole upload.
  if (timeUp) loop.fail("the time limit passed; the device took the blocks sent so far as its logo");
  return loop.outcome();
}

std::optional<TLoopOutcome> uploadLogoFromFile(TDeviceOps& ops) {
  const std::string path = ops.host().openFileName("Load logo from file", LOGO_FILE_FILTER);
  if (path.empty()) return std::nullopt;
  return uploadLogo(ops, loadLogoFile(path));
}

TConfigPage receiptFormatConfigPage() {
  TConfigPage p;
  p.name = receiptFormatTable().page;
  p.read = readBONFormat;
  p.save = saveBONFormat;
  p.show = [](const TPageValues& values, int ecrModel) {
    return showParamTable(receiptFormatTable(), values, ecrModel);
  };
  p.set = [](TPageValues& values, const std::string& key, const std::string& value, int ecrModel) {
    setParamTable(receiptFormatTable(), values, key, value, ecrModel);
  };
  p.deviceValue = [](const std::string& key, const std::string& value, int ecrModel) {
    // Characters per line; whether the model prints 48 is the device's to say.
    if (key == PRINT_COLUMNS && value != "42" && value != "48")
      throw std::invalid_argument(key + ": '" + value + "' is not 42 or 48");
    return key == PRINT_COLUMNS ? value : paramTableDeviceValue(receiptFormatTable(), key, value, ecrModel);
  };
  return p;
}

}  // namespace kestrel
