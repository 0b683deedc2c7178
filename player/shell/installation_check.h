// The installation values the player cannot run without: the live source's registration and the
// user folder. Without them a search would tune and then open nothing, so the program says so and
// ends before its window.
#pragma once

#include <optional>
#include <string>

namespace tevalo::shell {

inline constexpr char16_t kTextNoInstallation[] =
    u"インストール情報が見つかりません。インストールし直してください。";

// What is missing, for standard error; nullopt when the installation is complete.
std::optional<std::string> MissingInstallation();

}  // namespace tevalo::shell
