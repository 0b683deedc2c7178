#pragma once
// Where the "Video Renderer" puts its pictures: the main window's video widget, or a headless sink
// that counts pictures and keeps the last one.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

class IVideoOutput {
 public:
  virtual ~IVideoOutput() = default;
  // One rendered picture, BGRx rows top-down; called on the renderer's streaming thread.
  virtual void OnPicture(const uint8_t* bgrx, int width, int height, int stride, int64_t ptsNs) = 0;
  // Placement of the picture inside the owner window (client coordinates).
  virtual void SetWindowPosition(int left, int top, int width, int height) = 0;
  virtual void SetVisible(bool visible) = 0;
};

class CHeadlessVideoOutput : public IVideoOutput {
 public:
  struct Picture {
    int width = 0;
    int height = 0;
    int64_t ptsNs = -1;
    std::vector<uint8_t> bgrx;  // width * 4 bytes per row
  };

  void OnPicture(const uint8_t* bgrx, int width, int height, int stride, int64_t ptsNs) override {
    std::lock_guard lock(m_lock);
    ++m_count;
    m_last.width = width;
    m_last.height = height;
    m_last.ptsNs = ptsNs;
    m_last.bgrx.resize(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
      std::copy_n(bgrx + static_cast<ptrdiff_t>(y) * stride, static_cast<size_t>(width) * 4,
                  m_last.bgrx.begin() + static_cast<ptrdiff_t>(y) * width * 4);
  }
  void SetWindowPosition(int left, int top, int width, int height) override {
    std::lock_guard lock(m_lock);
    m_rect[0] = left;
    m_rect[1] = top;
    m_rect[2] = width;
    m_rect[3] = height;
  }
  void SetVisible(bool visible) override {
    std::lock_guard lock(m_lock);
    m_visible = visible;
  }

  uint64_t Count() const {
    std::lock_guard lock(m_lock);
    return m_count;
  }
  Picture Last() const {
    std::lock_guard lock(m_lock);
    return m_last;
  }
  bool Visible() const {
    std::lock_guard lock(m_lock);
    return m_visible;
  }

 private:
  mutable std::mutex m_lock;
  uint64_t m_count = 0;
  Picture m_last;
  int m_rect[4] = {0, 0, 0, 0};
  bool m_visible = false;
};
