#include "filter/source/filter_host.h"

#include <mutex>

namespace halvik {
namespace {
std::mutex g_mutex;
std::shared_ptr<FilterHost> g_host;
}  // namespace

void SetFilterHost(std::shared_ptr<FilterHost> host) {
  std::lock_guard lock(g_mutex);
  g_host = std::move(host);
}

std::shared_ptr<FilterHost> GetFilterHost() {
  std::lock_guard lock(g_mutex);
  return g_host;
}

}  // namespace halvik
