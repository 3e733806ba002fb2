#pragma once
// The serial ports the system knows, for the port list of the communication page.
#include <string>
#include <vector>

namespace skyh {

// Appends the system's serial ports (device paths such as "/dev/ttyUSB0") in
// natural ascending order; true when at least one was found.
bool ListSerialPorts(std::vector<std::string>& target);

// Appends the stable names of USB serial adapters (the links in `folder`,
// as full paths) in natural order; they survive an adapter's renaming from
// ttyUSB0 to ttyUSB1. True when at least one was found.
bool ListStableSerialPorts(std::vector<std::string>& target, const std::string& folder = "/dev/serial/by-id/");

// Natural order: runs of digits compare by value, so ttyS2 comes before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace skyh
