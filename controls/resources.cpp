#include "controls/resources.h"

#include <mutex>

namespace {
std::mutex g_lock;
BitmapResolver g_bitmaps;
StringResolver g_strings;
GifResolver g_gifs;

template <typename Resolver>
void Set(Resolver& slot, Resolver resolver) {
  std::lock_guard lock(g_lock);
  slot = std::move(resolver);
}

// The resolver runs outside the lock: it may read files.
template <typename Resolver>
auto Resolve(const Resolver& slot, unsigned id) -> decltype(slot(id)) {
  Resolver r;
  {
    std::lock_guard lock(g_lock);
    r = slot;
  }
  return r ? r(id) : decltype(slot(id))();
}
}  // namespace

void SetBitmapResolver(BitmapResolver resolver) { Set(g_bitmaps, std::move(resolver)); }
void SetStringResolver(StringResolver resolver) { Set(g_strings, std::move(resolver)); }
void SetGifResolver(GifResolver resolver) { Set(g_gifs, std::move(resolver)); }

QImage LoadBitmapResource(unsigned id) { return Resolve(g_bitmaps, id); }
QString LoadStringResource(unsigned id) { return Resolve(g_strings, id); }
QByteArray LoadGifResource(unsigned id) { return Resolve(g_gifs, id); }
