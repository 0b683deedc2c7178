// Any file handed to the reader is opened, read to its end and sought without harm.
#include "filter/playback/rec_reader.h"

#include <unistd.h>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/tevalo-recfuzz-" + std::to_string(::getpid()) + ".rec";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  rec::CRecReader reader;
  if (reader.Open(path) == rec::CRecReader::OpenResult::Ok) {
    rec::Record record;
    for (int i = 0; i < 10000 && reader.ReadRecord(record) != rec::CRecReader::ReadResult::End; ++i) {
    }
    for (uint64_t ms : {uint64_t(0), uint64_t(1), uint64_t(reader.DurationMs()) / 2,
                        uint64_t(reader.DurationMs()), uint64_t(reader.DurationMs()) * 3}) {
      if (reader.SeekToTime(ms)) reader.ReadRecord(record);
    }
  }
  return 0;
}
