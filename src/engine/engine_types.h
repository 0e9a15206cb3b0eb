#pragma once
// Enumerations shared by the engine, its transports, the status table and the trace.

namespace kestrel {

enum TCommunicationType { ct_RS232 = 0, ct_TCPIP = 1, ct_Bluetooth = 2, ct_Linea_RS = 3, ct_Unknown = 4 };
enum TErrorStyle { errorCode = 0, pfStyle = 1 };
enum TPacketFormat { protocol_Type1 = 0, protocol_Type2 = 1 };

enum TErrorChecking { ccProduction = 0, ccDevelopmentAndTest = 1, ccService = 2, ccEndUser = 3 };
enum TTargetSize { tsByte = 0, tsWord = 1 };
enum TStatusFileFormats { sft_INI = 0, sft_XML = 1, sft_JSN = 2 };

enum TSnifferFileFormats { snif_TXT = 0, snif_CSV = 1, snif_INI = 2 };
enum TSnifferByteCursor { sbcHeader = 0, sbcData = 1, sbcFooter = 2 };
enum TDataDirection { toDevice = 0, fromDevice = 1 };

enum class TSCountries {
  Unknown = 0, Bulgaria, Georgia, Moldova, Romania, Austria, Kosovo, Ethiopia, Malawi, Kenya,
  Russia, Kazakhstan, Belarus, FederationBosniaAndHerzegovina, Poland, Albania
};
enum class TFiscalDeviceType { FiscalPrinter = 0, ElectronicCashRegister = 1 };

// Engine and transport outcome codes.
namespace codes {
inline constexpr int OK = 0;
inline constexpr int GENERAL = -1;
inline constexpr int NOT_OPEN = -3;
inline constexpr int CLOSE_FAILED = -4;
inline constexpr int TIMEOUT = -6;
inline constexpr int IO = -10;
inline constexpr int STATUS_ERROR = -23;
inline constexpr int STATUS_FILE = -33000;
inline constexpr int TOO_MANY_BYTES = -33002;
inline constexpr int NO_MISC = -33016;
inline constexpr int NO_ERR_CONTAINER = -33017;
inline constexpr int NO_TRANSPORT = -33019;
inline constexpr int FIELD0_NOT_INT = -10521;
inline constexpr int NO_FIELDS = -10524;
inline constexpr int DESCRIPTOR_NOT_FOUND_BY_NAME = -10526;
inline constexpr int DESCRIPTOR_NOT_FOUND_BY_VALUES = -10527;
inline constexpr int TCP_CONNECT = -23001;
inline constexpr int TCP_DISCONNECT = -23003;
}  // namespace codes

// Outcomes of a command that got no usable answer, and of the waiting hook. Their texts
// are in the software error catalogue, so LastErrorMessage() shows them.
inline constexpr int CODE_CANCELLED = -33100;        // "Cancelled by the user."
inline constexpr int CODE_CONNECTION_LOST = -33101;  // "Connection lost: <address:port or device path>"
inline constexpr int CODE_ENGINE_BUSY = -33102;      // a command started while another one runs
inline constexpr int CODE_FRAME_REFUSED = -33103;    // the device answered NAK to every attempt
inline constexpr int CODE_NO_VALID_ANSWER = -33104;  // no attempt brought a well-formed answer
inline constexpr int CODE_DATA_TOO_LONG = -33105;    // the data do not fit in one frame; nothing sent

}  // namespace kestrel
