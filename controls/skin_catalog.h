#pragma once
// A program's skin: one table row per resource identifier, the files compiled in as Qt resources under
// one folder. The catalog serves the bitmap and GIF resolvers of resources.h and the window icon; the
// tests read the same table.
#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <unordered_map>
#include "controls/colorref.h"

enum class SkinKind : std::uint8_t {
  Bitmap,  // one picture
  Strip,   // `frames` equally wide frames side by side (buttons: normal, pressed, hover)
  Gif,     // GIF89a animation, handed out as bytes
  Icon,    // the largest size; smaller ones are drawn separately (kIconSizes)
};

inline constexpr COLORREF kNoKey = 0xFFFFFFFFu;
// An icon with file "N.png" also has "N_16.png", "N_32.png" and "N_48.png".
inline constexpr std::array<int, 3> kIconSizes = {16, 32, 48};

struct SkinResource {
  unsigned id;
  SkinKind kind;
  const char* file;  // below the catalog's folder
  int width;         // the whole picture (a strip's frames together)
  int height;
  int frames;    // frames of a strip or GIF, else 1
  COLORREF key;  // the transparent colour, kNoKey when the picture is opaque
};

class SkinCatalog {
 public:
  // folder: where the files lie, e.g. ":/skin/player".
  SkinCatalog(std::span<const SkinResource> table, QString folder);

  std::span<const SkinResource> Table() const { return m_table; }
  const SkinResource* Find(unsigned id) const;
  QString PathOf(const SkinResource& resource) const;

  // A bitmap, strip or icon as stored (key colours untouched), RGB32; null for other ids.
  QImage Bitmap(unsigned id) const;
  // The stored bytes of a GIF; empty for other ids.
  QByteArray GifBytes(unsigned id) const;
  // Every size of an icon with its key colour transparent; null for other ids.
  QIcon Icon(unsigned id) const;

  // Points LoadBitmapResource and LoadGifResource at this catalog, which must outlive their use.
  void InstallResolvers() const;

 private:
  std::span<const SkinResource> m_table;
  QString m_folder;
  mutable std::mutex m_lock;
  mutable std::unordered_map<unsigned, QImage> m_bitmaps;
};

// One string of a program's string table (UTF-8).
struct StringResource {
  unsigned id;
  const char* text;
};
// The text of id, or an empty string when the table has none.
QString FindString(std::span<const StringResource> table, unsigned id);
