// The main window's seek thumb over the core: it can be taken while a graph reports its position,
// and its drop seeks the recording that plays.
#pragma once

namespace tevalo::shell {

class CPlayerCore;

bool SeekThumbTakable(const CPlayerCore& core);
// True when the drop seeked: a recording file plays and its graph reports a position.
bool SeekToThumb(CPlayerCore& core, int thumbX, int clientWidth);

}  // namespace tevalo::shell
