// The serial-port list over a fake sysfs tree, and the port box.
#include <gtest/gtest.h>

#include <unistd.h>

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

  TComPortsUsage usage((root / "class/tty").string());
  std::vector<std::string> list{"old"};
  EXPECT_TRUE(usage.fill_List(&list));
  EXPECT_EQ(list, (std::vector<std::string>{"/dev/ttyACM1", "/dev/ttyUSB0 - FT232R USB UART", "COM 001",
                                            "COM 003", "COM 012"}));
  EXPECT_FALSE(usage.fill_List(nullptr));
}

TEST_F(FakeSysfs, NoPortsGivesFalse) {
  addUart("ttyS0", "0", "serial8250");
  TComPortsUsage usage((root / "class/tty").string());
  std::vector<std::string> list;
  EXPECT_FALSE(usage.fill_List(&list));
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(TComPortsUsage((root / "missing").string()).fill_List(&list));
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
      {"COM7", 7, "/dev/ttyS6"},
      {"12", 12, "/dev/ttyS11"},
      {"  ", -1, ""},
      {"COM x", -1, ""},
      {"/dev/ttyUSB0 - USB COM 5 adapter", -1, "/dev/ttyUSB0"},
      {"/dev/pts/4", -1, "/dev/pts/4"},
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
  misc.set_ComPortsSysfsRoot((root / "class/tty").string());
  EXPECT_FALSE(misc.fill_ComPortsCombo());  // no box assigned
  {
    FakeCombo combo;
    misc.set_comPortsCombo(&combo);
    EXPECT_TRUE(misc.fill_ComPortsCombo());
    EXPECT_EQ(combo.items, std::vector<std::string>{"COM 001"});

    misc.set_ComPortsSysfsRoot((root / "missing").string());
    EXPECT_FALSE(misc.fill_ComPortsCombo());
    EXPECT_EQ(combo.items, std::vector<std::string>{"COM 001"});  // left as it was
  }
  EXPECT_EQ(misc.comPortsCombo(), nullptr);
  EXPECT_FALSE(misc.fill_ComPortsCombo());
}

}  // namespace
