#pragma once
// The port list a test fills in place of the system's (which knows no
// pseudo-terminals), with ports that refuse to open for a reason the test
// cannot make for real. Installed for the fixture's lifetime.
#include <map>
#include <vector>

#include "link/serial_ports.h"

class FakePortSource : public SerialPortSource {
 public:
  FakePortSource() { SetSerialPorts(this); }
  ~FakePortSource() override { SetSerialPorts(nullptr); }
  FakePortSource(const FakePortSource&) = delete;
  FakePortSource& operator=(const FakePortSource&) = delete;

  std::vector<SerialPortEntry> List() override { return ports; }
  PortOpenError Refusal(const QString& device) override {
    const auto it = refuse.find(device);
    return it == refuse.end() ? PortOpenError::None : it->second;
  }

  // A listed port: a device path, its description, whether it is USB.
  void Add(const QString& device, const QString& description = QString(), bool usb = false) {
    SerialPortEntry e;
    e.device = device;
    e.description = description;
    e.usb = usb;
    ports.push_back(e);
  }

  std::vector<SerialPortEntry> ports;
  std::map<QString, PortOpenError> refuse;
};
