// filter_bench [stream.ts]: the live filter's pins beside their decoders alone, in this process, on
// the units the player sends for the sample broadcast (cut by the player's own demultiplexer and
// framer): the video pin (H.264 decode + BGRx conversion, queue and record tap) beside libavcodec's
// H.264 decoder set up as the pin sets it (one thread, low delay) decoding the same access units, and
// the audio pin (decode, channel handling, burst check) beside FAAD2 alone. The ratios are the pins'
// overhead over their decoders. Runs alternate; the best thread CPU time of three counts.
extern "C" {
#include <libavcodec/avcodec.h>
}
#include <neaacdec.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/demux_all.h"
#include "filter/source/pins.h"
#include "ipc/filter_protocol.h"
#include "ipc/little_endian.h"
#include "player/pipeline/es_framer.h"
#include "player/pipeline/ts_demux.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace tevalo::pipeline;

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// What the player's delivery thread would write: the stream headers and every unit.
struct Units : IFramerOutput, IStreamPacketSink {
  CEsFramer framer{*this};
  Bytes videoConfig, audioConfig;
  std::vector<Bytes> video, audio;
  void WriteFrame(const uint8_t* m, size_t) override {
    const Bytes unit(m + 40, m + 40 + ipcle::GetU32(m + 4));
    (ipcle::GetI32(m) == IPC_VIDEO_FRAME ? video : audio).push_back(unit);
  }
  void SendStreamFormats(int, const StreamFormatMessage& v, const StreamFormatMessage& a) override {
    videoConfig.assign(v.body, v.body + v.length);
    audioConfig.assign(a.body, a.body + a.length);
  }
  // The filter keeps each header in a zero-filled 1016-byte body.
  static Bytes Padded(const Bytes& b) {
    Bytes out(1016, 0);
    std::copy(b.begin(), b.end(), out.begin());
    return out;
  }
  void PushPacket(std::unique_ptr<StreamPacket> p) override {
    if (p->kind == 1)
      framer.FrameVideo(p->data.data(), p->data.size(), p->stamp);
    else
      framer.FrameAudio(p->data.data(), p->data.size(), p->stamp, p->cut);
  }
};

bool CutUnits(const std::string& path, Units& u) {
  std::ifstream in(path, std::ios::binary);
  const Bytes ts{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  tevalo::bench::DemuxAll(ts.data(), ts.size(), u);
  return !u.video.empty() && !u.audio.empty() && !u.videoConfig.empty();
}

double VideoPin(const Units& u, size_t* pictures) {
  halvik::FrameQueue q(u.video.size() + 1);
  halvik::CHalvikVideoStream pin(q);
  const Bytes config = Units::Padded(u.videoConfig);
  pin.OpenVideoDecoder(config.data(), u.videoConfig.size());
  for (const auto& au : u.video) {
    auto rec = std::make_unique<halvik::FrameRecord>();
    rec->payload = au;
    q.Push(std::move(rec));
  }
  std::vector<uint8_t> buf(320 * 180 * 4);
  *pictures = 0;
  const double t0 = CpuSeconds();
  for (size_t i = 0; i < u.video.size(); ++i)
    *pictures +=
        pin.FillBuffer(buf.data(), {320, 180}, 1280).kind == halvik::CHalvikVideoStream::Fill::kDeliver;
  return CpuSeconds() - t0;
}

// libavcodec alone, opened as the pin opens it, on the same units.
double Libavcodec(const Units& u, size_t* pictures) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->thread_count = 1;
  ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
  ctx->extradata = static_cast<uint8_t*>(av_mallocz(u.videoConfig.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::copy(u.videoConfig.begin(), u.videoConfig.end(), ctx->extradata);
  ctx->extradata_size = int(u.videoConfig.size());
  avcodec_open2(ctx, codec, nullptr);
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  *pictures = 0;
  const double t0 = CpuSeconds();
  for (const auto& au : u.video) {
    av_new_packet(pkt, int(au.size()));
    std::copy(au.begin(), au.end(), pkt->data);
    avcodec_send_packet(ctx, pkt);
    av_packet_unref(pkt);
    while (avcodec_receive_frame(ctx, frame) == 0) ++*pictures;
  }
  const double t = CpuSeconds() - t0;
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
  return t;
}

double AudioPin(const Units& u) {
  halvik::FrameQueue q(u.audio.size() + 1);
  std::atomic<int32_t> selection{1};
  halvik::CHalvikAudioStream pin(q, selection);
  const Bytes config = Units::Padded(u.audioConfig);
  pin.OpenAudioDecoder(config.data(), u.audioConfig.size());
  for (const auto& f : u.audio) {
    auto rec = std::make_unique<halvik::FrameRecord>();
    rec->payload = f;
    q.Push(std::move(rec));
  }
  std::vector<uint8_t> buf(halvik::kAudioBufferSize);
  const double t0 = CpuSeconds();
  for (size_t i = 0; i < u.audio.size(); ++i) pin.FillBuffer(buf.data());
  return CpuSeconds() - t0;
}

double Faad2(const Units& u) {
  NeAACDecHandle h = NeAACDecOpen();
  NeAACDecConfigurationPtr c = NeAACDecGetCurrentConfiguration(h);
  c->outputFormat = FAAD_FMT_16BIT;
  NeAACDecSetConfiguration(h, c);
  unsigned long rate;
  unsigned char channels;
  Bytes first = u.audio[0];
  NeAACDecInit(h, first.data(), static_cast<unsigned long>(first.size()), &rate, &channels);
  const double t0 = CpuSeconds();
  for (auto f : u.audio) {
    NeAACDecFrameInfo info;
    NeAACDecDecode(h, &info, f.data(), static_cast<unsigned long>(f.size()));
  }
  const double t = CpuSeconds() - t0;
  NeAACDecClose(h);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string ts = argc > 1 ? argv[1] : TEVALO_SAMPLE_STREAM;
  Units u;
  if (!CutUnits(ts, u)) {
    std::fprintf(stderr, "filter_bench: no stream headers and units in %s\n", ts.c_str());
    return 1;
  }
  double pin = 1e9, ref = 1e9, audioPin = 1e9, faad = 1e9;
  size_t pictures = 0, refPictures = 0;
  for (int run = 0; run < 3; ++run) {
    pin = std::min(pin, VideoPin(u, &pictures));
    ref = std::min(ref, Libavcodec(u, &refPictures));
    audioPin = std::min(audioPin, AudioPin(u));
    faad = std::min(faad, Faad2(u));
  }
  const double n = double(u.video.size()), a = double(u.audio.size());
  std::printf("video: %zu access units as the player sends them (best of 3, CPU time)\n", u.video.size());
  std::printf("  video pin (decode + BGRx)       %8.0f units/s (%zu pictures)\n", n / pin, pictures);
  std::printf("  libavcodec H.264 alone          %8.0f units/s (%zu pictures)\n", n / ref, refPictures);
  std::printf("  pin time / decoder time         %8.2f\n", pin / ref);
  std::printf("  real-time need: 15 units/s; pin headroom x%.0f\n", n / pin / 15);
  std::printf("audio: %zu ADTS frames\n", u.audio.size());
  std::printf("  audio pin (decode + checks)     %8.0f frames/s\n", a / audioPin);
  std::printf("  FAAD2 alone                     %8.0f frames/s\n", a / faad);
  std::printf("  pin time / decoder time         %8.2f\n", audioPin / faad);
  std::printf("  real-time need: 23.4 frames/s; pin headroom x%.0f\n", a / audioPin / 23.4);
  return 0;
}
