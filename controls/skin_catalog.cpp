#include "controls/skin_catalog.h"

#include <QFile>
#include <QPixmap>
#include "controls/resources.h"
#include "controls/skin_mask.h"

SkinCatalog::SkinCatalog(std::span<const SkinResource> table, QString folder)
    : m_table(table), m_folder(std::move(folder)) {}

const SkinResource* SkinCatalog::Find(unsigned id) const {
  for (const SkinResource& r : m_table)
    if (r.id == id) return &r;
  return nullptr;
}

QString SkinCatalog::PathOf(const SkinResource& resource) const {
  return m_folder + '/' + QString::fromUtf8(resource.file);
}

QImage SkinCatalog::Bitmap(unsigned id) const {
  const SkinResource* r = Find(id);
  if (r == nullptr || r->kind == SkinKind::Gif) return {};
  std::lock_guard lock(m_lock);
  auto it = m_bitmaps.find(id);
  if (it != m_bitmaps.end()) return it->second;
  QImage image(PathOf(*r));
  if (!image.isNull()) image = image.convertToFormat(QImage::Format_RGB32);
  m_bitmaps.emplace(id, image);
  return image;
}

QByteArray SkinCatalog::GifBytes(unsigned id) const {
  const SkinResource* r = Find(id);
  if (r == nullptr || r->kind != SkinKind::Gif) return {};
  QFile file(PathOf(*r));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QIcon SkinCatalog::Icon(unsigned id) const {
  const SkinResource* r = Find(id);
  if (r == nullptr || r->kind != SkinKind::Icon) return {};
  QIcon icon;
  const QString stem = PathOf(*r).chopped(4);  // without ".png"
  for (int size : kIconSizes) {
    const QImage small(stem + '_' + QString::number(size) + ".png");
    if (!small.isNull()) icon.addPixmap(PixmapWithKeyTransparent(small, r->key));
  }
  const QImage large = Bitmap(id);
  if (!large.isNull()) icon.addPixmap(PixmapWithKeyTransparent(large, r->key));
  return icon;
}

void SkinCatalog::InstallResolvers() const {
  SetBitmapResolver([this](unsigned id) { return Bitmap(id); });
  SetGifResolver([this](unsigned id) { return GifBytes(id); });
}

QString FindString(std::span<const StringResource> table, unsigned id) {
  for (const StringResource& s : table)
    if (s.id == id) return QString::fromUtf8(s.text);
  return {};
}
