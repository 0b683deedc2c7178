// Pictures the live road delivers from tests/fixtures/weak (the sample broadcast at the edge of
// reception), beside the clean broadcast and beside ffmpeg's decode of the same damaged file.
//
//   weak_bench [FFMPEG]   (default: ffmpeg on PATH)
#include <cstdio>
#include <string>

#include "fixture_units.h"
#include "tests/pipeline/delivered_pictures.h"

using namespace tevalo::test;

namespace {

// Frames ffmpeg outputs from the file's video, or -1 when it cannot be run.
int FfmpegFrames(const std::string& ffmpeg, const std::string& file) {
  const std::string cmd = ffmpeg + " -v quiet -i '" + file + "' -map 0:v -f framecrc - 2>/dev/null";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return -1;
  int frames = 0;
  char line[512];
  while (fgets(line, sizeof line, pipe))
    if (line[0] != '#') ++frames;
  return pclose(pipe) == 0 ? frames : -1;
}

void Report(const char* name, const DeliveredPictures& p, int reference) {
  std::printf("%-6s units sent %4zu  pictures %4zu  readable %4zu  first frame %4d", name, p.unitsSent,
              p.delivered, p.frames.size(), p.first);
  if (reference > 0) std::printf("  ffmpeg %4d  ratio %.2f", reference, double(p.delivered) / reference);
  std::printf("%s\n", p.complete ? "" : "  (incomplete run)");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string ffmpeg = argc > 1 ? argv[1] : "ffmpeg";
  const std::string clean = FixturePath("sample/ch25", "stream.ts");
  const std::string weak = FixturePath("weak", "stream.ts");
  const DeliveredPictures c = DeliverPictures(ReadFixtureFile(clean));
  const DeliveredPictures w = DeliverPictures(ReadFixtureFile(weak));
  Report("clean", c, FfmpegFrames(ffmpeg, clean));
  Report("weak", w, FfmpegFrames(ffmpeg, weak));
  if (c.first >= 0 && w.first >= 0)
    std::printf("first picture %.2f s after the clean one's (at most 2 s wanted)\n",
                (w.first - c.first) / 15.0);
  return c.complete && w.complete ? 0 : 1;
}
