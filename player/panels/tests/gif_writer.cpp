#include "gif_writer.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <map>

namespace gif_test {

namespace {
void Le16(QByteArray& out, int v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}

// LZW with 8-bit minimum code size: every pixel is its own 9-bit code, and a clear code comes before
// the table grows far enough to widen the codes.
QByteArray Lzw(const std::vector<uint8_t>& indices) {
  constexpr int kClear = 256;
  constexpr int kEnd = 257;
  constexpr int kRun = 250;
  QByteArray out;
  uint32_t bits = 0;
  int count = 0;
  auto put = [&](int code) {
    bits |= uint32_t(code) << count;
    count += 9;
    while (count >= 8) {
      out += char(bits & 0xFF);
      bits >>= 8;
      count -= 8;
    }
  };
  put(kClear);
  int run = 0;
  for (uint8_t index : indices) {
    if (run == kRun) {
      put(kClear);
      run = 0;
    }
    put(index);
    ++run;
  }
  put(kEnd);
  if (count > 0) out += char(bits & 0xFF);
  return out;
}
}  // namespace

int GifWriter::TableBits(size_t colours) {
  int bits = 1;
  while ((size_t(1) << bits) < colours) ++bits;
  return bits;
}

void GifWriter::ColourTable(QByteArray& out, const std::vector<QColor>& table) {
  const size_t entries = size_t(1) << TableBits(table.size());
  for (size_t i = 0; i < entries; ++i) {
    const QColor c = i < table.size() ? table[i] : QColor(Qt::black);
    out += char(c.red());
    out += char(c.green());
    out += char(c.blue());
  }
}

GifWriter::GifWriter(int width, int height, const std::vector<QColor>& globalTable) {
  m_out = "GIF89a";
  Le16(m_out, width);
  Le16(m_out, height);
  const uint8_t packed = globalTable.empty() ? 0 : uint8_t(0x80 | 0x70 | (TableBits(globalTable.size()) - 1));
  m_out += char(packed);
  m_out += char(0);  // background colour index
  m_out += char(0);  // aspect ratio
  if (!globalTable.empty()) ColourTable(m_out, globalTable);
}

void GifWriter::SubBlocks(const QByteArray& data) {
  for (qsizetype at = 0; at < data.size(); at += 255) {
    const QByteArray part = data.mid(at, 255);
    m_out += char(part.size());
    m_out += part;
  }
  m_out += char(0);
}

GifWriter& GifWriter::Control(uint16_t delay, int disposal, int transparent) {
  m_out += char(0x21);
  m_out += char(0xF9);
  m_out += char(4);
  m_out += char(((disposal & 7) << 2) | (transparent >= 0 ? 1 : 0));
  Le16(m_out, delay);
  m_out += char(transparent >= 0 ? transparent : 0);
  m_out += char(0);
  return *this;
}

GifWriter& GifWriter::Image(const QRect& rect, const std::vector<uint8_t>& indices,
                            const std::vector<QColor>& localTable) {
  m_out += char(0x2C);
  Le16(m_out, rect.x());
  Le16(m_out, rect.y());
  Le16(m_out, rect.width());
  Le16(m_out, rect.height());
  m_out += char(localTable.empty() ? 0 : 0x80 | (TableBits(localTable.size()) - 1));
  if (!localTable.empty()) ColourTable(m_out, localTable);
  m_out += char(8);  // minimum code size
  SubBlocks(Lzw(indices));
  return *this;
}

GifWriter& GifWriter::Solid(const QRect& rect, uint8_t index, const std::vector<QColor>& localTable) {
  return Image(rect, std::vector<uint8_t>(size_t(rect.width()) * size_t(rect.height()), index), localTable);
}

GifWriter& GifWriter::Comment(const QByteArray& text) {
  m_out += char(0x21);
  m_out += char(0xFE);
  SubBlocks(text);
  return *this;
}

GifWriter& GifWriter::Application(const QByteArray& identifier8, const QByteArray& code3,
                                  const QByteArray& data) {
  m_out += char(0x21);
  m_out += char(0xFF);
  m_out += char(11);
  m_out += identifier8.left(8).leftJustified(8, ' ');
  m_out += code3.left(3).leftJustified(3, ' ');
  SubBlocks(data);
  return *this;
}

GifWriter& GifWriter::NetscapeLoop() { return Application("NETSCAPE", "2.0", QByteArray("\x01\x00\x00", 3)); }

GifWriter& GifWriter::PlainText(const QByteArray& text) {
  m_out += char(0x21);
  m_out += char(0x01);
  m_out += char(12);
  for (int i = 0; i < 12; ++i) m_out += char(i == 4 || i == 6 ? 8 : 0);  // grid and cell sizes
  SubBlocks(text);
  return *this;
}

GifWriter& GifWriter::Raw(const QByteArray& bytes) {
  m_out += bytes;
  return *this;
}

GifWriter& GifWriter::Trailer() {
  m_out += char(0x3B);
  return *this;
}

QByteArray SolidFrames(int width, int height, const std::vector<QColor>& colours,
                       const std::vector<uint16_t>& delays) {
  GifWriter gif(width, height, colours);
  gif.NetscapeLoop();
  for (size_t i = 0; i < colours.size(); ++i)
    gif.Control(i < delays.size() ? delays[i] : 10, 2).Solid(QRect(0, 0, width, height), uint8_t(i));
  return gif.Trailer().Bytes();
}

}  // namespace gif_test

namespace gif_test {

std::vector<Sample> Samples() {
  const std::vector<QColor> six = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};
  std::vector<QColor> twelve;
  for (int i = 0; i < 12; ++i) twelve.push_back(QColor::fromHsv(i * 30, 255, 255));
  const QRect full(0, 0, 16, 12);
  std::vector<Sample> out;
  out.push_back({"still", GifWriter(16, 12, {Qt::red}).Solid(full, 0).Trailer().Bytes()});
  out.push_back({"two", SolidFrames(16, 12, {Qt::red, Qt::green}, {55, 50})});
  out.push_back({"six", SolidFrames(16, 12, six, {0, 1, 2, 3, 4, 5})});
  out.push_back({"twelve", SolidFrames(16, 12, twelve, {50, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10})});
  out.push_back({"extensions", GifWriter(16, 12, {Qt::red, Qt::green})
                                   .Comment("before")
                                   .Control(20, 2)
                                   .Comment("between")
                                   .NetscapeLoop()
                                   .Solid(full, 0)
                                   .Control(30, 1)
                                   .Solid(QRect(4, 3, 8, 6), 0, {Qt::blue})
                                   .Trailer()
                                   .Bytes()});
  out.push_back({"plaintext", GifWriter(16, 12, {Qt::red, Qt::green})
                                  .Control(10, 0)
                                  .Solid(full, 0)
                                  .Control(10, 0)
                                  .PlainText("text")
                                  .Control(10, 0)
                                  .Solid(full, 1)
                                  .Trailer()
                                  .Bytes()});
  out.push_back(
      {"nocontrol", GifWriter(16, 12, {Qt::red, Qt::green}).Solid(full, 0).Solid(full, 1).Trailer().Bytes()});
  out.push_back({"disposal3", GifWriter(16, 12, {Qt::red, Qt::green, Qt::blue})
                                  .Control(10, 1)
                                  .Solid(full, 0)
                                  .Control(10, 3)
                                  .Solid(QRect(2, 2, 4, 4), 1)
                                  .Control(10, 2)
                                  .Solid(QRect(8, 6, 4, 4), 2)
                                  .Trailer()
                                  .Bytes()});
  QImage png(20, 10, QImage::Format_RGB32);
  png.fill(Qt::darkCyan);
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  png.save(&buffer, "PNG");
  out.push_back({"png", buffer.data()});
  return out;
}

namespace {
// Shapes only: an aerial whose waves come and go, six dots round a circle, twelve bars filling up.
std::vector<QImage> AnimationFrames(unsigned id) {
  const QColor accent(0x3d, 0x8b, 0xfd);
  const QColor dim(0x3a, 0x3f, 0x48);
  std::vector<QImage> frames;
  const int count = id == 505 ? 2 : id == 506 ? 6 : 12;
  for (int i = 0; i < count; ++i) {
    QImage f(120, 75, QImage::Format_RGB32);
    f.fill(Qt::black);
    QPainter p(&f);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    if (id == 505) {  // an aerial whose waves come and go
      p.setBrush(QColor(0xc8, 0xcd, 0xd6));
      p.drawRect(58, 30, 4, 30);
      p.drawEllipse(QPointF(60, 28), 5, 5);
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(i == 0 ? accent : QColor(0xe0, 0x4f, 0x4f), 3, Qt::SolidLine, Qt::RoundCap));
      for (int r : {12, 20}) {
        p.drawArc(QRectF(60 - r, 28 - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
        p.drawArc(QRectF(60 - r, 28 - r, 2 * r, 2 * r), 140 * 16, 80 * 16);
      }
      if (i == 1) {
        p.drawLine(QPointF(44, 12), QPointF(76, 44));
        p.drawLine(QPointF(76, 12), QPointF(44, 44));
      }
    } else if (id == 506) {  // six dots round a circle, one lit
      for (int k = 0; k < 6; ++k) {
        const double a = k * M_PI / 3 - M_PI / 2;
        p.setBrush(k == i ? accent : dim);
        p.drawEllipse(QPointF(60 + 20 * std::cos(a), 37 + 20 * std::sin(a)), k == i ? 6 : 5, k == i ? 6 : 5);
      }
    } else {  // twelve bars filling up
      for (int k = 0; k < 12; ++k) {
        p.setBrush(k <= i ? accent : dim);
        p.drawRoundedRect(QRectF(12 + k * 8.2, 31, 5, 14), 1.5, 1.5);
      }
    }
    frames.push_back(f);
  }
  return frames;
}

// Encodes frames with one global table of the colours they use (few: solid shapes, light smoothing).
QByteArray EncodeAnimation(const std::vector<QImage>& frames, const std::vector<uint16_t>& delays) {
  std::map<QRgb, uint8_t> index;
  std::vector<QColor> table;
  std::vector<std::vector<uint8_t>> pixels;
  for (const QImage& f : frames) {
    std::vector<uint8_t> indices;
    for (int y = 0; y < f.height(); ++y)
      for (int x = 0; x < f.width(); ++x) {
        // Quantise to 4 bits a channel so the table stays within 256 colours.
        const QRgb c = f.pixel(x, y) & 0xF0F0F0;
        auto it = index.find(c);
        if (it == index.end()) {
          if (table.size() == 256)
            it = index.begin();
          else {
            it = index.emplace(c, uint8_t(table.size())).first;
            table.push_back(QColor::fromRgb(c | 0xFF000000));
          }
        }
        indices.push_back(it->second);
      }
    pixels.push_back(std::move(indices));
  }
  GifWriter gif(frames[0].width(), frames[0].height(), table);
  gif.NetscapeLoop();
  for (size_t i = 0; i < frames.size(); ++i) gif.Control(delays[i], 2).Image(frames[i].rect(), pixels[i]);
  return gif.Trailer().Bytes();
}

}  // namespace

QByteArray PlayerAnimation(unsigned id) {
  std::vector<uint16_t> delays;
  if (id == 505) delays = {55, 50};
  if (id == 506) delays = std::vector<uint16_t>(6, 50);
  if (id == 507) {
    delays = std::vector<uint16_t>(12, 10);
    delays[0] = 50;
  }
  return EncodeAnimation(AnimationFrames(id), delays);
}

}  // namespace gif_test
