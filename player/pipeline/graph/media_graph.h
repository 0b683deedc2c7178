#pragma once
// The player's owner of one media graph: a GStreamer pipeline whose source element is chosen by the
// installation's registrations ("x-dmb" URLs, ".rec" files), its video pad rendered by the
// "Video Renderer" and its audio pad through a volume stage to the audio sink.
#include "player/pipeline/graph/media_graph_interface.h"
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

class CMediaGraph : public IMediaGraph {
 public:
  CMediaGraph(IMediaGraphOwner* owner, IVideoOutput* video);
  ~CMediaGraph() override;
  CMediaGraph(const CMediaGraph&) = delete;
  CMediaGraph& operator=(const CMediaGraph&) = delete;

  HRESULT Open(const std::u16string& urlOrPath) override;
  HRESULT BuildGraph(const std::u16string& urlOrPath);
  HRESULT TearDown();
  HRESULT Stop() override;
  HRESULT Run() override;
  HRESULT Pause() override;
  bool HasGraph() const override;

  HRESULT PrepareVideoWindow(int* width, int* height) override;
  HRESULT SetWindowPosition(int left, int top, int width, int height) override;
  HRESULT SetVisible(bool visible) override;
  // Hundredths of a decibel, -10000 (silent) to 0 (full).
  HRESULT SetVolume(long volume) override;
  // Tenths of a second.
  HRESULT GetDuration(int* tenths) override;
  int GetPosition(int* tenths) override;
  HRESULT SetPosition(int tenths) override;
  // Average frames per second x 100 since the graph last started running; -1 without a renderer.
  int GetFrameRate() const override;
  // Drains the graph's events; the end of a recording calls the owner's StopFilePlayback.
  HRESULT HandleGraphEvent() override;

  // Sees every audio buffer entering the audio stage (S16 interleaved as the source sends it), on
  // the streaming thread. Set before the build; for tests and diagnostics.
  using AudioTap =
      std::function<void(const int16_t* samples, size_t frames, int channels, int rate, int64_t ptsNs)>;
  void SetAudioTap(AudioTap tap) { m_audioTap = std::move(tap); }

  // The pipeline's source element name, for tests and diagnostics ("" without a graph).
  std::string SourceFactory() const override;

 private:
  struct Graph;
  struct Renderer;
  std::shared_ptr<Graph> Current() const;
  static int OnBusMessage(GstBus* bus, GstMessage* message, void* self);
  // The renderer's picture callback, on its streaming thread.
  static int DeliverSample(GstAppSink* sink, void* renderer);

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
