#pragma once
// Communication: the PC link, the devices on the register's own ports, LAN, Bluetooth,
// the access point names and the file servers, all named parameters; the access point
// and server settings also go to and come from an INI file of their own.
//
// The three server lines are page values of their own ("lstbxServers.1" to
// "lstbxServers.3", the line texts "n - port/address"); "lstbxServers" is the selected
// line (-1 none), as for any list.
#include <string>
#include <vector>

#include "app/logic/param_bindings.h"

namespace kestrel {

class TDeviceOps;
struct TConfigPage;

extern const std::vector<std::string> PC_PORT_CHOICES;         // "None", "COM 1", ...
extern const std::vector<std::string> COM_DEVICE_CHOICES;      // "None", "Barcode reader", ...
extern const std::vector<std::string> INTERFACE_TYPE_CHOICES;  // "Auto", "RS232", ...
extern const std::vector<std::string> BT_PAIRING_CHOICES;      // "Unsecure", ...

inline constexpr int SERVER_LINES = 3;
inline constexpr const char* SERVER_LIST = "lstbxServers";
inline constexpr const char* SERVER_ADDRESS_FIELD = "edFTPaddress";
inline constexpr const char* SERVER_PORT_FIELD = "edFTPport";
inline constexpr const char* MSG_APN_SAVED = "APN and FTP settings saved.";
inline constexpr const char* INI_FILTER = "ini|*.ini";
// The device's code for a setting that needs service mode.
inline constexpr int CODE_SERVICE_PASSWORD_NEEDED = -104002;

// The page value key of server line n (1..3).
std::string serverLineKey(int line);
// The lines before anything is read: "1 - ", "2 - ", "3 -".
const std::vector<std::string>& initialServerLines();

struct TServerLine {
  std::string port, address;
};
// Port: the text before the first "/" without its first four characters ("n - ");
// address: the text after it. A line without "/" has no address.
TServerLine parseServerLine(const std::string& line);
// n, " - ", port, "/", address.
std::string serverLineText(int line, const std::string& port, const std::string& address);
// "Address:" and "Port:" from the selected line; both empty when no line is selected.
void fillServerFields(TPageValues& values);

// "Save / edit server >": what it did.
enum class TServerEdit { Replaced, FocusAddress, FocusPort, NoLineSelected };
TServerEdit changeServerList(TPageValues& values);

// The named parameters of the page (server lines not included: they are no widgets).
const TParamTable& communicationTable();

// readCommunications: the read order of the page, stopping at the first refusal.
bool readCommunications(TDeviceOps& ops, TPageValues& values);
// btnSaveCommunicationClick: the save order; errors of the access point and server part
// go to the status bar; shows the saved message when every judged write succeeded.
bool saveCommunications(TDeviceOps& ops, const TPageValues& values);

// The access point INI file. The save keeps the other keys and comments of an existing
// file, writes owner-only (it holds passwords) and throws EFileError on failure.
void saveAccessPointIni(const std::string& path, const TPageValues& values);
// Fills what the file gives; false when the file could not be read (nothing filled).
bool loadAccessPointIni(const std::string& path, TPageValues& values);
// The buttons: ask for the file (cancel does nothing), then save and inform, or load.
// False when cancelled or the load failed.
bool saveAccessPointIniAs(TDeviceOps& ops, const TPageValues& values);
bool loadAccessPointIniFrom(TDeviceOps& ops, TPageValues& values);

TConfigPage communicationConfigPage();

}  // namespace kestrel
