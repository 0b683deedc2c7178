#pragma once
// The player's owner of one media graph: a GStreamer pipeline whose source element is chosen by the
// installation's registrations ("x-dmb" URLs, ".rec" files), its video pad rendered by the
// "Video Renderer" and its audio pad through a volume stage to the audio sink.
#include "player/pipeline/graph/video_output.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;
typedef struct _GstAppSink GstAppSink;

// What building and events do to the window that owns the graph.
class IMediaGraphOwner {
 public:
  virtual ~IMediaGraphOwner() = default;
  // The graph could not be built: the window closes the channel (code 14) and shows why.
  virtual void OnGraphBuildFailed() = 0;
  // The graph was built: the window shows its video area and playing state.
  virtual void OnGraphBuilt() = 0;
  // A graph event is waiting; the window calls HandleGraphEvent on its own thread. Any thread.
  virtual void PostGraphEvent() = 0;
  // The end of a recording was reached.
  virtual void StopFilePlayback() = 0;
  // The source element has taken its URL or path (for a live URL: the player answered the
  // filter's open report and its end of the channel exists). False makes the build a partial one,
  // which counts as failed. On the building thread.
  virtual bool SourceLoaded(const std::u16string& urlOrPath) {
    (void)urlOrPath;
    return true;
  }
};

// HRESULT-style results.
using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218u);
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);

class CMediaGraph {
 public:
  CMediaGraph(IMediaGraphOwner* owner, IVideoOutput* video);
  virtual ~CMediaGraph();
  CMediaGraph(const CMediaGraph&) = delete;
  CMediaGraph& operator=(const CMediaGraph&) = delete;

  HRESULT Open(const std::u16string& urlOrPath);
  HRESULT BuildGraph(const std::u16string& urlOrPath);
  HRESULT TearDown();
  HRESULT Stop();
  HRESULT Run();
  HRESULT Pause();
  bool HasGraph() const;

  HRESULT PrepareVideoWindow(int* width, int* height);
  HRESULT SetWindowPosition(int left, int top, int width, int height);
  HRESULT SetVisible(bool visible);
  // Hundredths of a decibel, -10000 (silent) to 0 (full).
  HRESULT SetVolume(long volume);
  // Tenths of a second.
  HRESULT GetDuration(int* tenths);
  int GetPosition(int* tenths);
  HRESULT SetPosition(int tenths);
  // Average frames per second x 100 since the graph last started running; -1 without a renderer.
  int GetFrameRate() const;
  // Drains the graph's events; the end of a recording calls the owner's StopFilePlayback.
  HRESULT HandleGraphEvent();

  // Sees every audio buffer entering the audio stage (S16 interleaved as the source sends it), on
  // the streaming thread. Set before the build; for tests and diagnostics.
  using AudioTap =
      std::function<void(const int16_t* samples, size_t frames, int channels, int rate, int64_t ptsNs)>;
  void SetAudioTap(AudioTap tap) { m_audioTap = std::move(tap); }

  // The pipeline's source element name, for tests and diagnostics ("" without a graph).
  std::string SourceFactory() const;

 private:
  struct Graph;
  struct Renderer;
  std::shared_ptr<Graph> Current() const;
  static int OnBusMessage(GstBus* bus, GstMessage* message, void* self);
  // The renderer's picture callbacks (preroll: the picture that completes a pause), on its
  // streaming thread.
  static int DeliverSample(GstAppSink* sink, void* renderer, bool preroll);

  IMediaGraphOwner* m_owner;
  IVideoOutput* m_video;
  AudioTap m_audioTap;
  // The graph pointer is swapped under this lock; no lock is held while a graph is built or
  // torn down, so the start-up thread's build never blocks the GUI thread.
  mutable std::mutex m_lock;
  std::shared_ptr<Graph> m_graph;
  std::shared_ptr<Renderer> m_renderer;
  int m_videoWidth = 0;
  int m_videoHeight = 0;
  int m_position = 0;
  int m_duration = 0;
};

// The audio sink element the graph uses: $TEVALO_AUDIO_SINK, else autoaudiosink.
std::string AudioSinkFactory();
