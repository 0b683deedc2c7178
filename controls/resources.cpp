#include "controls/resources.h"

#include <mutex>

namespace {
std::mutex g_lock;
BitmapResolver g_bitmaps;
StringResolver g_strings;
GifResolver g_gifs;
}  // namespace

void SetBitmapResolver(BitmapResolver resolver) {
  std::lock_guard lock(g_lock);
  g_bitmaps = std::move(resolver);
}

void SetStringResolver(StringResolver resolver) {
  std::lock_guard lock(g_lock);
  g_strings = std::move(resolver);
}

QImage LoadBitmapResource(unsigned id) {
  BitmapResolver r;
  {
    std::lock_guard lock(g_lock);
    r = g_bitmaps;
  }
  return r ? r(id) : QImage();
}

QString LoadStringResource(unsigned id) {
  StringResolver r;
  {
    std::lock_guard lock(g_lock);
    r = g_strings;
  }
  return r ? r(id) : QString();
}

void SetGifResolver(GifResolver resolver) {
  std::lock_guard lock(g_lock);
  g_gifs = std::move(resolver);
}

QByteArray LoadGifResource(unsigned id) {
  GifResolver r;
  {
    std::lock_guard lock(g_lock);
    r = g_gifs;
  }
  return r ? r(id) : QByteArray();
}
