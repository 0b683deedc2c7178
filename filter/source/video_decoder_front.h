// H.264 decoding through libavcodec, one decoder per front.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "filter/source/yuv_to_bgrx.h"
#include "ipc/stream_headers.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace halvik {

using streamhdr::PictureSize;

class VideoDecoderFront {
 public:
  VideoDecoderFront();
  ~VideoDecoderFront();
  VideoDecoderFront(const VideoDecoderFront&) = delete;
  VideoDecoderFront& operator=(const VideoDecoderFront&) = delete;

  // Opens a fresh decoder primed with the parameter sets; false when no decoder could be opened.
  bool Open(const uint8_t* config, size_t length);
  bool is_open() const { return ctx_ != nullptr; }

  // The size the configuration announces (0 x 0 when it holds no usable sequence parameter set).
  PictureSize configured_size() const { return configured_; }

  enum class Result { kPicture, kNoPicture, kFailed };
  // Decodes one access unit. Damage is concealed: a damaged unit still gives its picture where
  // anything of it decodes, and a refused one leaves the decoder and its references as they are.
  Result Decode(const uint8_t* unit, size_t length);

  // The last decoded picture (valid after kPicture).
  YuvPlanes picture() const;
  PictureSize picture_size() const;

 private:
  void Close();
  bool OpenDecoder();

  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::vector<uint8_t> config_;
  PictureSize configured_;
};

}  // namespace halvik
