// The Linux reader on a fake sysfs and udev tree: a USB adapter (ttyUSB below its interface), a
// CDC modem (the interface is the device), a port known only by its by-path link, a driverless tty.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "serial/os/portInfoSysfs.h"
#include "serial/portInfo.h"

namespace fs = std::filesystem;

namespace {

class SysfsFixture : public testing::Test {
 protected:
  const fs::path root = fs::path(testing::TempDir()) / ("sysfs-" + std::to_string(::getpid()));

  void SetUp() override {
    const fs::path usb = root / "sys/devices/pci0000:00/0000:00:14.0/usb1";
    device(usb / "1-1/1-1.2", {"0403", "6001", "A50285BI", "FT232R USB UART"});
    tty("ttyUSB0", usb / "1-1/1-1.2/1-1.2:1.0/ttyUSB0");
    device(usb / "1-3", {"2341", "0043", "", "Arduino Uno"});
    tty("ttyACM0", usb / "1-3/1-3:1.0");
    tty("ttyS4", root / "sys/devices/pci0000:00/0000:00:16.3");
    fs::create_directories(root / "sys/class/tty/tty1");
    link(root / "dev/serial/by-path/pci-0000:00:16.3", "../../ttyS4");
    link(root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
  }
  void TearDown() override { fs::remove_all(root); }

  void device(const fs::path& dir, std::initializer_list<const char*> values) {
    fs::create_directories(dir);
    const char* names[] = {"idVendor", "idProduct", "serial", "product"};
    size_t i = 0;
    for (const char* value : values) {
      if (*value != '\0') std::ofstream(dir / names[i]) << value << "\n";
      ++i;
    }
  }
  void tty(const char* name, const fs::path& deviceDir) {
    fs::create_directories(deviceDir / "driver");
    fs::create_directories(root / "sys/class/tty" / name);
    link(root / "sys/class/tty" / name / "device", deviceDir);
  }
  static void link(const fs::path& at, const fs::path& target) {
    fs::create_directories(at.parent_path());
    fs::create_directory_symlink(target, at);
  }
};

TEST_F(SysfsFixture, ReadsEachAdaptersIdentity) {
  const std::vector<TPortInfo> ports = readSysfsPorts(root);
  ASSERT_EQ(ports.size(), 3u) << "tty1 has no driver and is no serial port";
  EXPECT_EQ(ports[0].Port + ": " + identityText(ports[0]),
            "ttyACM0: Arduino Uno  2341:0043  usb=1-3");
  EXPECT_EQ(ports[1].Port + ": " + identityText(ports[1]), "ttyS4: usb=pci-0000:00:16.3");
  EXPECT_EQ(ports[2].Port + ": " + identityText(ports[2]),
            "ttyUSB0: FT232R USB UART  0403:6001  serial=A50285BI  usb=1-1.2");
}

}  // namespace
