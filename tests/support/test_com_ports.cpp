// The serial-port list over a fake sysfs tree, and the port box.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/fd_misc.h"

using namespace kestrel;
namespace fs = std::filesystem;

namespace {

class FakeSysfs : public testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("kestrel_sysfs_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "class/tty");
    fs::create_directories(root / "bus/platform/drivers/serial8250");
    fs::create_directories(root / "bus/pnp/drivers/serial");
    fs::create_directories(root / "dev/serial/by-id");
  }
  void TearDown() override { fs::remove_all(root); }

  fs::path tty(const std::string& name) { return root / "class/tty" / name; }

  // A ttyS slot: `type` as the kernel reports it, bound to `driver`.
  void addUart(const std::string& name, const std::string& type, const std::string& driver) {
    const fs::path device = root / "devices" / (name + "_dev");
    fs::create_directories(device);
    fs::create_symlink(root / "bus" / (driver == "serial8250" ? "platform" : "pnp") / "drivers" / driver,
                       device / "driver");
    fs::create_directories(tty(name));
    fs::create_directory_symlink(device, tty(name) / "device");
    std::ofstream(tty(name) / "type") << type << "\n";
  }

  void addUsb(const std::string& name, const std::string& product) {
    const fs::path usbDevice = root / "devices/pci0000:00/usb1" / ("1-" + name);
    const fs::path iface = usbDevice / ("1-" + name + ":1.0");
    fs::create_directories(iface / name);
    std::ofstream(usbDevice / "idVendor") << "0403\n";
    if (!product.empty()) std::ofstream(usbDevice / "product") << product << "\n";
    std::ofstream(usbDevice.parent_path() / "idVendor") << "1d6b\n";  // the root hub
    std::ofstream(usbDevice.parent_path() / "product") << "xHCI Host Controller\n";
    fs::create_directories(tty(name));
    fs::create_directory_symlink(iface, tty(name) / "device");
  }

  // A stable name in /dev/serial/by-id, pointing at the device as udev links it.
  void addById(const std::string& name, const std::string& device) {
    fs::create_symlink("../../" + device, byId() / name);
  }
  fs::path byId() const { return root / "dev/serial/by-id"; }
  TComPortsUsage usage() const { return TComPortsUsage((root / "class/tty").string(), byId().string()); }

  fs::path root;
};

TEST_F(FakeSysfs, ListsPresentUartsAndUsbPorts) {
  addUart("ttyS0", "4", "serial8250");   // a detected 16550A
  addUart("ttyS1", "0", "serial8250");   // an empty placeholder slot
  addUart("ttyS2", "0", "serial");       // bound to a real driver
  addUart("ttyS11", "4", "serial8250");
  addUsb("ttyUSB0", "FT232R USB UART");
  addUsb("ttyACM1", "");
  fs::create_directories(tty("tty0"));   // a virtual terminal: no device
  fs::create_directories(tty("ptmx"));
  addById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");

  std::vector<std::string> list{"old"};
  EXPECT_TRUE(usage().fill_List(&list));
  const std::string stable = (byId() / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();
  std::vector<std::string> expected{"COM 001 (/dev/ttyS0)", "COM 003 (/dev/ttyS2)", "COM 012 (/dev/ttyS11)",
                                    "/dev/ttyACM1", "/dev/ttyUSB0 (FT232R USB UART)", stable + " (/dev/ttyUSB0)"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(list, expected);
  EXPECT_FALSE(usage().fill_List(nullptr));

  // The stable name is opened itself, so a replugged adapter is found again.
  EXPECT_EQ(usage().deviceOf(stable + " (/dev/ttyUSB0)"), stable);
}

TEST_F(FakeSysfs, NoPortsGivesFalse) {
  addUart("ttyS0", "0", "serial8250");
  std::vector<std::string> list;
  EXPECT_FALSE(usage().fill_List(&list));
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(TComPortsUsage((root / "missing").string(), (root / "missing").string()).fill_List(&list));
}

TEST(ComPorts, NumbersAndDevicesOfEntries) {
  TComPortsUsage usage;
  struct Case {
    std::string entry;
    int number;
    std::string device;
  };
  const Case cases[] = {
      {"COM 003", 3, "/dev/ttyS2"},
      {"COM 3", 3, "/dev/ttyS2"},
      {"COM7", 7, "/dev/ttyS6"},
      {"12", 12, "/dev/ttyS11"},
      {"COM 010 (/dev/ttyS9)", 10, "/dev/ttyS9"},
      {"  ", -1, ""},
      {"COM x", -1, ""},
      {"/dev/ttyUSB0 (USB COM 5 adapter)", -1, "/dev/ttyUSB0"},
      {"/dev/pts/4", -1, "/dev/pts/4"},
      {" /dev/pts/4 (typed) ", -1, "/dev/pts/4"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(usage.calculate_FromText(c.entry), c.number) << c.entry;
    EXPECT_EQ(usage.deviceOf(c.entry), c.device) << c.entry;
  }
}

class FakeCombo : public ComPortsCombo {
 public:
  void set_Items(const std::vector<std::string>& items) override { this->items = items; }
  std::vector<std::string> items{"untouched"};
};

TEST_F(FakeSysfs, FillsTheComboAndForgetsItWhenDestroyed) {
  addUart("ttyS0", "4", "serial8250");
  TFDMisc misc;
  misc.set_ComPortsSysfsRoot((root / "class/tty").string(), byId().string());
  EXPECT_FALSE(misc.fill_ComPortsCombo());  // no box assigned
  {
    FakeCombo combo;
    misc.set_comPortsCombo(&combo);
    EXPECT_TRUE(misc.fill_ComPortsCombo());
    EXPECT_EQ(combo.items, std::vector<std::string>{"COM 001 (/dev/ttyS0)"});

    misc.set_ComPortsSysfsRoot((root / "missing").string(), (root / "missing").string());
    EXPECT_FALSE(misc.fill_ComPortsCombo());
    EXPECT_EQ(combo.items, std::vector<std::string>{"COM 001 (/dev/ttyS0)"});  // left as it was
  }
  EXPECT_EQ(misc.comPortsCombo(), nullptr);
  EXPECT_FALSE(misc.fill_ComPortsCombo());
}

}  // namespace
