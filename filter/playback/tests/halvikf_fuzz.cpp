// Any file handed to the playback filter is loaded, read in batches, decoded by the pins and sought
// without harm.
#include "filter/playback/halvikf.h"

#include <unistd.h>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/tevalo-halvikf-fuzz-" + std::to_string(::getpid()) + ".rec";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  halvikf::CHalvikF filter;
  if (filter.Load(path) != rec::CRecReader::OpenResult::Ok) return 0;
  std::vector<uint8_t> picture(size_t(320) * 180 * 4), sound(halvik::kAudioBufferSize);
  auto drain = [&] {
    for (int turn = 0; turn < 4 && filter.ReadRecords(0); ++turn) {
    }
    while (filter.queued_video() > 0 || filter.queued_audio() > 0) {
      const auto v = filter.video_pin().FillBuffer(picture.data(), {320, 180}, 320 * 4);
      if (v.kind == halvik::CHalvikVideoStream::Fill::kResized) {
        picture.resize(size_t(v.size.width) * v.size.height * 4);
        filter.video_pin().TakeHeldPicture(picture.data(), ptrdiff_t{v.size.width} * 4);
        picture.assign(size_t(320) * 180 * 4, 0);
      }
      filter.audio_pin().FillBuffer(sound.data());
    }
  };
  drain();
  filter.Seek(filter.Duration() / 2);
  drain();
  filter.Seek(0);
  drain();
  return 0;
}
