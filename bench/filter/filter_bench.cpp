// Throughput of the live filter's pins, each beside a reference run on the same stream in the same
// run: the video pin (H.264 decode + BGRx conversion) beside `ffmpeg -threads 1 -i FILE -f null
// -pix_fmt bgr0 -`, the audio pin (decode, channel handling, burst check) beside FAAD2 alone.
#include <neaacdec.h>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "es_util.h"
#include "filter/source/pins.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

int Run(const std::string& cmd) {
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

double VideoPin(const std::vector<testes::Bytes>& aus, int rounds, size_t* frames) {
  halvik::FrameQueue q(aus.size() + 1);
  halvik::CHalvikVideoStream pin(q);
  const auto cfg = testes::ParameterSets(aus[0]);
  std::vector<uint8_t> buf(320 * 180 * 4);
  *frames = 0;
  double total = 0;
  for (int r = 0; r < rounds; ++r) {
    pin.OpenVideoDecoder(cfg.data(), cfg.size());
    for (const auto& au : aus) {
      auto rec = std::make_unique<halvik::FrameRecord>();
      rec->payload = au;
      q.Push(std::move(rec));
    }
    const auto t0 = Clock::now();
    for (size_t i = 0; i < aus.size(); ++i)
      *frames +=
          pin.FillBuffer(buf.data(), {320, 180}, 1280).kind == halvik::CHalvikVideoStream::Fill::kDeliver;
    total += Seconds(t0, Clock::now());
  }
  return total;
}

double AudioPin(const std::vector<testes::Bytes>& frames, int rounds) {
  halvik::FrameQueue q(frames.size() + 1);
  std::atomic<int32_t> selection{1};
  halvik::CHalvikAudioStream pin(q, selection);
  std::vector<uint8_t> cfg(1016, 0), buf(halvik::kAudioBufferSize);
  std::copy(frames[0].begin(), frames[0].begin() + 7, cfg.begin());
  double total = 0;
  for (int r = 0; r < rounds; ++r) {
    pin.OpenAudioDecoder(cfg.data(), 7);
    for (const auto& f : frames) {
      auto rec = std::make_unique<halvik::FrameRecord>();
      rec->payload = f;
      q.Push(std::move(rec));
    }
    const auto t0 = Clock::now();
    for (size_t i = 0; i < frames.size(); ++i) pin.FillBuffer(buf.data());
    total += Seconds(t0, Clock::now());
  }
  return total;
}

double Faad2Alone(std::vector<testes::Bytes> frames, int rounds) {
  double total = 0;
  for (int r = 0; r < rounds; ++r) {
    NeAACDecHandle h = NeAACDecOpen();
    NeAACDecConfigurationPtr c = NeAACDecGetCurrentConfiguration(h);
    c->outputFormat = FAAD_FMT_16BIT;
    NeAACDecSetConfiguration(h, c);
    unsigned long rate;
    unsigned char ch;
    NeAACDecInit(h, frames[0].data(), 7, &rate, &ch);
    const auto t0 = Clock::now();
    for (auto& f : frames) {
      NeAACDecFrameInfo info;
      NeAACDecDecode(h, &info, f.data(), static_cast<unsigned long>(f.size()));
    }
    total += Seconds(t0, Clock::now());
    NeAACDecClose(h);
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string ts = argc > 1 ? argv[1] : TEVALO_SAMPLE_STREAM;
  char tmpl[] = "/tmp/filter_bench.XXXXXX";
  const std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";
  const std::string h264 = dir + "/video.h264", adts = dir + "/audio.aac";
  if (Run("ffmpeg -loglevel error -y -i '" + ts + "' -map 0:v:0 -c copy -f h264 '" + h264 +
          "' -map 0:a:0 -c copy -f adts '" + adts + "'") != 0) {
    std::fprintf(stderr, "filter_bench: ffmpeg cannot read %s\n", ts.c_str());
    return 1;
  }
  const auto aus = testes::SplitAccessUnits(testes::ReadFile(h264));
  auto frames = testes::SplitAdts(testes::ReadFile(adts));
  for (auto& f : frames) f = testes::WithCrc(f);
  if (aus.empty() || frames.empty()) {
    std::fprintf(stderr, "filter_bench: no access units or ADTS frames in %s\n", ts.c_str());
    return 1;
  }
  constexpr int kRounds = 3;

  size_t pictures = 0;
  const double pin_s = VideoPin(aus, kRounds, &pictures);
  // ffmpeg's own measure of its decoding run (-benchmark: rtime), without the process start.
  double ffmpeg_s = 0;
  const std::string log = dir + "/ffmpeg.log";
  for (int r = 0; r < kRounds; ++r) {
    Run("ffmpeg -hide_banner -benchmark -threads 1 -i '" + h264 + "' -f null -pix_fmt bgr0 - 2>'" + log +
        "'");
    const auto text = testes::ReadFile(log);
    const std::string s(text.begin(), text.end());
    const auto at = s.rfind("rtime=");
    if (at == std::string::npos) {
      std::fprintf(stderr, "filter_bench: no ffmpeg benchmark line\n");
      return 1;
    }
    ffmpeg_s += std::atof(s.c_str() + at + 6);
  }
  const double pin_fps = double(pictures) / pin_s;
  const double ffmpeg_fps = double(aus.size() * kRounds) / ffmpeg_s;
  std::printf("video: %zu access units x %d\n", aus.size(), kRounds);
  std::printf("  video pin (decode + BGRx)     %8.0f frames/s\n", pin_fps);
  std::printf("  ffmpeg -threads 1 to bgr0     %8.0f frames/s\n", ffmpeg_fps);
  std::printf("  ratio pin / ffmpeg            %8.2f\n", pin_fps / ffmpeg_fps);
  std::printf("  real-time need: 15 frames/s; pin headroom x%.0f\n", pin_fps / 15);

  const double audio_s = AudioPin(frames, kRounds);
  const double faad_s = Faad2Alone(frames, kRounds);
  const double audio_fps = double(frames.size() * kRounds) / audio_s;
  const double faad_fps = double(frames.size() * kRounds) / faad_s;
  std::printf("audio: %zu ADTS frames x %d\n", frames.size(), kRounds);
  std::printf("  audio pin (decode + checks)   %8.0f frames/s\n", audio_fps);
  std::printf("  FAAD2 alone                   %8.0f frames/s\n", faad_fps);
  std::printf("  ratio pin / FAAD2             %8.2f\n", audio_fps / faad_fps);
  std::printf("  real-time need: 23.4 frames/s; pin headroom x%.0f\n", audio_fps / 23.4);
  Run("rm -rf '" + dir + "'");
  return 0;
}
