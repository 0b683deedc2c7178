#include "player/shell/seek_thumb.h"

#include "player/shell/main_geometry.h"
#include "player/shell/player_core.h"

namespace tevalo::shell {

bool SeekThumbTakable(const CPlayerCore& core) {
  auto graph = core.MediaGraph();
  int position = 0;
  return graph && graph->GetPosition(&position) == 1;
}

bool SeekToThumb(CPlayerCore& core, int thumbX, int clientWidth) {
  if (core.State().sourceMode != SourceMode::kRecording) return false;
  auto graph = core.MediaGraph();
  int position = 0, duration = 0;
  if (!graph || graph->GetPosition(&position) != 1) return false;
  graph->GetDuration(&duration);
  const int64_t target = SeekTarget(duration, thumbX, clientWidth);
  return graph->SetPosition(static_cast<int>(target)) == S_OK;
}

}  // namespace tevalo::shell
