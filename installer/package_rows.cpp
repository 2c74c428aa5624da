// Writes the registry rows of the installer package for one library: what DllRegisterServer
// writes for the installed file, as WiX elements. The registrar runs here against a registry in
// memory, with the install folder as the module's directory, so the package's rows and the
// library's own registration come from the same trees and cannot drift apart. The platform's
// type-library registration is played by a stand-in that writes the keys the platform writes,
// from the identities of the interface description the type library is compiled from.
//
//   zel_package_rows IDL TLB APPID_SCRIPT BITS FOLDER_PROPERTY FOLDER_NAME > rows.wxi
//
// TLB is the type library compiled for BITS, whose flags the registration writes.
//
// The rows name the library as [FOLDER_PROPERTY]FOLDER_NAME\ZELUSB.dll; they go under HKMU
// (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER after the install's scope) in Software\Classes.
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "module/registry/memory_registry.h"
#include "module/registry/server_registration.h"

namespace {

using zel::registry::MemoryRegistry;

// Stands for the install folder while the registrar runs; it holds no separator, so the
// registrar's own split of the module path finds the folder.
const std::string kFolderMark = "\x01";
// The marshaler of dual interfaces, which the platform names for each one it registers.
const std::string kDispatchMarshaler = "{00020424-0000-0000-C000-000000000046}";

struct Interface {
  std::string name, iid;
};

// The type library's identities as the interface description declares them.
struct LibraryIdentity {
  std::string libId, version, helpString;
  unsigned flags = 0;  // as the platform reports them for the library loaded from its file
  std::vector<Interface> dualInterfaces;  // and the dispinterfaces, which it registers alike
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return text;
}

// Reads each attribute block with the declaration it introduces: the library's uuid, version
// and help string, and the uuid of each dual interface and dispinterface.
bool ReadIdentity(const std::string& idl, LibraryIdentity& out) {
  static const std::regex block(R"(\[([^\[\]]*)\]\s*(library|interface|dispinterface)\s+(\w+))");
  static const std::regex uuid(R"(uuid\(([0-9A-Fa-f-]+)\))");
  static const std::regex version(R"(version\(([0-9]+\.[0-9]+)\))");
  static const std::regex help(R"(helpstring\(\"([^\"]*)\"\))");
  static const std::regex dual(R"(\bdual\b)");
  for (auto it = std::sregex_iterator(idl.begin(), idl.end(), block); it != std::sregex_iterator();
       ++it) {
    const std::string attributes = (*it)[1], kind = (*it)[2], name = (*it)[3];
    std::smatch id;
    if (!std::regex_search(attributes, id, uuid)) continue;
    std::string guid = "{";  // appended: g++ 12 takes "{" + temporary for an overlap at -O3
    guid += Upper(id[1]);
    guid += '}';
    if (kind == "library") {
      std::smatch v, h;
      if (!std::regex_search(attributes, v, version) || !std::regex_search(attributes, h, help))
        return false;
      out.libId = guid, out.version = v[1], out.helpString = h[1];
    } else if (kind == "dispinterface" || std::regex_search(attributes, dual)) {
      out.dualInterfaces.push_back({name, guid});
    }
  }
  return !out.libId.empty() && !out.dualInterfaces.empty();
}

// The library flags in the header of a compiled type library, with the flag the platform adds
// for a library it loaded from a file (the disk image flag, 8). False when TLB is not one.
bool ReadFlags(const std::string& tlb, unsigned& flags) {
  constexpr std::size_t kFlagsOffset = 28;  // after magic, format, libid, locales, kind, version
  constexpr unsigned kHasDiskImage = 8;
  if (tlb.size() < kFlagsOffset + 4 || tlb.compare(0, 4, "MSFT") != 0) return false;
  unsigned value = 0;
  for (std::size_t i = 4; i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(tlb[kFlagsOffset + i]);
  flags = (value & 0xFFFF) | kHasDiskImage;  // the flags are a 16-bit field
  return true;
}

// The platform's type-library registration: the library key with its path for this bitness,
// flags and help folder, and for each dual interface and dispinterface its key naming the
// marshaler and the library (wine's registration names the one of dual interfaces for both).
// Unregistration removes the same keys.
class PackageTypeLibrary final : public zel::registry::TypeLibraryRegistrar {
 public:
  PackageTypeLibrary(MemoryRegistry& registry, const LibraryIdentity& library, int bits)
      : registry_(registry), library_(library), bits_(bits) {}

  HRESULT Register(const std::string& modulePath, const std::string& helpDirectory) override {
    const std::string key = LibraryKey() + "\\" + library_.version;
    Set(key, "", library_.helpString);
    Set(key + "\\0\\win" + std::to_string(bits_), "", modulePath);
    Set(key + "\\FLAGS", "", std::to_string(library_.flags));
    Set(key + "\\HELPDIR", "", helpDirectory);
    for (const Interface& i : library_.dualInterfaces) {
      const std::string interfaceKey = "Interface\\" + i.iid;
      Set(interfaceKey, "", i.name);
      Set(interfaceKey + "\\ProxyStubClsid", "", kDispatchMarshaler);
      Set(interfaceKey + "\\ProxyStubClsid32", "", kDispatchMarshaler);
      Set(interfaceKey + "\\TypeLib", "", library_.libId);
      Set(interfaceKey + "\\TypeLib", "Version", library_.version);
    }
    return S_OK;
  }

  HRESULT Unregister(const std::string&) override {
    registry_.DeleteTree(LibraryKey());
    for (const Interface& i : library_.dualInterfaces) registry_.DeleteTree("Interface\\" + i.iid);
    return S_OK;
  }

 private:
  std::string LibraryKey() const { return "TypeLib\\" + library_.libId; }
  void Set(const std::string& key, const std::string& name, const std::string& data) {
    registry_.CreateKey(key);
    registry_.SetString(key, name, data);
  }

  MemoryRegistry& registry_;
  const LibraryIdentity& library_;
  int bits_;
};

// One line of MemoryRegistry::Dump: a key, or a value in it.
struct Entry {
  std::string key, name, data;
  bool isValue = false;
};

Entry Parse(const std::string& line) {
  const auto open = line.find(" [");
  if (open == std::string::npos) return {line, "", "", false};
  const auto close = line.find("] = ", open);
  std::string name = line.substr(open + 2, close - open - 2);
  return {line.substr(0, open), name == "@" ? "" : name, line.substr(close + 4), true};
}

std::string Xml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Registry data is formatted text to the installer: brackets are escaped, and the folder mark
// becomes the folder's reference.
std::string Formatted(const std::string& text, const std::string& folder) {
  std::string out;
  for (char c : text) {
    if (c == '[' || c == ']')
      out += std::string("[\\") + c + "]";
    else if (kFolderMark.find(c) != std::string::npos)
      out += folder;
    else
      out += c;
  }
  return out;
}

std::string Parent(const std::string& key) {
  const auto cut = key.rfind('\\');
  return cut == std::string::npos ? std::string() : key.substr(0, cut);
}

// A row for the key itself, no value: the installer reads the name "+" as "create the key",
// "*" as "create it, and remove it with its subtree on uninstall".
std::string KeyRow(const std::string& key, const char* action) {
  return "  <RegistryValue Root=\"HKMU\" Key=\"" + key + "\" Name=\"" + action +
         "\" Type=\"string\" Value=\"\"/>\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::cerr << "usage: zel_package_rows IDL TLB APPID_SCRIPT BITS FOLDER_PROPERTY FOLDER_NAME\n";
    return 2;
  }
  LibraryIdentity library;
  if (!ReadIdentity(ReadFile(argv[1]), library)) {
    std::cerr << "zel_package_rows: no library or dual interface identities in " << argv[1] << "\n";
    return 1;
  }
  if (!ReadFlags(ReadFile(argv[2]), library.flags)) {
    std::cerr << "zel_package_rows: " << argv[2] << " is no compiled type library\n";
    return 1;
  }
  const std::string script = ReadFile(argv[3]);
  const int bits = std::stoi(argv[4]);
  const std::string folder = std::string("[") + argv[5] + "]" + argv[6];

  MemoryRegistry registry;
  PackageTypeLibrary typeLibrary(registry, library, bits);
  const zel::registry::Server server{registry, typeLibrary, script, S_OK,
                                     kFolderMark + "\\ZELUSB.dll"};
  if (HRESULT hr = zel::registry::RegisterServer(server); hr != S_OK) {
    std::cerr << "zel_package_rows: registration failed with 0x" << std::hex << hr << "\n";
    return 1;
  }
  const std::vector<std::string> registered = registry.Dump();
  // Unregistration in a copy names the keys whose trees the library removes: the package
  // removes the same trees on uninstall.
  MemoryRegistry after;
  PackageTypeLibrary afterLibrary(after, library, bits);
  const zel::registry::Server again{after, afterLibrary, script, S_OK, server.modulePath};
  if (zel::registry::RegisterServer(again) != S_OK ||
      zel::registry::UnregisterServer(again) != S_OK) {
    std::cerr << "zel_package_rows: unregistration failed\n";
    return 1;
  }
  std::set<std::string> remaining = {""};
  for (const std::string& line : after.Dump())
    if (const Entry e = Parse(line); !e.isValue) remaining.insert(e.key);
  // Keys that hold nothing are written as keys of their own; the others come with their values.
  std::set<std::string> holding;
  for (const std::string& line : registered) {
    const Entry e = Parse(line);
    holding.insert(e.isValue ? e.key : Parent(e.key));
  }

  std::cout << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
               "<!-- Made by zel_package_rows from the registrar; not edited by hand. -->\n"
               "<Include>\n";
  const std::string root = "Software\\Classes\\";
  for (const std::string& line : registered) {
    const Entry e = Parse(line);
    const std::string key = Xml(Formatted(root + e.key, folder));
    if (e.isValue) {
      std::cout << "  <RegistryValue Root=\"HKMU\" Key=\"" << key << "\""
                << (e.name.empty() ? "" : " Name=\"" + Xml(e.name) + "\"") << " Type=\"string\""
                << " Value=\"" << Xml(Formatted(e.data, folder)) << "\"/>\n";
    } else if (!remaining.contains(e.key) && remaining.contains(Parent(e.key))) {
      // The root of a tree that unregistration removes: made on install, removed with
      // everything beneath it on uninstall.
      std::cout << KeyRow(key, "*");
    } else if (!holding.contains(e.key)) {
      std::cout << KeyRow(key, "+");
    }
  }
  std::cout << "</Include>\n";
  return 0;
}
