// Per-user runtime folder and the mapping of system-wide object names to POSIX names.
#pragma once

#include <string>
#include <string_view>

namespace tvk {

// $XDG_RUNTIME_DIR, else a per-user folder of mode 0700 under the temporary directory, created when
// missing; when another user holds that name, a private folder under the home's cache folder.
// Empty when none can be made.
std::string RuntimeDir();

// The folder under RuntimeDir() holding the kernel layer's named objects and lock files (mode 0700,
// created): no other user can list, make or remove anything in it.
std::string KernelLockDir();

// A readable, deterministic file-name-safe form of a system-wide name, with the per-user prefix, the
// $TEVALO_NAMESPACE prefix and a tag of the runtime folder: "tevalo.<uid>.<tag>.<namespace>.<name>"
// with '/', '\\', '%' and control bytes escaped as %XX; very long names are cut and get a hash.
// Names stay case-sensitive. Processes share named objects when uid, namespace and runtime folder
// agree (the runtime folder also holds the single-instance locks and the window sockets).
std::string SystemObjectName(std::string_view name);

}  // namespace tvk
