// Cuts complete PES payloads into H.264 access units (at each access-unit delimiter) and ADTS
// frames, captures the two stream headers and hands everything to the delivery output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "player/pipeline/pes_assembler.h"
#include "player/pipeline/stamp_guard.h"
#include "player/pipeline/stream_messages.h"

namespace tevalo::pipeline {

// Where the framer's results go. The stream engine implements it with the send lock held around
// each call; tests record.
class IFramerOutput {
 public:
  virtual ~IFramerOutput() = default;
  // One whole frame message (40000 bytes video, 10280 audio). Only called while streaming.
  virtual void WriteFrame(const uint8_t* message, size_t size) = 0;
  // Both stream headers are known: they go out before any frame (direction 0).
  virtual void SendStreamFormats(int direction, const StreamFormatMessage& video,
                                 const StreamFormatMessage& audio) = 0;
};

class CEsFramer {
 public:
  // Framing state: which headers are captured, and streaming.
  static constexpr uint8_t kNothing = 0x00;
  static constexpr uint8_t kVideoHeader = 0x50;
  static constexpr uint8_t kAudioHeader = 0x05;
  static constexpr uint8_t kBothHeaders = 0x55;
  static constexpr uint8_t kStreaming = 0xAA;

  static constexpr size_t kCarryMax = 262144;
  // Video units cut between the video header and the sound header, kept to go out with the formats
  // (two seconds at 15 frames a second).
  static constexpr size_t kHeldUnitsMax = 30;
  static constexpr int64_t kDefaultFramePeriod = 27000000 / 15;

  explicit CEsFramer(IFramerOutput& out);

  // pes: one complete video PES payload; stamp its PTS x 300 or -1.
  void FrameVideo(const uint8_t* pes, size_t length, int64_t stamp);
  // pes: one complete audio PES payload, or with cut set the undamaged piece of one. A frame the
  // loss cut is dropped; after the loss framing picks up at the next frame that chains on, stamped
  // by its place in the PES.
  void FrameAudio(const uint8_t* pes, size_t length, int64_t stamp, const PesCut& cut = {});

  // A new programme map: both headers must be captured again (held units are dropped), and stamps
  // are believed afresh. The carries stay.
  void ResetState();

  uint8_t State() const { return m_state; }
  const StreamFormatMessage& VideoFormat() const { return m_videoFormat; }
  const StreamFormatMessage& AudioFormat() const { return m_audioFormat; }
  int64_t FramePeriod() const { return m_framePeriod; }

  struct Counters {
    uint64_t videoUnits = 0;  // access units cut
    uint64_t videoWritten = 0;
    uint64_t videoOversize = 0;  // over the message's payload: dropped
    uint64_t audioFrames = 0;    // ADTS frames cut (only while streaming)
    uint64_t audioWritten = 0;
    uint64_t audioShortLength = 0;  // candidates with an impossible length
    uint64_t audioCut = 0;          // frames a loss cut: dropped
    uint64_t audioRejoined = 0;     // pieces after a loss framing picked up in
    uint64_t audioBroken = 0;       // frames whose length does not reach the next frame: dropped
    uint64_t stampsRefused = 0;     // PES stamps off their stream's grid (sound and pictures)
  };
  const Counters& Stats() const { return m_counters; }

 private:
  void CutVideoUnit(const uint8_t* unit, size_t size, bool oversize, int64_t stamp);
  void VideoHeaderCaptured();
  void AudioHeaderCaptured(const uint8_t* header);
  void MaybeStartStreaming();
  int64_t AudioStamp(int samplingIndex);
  bool AudioHeaderMatches(const uint8_t* h) const;
  size_t RejoinAfterLoss(size_t from, size_t t, int64_t stamp, const PesCut& cut, size_t pieceStart = 0);
  // Whether the frame at b chains to t (or, cutAfter, into the frame a later loss cut); whole: the
  // frames that end by t.
  bool ChainsToEnd(const uint8_t* x, size_t b, size_t t, bool cutAfter, int64_t* whole) const;
  int64_t TakeAudioStamp(int64_t stamp);
  // Sends the frames of a sound piece without header that chain to its end, placed back from
  // `next`, the stamp of the PES right after it.
  void SendBefore(const std::vector<uint8_t>& piece, int64_t next);
  // Where the frames of the last whole sound PES end (its stamp, rate and frame count known).
  int64_t AfterLastWholePes() const;
  void CountRefusedStamps();
  void Send(int32_t type, const uint8_t* payload, size_t size, int64_t stamp);

  IFramerOutput& m_out;
  uint8_t m_state = kNothing;

  // Video: bytes of the unit in progress (and anything not yet scanned).
  std::vector<uint8_t> m_videoCarry;
  size_t m_videoScan = 0;       // first carry position not yet examined for a start code
  bool m_unitOversize = false;  // the unit in progress outgrew the carry: it will be dropped
  int64_t m_unitStamp = -1;     // stamp of the unit in progress (from its first byte's PES)
  bool m_capturing = false;
  std::vector<uint8_t> m_capture;
  struct HeldUnit {
    std::vector<uint8_t> bytes;
    int64_t stamp;
  };
  std::vector<HeldUnit> m_heldUnits;
  int64_t m_framePeriod = kDefaultFramePeriod;
  CStampGuard m_videoStamps;
  int64_t m_lastVideoStamp = -1;  // of the last video PES, as placed

  // Audio: bytes after the last complete frame.
  std::vector<uint8_t> m_audioCarry;
  int64_t m_audioBase = -1;  // stamp of the frame that started the current count
  int64_t m_audioSamples = 0;
  int m_audioRate = 0;
  // Frames of the PES being framed, for placing the frames after a loss in it.
  int64_t m_pesStamp = -1;           // as placed
  int64_t m_pesGivenStamp = -1;      // as its header gave it
  bool m_pesClean = false;           // every byte of it so far in frames that chain
  int64_t m_pesFrames = 0;           // frames begun in it so far
  int64_t m_pesFramesEnd = 0;        // payload position after the last of them
  int64_t m_lastWholePesFrames = 0;  // frames of the last PES that came whole
  int64_t m_usualPesFrames = 0;      // frames two whole PES in a row held
  bool m_lastPesWhole = false;       // the PES framed last was that one
  int64_t m_frameBytes = 0;          // mean frame length (running)
  // A piece whose header was lost after a PES that did not come whole: nothing before it places
  // it, so it waits for the next PES's stamp.
  std::vector<uint8_t> m_headerlessPiece;
  int64_t m_lastSoundStamp = -1;  // of the last sound frame sent
  CStampGuard m_audioStamps;

  StreamFormatMessage m_videoFormat{};
  StreamFormatMessage m_audioFormat{};
  std::unique_ptr<StreamFrameMessage> m_message;  // 40000 bytes: one record for every unit
  Counters m_counters;
};

}  // namespace tevalo::pipeline
