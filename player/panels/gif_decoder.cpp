#include "player/panels/gif_decoder.h"

#include <QPainter>
#include <cstdint>

namespace tevalo::panels {

namespace {

enum class Block { PlainText, Control, Comment, Application, Image, Trailer, Unknown };

class Walker {
 public:
  explicit Walker(std::span<const uint8_t> data) : m_data(data) {}

  std::optional<uint8_t> Byte(size_t at) const {
    if (at >= m_data.size()) return std::nullopt;
    return m_data[at];
  }
  uint16_t Le16(size_t at) const { return uint16_t(m_data[at] | (m_data[at + 1] << 8)); }

  // Nothing when the data ends before the block's kind is known.
  std::optional<Block> KindAt(size_t at) const {
    const auto introducer = Byte(at);
    if (!introducer) return std::nullopt;
    if (*introducer == 0x2C) return Block::Image;
    if (*introducer == 0x3B) return Block::Trailer;
    if (*introducer != 0x21) return Block::Unknown;
    const auto label = Byte(at + 1);
    if (!label) return std::nullopt;
    switch (*label) {
      case 0x01:
        return Block::PlainText;
      case 0xF9:
        return Block::Control;
      case 0xFE:
        return Block::Comment;
      case 0xFF:
        return Block::Application;
      default:
        return Block::Unknown;
    }
  }

  // Bytes of a chain of sub-blocks up to and including its zero terminator.
  std::optional<size_t> Chain(size_t at) const {
    size_t total = 0;
    for (;;) {
      const auto size = Byte(at + total);
      if (!size) return std::nullopt;
      total += size_t(*size) + 1;
      if (*size == 0) return total;
    }
  }

  // The whole block's length, checked against the data's end.
  std::optional<size_t> Length(size_t at, Block kind) const {
    std::optional<size_t> length;
    auto fixedThenChain = [&](size_t fixed) -> std::optional<size_t> {
      const auto chain = Chain(at + fixed);
      if (!chain) return std::nullopt;
      return fixed + *chain;
    };
    switch (kind) {
      case Block::Application:
        length = fixedThenChain(14);
        break;
      case Block::Comment:
        length = fixedThenChain(2);
        break;
      case Block::Control:
        length = 8;
        break;
      case Block::PlainText:
        length = fixedThenChain(15);
        break;
      case Block::Image: {
        const auto packed = Byte(at + 9);
        if (!packed) return std::nullopt;
        const size_t table = (*packed & 0x80) ? 3u << ((*packed & 7) + 1) : 0;
        length = fixedThenChain(11 + table);
        break;
      }
      case Block::Trailer:
        length = 1;
        break;
      case Block::Unknown:
        return std::nullopt;
    }
    if (!length || *length == 0 || at > m_data.size() || *length > m_data.size() - at) return std::nullopt;
    return length;
  }

 private:
  std::span<const uint8_t> m_data;
};

}  // namespace

std::optional<GifScan> ScanGif(std::span<const uint8_t> data) {
  if (data.size() < 13 || data[0] != 'G' || data[1] != 'I' || data[2] != 'F') return std::nullopt;
  const Walker walk(data);
  GifScan scan;
  scan.width = walk.Le16(6);
  scan.height = walk.Le16(8);
  if (data[10] & 0x80) scan.globalTableBytes = 3u << ((data[10] & 7) + 1);
  size_t at = 13 + scan.globalTableBytes;
  if (at > data.size()) return std::nullopt;

  std::optional<size_t> control;
  for (;;) {
    const auto kind = walk.KindAt(at);
    if (!kind || *kind == Block::Unknown) return std::nullopt;
    if (*kind == Block::Trailer) return scan;
    const auto length = walk.Length(at, *kind);
    if (!length) return std::nullopt;
    if (*kind == Block::Control) {
      control = at;  // belongs to the next image or plain text; a later one replaces it
    } else if (*kind == Block::Image || *kind == Block::PlainText) {
      GifGraphic g;
      g.offset = at;
      g.length = *length;
      g.plainText = *kind == Block::PlainText;
      g.control = control;
      if (control) {
        g.delay = walk.Le16(*control + 4);
        g.disposal = (data[*control + 3] >> 2) & 7;
      }
      if (*kind == Block::Image)
        g.rect = QRect(walk.Le16(at + 1), walk.Le16(at + 3), walk.Le16(at + 5), walk.Le16(at + 7));
      scan.graphics.push_back(g);
      control.reset();
    }
    at += *length;
  }
}

QByteArray StandaloneGif(std::span<const uint8_t> data, const GifScan& scan, const GifGraphic& graphic) {
  auto bytes = [&](size_t from, size_t count) {
    return QByteArray(reinterpret_cast<const char*>(data.data() + from), qsizetype(count));
  };
  QByteArray out = bytes(0, 13 + scan.globalTableBytes);
  if (graphic.control) out += bytes(*graphic.control, 8);
  out += bytes(graphic.offset, graphic.length);
  out += char(0x3B);
  return out;
}

int GifFrameDelayMs(const GifGraphic& graphic) {
  if (!graphic.control) return 100;
  return graphic.delay > 4 ? int(graphic.delay) * 10 : 100;
}

bool GifAnimation::Load(std::span<const uint8_t> data, QColor background) {
  Unload();
  if (data.size() > size_t(INT32_MAX)) return false;
  auto decode = [](std::span<const uint8_t> bytes, const char* format) {
    return QImage::fromData(bytes.data(), int(bytes.size()), format);
  };
  auto fits = [](int w, int h) { return w > 0 && h > 0 && w <= kGifMaxSide && h <= kGifMaxSide; };

  const bool isGif = data.size() >= 3 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F';
  QImage still;
  std::vector<Frame> frames;
  QSize size;
  if (isGif) {
    const auto scan = ScanGif(data);
    if (!scan || scan->graphics.empty() || !fits(scan->width, scan->height)) return false;
    size = QSize(scan->width, scan->height);
    if (scan->graphics.size() == 1) {
      still = decode(data, "GIF");
      if (still.isNull()) return false;
    } else {
      const int64_t perFrame = int64_t(scan->width) * scan->height;
      if (perFrame * int64_t(scan->graphics.size()) > kGifMaxDecodedPixels) return false;
      for (const GifGraphic& g : scan->graphics) {
        const QByteArray one = StandaloneGif(data, *scan, g);
        const QImage image = QImage::fromData(one, "GIF");
        if (image.isNull()) continue;  // e.g. a plain-text block: nothing to show
        // Qt places the frame at its offset on a canvas-sized image: take the frame's own rectangle.
        const QRect rect = g.rect.intersected(QRect(QPoint(0, 0), size));
        if (rect.isEmpty()) continue;
        frames.push_back({image.copy(rect).convertToFormat(QImage::Format_ARGB32_Premultiplied), rect,
                          GifFrameDelayMs(g), g.disposal});
      }
      if (frames.empty()) return false;
    }
  } else {
    still = decode(data, nullptr);
    if (still.isNull() || !fits(still.width(), still.height())) return false;
    size = still.size();
  }

  m_canvas = QImage(size, QImage::Format_RGB32);
  if (m_canvas.isNull()) return false;
  m_background = background;
  m_canvas.fill(m_background);
  m_still = std::move(still);
  m_frames = std::move(frames);
  m_isGif = isGif;
  return true;
}

void GifAnimation::Unload() {
  m_frames.clear();
  m_still = QImage();
  m_canvas = QImage();
  m_saved.reset();
  m_isGif = false;
  m_current = 0;
  m_background = Qt::white;
}

void GifAnimation::ShowStill() {
  if (!Ready() || m_still.isNull()) return;
  QPainter painter(&m_canvas);
  painter.drawImage(QRect(QPoint(0, 0), m_canvas.size()), m_still);
}

void GifAnimation::Dispose() {
  if (m_frames.empty()) return;
  const Frame& frame = m_frames[m_current];
  if (frame.disposal == 2) {
    QPainter(&m_canvas).fillRect(frame.rect, m_background);
  } else if (frame.disposal == 3 && m_saved) {
    QPainter painter(&m_canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(frame.rect.topLeft(), *m_saved);
    m_saved.reset();
  }
}

void GifAnimation::DrawCurrent() {
  const Frame& frame = m_frames[m_current];
  if (frame.disposal == 3) m_saved = m_canvas.copy(frame.rect);
  QPainter(&m_canvas).drawImage(frame.rect.topLeft(), frame.image);
}

int GifAnimation::Begin() {
  if (m_frames.empty()) return 100;
  Dispose();
  DrawCurrent();
  return m_frames[m_current].delayMs;
}

int GifAnimation::Next() {
  if (m_frames.empty()) return 100;
  Dispose();
  if (++m_current >= m_frames.size()) {
    m_current = 0;
    m_canvas.fill(m_background);
  }
  DrawCurrent();
  return m_frames[m_current].delayMs;
}

}  // namespace tevalo::panels
