// The client side of window messages between processes, over the per-user local sockets that
// titled windows listen on.
#pragma once

#include <string>
#include <string_view>

#include "platform/window/frame.h"

namespace tevalo::win::remote {

// <runtime folder>/tevalo-windows/<title in lower case>, the folder made with mode 0700. Titles that
// would make too long a socket path are replaced by a hash. Empty when there is no runtime folder.
std::string SocketPath(std::u16string_view title);

// True when a window listens at `path`.
bool Probe(const std::string& path);

// Makes `path` free for a new listener: false when a live window already listens there; a socket
// left by a process that died is removed.
bool PrepareListenPath(const std::string& path);

// Sends one request and waits up to timeoutMs (0xFFFFFFFF: no limit) for its reply.
bool Request(const std::string& path, const frame::Request& req, uint32_t timeoutMs, frame::Reply* reply);

// Hands over a posted message without waiting for the receiver.
bool Post(const std::string& path, const frame::Request& req);

}  // namespace tevalo::win::remote
