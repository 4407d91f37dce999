#pragma once
// The settings check behind --check-config: reads a settings file as the server would, and
// reports the value the server would work with for every key, then every problem it can find
// before the server runs: what the start would log (a Width out of range, a password without a
// user, topics that are no valid filter or name, TLS settings it cannot use), and what only
// shows later or never: an unknown section or key (a typo), a repeated one, a number that is
// none, a line the reader skips, a broker name that does not resolve, a serial device that is
// missing or a console, a USB display library that cannot be loaded.
//
// Thread safety: a pure function over the file system, the resolver and the dynamic loader.
#include <string>
#include <vector>

namespace kestova {

struct TConfigCheckPlaces {
  // Where the server would load the USB display library from.
  std::string UsbLibraryPath;
  // Where the kernel lists its consoles (tests point it elsewhere).
  std::string SysfsRoot = "/sys";
};

struct TConfigCheckReport {
  // Why the file cannot be read at all; empty when it was read.
  std::string Unreadable;
  // The settings the server would use, as the lines of a settings file ("[Settings]", "Width=20").
  std::vector<std::string> Values;
  // One line per problem: "FILE:LINE: text", or "FILE: text" for a key the file does not have;
  // in the order of the lines they point at.
  std::vector<std::string> Problems;
};

TConfigCheckReport CheckConfigFile(const std::string& fileName, const TConfigCheckPlaces& places);

}  // namespace kestova
