// Where tuner sticks appear: one folder per stick (its interface path) under the interface-class
// folder of the device root, each holding the FIFOs "PIPE00" (replies and stream) and "PIPE01"
// (commands).
#pragma once

#include <string>
#include <vector>

namespace quonda {

inline constexpr const char* kInterfaceClass = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";
inline constexpr const char* kReplyPipe = "PIPE00";
inline constexpr const char* kCommandPipe = "PIPE01";
// Room for a device path with its pipe name: 256 characters with the terminator.
inline constexpr std::size_t kMaxDevicePath = 255;

// $TEVALO_DEVICE_ROOT, else $XDG_RUNTIME_DIR/tevalo/devices, else the per-user folder
// <tmp>/tevalo-<uid>/tevalo/devices; empty when that per-user folder exists but is not ours. Nothing
// is created.
std::string DeviceRoot();
// DeviceRoot() + "/" + kInterfaceClass, or empty with no usable root.
std::string InterfaceClassFolder();

// Interface paths of the stick folders now in the class folder, in byte order of their names
// (hidden names left out).
std::vector<std::string> ListInterfacePaths(const std::string& classFolder);

// A stick folder answers when both pipes are FIFOs and someone reads "PIPE01" (the driver side). A
// folder left behind by a dead driver does not.
bool InterfaceAnswers(const std::string& interfacePath);

// Both pipes are FIFOs in the folder (present, whether or not anyone serves them yet).
bool HasPipes(const std::string& interfacePath);

}  // namespace quonda
