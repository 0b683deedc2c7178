#include "player/pipeline/es_framer.h"

#include <algorithm>
#include <cstring>

#include "ipc/stream_headers.h"
#include "player/pipeline/ts_constants.h"

namespace tevalo::pipeline {

namespace {
using streamhdr::AacSampleRate;
using streamhdr::AdtsFrameLength;
using streamhdr::AdtsSamplingIndex;
constexpr size_t kAdtsHeader = streamhdr::kAdtsHeaderBytes;
constexpr size_t kAdtsMinFrame = 9;

// Count of whole ADTS frames from one frame start to a later one, following their lengths.
int64_t FramesBetween(const uint8_t* x, size_t t, size_t from, size_t to) {
  int64_t n = 0;
  while (from < to && from + kAdtsHeader <= t) {
    const size_t l = AdtsFrameLength(x + from);
    if (l < kAdtsMinFrame) break;
    from += l;
    ++n;
  }
  return n;
}
}  // namespace

CEsFramer::CEsFramer(IFramerOutput& out) : m_out(out), m_message(std::make_unique<StreamFrameMessage>()) {
  MakeFormatMessage(m_videoFormat, IPC_VIDEO_CONFIG, nullptr, 0);
  MakeFormatMessage(m_audioFormat, IPC_AUDIO_CONFIG, nullptr, 0);
}

void CEsFramer::Send(int32_t type, const uint8_t* payload, size_t size, int64_t stamp) {
  const uint32_t bytes = MakeFrameMessage(*m_message, type, stamp, payload, uint32_t(size));
  if (bytes) m_out.WriteFrame(reinterpret_cast<const uint8_t*>(m_message.get()), bytes);
}

void CEsFramer::ResetState() {
  m_state = kNothing;
  m_capturing = false;
  m_capture.clear();
  m_heldUnits.clear();
  // The new stream's stamps start a grid of their own.
  m_videoStamps.Reset();
  m_audioStamps.Reset();
  m_lastVideoStamp = -1;
  m_pesStamp = m_pesGivenStamp = -1;
  m_lastPesWhole = false;
  m_usualPesFrames = m_lastWholePesFrames = 0;
  m_headerlessPiece.clear();
  m_lastSoundStamp = -1;
}

void CEsFramer::MaybeStartStreaming() {
  if (m_state != kBothHeaders) return;
  m_out.SendStreamFormats(0, m_videoFormat, m_audioFormat);
  m_state = kStreaming;
  for (const HeldUnit& u : m_heldUnits) {
    Send(IPC_VIDEO_FRAME, u.bytes.data(), u.bytes.size(), u.stamp);
    ++m_counters.videoWritten;
  }
  m_heldUnits.clear();
}

void CEsFramer::VideoHeaderCaptured() {
  MakeFormatMessage(m_videoFormat, IPC_VIDEO_CONFIG, m_capture.data(), uint32_t(m_capture.size()));
  // The capture opens with the SPS's 3-byte start code; its NAL unit runs to the next start code.
  size_t end = 3;
  while (end + 2 < m_capture.size() &&
         !(m_capture[end] == 0 && m_capture[end + 1] == 0 && m_capture[end + 2] == 1))
    ++end;
  if (end + 2 >= m_capture.size()) end = m_capture.size();
  const int64_t period = streamhdr::SpsFramePeriodTicks(m_capture.data() + 3, end - 3);
  m_framePeriod = period > 0 ? period : kDefaultFramePeriod;
  m_capturing = false;
  m_capture.clear();
  m_state |= kVideoHeader;
  MaybeStartStreaming();
}

void CEsFramer::CutVideoUnit(const uint8_t* unit, size_t size, bool oversize, int64_t stamp) {
  ++m_counters.videoUnits;
  if (size == 0) return;
  if (oversize || size > kVideoFramePayloadMax) {
    if (m_state == kStreaming) ++m_counters.videoOversize;
    return;
  }
  if (m_state != kStreaming) {
    // Cut after the video header (the key picture that carried it, and on): it waits for the sound
    // header instead of being lost.
    if (m_state & kVideoHeader) {
      if (m_heldUnits.size() == kHeldUnitsMax) m_heldUnits.erase(m_heldUnits.begin());
      m_heldUnits.push_back({std::vector<uint8_t>(unit, unit + size), stamp});
    }
    return;
  }
  Send(IPC_VIDEO_FRAME, unit, size, stamp);
  ++m_counters.videoWritten;
}

void CEsFramer::FrameVideo(const uint8_t* pes, size_t length, int64_t stamp) {
  std::vector<uint8_t>& x = m_videoCarry;
  if (stamp >= 0 && m_state == kStreaming) {
    // A picture stamp off the frame grid is placed one frame after the last picture instead.
    const int64_t expected = m_lastVideoStamp >= 0 ? m_lastVideoStamp + m_framePeriod : -1;
    stamp = m_videoStamps.Take(stamp, double(m_framePeriod), expected, false);
    CountRefusedStamps();
    if (stamp >= 0) m_lastVideoStamp = stamp;
  }
  if (x.empty()) {
    m_unitStamp = stamp;  // the unit in progress begins in this PES
    m_videoScan = 0;
  }
  x.insert(x.end(), pes, pes + length);
  const size_t t = x.size();
  size_t unitStart = 0;
  bool cut = false;
  bool firstDelimiter = true;
  for (size_t i = m_videoScan; i + 3 < t; ++i) {
    if (x[i] == 0 && x[i + 1] == 0 && x[i + 2] == 1) {
      const int type = x[i + 3] & 0x1F;
      if (type == 9) {
        CutVideoUnit(x.data() + unitStart, i - unitStart, m_unitOversize, m_unitStamp);
        m_unitOversize = false;
        unitStart = i;
        cut = true;
        // Every delimiter found now lies in this PES: the first takes its stamp, later ones follow
        // one frame period apart.
        if (firstDelimiter || m_unitStamp < 0 || stamp < 0)
          m_unitStamp = stamp;
        else
          m_unitStamp += m_framePeriod;
        firstDelimiter = false;
      }
      if (m_state < 0x10) {
        if (m_capturing && type != 7 && type != 8) {
          VideoHeaderCaptured();
        } else if (!m_capturing && type == 7) {
          m_capturing = true;
          m_capture.clear();
        }
      }
    }
    if (m_capturing) {
      m_capture.push_back(x[i]);
      if (m_capture.size() > kVideoHeaderMax) {
        m_capturing = false;  // too long for the format message: wait for the next SPS
        m_capture.clear();
      }
    }
  }
  const size_t scannedTo = t >= 3 ? t - 3 : 0;
  // The carried unit begins at its delimiter's NAL header byte.
  size_t erase = cut ? unitStart + 3 : 0;
  if (!cut && t > kCarryMax) {
    // No delimiter for far too long: this unit can never be sent. Keep only the unscanned tail.
    m_unitOversize = true;
    erase = scannedTo;
  }
  x.erase(x.begin(), x.begin() + std::ptrdiff_t(erase));
  m_videoScan = scannedTo > erase ? scannedTo - erase : 0;
}

void CEsFramer::AudioHeaderCaptured(const uint8_t* header) {
  MakeFormatMessage(m_audioFormat, IPC_AUDIO_CONFIG, header, kAdtsHeader);
  m_state |= kAudioHeader;
  MaybeStartStreaming();
}

int64_t CEsFramer::AudioStamp(int samplingIndex) {
  const int rate = int(AacSampleRate(unsigned(samplingIndex)));
  if (rate == 0) return -1;
  if (rate != m_audioRate) {
    // A new rate counts on from where the old one got to.
    if (m_audioBase >= 0 && m_audioRate > 0) m_audioBase += m_audioSamples * kTicksPerSecond / m_audioRate;
    m_audioSamples = 0;
    m_audioRate = rate;
  }
  const int64_t s = m_audioBase < 0 ? -1 : m_audioBase + m_audioSamples * kTicksPerSecond / rate;
  m_audioSamples += 1024;
  return s;
}

bool CEsFramer::AudioHeaderMatches(const uint8_t* h) const {
  const uint8_t* ref = m_audioFormat.body;
  return streamhdr::HasBroadcastAdtsSync(h, kAdtsHeader) && (h[2] & 0xC0) == 0x40 &&
         (h[2] & 0xFE) == (ref[2] & 0xFE) && (h[3] & 0x3F) == (ref[3] & 0x3F);
}

bool CEsFramer::ChainsToEnd(const uint8_t* x, size_t b, size_t t, bool cutAfter, int64_t* whole) const {
  // A true frame start chains frame by frame to the piece's end, or, when more was lost after the
  // piece, into the frame that loss cut. A sync pattern inside a frame almost never does.
  *whole = 0;
  if (!AudioHeaderMatches(x + b)) return false;
  size_t q = b;
  while (q < t) {
    if (t - q < kAdtsHeader) return cutAfter;
    const size_t l = AdtsFrameLength(x + q);
    if (!AudioHeaderMatches(x + q) || l < kAdtsMinFrame) return false;
    if (l > t - q) return cutAfter;
    q += l;
    ++*whole;
  }
  return true;
}

size_t CEsFramer::RejoinAfterLoss(size_t from, size_t t, int64_t stamp, const PesCut& cut,
                                  size_t pieceStart) {
  const uint8_t* x = m_audioCarry.data();
  for (size_t b = from; b + kAdtsHeader <= t; ++b) {
    int64_t whole = 0;
    if (!ChainsToEnd(x, b, t, cut.after, &whole)) continue;
    if (whole == 0) return t;
    // The frames reaching the PES's end are its last ones: count back from the frames a whole PES
    // has held. Otherwise estimate the lost frames from the lost bytes. At least the cut one is gone.
    const int64_t fromEnd = m_usualPesFrames - whole;
    int64_t index;
    if (!cut.after && fromEnd > m_pesFrames) {
      index = fromEnd;
    } else if (cut.offset < 0 || stamp < 0) {
      return t;  // nothing to count from
    } else {
      const int64_t mean = std::max<int64_t>(m_frameBytes, 1);
      const int64_t lostBytes = int64_t(cut.offset) + int64_t(b) - int64_t(pieceStart) - m_pesFramesEnd;
      if (lostBytes < 0) return t;
      index = m_pesFrames + std::max<int64_t>(1, (lostBytes + mean / 2) / mean);
    }
    m_audioBase = stamp;
    m_audioRate = int(AacSampleRate(AdtsSamplingIndex(x + b)));
    m_audioSamples = 1024 * index;
    m_pesFrames = index;
    ++m_counters.audioRejoined;
    return b;
  }
  return t;
}

void CEsFramer::SendBefore(const std::vector<uint8_t>& piece, int64_t next) {
  const size_t t = piece.size();
  const uint8_t* x = piece.data();
  for (size_t b = 0; b + kAdtsHeader <= t; ++b) {
    int64_t whole = 0;
    if (!ChainsToEnd(x, b, t, false, &whole)) continue;
    const int rate = int(AacSampleRate(AdtsSamplingIndex(x + b)));
    if (rate == 0) return;
    size_t q = b;
    for (int64_t k = 0; k < whole; ++k) {
      const size_t l = AdtsFrameLength(x + q);
      const int64_t s = next - 1024 * (whole - k) * kTicksPerSecond / rate;
      if (s > m_lastSoundStamp) {
        ++m_counters.audioFrames;
        Send(IPC_AUDIO_FRAME, x + q, l, s);
        ++m_counters.audioWritten;
        m_lastSoundStamp = s;
      }
      q += l;
    }
    ++m_counters.audioRejoined;
    return;
  }
}

int64_t CEsFramer::AfterLastWholePes() const {
  return m_pesStamp + m_lastWholePesFrames * 1024 * kTicksPerSecond / m_audioRate;
}

void CEsFramer::CountRefusedStamps() {
  m_counters.stampsRefused = uint64_t(m_audioStamps.Refused() + m_videoStamps.Refused());
}

int64_t CEsFramer::TakeAudioStamp(int64_t stamp) {
  const bool known = m_audioRate > 0 && m_pesStamp >= 0;
  const double period = known ? 1024.0 * double(kTicksPerSecond) / m_audioRate : 0;
  const int64_t expected = known && m_lastPesWhole ? AfterLastWholePes() : -1;
  const int64_t taken = m_audioStamps.Take(stamp, period, expected, true);
  CountRefusedStamps();
  return taken;
}

void CEsFramer::FrameAudio(const uint8_t* pes, size_t length, int64_t stamp, const PesCut& cut) {
  std::vector<uint8_t>& x = m_audioCarry;
  if (cut.before) x.clear();  // the frame the carry began lies partly in the lost bytes
  const std::vector<uint8_t> headerless = std::move(m_headerlessPiece);
  m_headerlessPiece.clear();
  if (cut.before && cut.offset < 0) {
    // The PES header was lost with its first packet: only frames reaching its end can be placed,
    // after the last whole PES, or else back from the next PES's stamp.
    if (m_audioRate <= 0 || cut.after) {
      m_lastPesWhole = false;
      return;
    }
    if (!m_lastPesWhole || m_pesStamp < 0 || cut.placedByNext) {
      if (m_state == kStreaming) m_headerlessPiece.assign(pes, pes + length);
      m_lastPesWhole = false;
      return;
    }
    stamp = AfterLastWholePes();
    m_pesGivenStamp = -1;
    m_pesStamp = stamp;
    m_pesFrames = 0;
    m_pesFramesEnd = 0;
    m_pesClean = false;
  } else if (!cut.before || stamp != m_pesGivenStamp) {
    // A new PES: its stamp must fit where the frames before it lie.
    if (!cut.before && !x.empty() && length >= kAdtsHeader && AudioHeaderMatches(pes)) {
      // A frame that would run on into a PES beginning with a frame of its own had its length
      // damaged: waiting for the rest would swallow the frames here.
      if (x.size() >= kAdtsHeader && AudioHeaderMatches(x.data())) ++m_counters.audioBroken;
      x.clear();
    }
    const int64_t given = stamp;
    stamp = m_state == kStreaming ? TakeAudioStamp(stamp) : stamp;
    m_pesGivenStamp = given;
    m_pesStamp = stamp;
    m_pesFrames = 0;
    m_pesFramesEnd = 0;
    m_pesClean = !cut.before;
    if (given >= 0 && stamp < 0) {
      // Neither its own stamp nor the frames before it place this PES.
      x.clear();
      m_lastPesWhole = false;
      return;
    }
    // Its first frame follows the last of a piece held for want of a stamp.
    if (!cut.before && stamp >= 0 && !headerless.empty()) SendBefore(headerless, stamp);
  } else {
    stamp = m_pesStamp;
    if (stamp < 0 && m_pesGivenStamp >= 0) {
      x.clear();  // the rest of a PES that could not be placed
      m_lastPesWhole = false;
      return;
    }
  }
  const bool wasStreaming = m_state == kStreaming;
  const size_t p = x.size();
  x.insert(x.end(), pes, pes + length);
  const size_t t = x.size();
  bool firstInPes = !cut.before;
  size_t firstCandidate = SIZE_MAX;
  size_t next = p == 0 && !cut.before ? 0 : SIZE_MAX;  // where the next frame should begin
  size_t b = cut.before && wasStreaming ? RejoinAfterLoss(0, t, stamp, cut) : 0;
  if (cut.before && b < t) next = b;
  while (b + kAdtsHeader <= t) {
    const uint8_t* h = x.data() + b;
    if (streamhdr::HasBroadcastAdtsSync(h, kAdtsHeader) && (h[2] & 0xC0) == 0x40) {  // and AAC LC
      if (b >= p && firstCandidate == SIZE_MAX) firstCandidate = b;
      if (m_state == kStreaming && AudioHeaderMatches(h)) {
        const size_t l = AdtsFrameLength(h);
        if (l < kAdtsMinFrame) {
          ++m_counters.audioShortLength;
        } else if (t - b >= l) {
          // A frame whose length does not lead to the next frame's header (or the PES's end) had a
          // bit of its length flipped: it is dropped, and framing picks up at the next frame that
          // chains on, placed by its own position, never by counting past the damage.
          const bool chains = b + l + kAdtsHeader > t || AudioHeaderMatches(h + l);
          if (!chains || (wasStreaming && b != next && b >= p && (firstInPes || next != SIZE_MAX))) {
            if (!chains) ++m_counters.audioBroken;
            m_pesClean = false;
            firstInPes = false;
            const size_t from = chains ? b : b + 1;
            b = RejoinAfterLoss(from, t, stamp, cut, p);
            next = b;
            continue;
          }
          if (b >= p && firstInPes) {
            // The PES stamp belongs to the first frame that begins in it; streaming may start a few
            // frames later.
            m_audioBase = stamp;
            m_pesFrames = FramesBetween(x.data(), t, firstCandidate, b);
            m_audioSamples = 1024 * m_pesFrames;
            m_audioRate = int(AacSampleRate(AdtsSamplingIndex(h)));
            firstInPes = false;
          }
          const int64_t s = AudioStamp(int(AdtsSamplingIndex(h)));
          ++m_counters.audioFrames;
          Send(IPC_AUDIO_FRAME, h, l, s);
          m_lastSoundStamp = s;
          ++m_counters.audioWritten;
          if (b >= p) {
            ++m_pesFrames;
            m_pesFramesEnd = int64_t(cut.offset) + int64_t(b - p + l);
          }
          m_frameBytes = m_frameBytes > 0 ? (3 * m_frameBytes + int64_t(l)) / 4 : int64_t(l);
          b += l;
          next = b;
          continue;
        } else {
          break;  // the rest of this frame comes with the next PES
        }
      }
      if ((m_state & 0x0F) == 0) AudioHeaderCaptured(h);
    }
    if (m_state == kStreaming) m_pesClean = false;
    ++b;
  }
  if (b > t) b = t;
  x.erase(x.begin(), x.begin() + std::ptrdiff_t(b));
  if (cut.after) {
    // Its rest was lost: never hand the decoder a damaged frame.
    if (m_state == kStreaming && x.size() >= kAdtsHeader && AudioHeaderMatches(x.data()))
      ++m_counters.audioCut;
    x.clear();
    m_lastPesWhole = false;
  } else {
    m_lastPesWhole = !cut.before && m_pesClean && x.empty() && m_pesFrames > 0;
    if (m_lastPesWhole) {
      // A PES of another size now and then (where an encoder's cycle ends) does not change the
      // usual count: once there is one, two whole PES in a row must agree on another.
      if (m_usualPesFrames == 0 || m_pesFrames == m_lastWholePesFrames) m_usualPesFrames = m_pesFrames;
      m_lastWholePesFrames = m_pesFrames;
    }
  }
  if (x.size() > kCarryMax) x.clear();
}

}  // namespace tevalo::pipeline
