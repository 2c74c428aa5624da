#include <dlfcn.h>

#include "platform/libusb_api.h"

namespace zel {

namespace {

constexpr const char kLibrary[] = "libusb-1.0.so.0";

struct Loaded {
  LibusbApi api{};
  std::string error;  // empty when every function was found
};

template <typename Function>
bool Find(void* library, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  if (function == nullptr && error.empty())
    error = std::string("libusb-1.0 (") + kLibrary + ") lacks " + name;
  return function != nullptr;
}

Loaded Load() {
  Loaded loaded;
  // Never closed: the functions stay valid while any driver might call them.
  void* library = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = ::dlerror();
    loaded.error = std::string("libusb-1.0 cannot be loaded: ") + (why != nullptr ? why : kLibrary);
    return loaded;
  }
  LibusbApi& api = loaded.api;
  std::string& error = loaded.error;
  Find(library, "libusb_init", api.init, error);
  Find(library, "libusb_exit", api.exit, error);
  Find(library, "libusb_strerror", api.strerror, error);
  Find(library, "libusb_get_device_list", api.get_device_list, error);
  Find(library, "libusb_free_device_list", api.free_device_list, error);
  Find(library, "libusb_get_device_descriptor", api.get_device_descriptor, error);
  Find(library, "libusb_get_bus_number", api.get_bus_number, error);
  Find(library, "libusb_get_port_numbers", api.get_port_numbers, error);
  Find(library, "libusb_ref_device", api.ref_device, error);
  Find(library, "libusb_unref_device", api.unref_device, error);
  Find(library, "libusb_open", api.open, error);
  Find(library, "libusb_close", api.close, error);
  Find(library, "libusb_claim_interface", api.claim_interface, error);
  Find(library, "libusb_release_interface", api.release_interface, error);
  Find(library, "libusb_control_transfer", api.control_transfer, error);
  return loaded;
}

}  // namespace

const LibusbApi* LoadLibusb(std::string& error) {
  static const Loaded loaded = Load();
  if (!loaded.error.empty()) {
    error = loaded.error;
    return nullptr;
  }
  return &loaded.api;
}

}  // namespace zel
