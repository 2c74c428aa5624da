// libusb-1.0's functions, looked up in its shared library when real units are first looked for
// rather than linked: a program that drives only the virtual bench runs where libusb is not
// installed.
#pragma once

#include <libusb.h>

#include <string>

namespace zel {

struct LibusbApi {
  decltype(&libusb_init) init;
  decltype(&libusb_exit) exit;
  decltype(&libusb_strerror) strerror;
  decltype(&libusb_get_device_list) get_device_list;
  decltype(&libusb_free_device_list) free_device_list;
  decltype(&libusb_get_device_descriptor) get_device_descriptor;
  decltype(&libusb_get_bus_number) get_bus_number;
  decltype(&libusb_get_port_numbers) get_port_numbers;
  decltype(&libusb_ref_device) ref_device;
  decltype(&libusb_unref_device) unref_device;
  decltype(&libusb_open) open;
  decltype(&libusb_close) close;
  decltype(&libusb_claim_interface) claim_interface;
  decltype(&libusb_release_interface) release_interface;
  decltype(&libusb_control_transfer) control_transfer;
};

// The functions, loaded on the first call and kept for the life of the process; nullptr with
// `error` set (naming libusb-1.0 and the loader's reason) when the library or one of its
// functions is missing.
const LibusbApi* LoadLibusb(std::string& error);

}  // namespace zel
