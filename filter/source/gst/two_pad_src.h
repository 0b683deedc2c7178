// The glue both source elements stand on: two always src pads, each run by its own task that waits
// its pass, fills a pooled buffer from its pin, stamps it and pushes it; the pads' activation and
// fixed queries; the element class's location property, state changes and finalisation. An element
// supplies only what differs: its templates, how it times buffers, its state steps, its seeking and
// further queries.
#pragma once

#include <gst/gst.h>

#include <cstdint>

#include "filter/source/gst/pad_task.h"
#include "filter/source/pins.h"

namespace halvik {

class TwoPadSrc;

// The video pad template's caps: top-down BGRx pictures at 15 frames a second.
inline constexpr char kVideoTemplateCaps[] =
    "video/x-raw, format=(string)BGRx, width=(int)[1,4096], height=(int)[1,4096], "
    "framerate=(fraction)15/1, pixel-aspect-ratio=(fraction)1/1";

// The instance struct of both elements: the GStreamer element and its C++ side.
struct TwoPadElement {
  GstElement element;
  TwoPadSrc* impl;
};

class TwoPadSrc {
 public:
  struct ClassInfo {
    const char* long_name;
    const char* description;
    const char* location_blurb;
    GstStaticPadTemplate* video_template;
    GstStaticPadTemplate* audio_template;
  };
  // Installs the location property, the metadata, the templates, the state changes and the
  // finalisation; the instance init then sets `impl` to the element's own subclass.
  static void InitClass(GstElementClass* klass, const ClassInfo& info);

  static TwoPadSrc* From(gpointer element) { return static_cast<TwoPadElement*>(element)->impl; }

  virtual ~TwoPadSrc();
  TwoPadSrc(const TwoPadSrc&) = delete;
  TwoPadSrc& operator=(const TwoPadSrc&) = delete;

  const gchar* location() const { return location_; }
  // The location property: taken (and loaded) only while the element is stopped.
  bool SetLocation(const gchar* location);
  bool stopped() const;
  GstDebugCategory* category() const { return category_; }

 protected:
  struct Passes {
    gulong video_us;  // each pass of a pad's task waits this long first
    gulong audio_us;
  };
  // Makes both pads from the templates (named as they are) and adds them to the element.
  TwoPadSrc(GstElement* element, GstDebugCategory* category, GstStaticPadTemplate* video,
            GstStaticPadTemplate* audio, Passes passes);

  // The element's core, on the pads' task threads.
  virtual bool stopping() const = 0;
  virtual CHalvikVideoStream& video_pin() = 0;
  virtual CHalvikAudioStream& audio_pin() = 0;
  // Loads the location (null for none). A load that fails still leaves a working element.
  virtual void Load(const gchar* location) = 0;
  // The state change with the element's own steps around ParentChangeState.
  virtual GstStateChangeReturn ChangeState(GstStateChange transition) = 0;

  // Buffer time (ns) of a frame time (100 ns).
  virtual GstClockTime BufferTime(int64_t time) const = 0;
  // Playback speed: buffer durations shrink by it.
  virtual double rate() const { return 1.0; }
  virtual PictureSize FirstPictureSize() const { return {kDefaultWidth, kDefaultHeight}; }
  // The rate of AAC sound (an ER-BSAC stream has its own).
  virtual int audio_rate() const { return kAudioRate; }
  // Just before a pad's task takes a buffer (after negotiation): a due segment goes out here.
  virtual void BeforeBuffer(GstPad*) {}
  // A pad's task is started (`video` tells which).
  virtual void Activated(bool /*video*/) {}
  // A sound buffer with this frame time is about to be pushed.
  virtual void AudioStamped(int64_t /*time*/) {}
  // Queries and events beyond scheduling and latency.
  virtual gboolean Query(GstPad* pad, GstQuery* query);
  virtual gboolean Event(GstPad* pad, GstEvent* event);

  GstStateChangeReturn ParentChangeState(GstStateChange transition);
  GstPad* video_pad() const { return video_pad_; }
  GstPad* audio_pad() const { return audio_pad_; }
  GstElement* element() const { return element_; }

  // For a flushing seek: buffers refused (true) or given again (false), and the tasks restarted.
  void SetFlushing(bool flushing);
  void StartTasks();

 private:
  static GstStateChangeReturn ChangeStateFunc(GstElement* element, GstStateChange transition);
  static gboolean ActivateMode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active);
  static gboolean QueryFunc(GstPad* pad, GstObject* parent, GstQuery* query);
  static gboolean EventFunc(GstPad* pad, GstObject* parent, GstEvent* event);
  static void VideoLoop(gpointer self);
  static void AudioLoop(gpointer self);
  void VideoPass();
  void AudioPass();
  bool NegotiateVideo(PictureSize size);
  // Keeps the audio pad at stereo sound of `rate`; false when refused.
  bool NegotiateAudio(int rate);
  static GstBuffer* AcquireMapped(PadOutput& out, GstMapInfo* map);
  void Push(GstPad* pad, GstBuffer* buf);

  GstElement* element_;
  GstDebugCategory* category_;
  Passes passes_;
  GstPad* video_pad_;
  GstPad* audio_pad_;
  PadOutput video_out_;
  PadOutput audio_out_;
  PictureSize video_size_;  // the negotiated picture size; 0x0 before the first
  GstCaps* audio_caps_ = nullptr;
  int audio_caps_rate_ = 0;
  gchar* location_ = nullptr;
};

}  // namespace halvik
