// The main window's one dispatch table: every command id its buttons, menus and keys send, each
// bound to at most one handler. Ids the window routes but no handler was given for do nothing, as
// do ids it does not route at all; Dispatch says which happened so callers and tests can tell.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <vector>

namespace tevalo::shell {

using CommandId = std::uint32_t;

// The ids the main window routes: its buttons, menu 273's items and the update command.
inline constexpr CommandId kMainWindowCommandIds[] = {
    1039,  1041,  1042,  1050,  1051,  1052,  1053,  1054,  1061,  1062,  1065,  1066,  1067,  1068,
    1069,  1070,  1071,  1072,  1073,  1074,  1075,  1076,  1077,  1078,  32797, 32798, 32799, 32800,
    32801, 32802, 32803, 32804, 32808, 32810, 32812, 32815, 32816, 32817, 32818, 32829, 32830, 32831,
    32832, 32833, 32834, 32838, 32856, 32860, 32861, 32862, 32863, 32864, 32865, 32867, 32871, 32872,
    32875, 32877, 32878, 32879, 32880, 32881, 32882, 32883, 32884, 32885};

enum class DispatchResult { Handled, Routed, Unknown };  // Routed: routed, no handler (does nothing)

class CCommandTable {
 public:
  using Handler = std::function<void()>;

  CCommandTable() {
    for (CommandId id : kMainWindowCommandIds) m_rows.emplace(id, Handler{});
  }

  // Binds a handler; a second Set for the same id replaces the first (one row per id).
  void Set(CommandId id, Handler handler) { m_rows[id] = std::move(handler); }
  void Set(std::initializer_list<CommandId> ids, const Handler& handler) {
    for (CommandId id : ids) Set(id, handler);
  }

  bool Routes(CommandId id) const { return m_rows.count(id) != 0; }
  bool HasHandler(CommandId id) const {
    auto it = m_rows.find(id);
    return it != m_rows.end() && it->second;
  }

  DispatchResult Dispatch(CommandId id) const {
    auto it = m_rows.find(id);
    if (it == m_rows.end()) return DispatchResult::Unknown;
    if (!it->second) return DispatchResult::Routed;
    // A copy: a handler may rebind its own row while it runs.
    Handler run = it->second;
    run();
    return DispatchResult::Handled;
  }

  std::vector<CommandId> Ids() const {
    std::vector<CommandId> ids;
    for (const auto& [id, handler] : m_rows) ids.push_back(id);
    return ids;
  }

 private:
  std::map<CommandId, Handler> m_rows;
};

}  // namespace tevalo::shell
