#include "tests/platform/usb/usb_testbed.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "platform/ezusb_requests.h"

namespace zel::testing {

namespace {

// bmRequestType and bRequest of the requests the units answer.
constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xC0;
constexpr std::uint8_t kStandardIn = 0x80;
constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint16_t kDeviceDescriptor = 0x0100;
constexpr std::size_t kSetupSize = 8;

UMockdevTestbed* Testbed(void* testbed) {
  return static_cast<UMockdevTestbed*>(testbed);
}

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
  std::string text;
  char pair[3];
  for (std::size_t k = 0; k < size; ++k) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[k]);
    text += pair;
  }
  return text;
}

std::string BenchName(int device) {
  return ezusb::kDeviceNamePrefix + std::to_string(device);
}

}  // namespace

// One device on the bus. The handler's state is kept under the testbed's mutex.
struct UsbTestbed::Node {
  struct Urb {
    UMockdevIoctlClient* client;
    UMockdevIoctlData* urb;  // one reference, handed on when reaped
    bool done;
    int status;
    int actual;
  };

  UsbTestbed* owner = nullptr;
  int benchDevice = -1;  // -1: another maker's device, nothing behind it
  int bus = 0;
  int port = 0;  // 0: the root hub
  int address = 0;
  std::array<std::uint8_t, ezusb::kDescriptorSize> descriptor{};
  UMockdevIoctlBase* handler = nullptr;

  bool unconfigured = false;
  UMockdevIoctlClient* claimant = nullptr;
  DriverHandle benchHandle = kNoDriverHandle;
  std::vector<Urb> urbs;

  std::string DevNode() const {
    char path[32];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", bus, address);
    return path;
  }
  std::string DevPath() const {
    std::string path = "/devices/usb" + std::to_string(bus);
    if (port != 0) {
      path += '/';
      path += std::to_string(bus);
      path += '-';
      path += std::to_string(port);
    }
    return path;
  }
};

// The usbfs side, run on umockdev's handler thread.
struct UsbfsHandler {
  using Node = UsbTestbed::Node;

  static void Complete(UMockdevIoctlClient* client, int error) {
    umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
  }

  static gboolean Ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& node = *static_cast<Node*>(data);
    std::lock_guard lock(node.owner->mutex_);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    switch (umockdev_ioctl_client_get_request(client)) {
      case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr);
        const std::uint32_t value = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                    USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                    USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        std::memcpy(caps->data, &value, sizeof value);
        g_object_unref(caps);
        Complete(client, 0);
        return TRUE;
      }
      case USBDEVFS_CLAIMINTERFACE:
        Complete(client, Claim(node, client));
        return TRUE;
      case USBDEVFS_RELEASEINTERFACE:
        Complete(client, node.claimant == client ? (Release(node), 0) : EINVAL);
        return TRUE;
      case USBDEVFS_SUBMITURB:
        Complete(client, Submit(node, client, arg));
        return TRUE;
      case USBDEVFS_REAPURB:
      case USBDEVFS_REAPURBNDELAY:
        Complete(client, Reap(node, client, arg));
        return TRUE;
      case USBDEVFS_DISCARDURB:
        Complete(client, Discard(node, client, arg));
        return TRUE;
      default:
        Complete(client, ENOTTY);
        return TRUE;
    }
  }

  static void Vanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& node = *static_cast<Node*>(data);
    std::lock_guard lock(node.owner->mutex_);
    if (node.claimant == client) Release(node);
    Drop(node, client);
  }

  static void Drop(Node& node, UMockdevIoctlClient* client) {
    auto& urbs = node.urbs;
    for (auto& urb : urbs)
      if (client == nullptr || urb.client == client) g_object_unref(urb.urb);
    urbs.erase(
        std::remove_if(urbs.begin(), urbs.end(),
                       [&](const auto& u) { return client == nullptr || u.client == client; }),
        urbs.end());
  }

  // Interface 0 is the unit's: claiming it opens the bench unit, which is exclusive.
  static int Claim(Node& node, UMockdevIoctlClient* client) {
    if (node.unconfigured) return ENOENT;
    if (node.claimant != nullptr) return EBUSY;
    sim::Bench& bench = node.owner->bench_;
    const DriverHandle handle = bench.Open(BenchName(node.benchDevice).c_str());
    if (handle == kNoDriverHandle) return bench.Plugged(node.benchDevice) ? EBUSY : ENODEV;
    node.claimant = client;
    node.benchHandle = handle;
    return 0;
  }

  static void Release(Node& node) {
    node.owner->bench_.Close(node.benchHandle);
    node.benchHandle = kNoDriverHandle;
    node.claimant = nullptr;
  }

  static int Submit(Node& node, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UsbTestbed& owner = *node.owner;
    if (!owner.bench_.Plugged(node.benchDevice)) return ENODEV;
    UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    if (urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < int{kSetupSize}) {
      g_object_unref(urbData);
      return EINVAL;
    }
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        urbData, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
    Node::Urb entry{client, urbData, true, 0, 0};
    if (owner.holdNext_) {
      owner.holdNext_ = false;
      entry.done = false;
    } else {
      Transfer(node, buffer->data, static_cast<std::size_t>(urb->buffer_length), entry);
    }
    g_object_unref(buffer);
    node.urbs.push_back(entry);
    return 0;
  }

  // One control transfer as one bench request. Data for the host lands in the URB's buffer
  // behind the setup packet.
  static void Transfer(Node& node, std::uint8_t* buffer, std::size_t size, Node::Urb& urb) {
    sim::Bench& bench = node.owner->bench_;
    const std::uint8_t type = buffer[0];
    const std::uint8_t request = buffer[1];
    const std::uint16_t value = ezusb::Get16(buffer + 2);
    const std::uint16_t length = std::min<std::size_t>(ezusb::Get16(buffer + 6), size - kSetupSize);
    std::uint8_t* data = buffer + kSetupSize;
    std::uint32_t returned = 0;
    bool ok = false;
    if (node.claimant != urb.client) {
      ok = false;
    } else if (type == kStandardIn && request == kGetDescriptor && value == kDeviceDescriptor) {
      std::array<std::uint8_t, ezusb::kDescriptorSize> descriptor{};
      ok = bench.Request(node.benchHandle, ezusb::kIoctlGetDeviceDescriptor, nullptr, 0,
                         descriptor.data(), ezusb::kDescriptorSize, returned);
      returned = std::min<std::uint32_t>(returned, length);
      std::memcpy(data, descriptor.data(), returned);
    } else if (type == kVendorOut && request == ezusb::vendor_request::kFirmwareLoad) {
      std::uint8_t start[2];
      ezusb::Put16(start, value);
      ok = bench.Request(node.benchHandle, ezusb::kIoctlAnchorDownload, start, 2, data, length,
                         returned);
      returned = length;
    } else if (type == kVendorIn && request == ezusb::vendor_request::kFirmwareLoad) {
      namespace vr = ezusb::vendor_request;
      std::uint8_t setup[vr::kSize] = {};
      setup[vr::kRequest] = request;
      ezusb::Put16(setup + vr::kValue, value);
      ezusb::Put16(setup + vr::kLength, length);
      setup[vr::kDirection] = vr::kDeviceToHost;
      setup[vr::kData] = 0xFF;
      ok = bench.Request(node.benchHandle, ezusb::kIoctlVendorRequest, setup, sizeof setup, data,
                         length, returned);
    }
    if (ok) {
      urb.actual = static_cast<int>(returned);
    } else {
      // A unit that went away mid-request answers no more; a live one stalls.
      urb.status = bench.Plugged(node.benchDevice) ? -EPIPE : -ENODEV;
    }
  }

  static int Reap(Node& node, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    auto it = std::find_if(node.urbs.begin(), node.urbs.end(),
                           [&](const auto& u) { return u.client == client && u.done; });
    if (it == node.urbs.end()) return EAGAIN;
    auto* urb = reinterpret_cast<usbdevfs_urb*>(it->urb->data);
    urb->status = it->status;
    urb->actual_length = it->actual;
    UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    umockdev_ioctl_data_set_ptr(pointer, 0, it->urb);
    g_object_unref(pointer);
    g_object_unref(it->urb);
    node.urbs.erase(it);
    return 0;
  }

  static int Discard(Node& node, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    gulong address = 0;
    std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, arg->data_len));
    for (auto& urb : node.urbs) {
      if (urb.client != client || urb.urb->client_addr != address || urb.done) continue;
      urb.done = true;
      urb.status = -ENOENT;
      ++node.owner->discarded_;
      return 0;
    }
    return EINVAL;
  }
};

UsbTestbed::UsbTestbed(sim::Bench& bench) : bench_(bench), testbed_(umockdev_testbed_new()) {
  if (testbed_ == nullptr) throw std::runtime_error("umockdev testbed not created");
}

UsbTestbed::~UsbTestbed() {
  for (auto& node : nodes_) {
    if (node->handler == nullptr) continue;
    umockdev_testbed_detach_ioctl(Testbed(testbed_), node->DevNode().c_str(), nullptr);
    {
      std::lock_guard lock(mutex_);
      if (node->claimant != nullptr) UsbfsHandler::Release(*node);
      UsbfsHandler::Drop(*node, nullptr);
    }
    g_object_unref(node->handler);
  }
  g_object_unref(Testbed(testbed_));
}

bool UsbTestbed::Available() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

UsbTestbed::Node* UsbTestbed::Find(int benchDevice) {
  for (auto& node : nodes_)
    if (node->benchDevice == benchDevice) return node.get();
  throw std::out_of_range("no unit " + std::to_string(benchDevice) + " on the testbed");
}

// The device's sysfs entry and node, with its descriptors: the device descriptor, then one
// configuration with one interface and no endpoints besides endpoint 0.
void UsbTestbed::Add(Node& node) {
  if (node.port != 0 &&
      std::find(rootHubs_.begin(), rootHubs_.end(), node.bus) == rootHubs_.end()) {
    rootHubs_.push_back(node.bus);
    auto hub = std::make_unique<Node>();
    hub->owner = this;
    hub->bus = node.bus;
    hub->address = 1;
    auto& d = hub->descriptor;
    d = {18, 1, 0x00, 0x02, 9, 0, 0, 64, 0x6B, 0x1D, 0x02, 0x00, 0x00, 0x01, 0, 0, 0, 1};
    Add(*hub);
    nodes_.push_back(std::move(hub));
  }
  if (node.benchDevice >= 0) {
    node.handler = umockdev_ioctl_base_new();
    g_signal_connect_after(node.handler, "handle-ioctl", G_CALLBACK(UsbfsHandler::Ioctl), &node);
    g_signal_connect(node.handler, "client-vanished", G_CALLBACK(UsbfsHandler::Vanished), &node);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(Testbed(testbed_), node.DevNode().c_str(), node.handler,
                                       &error)) {
      const std::string message = error != nullptr ? error->message : "?";
      g_clear_error(&error);
      throw std::runtime_error("umockdev cannot attach " + node.DevNode() + ": " + message);
    }
  }
  const std::uint8_t tail[] = {9, 2, 18, 0, 1, 1,    0, 0x80, 50,  // configuration 1
                               9, 4, 0,  0, 0, 0xFF, 0, 0,    0};  // interface 0, vendor class
  char numbers[16];
  std::snprintf(numbers, sizeof numbers, "%03d", node.bus);
  const std::string busText = numbers;
  std::snprintf(numbers, sizeof numbers, "%03d", node.address);
  const std::string addressText = numbers;
  const std::string record =
      "P: " + node.DevPath() + "\n" + "N: bus/usb/" + busText + "/" + addressText + "\n" +
      "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n" + "E: DEVNAME=" + node.DevNode() +
      "\n" + "E: BUSNUM=" + busText + "\n" + "E: DEVNUM=" + addressText + "\n" +
      "A: busnum=" + std::to_string(node.bus) + "\\n\n" +
      "A: devnum=" + std::to_string(node.address) + "\\n\n" +
      "A: speed=12\\n\nA: bConfigurationValue=1\\n\n" +
      "H: descriptors=" + Hex(node.descriptor.data(), node.descriptor.size()) +
      Hex(tail, sizeof tail) + "\n";
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(Testbed(testbed_), record.c_str(), &error)) {
    const std::string message = error != nullptr ? error->message : "?";
    g_clear_error(&error);
    throw std::runtime_error("umockdev cannot add " + node.DevPath() + ": " + message);
  }
}

void UsbTestbed::Remove(Node& node) {
  const std::string sysPath = "/sys" + node.DevPath();
  umockdev_testbed_uevent(Testbed(testbed_), sysPath.c_str(), "remove");
  umockdev_testbed_remove_device(Testbed(testbed_), sysPath.c_str());
  umockdev_testbed_detach_ioctl(Testbed(testbed_), node.DevNode().c_str(), nullptr);
  {
    std::lock_guard lock(mutex_);
    if (node.claimant != nullptr) UsbfsHandler::Release(node);
    UsbfsHandler::Drop(node, nullptr);
  }
  g_object_unref(node.handler);
  node.handler = nullptr;
}

void UsbTestbed::Plug(int benchDevice, int bus, int port) {
  auto node = std::make_unique<Node>();
  node->owner = this;
  node->benchDevice = benchDevice;
  node->bus = bus;
  node->port = port;
  node->address = nextAddress_++;
  const DriverHandle handle = bench_.Open(BenchName(benchDevice).c_str());
  std::uint32_t returned = 0;
  const bool ok = bench_.Request(handle, ezusb::kIoctlGetDeviceDescriptor, nullptr, 0,
                                 node->descriptor.data(), ezusb::kDescriptorSize, returned);
  bench_.Close(handle);
  if (!ok) throw std::runtime_error("bench unit " + std::to_string(benchDevice) + " not there");
  Add(*node);
  nodes_.push_back(std::move(node));
}

void UsbTestbed::PlugForeign(int bus, int port, std::uint16_t vendor, std::uint16_t product) {
  auto node = std::make_unique<Node>();
  node->owner = this;
  node->bus = bus;
  node->port = port;
  node->address = nextAddress_++;
  auto& d = node->descriptor;
  d = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0, 0, 0, 0, 0x00, 0x01, 0, 0, 0, 1};
  ezusb::Put16(&d[ezusb::kDescriptorVendor], vendor);
  ezusb::Put16(&d[ezusb::kDescriptorProduct], product);
  Add(*node);
  nodes_.push_back(std::move(node));
}

void UsbTestbed::Unplug(int benchDevice) {
  Node& node = *Find(benchDevice);
  bench_.Unplug(benchDevice);
  if (node.handler != nullptr) Remove(node);
}

void UsbTestbed::Replug(int benchDevice) {
  Node& node = *Find(benchDevice);
  if (node.handler != nullptr) Remove(node);
  bench_.Replug(benchDevice);
  node.address = nextAddress_++;
  Add(node);
}

void UsbTestbed::Unconfigure(int benchDevice) {
  std::lock_guard lock(mutex_);
  Find(benchDevice)->unconfigured = true;
}

void UsbTestbed::OpenToOthers(bool hotplug) {
  namespace fs = std::filesystem;
  gchar* root = umockdev_testbed_get_root_dir(Testbed(testbed_));
  const fs::path top = root;
  g_free(root);
  // The event sockets of the emulated netlink are made in the testbed's top folder.
  fs::permissions(top, hotplug
                           ? fs::perms::all | fs::perms::sticky_bit
                           : fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
  for (const auto& entry : fs::recursive_directory_iterator(top)) {
    if (entry.is_symlink()) continue;
    const bool node = entry.path().string().find("/dev/bus/usb/") != std::string::npos;
    auto perms = fs::perms::owner_read | fs::perms::owner_write;
    if (entry.is_socket()) {  // umockdev's own transport: the node's mode decides
      perms = fs::perms::all &
              ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    } else if (entry.is_directory()) {
      perms = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
              fs::perms::others_read | fs::perms::others_exec;
    } else if (!node) {
      perms |= fs::perms::group_read | fs::perms::others_read;
    }
    fs::permissions(entry.path(), perms);
  }
}

void UsbTestbed::HoldNextTransfer() {
  std::lock_guard lock(mutex_);
  holdNext_ = true;
}

int UsbTestbed::Discarded() const {
  std::lock_guard lock(mutex_);
  return discarded_;
}

int UsbTestbed::Claims() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(nodes_.begin(), nodes_.end(),
                                        [](const auto& n) { return n->claimant != nullptr; }));
}

}  // namespace zel::testing
