#include "tools/zelctl_options.h"

namespace zel::zelctl {

const char* UsageText() noexcept {
  return "usage: zelctl [--bench FILE] [--live] [--trace FILE] [--firmware-dir DIR] CLASS "
         "[-c CALLS]\n"
         "       zelctl --usb [--trace FILE] [--firmware-dir DIR] CLASS [-c CALLS]\n"
         "       zelctl --usb --list\n"
         "  CLASS is orvane, kestrin or polyax; the calls come from -c (separated by ';') or\n"
         "  from standard input, one per line. --usb drives the units attached to this machine;\n"
         "  --list shows them with their device numbers and whether they can be opened.\n";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  Options options;
  bool haveClass = false;
  bool seenFirmware = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    std::string name = args[k];
    std::optional<std::string> attached;  // --name=value
    if (name.rfind("--", 0) == 0) {
      const auto equals = name.find('=');
      if (equals != std::string::npos) {
        attached = name.substr(equals + 1);
        name.resize(equals);
      }
    }
    // The value of an option that takes one: attached, or the next argument.
    auto value = [&]() -> std::optional<std::string> {
      if (attached) return attached;
      if (k + 1 < args.size()) return args[++k];
      error = name + " needs a value";
      return std::nullopt;
    };
    auto once = [&](bool already) {
      if (already) error = name + " is given twice";
      return !already;
    };

    if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--live" && !attached) {
      options.live = true;
    } else if (name == "--usb" && !attached) {
      if (!once(options.usb)) return std::nullopt;
      options.usb = true;
    } else if (name == "--list" && !attached) {
      if (!once(options.list)) return std::nullopt;
      options.list = true;
    } else if (name == "--bench") {
      if (!once(options.bench.has_value())) return std::nullopt;
      if (!(options.bench = value())) return std::nullopt;
    } else if (name == "--trace") {
      if (!once(options.trace.has_value())) return std::nullopt;
      if (!(options.trace = value())) return std::nullopt;
    } else if (name == "--firmware-dir") {
      if (!once(seenFirmware)) return std::nullopt;
      const auto directory = value();
      if (!directory) return std::nullopt;
      options.firmwareDirectory = *directory;
      seenFirmware = true;
    } else if (name == "-c") {
      if (!once(options.calls.has_value())) return std::nullopt;
      if (!(options.calls = value())) return std::nullopt;
    } else if (!name.empty() && name[0] == '-') {
      error = "unknown option " + args[k];
      return std::nullopt;
    } else if (haveClass) {
      error = "one class only, not also " + name;
      return std::nullopt;
    } else if (const auto kind = KindFromName(name)) {
      options.kind = *kind;
      haveClass = true;
    } else {
      error = "unknown class " + name + " (orvane, kestrin or polyax)";
      return std::nullopt;
    }
  }
  if (options.usb && (options.bench || options.live)) {
    error =
        options.bench ? "--usb and --bench exclude each other" : "--live needs a bench, not --usb";
    return std::nullopt;
  }
  if (options.list && (!options.usb || haveClass || options.calls || options.trace)) {
    error = options.usb ? "--list takes no class, calls or trace" : "--list needs --usb";
    return std::nullopt;
  }
  if (!haveClass && !options.help && !options.list) {
    error = "no class given";
    return std::nullopt;
  }
  return options;
}

}  // namespace zel::zelctl
