#include "player/shell/command_table.h"

#include <gtest/gtest.h>

namespace tevalo::shell {
namespace {

TEST(CommandTable, RoutesEveryWindowIdAndRunsOnlyBoundRows) {
  CCommandTable table;
  for (CommandId id : kMainWindowCommandIds) {
    EXPECT_TRUE(table.Routes(id)) << id;
    EXPECT_EQ(table.Dispatch(id), DispatchResult::Routed) << id;
  }
  int runs = 0;
  table.Set({1069, 32862}, [&] { ++runs; });
  EXPECT_EQ(table.Dispatch(1069), DispatchResult::Handled);
  EXPECT_EQ(table.Dispatch(32862), DispatchResult::Handled);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(table.Dispatch(1234), DispatchResult::Unknown);
  EXPECT_EQ(table.Dispatch(1071), DispatchResult::Routed);
}

TEST(CommandTable, AHandlerMayRebindItsOwnRow) {
  CCommandTable table;
  int first = 0, second = 0;
  table.Set(1050, [&] {
    ++first;
    table.Set(1050, [&] { ++second; });
  });
  table.Dispatch(1050);
  table.Dispatch(1050);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
}

}  // namespace
}  // namespace tevalo::shell
