// The main window's volume: a position 0..900 ("VOLUME_POS"), the mute flag ("MUTE") with the
// level kept while muted, and the graph volume (hundredths of a decibel) a position stands for.
#pragma once

#include <functional>

namespace tevalo::shell {

inline constexpr int kVolumeMax = 900;
inline constexpr int kVolumeStep = 30;
inline constexpr long kVolumeSilent = -10000;

// -10000 below 20, else -((p - 900)^2 / 80) / 2: 900 is full level, 20 is -4840.
long GraphVolumeFor(int position);

class CVolumeControl {
 public:
  struct Outputs {
    std::function<void(long)> graph;           // the graph's volume
    std::function<void(int)> slider;           // the slider's position
    std::function<void(bool muted)> muteLook;  // slider disabled and the mute/sound buttons swapped
  };

  CVolumeControl(int position, bool muted, Outputs outputs);

  int Position() const { return m_position; }
  int Saved() const { return m_saved; }
  bool Muted() const { return m_muted; }

  // Stores the position and moves the slider; the graph follows unless muted (the level then
  // waits for unmute).
  void SetVolume(int position);
  void Step(int delta);
  void Mute();
  void Unmute();
  void ToggleMute();
  // The slider is dragged: nothing while muted.
  void SliderMoving(int position);
  // Minimising silences the graph but keeps the level; restoring (or activation) brings it back.
  void Minimize();
  void Restore();

 private:
  int m_position;
  int m_saved;
  bool m_muted;
  Outputs m_out;
};

}  // namespace tevalo::shell
