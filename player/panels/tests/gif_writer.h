// A small GIF89a writer for tests and benchmarks: blocks are written in the order asked for, so
// broken and unusual files can be built as easily as good ones. Image data is LZW-coded with a clear
// code often enough that every code stays 9 bits wide.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QRect>
#include <cstdint>
#include <vector>

namespace gif_test {

class GifWriter {
 public:
  // Logical screen and global colour table (at most 256 colours; none when empty).
  GifWriter(int width, int height, const std::vector<QColor>& globalTable);

  // A graphic control extension: delay in hundredths of a second, disposal 0..7, transparent index or -1.
  GifWriter& Control(uint16_t delay, int disposal, int transparent = -1);
  // An image of the given rectangle; indices row by row (rect.width() x rect.height()).
  GifWriter& Image(const QRect& rect, const std::vector<uint8_t>& indices,
                   const std::vector<QColor>& localTable = {});
  // An image filled with one index.
  GifWriter& Solid(const QRect& rect, uint8_t index, const std::vector<QColor>& localTable = {});
  GifWriter& Comment(const QByteArray& text);
  GifWriter& Application(const QByteArray& identifier8, const QByteArray& code3, const QByteArray& data);
  GifWriter& NetscapeLoop();
  GifWriter& PlainText(const QByteArray& text);
  GifWriter& Raw(const QByteArray& bytes);
  GifWriter& Trailer();

  const QByteArray& Bytes() const { return m_out; }

 private:
  void SubBlocks(const QByteArray& data);
  static void ColourTable(QByteArray& out, const std::vector<QColor>& table);
  static int TableBits(size_t colours);

  QByteArray m_out;
};

// A frame per colour, full canvas, each with a control extension of the given delay and disposal 2.
QByteArray SolidFrames(int width, int height, const std::vector<QColor>& colours,
                       const std::vector<uint16_t>& delays);

}  // namespace gif_test

namespace gif_test {

// Named sample files: good ones of each shape the animation control reads, and a PNG.
struct Sample {
  const char* name;
  QByteArray bytes;
};
std::vector<Sample> Samples();

// Stand-ins for the player's animations 505 (no signal), 506 (channel search) and 507 (channel
// change): 120 x 75 frames on black with disposal 2 and the real frame counts and delays.
QByteArray PlayerAnimation(unsigned id);

}  // namespace gif_test
