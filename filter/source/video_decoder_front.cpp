#include "filter/source/video_decoder_front.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

#include <cstring>

namespace halvik {

VideoDecoderFront::VideoDecoderFront() : frame_(av_frame_alloc()), packet_(av_packet_alloc()) {}

VideoDecoderFront::~VideoDecoderFront() {
  Close();
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

void VideoDecoderFront::Close() {
  if (ctx_) avcodec_free_context(&ctx_);
  if (frame_) av_frame_unref(frame_);
}

bool VideoDecoderFront::OpenDecoder() {
  Close();
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (!codec || !frame_ || !packet_) return false;
  ctx_ = avcodec_alloc_context3(codec);
  if (!ctx_) return false;
  ctx_->thread_count = 1;
  // Pictures leave the decoder as soon as they are complete (the broadcast has no reordering).
  ctx_->flags |= AV_CODEC_FLAG_LOW_DELAY;
  // At the edge of reception most units are damaged: a concealed picture is better than none, and
  // waiting for the next key picture (or a clean one) would leave the screen frozen for seconds.
  ctx_->flags |= AV_CODEC_FLAG_OUTPUT_CORRUPT;
  ctx_->flags2 |= AV_CODEC_FLAG2_SHOW_ALL;
  ctx_->error_concealment = FF_EC_GUESS_MVS | FF_EC_DEBLOCK;
  if (!config_.empty()) {
    ctx_->extradata = static_cast<uint8_t*>(av_mallocz(config_.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!ctx_->extradata) {
      avcodec_free_context(&ctx_);
      return false;
    }
    std::memcpy(ctx_->extradata, config_.data(), config_.size());
    ctx_->extradata_size = static_cast<int>(config_.size());
  }
  if (avcodec_open2(ctx_, codec, nullptr) < 0) {
    avcodec_free_context(&ctx_);
    return false;
  }
  return true;
}

bool VideoDecoderFront::Open(const uint8_t* config, size_t length) {
  config_.assign(config, config + length);
  configured_ = streamhdr::WalkVideoConfiguration(config, length).value_or(PictureSize{});
  return OpenDecoder();
}

VideoDecoderFront::Result VideoDecoderFront::Decode(const uint8_t* unit, size_t length) {
  if (!ctx_ || length == 0 || length > 1u << 24) return Result::kFailed;
  av_frame_unref(frame_);
  if (av_new_packet(packet_, static_cast<int>(length)) < 0) return Result::kFailed;
  std::memcpy(packet_->data, unit, length);
  int rc = avcodec_send_packet(ctx_, packet_);
  av_packet_unref(packet_);
  // A damaged unit is not a reason to reopen: that would throw the reference pictures away, and
  // the decoder conceals what it lost and goes on by itself.
  if (rc < 0 && rc != AVERROR(EAGAIN)) return Result::kFailed;
  rc = avcodec_receive_frame(ctx_, frame_);
  if (rc == AVERROR(EAGAIN)) return Result::kNoPicture;
  if (rc < 0) return Result::kFailed;
  if (frame_->format != AV_PIX_FMT_YUV420P && frame_->format != AV_PIX_FMT_YUVJ420P) {
    av_frame_unref(frame_);
    return Result::kNoPicture;
  }
  if (frame_->width <= 0 || frame_->height <= 0) return Result::kNoPicture;
  return Result::kPicture;
}

YuvPlanes VideoDecoderFront::picture() const {
  return {frame_->data[0],     frame_->data[1],     frame_->data[2], frame_->linesize[0],
          frame_->linesize[1], frame_->linesize[2], frame_->width,   frame_->height};
}

PictureSize VideoDecoderFront::picture_size() const { return {frame_->width, frame_->height}; }

}  // namespace halvik
