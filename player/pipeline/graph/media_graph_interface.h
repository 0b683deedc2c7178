#pragma once
// What the player asks of a media graph, and what a graph tells its owner. CMediaGraph implements
// it over GStreamer; CFakeMediaGraph (fake_media_graph.h) without it, for tests of the logic that
// drives a graph.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "player/pipeline/graph/video_output.h"

// HRESULT-style results.
using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218u);
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);
constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);

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

class IMediaGraph {
 public:
  virtual ~IMediaGraph() = default;

  // Builds the graph for a URL or path unless one exists. Runs on the start-up thread.
  virtual HRESULT Open(const std::u16string& urlOrPath) = 0;
  // Tears the graph down (hides the video, stops, releases); S_OK also without a graph.
  virtual HRESULT Stop() = 0;
  virtual HRESULT Run() = 0;
  // VFW_E_WRONG_STATE while the graph is still changing state (starting, or seeking): nothing is
  // paused then and the graph goes on as it was.
  virtual HRESULT Pause() = 0;
  virtual bool HasGraph() const = 0;

  // The picture's size; placement and visibility of the picture in the owner window.
  virtual HRESULT PrepareVideoWindow(int* width, int* height) = 0;
  virtual HRESULT SetWindowPosition(int left, int top, int width, int height) = 0;
  virtual HRESULT SetVisible(bool visible) = 0;
  // Hundredths of a decibel, -10000 (silent) to 0 (full).
  virtual HRESULT SetVolume(long volume) = 0;
  // Tenths of a second. GetDuration reports 1 when it cannot tell; GetPosition 1 on success.
  virtual HRESULT GetDuration(int* tenths) = 0;
  virtual int GetPosition(int* tenths) = 0;
  virtual HRESULT SetPosition(int tenths) = 0;
  // Average frames per second x 100 over the time the graph has run since it first started; paused
  // time is left out and a resume goes on counting. -1 without a renderer.
  virtual int GetFrameRate() const = 0;
  // Drains the graph's events; the end of a recording calls the owner's StopFilePlayback. GUI thread.
  virtual HRESULT HandleGraphEvent() = 0;

  // The source element's name, for tests and diagnostics ("" without a graph).
  virtual std::string SourceFactory() const = 0;
};

// Makes the graph an owner uses; video may be null.
using MediaGraphFactory =
    std::function<std::shared_ptr<IMediaGraph>(IMediaGraphOwner* owner, IVideoOutput* video)>;
