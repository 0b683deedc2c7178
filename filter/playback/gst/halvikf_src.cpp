#include "filter/playback/gst/halvikf_src.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "filter/playback/halvikf.h"
#include "filter/source/gst/two_pad_src.h"

GST_DEBUG_CATEGORY_STATIC(halvikf_debug);
#define GST_CAT_DEFAULT halvikf_debug

namespace halvikf {
namespace {

constexpr gulong kAudioPassUs = 10000;
constexpr gulong kVideoPassUs = 15000;
// Buffer times run from this offset, the segment's start, so that a picture recorded a little ahead
// of the first sound after a seek keeps its place instead of wrapping below zero.
constexpr GstClockTime kTimeOffset = GST_SECOND;

using HalvikFSrc = halvik::TwoPadElement;
using HalvikFSrcClass = GstElementClass;

G_DEFINE_TYPE(HalvikFSrc, halvikf_src_impl, GST_TYPE_ELEMENT)

GstStaticPadTemplate video_template = GST_STATIC_PAD_TEMPLATE(kVideoPinName, GST_PAD_SRC, GST_PAD_ALWAYS,
                                                              GST_STATIC_CAPS(halvik::kVideoTemplateCaps));

GstStaticPadTemplate audio_template = GST_STATIC_PAD_TEMPLATE(
    kAudioPinName, GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, "
                    "rate=(int)[8000,192000], channels=(int)2, channel-mask=(bitmask)0x3"));

class PlaybackSrc final : public halvik::TwoPadSrc {
 public:
  explicit PlaybackSrc(GstElement* element)
      : TwoPadSrc(element, halvikf_debug, &video_template, &audio_template, {kVideoPassUs, kAudioPassUs}) {}

 private:
  bool stopping() const override { return core_.stopping(); }
  halvik::CHalvikVideoStream& video_pin() override { return core_.video_pin(); }
  halvik::CHalvikAudioStream& audio_pin() override { return core_.audio_pin(); }
  double rate() const override { return core_.rate(); }
  int audio_rate() const override { return core_.audio_rate(); }

  halvik::PictureSize FirstPictureSize() const override {
    const halvik::PictureSize s = core_.video_size();
    if (s.width <= 0 || s.height <= 0) return {halvik::kDefaultWidth, halvik::kDefaultHeight};
    return s;
  }

  // Sample times are the file times divided by the rate.
  GstClockTime BufferTime(int64_t time) const override {
    const double t = static_cast<double>(time) / core_.rate();
    return GstClockTime(std::max<int64_t>(0, int64_t(kTimeOffset / 100) + int64_t(t))) * 100;
  }

  void Activated(bool video) override { (video ? video_segment_due_ : audio_segment_due_).store(true); }

  void BeforeBuffer(GstPad* pad) override {
    std::atomic<bool>& due = pad == video_pad() ? video_segment_due_ : audio_segment_due_;
    if (!due.exchange(false)) return;
    GstSegment seg;
    gst_segment_init(&seg, GST_FORMAT_TIME);
    guint32 seqnum;
    {
      std::lock_guard lock(state_mutex_);
      seg.time = segment_time_;
      seqnum = segment_seqnum_;
    }
    seg.start = kTimeOffset;
    seg.position = kTimeOffset;
    seg.applied_rate = core_.rate();
    GstEvent* ev = gst_event_new_segment(&seg);
    if (seqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(ev, seqnum);
    GST_DEBUG_OBJECT(element(), "segment on %s from file time %" GST_TIME_FORMAT, GST_PAD_NAME(pad),
                     GST_TIME_ARGS(seg.time));
    gst_pad_push_event(pad, ev);
  }

  void AudioStamped(int64_t time) override { last_time_.store(time); }

  GstClockTime Duration() const { return GstClockTime(core_.Duration()) * 100; }

  static const char* LoadFailure(rec::CRecReader::OpenResult result) {
    using R = rec::CRecReader::OpenResult;
    switch (result) {
      case R::NotRecPath:
        return "not a .rec path";
      case R::CannotOpen:
        return "the file cannot be opened";
      case R::NotAFile:
        return "not a regular file";
      default:
        return "not a readable recording";
    }
  }

  void Load(const gchar* path) override {
    const auto result = core_.Load(path ? path : "");
    load_result_ = result;
    if (result != rec::CRecReader::OpenResult::Ok)
      GST_WARNING_OBJECT(element(), "not loaded (%d): %s", int(result), path ? path : "(null)");
    std::lock_guard lock(state_mutex_);
    stop_position_ = Duration();
  }

  GstStateChangeReturn ChangeState(GstStateChange transition) override {
    switch (transition) {
      case GST_STATE_CHANGE_READY_TO_PAUSED: {
        if (!core_.loaded()) {
          GST_ELEMENT_ERROR(element(), RESOURCE, OPEN_READ,
                            ("cannot play %s", location() ? location() : "(none)"),
                            ("%s", LoadFailure(load_result_)));
          return GST_STATE_CHANGE_FAILURE;
        }
        {
          std::lock_guard lock(state_mutex_);
          segment_time_ = 0;
          segment_seqnum_ = GST_SEQNUM_INVALID;
          last_time_.store(-1);
        }
        core_.Pause();
        break;
      }
      case GST_STATE_CHANGE_PAUSED_TO_PLAYING:
        core_.Run();
        break;
      case GST_STATE_CHANGE_PAUSED_TO_READY:
        // A seek scanning a damaged file holds the pads' stream locks that the stop needs.
        core_.Interrupt();
        break;
      default:
        break;
    }
    const GstStateChangeReturn rc = ParentChangeState(transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
      core_.Stop();
      std::lock_guard lock(seek_mutex_);
      last_seek_seqnum_ = GST_SEQNUM_INVALID;
    }
    return rc;
  }

  gboolean Event(GstPad* pad, GstEvent* event) override {
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEEK) return TwoPadSrc::Event(pad, event);
    const gboolean ok = HandleSeek(event);
    gst_event_unref(event);
    return ok;
  }

  // A seek reaches both pads (each sink sends it upstream); the first one does the work.
  gboolean HandleSeek(GstEvent* event) {
    gdouble rate;
    GstFormat format;
    GstSeekFlags flags;
    GstSeekType start_type, stop_type;
    gint64 start, stop;
    gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
    const guint32 seqnum = gst_event_get_seqnum(event);
    std::lock_guard lock(seek_mutex_);
    if (seqnum == last_seek_seqnum_) return TRUE;
    // Seeks go to a prerolled or playing element; a stopped one starts at the beginning.
    const bool active = gst_pad_is_active(video_pad()) && gst_pad_is_active(audio_pad());
    if (format != GST_FORMAT_TIME || !(rate > 0) || !core_.loaded() || !active) return FALSE;
    last_seek_seqnum_ = seqnum;
    const GstClockTime duration = Duration();
    GstClockTime target;
    {
      std::lock_guard state(state_mutex_);
      target = segment_time_ + GstClockTime(std::max<int64_t>(0, last_time_.load())) * 100;
      if (stop_type == GST_SEEK_TYPE_SET)
        stop_position_ = std::min<GstClockTime>(GstClockTime(std::max<gint64>(0, stop)), duration);
      else if (stop_type == GST_SEEK_TYPE_END)
        stop_position_ = GstClockTime(std::max<gint64>(0, gint64(duration) + stop));
    }
    if (start_type == GST_SEEK_TYPE_SET)
      target = GstClockTime(std::max<gint64>(0, start));
    else if (start_type == GST_SEEK_TYPE_END)
      target = GstClockTime(std::max<gint64>(0, gint64(duration) + start));
    target = std::min(target, duration);

    // What was queued for the old position goes, downstream too.
    for (GstPad* pad : {video_pad(), audio_pad()}) {
      GstEvent* flush = gst_event_new_flush_start();
      gst_event_set_seqnum(flush, seqnum);
      gst_pad_push_event(pad, flush);
    }
    SetFlushing(true);
    // The loops hold their streaming locks for a whole pass; paused, they let go after it.
    gst_pad_pause_task(video_pad());
    gst_pad_pause_task(audio_pad());
    GST_PAD_STREAM_LOCK(video_pad());
    GST_PAD_STREAM_LOCK(audio_pad());
    const bool positioned = core_.Seek(int64_t(target / 100));
    core_.SetRate(rate);
    {
      std::lock_guard state(state_mutex_);
      segment_time_ = target;
      segment_seqnum_ = seqnum;
      last_time_.store(-1);
    }
    SetFlushing(false);
    for (GstPad* pad : {video_pad(), audio_pad()}) {
      GstEvent* flush = gst_event_new_flush_stop(TRUE);
      gst_event_set_seqnum(flush, seqnum);
      gst_pad_push_event(pad, flush);
    }
    video_segment_due_.store(true);
    audio_segment_due_.store(true);
    GST_PAD_STREAM_UNLOCK(audio_pad());
    GST_PAD_STREAM_UNLOCK(video_pad());
    StartTasks();
    GST_DEBUG_OBJECT(element(), "seek to %" GST_TIME_FORMAT " rate %f: %s", GST_TIME_ARGS(target), rate,
                     positioned ? "positioned" : "no record found");
    return TRUE;
  }

  gboolean Query(GstPad* pad, GstQuery* query) override {
    switch (GST_QUERY_TYPE(query)) {
      case GST_QUERY_DURATION: {
        GstFormat format;
        gst_query_parse_duration(query, &format, nullptr);
        if (format != GST_FORMAT_TIME || !core_.loaded()) return FALSE;
        gst_query_set_duration(query, GST_FORMAT_TIME, gint64(Duration()));
        return TRUE;
      }
      case GST_QUERY_POSITION: {
        GstFormat format;
        gst_query_parse_position(query, &format, nullptr);
        if (format != GST_FORMAT_TIME || !core_.loaded()) return FALSE;
        std::lock_guard lock(state_mutex_);
        const int64_t t = last_time_.load();
        const GstClockTime pos = segment_time_ + GstClockTime(std::max<int64_t>(0, t)) * 100;
        gst_query_set_position(query, GST_FORMAT_TIME, gint64(std::min(pos, Duration())));
        return TRUE;
      }
      case GST_QUERY_SEEKING: {
        GstFormat format;
        gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
        if (format != GST_FORMAT_TIME) {
          gst_query_set_seeking(query, format, FALSE, -1, -1);
          return TRUE;
        }
        const bool loaded = core_.loaded();
        gst_query_set_seeking(query, GST_FORMAT_TIME, loaded, 0, loaded ? gint64(Duration()) : -1);
        return TRUE;
      }
      default:
        return TwoPadSrc::Query(pad, query);
    }
  }

  CHalvikF core_;  // destroyed first: joins the read thread
  rec::CRecReader::OpenResult load_result_ = rec::CRecReader::OpenResult::CannotOpen;

  std::mutex seek_mutex_;                          // one seek at a time (held across the flush)
  guint32 last_seek_seqnum_ = GST_SEQNUM_INVALID;  // seek_mutex_
  mutable std::mutex state_mutex_;                 // the segment's values below
  guint32 segment_seqnum_ = GST_SEQNUM_INVALID;
  GstClockTime segment_time_ = 0;   // file position of the segment's start, ns
  GstClockTime stop_position_ = 0;  // ns
  std::atomic<bool> video_segment_due_{true};
  std::atomic<bool> audio_segment_due_{true};
  std::atomic<int64_t> last_time_{-1};  // file time of the last sound pushed, 100 ns; -1 none
};

void halvikf_src_impl_class_init(HalvikFSrcClass* klass) {
  halvik::TwoPadSrc::InitClass(klass,
                               {kFilterName, "Plays .rec recordings back through the broadcast decoders",
                                "Path of the .rec recording", &video_template, &audio_template});
}

void halvikf_src_impl_init(HalvikFSrc* self) { self->impl = new PlaybackSrc(GST_ELEMENT(self)); }

}  // namespace

GType halvikf_src_get_type() { return halvikf_src_impl_get_type(); }

gboolean halvikf_src_register(GstPlugin* plugin) {
  // Here rather than at class init, so that the category is listed and takes GST_DEBUG's level
  // before the first element is made.
  GST_DEBUG_CATEGORY_INIT(halvikf_debug, "halvikfsrc", 0, kFilterName);
  return gst_element_register(plugin, "halvikfsrc", GST_RANK_NONE, halvikf_src_get_type());
}

}  // namespace halvikf
