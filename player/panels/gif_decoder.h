// Animated GIFs for the animation control: a bounds-checked walk over the blocks of a GIF, each frame
// cut out as a stand-alone GIF and decoded by Qt's reader, and the canvas the frames are drawn on
// (disposal, clearing after the last frame). Plain logic: no widget, no timer.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tevalo::panels {

// A graphic block: an image or plain-text extension, with the graphic control extension before it.
struct GifGraphic {
  size_t offset = 0;  // the image descriptor or plain-text extension
  size_t length = 0;
  bool plainText = false;
  std::optional<size_t> control;  // offset of its 8-byte graphic control extension
  uint16_t delay = 0;             // hundredths of a second (from the control extension)
  int disposal = 0;
  QRect rect;  // the image descriptor's offset and size (empty for plain text)
};

struct GifScan {
  int width = 0;  // logical screen
  int height = 0;
  size_t globalTableBytes = 0;
  std::vector<GifGraphic> graphics;
};

// Walks every graphic block up to the trailer. Nothing when the data is not a GIF, a block is cut
// short, the trailer is missing or a block is of an unknown kind.
std::optional<GifScan> ScanGif(std::span<const uint8_t> data);

// The header, logical screen descriptor and global colour table, then the graphic's control extension
// and block as they stand, then the trailer.
QByteArray StandaloneGif(std::span<const uint8_t> data, const GifScan& scan, const GifGraphic& graphic);

// How long a frame stays: delay x 10 ms above 4, else 100 ms; 100 ms without a control extension.
int GifFrameDelayMs(const GifGraphic& graphic);

// Largest canvas side and the most pixels a load may decode (each frame is decoded at canvas size).
// The player's animations are 120 x 75; these keep a hostile file from costing seconds and gigabytes.
inline constexpr int kGifMaxSide = 1024;
inline constexpr int64_t kGifMaxDecodedPixels = int64_t(8) << 20;

class GifAnimation {
 public:
  struct Frame {
    QImage image;  // the frame's own rectangle
    QRect rect;
    int delayMs = 100;
    int disposal = 0;
  };

  // Replaces what was loaded. A GIF of one image, or data in any other format Qt reads, is a still
  // picture. False, with nothing loaded, when nothing can be shown.
  bool Load(std::span<const uint8_t> data, QColor background);
  void Unload();

  bool Ready() const { return !m_canvas.isNull(); }
  bool IsGif() const { return m_isGif; }
  bool Animated() const { return m_isGif && m_frames.size() > 1; }
  QSize Size() const { return m_canvas.size(); }
  const QImage& Canvas() const { return m_canvas; }
  const std::vector<Frame>& Frames() const { return m_frames; }
  size_t CurrentFrame() const { return m_current; }

  // Draws the still picture into the canvas.
  void ShowStill();
  // Starts a run: the current frame is disposed of and drawn again. Returns its delay in ms.
  int Begin();
  // After a frame's delay: disposes of it and draws the next; after the last the canvas is cleared
  // and the first comes again. Returns the new frame's delay in ms.
  int Next();

 private:
  void Dispose();
  void DrawCurrent();

  std::vector<Frame> m_frames;
  QImage m_still;
  QImage m_canvas;
  QColor m_background = Qt::white;
  bool m_isGif = false;
  size_t m_current = 0;
  std::optional<QImage> m_saved;  // the area under a frame of disposal 3 while it is shown
};

}  // namespace tevalo::panels
