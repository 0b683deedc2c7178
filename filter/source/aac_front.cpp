#include "filter/source/aac_front.h"

#include <neaacdec.h>

#include <cstring>
#include <vector>

namespace halvik {

AacFront::OpenResult AacFront::aac_open(int kind, const uint8_t* data, size_t length) {
  aac_close();
  OpenResult r;
  if (!data || length == 0 || length > 0xFFFFFFFFu) return r;
  NeAACDecHandle h = NeAACDecOpen();
  if (!h) return r;
  NeAACDecConfigurationPtr cfg = NeAACDecGetCurrentConfiguration(h);
  cfg->outputFormat = FAAD_FMT_16BIT;
  cfg->dontUpSampleImplicitSBR = 0;
  cfg->downMatrix = 0;
  if (kind == 1) {
    cfg->defObjectType = HE_AAC;
    cfg->defSampleRate = 24000;
  } else {
    cfg->defObjectType = LC;
    cfg->defSampleRate = 0;
    cfg->useOldADTSFormat = 0;
  }
  NeAACDecSetConfiguration(h, cfg);
  // FAAD2 takes a non-const buffer; hand it a copy.
  std::vector<unsigned char> copy(data, data + length);
  unsigned long rate = 0;
  unsigned char channels = 0;
  long rc;
  if (kind == 1)
    rc = NeAACDecInit2(h, copy.data(), static_cast<unsigned long>(length), &rate, &channels);
  else
    rc = NeAACDecInit(h, copy.data(), static_cast<unsigned long>(length), &rate, &channels);
  if (rc < 0) {
    NeAACDecClose(h);
    return r;
  }
  handle_ = h;
  r.rc = static_cast<int32_t>(rc);
  r.sample_rate = static_cast<uint32_t>(rate);
  r.channels = channels;
  r.object_type = NeAACDecGetCurrentConfiguration(h)->defObjectType;
  r.bits = 16;
  return r;
}

AacFront::DecodeResult AacFront::aac_decode(uint8_t* dst, size_t capacity, const uint8_t* data,
                                            size_t length) {
  DecodeResult r;
  if (!handle_ || !data || length == 0) return r;
  int32_t skipped = 0;
  if (length >= 2 && data[0] == 0x00 && data[1] == 0x21) {
    ++data;
    --length;
    skipped = 1;
  }
  NeAACDecFrameInfo info{};
  void* pcm = NeAACDecDecode(static_cast<NeAACDecHandle>(handle_), &info, const_cast<unsigned char*>(data),
                             static_cast<unsigned long>(length));
  if (info.error != 0 || !pcm) {
    if (info.error == 0) r.consumed = static_cast<int32_t>(info.bytesconsumed) + skipped;
    return r;
  }
  const size_t bytes = size_t{info.samples} * 2;
  if (bytes > capacity) return r;
  std::memcpy(dst, pcm, bytes);
  r.consumed = static_cast<int32_t>(info.bytesconsumed) + skipped;
  r.out_bytes = bytes;
  r.channels = info.channels;
  r.sample_rate = static_cast<uint32_t>(info.samplerate);
  return r;
}

void AacFront::aac_close() {
  if (handle_) NeAACDecClose(static_cast<NeAACDecHandle>(handle_));
  handle_ = nullptr;
}

}  // namespace halvik
