#include "controls/resources.h"

#include <mutex>

namespace {
std::mutex g_lock;
BitmapResolver g_bitmaps;
StringResolver g_strings;
GifResolver g_gifs;

// Copies the resolver under the lock and calls it outside, so a resolver may take its time.
template <typename R>
R Current(const R& slot) {
  std::lock_guard lock(g_lock);
  return slot;
}
}  // namespace

void SetBitmapResolver(BitmapResolver resolver) {
  std::lock_guard lock(g_lock);
  g_bitmaps = std::move(resolver);
}

void SetStringResolver(StringResolver resolver) {
  std::lock_guard lock(g_lock);
  g_strings = std::move(resolver);
}

void SetGifResolver(GifResolver resolver) {
  std::lock_guard lock(g_lock);
  g_gifs = std::move(resolver);
}

QImage LoadBitmapResource(unsigned id) {
  const BitmapResolver r = Current(g_bitmaps);
  return r ? r(id) : QImage();
}

QString LoadStringResource(unsigned id) {
  const StringResolver r = Current(g_strings);
  return r ? r(id) : QString();
}

QByteArray LoadGifResource(unsigned id) {
  const GifResolver r = Current(g_gifs);
  return r ? r(id) : QByteArray();
}
