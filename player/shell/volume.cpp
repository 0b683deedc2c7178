#include "player/shell/volume.h"

#include <algorithm>

namespace tevalo::shell {

long GraphVolumeFor(int p) {
  if (p < 20) return kVolumeSilent;
  long d = static_cast<long>(p) - kVolumeMax;
  return -((d * d / 80) / 2);
}

CVolumeControl::CVolumeControl(int position, bool muted, Outputs outputs)
    : m_position(std::clamp(position, 0, kVolumeMax)),
      m_saved(m_position),
      m_muted(muted),
      m_out(std::move(outputs)) {}

void CVolumeControl::SetVolume(int position) {
  m_position = std::clamp(position, 0, kVolumeMax);
  if (m_out.slider) m_out.slider(m_position);
  if (m_muted) {
    m_saved = m_position;
    return;
  }
  if (m_out.graph) m_out.graph(GraphVolumeFor(m_position));
}

void CVolumeControl::Step(int delta) { SetVolume(m_position + delta); }

void CVolumeControl::Mute() {
  if (m_muted) return;
  m_saved = m_position;
  m_muted = true;
  if (m_out.graph) m_out.graph(GraphVolumeFor(0));
  if (m_out.muteLook) m_out.muteLook(true);
}

void CVolumeControl::Unmute() {
  if (!m_muted) return;
  m_muted = false;
  SetVolume(m_saved);
  if (m_out.muteLook) m_out.muteLook(false);
}

void CVolumeControl::ToggleMute() { m_muted ? Unmute() : Mute(); }

void CVolumeControl::SliderMoving(int position) {
  if (!m_muted) SetVolume(position);
}

void CVolumeControl::Minimize() {
  if (m_muted) return;
  m_saved = m_position;
  if (m_out.graph) m_out.graph(kVolumeSilent);
}

void CVolumeControl::Restore() {
  if (!m_muted) SetVolume(m_saved);
}

}  // namespace tevalo::shell
