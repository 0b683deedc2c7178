#pragma once
// A media graph without GStreamer, for tests of the logic that drives a graph: it keeps the state a
// real graph would have (built, running, paused, position, duration, frame rate), tells its owner
// what a real build tells it, and records every call. What the source would do around the build
// (the live filter's open report, its stop report) is the test's, through the hooks.
#include <mutex>
#include <string>
#include <vector>

#include "player/pipeline/graph/media_graph_interface.h"

class CFakeMediaGraph final : public IMediaGraph {
 public:
  struct Script {
    HRESULT buildResult = S_OK;  // what the source's build gives
    bool canSeek = true;
    int duration = 600;    // tenths of a second
    int frameRate = 1500;  // x 100, once running
    std::string sourceName = "fake";
    // Called inside Open before the owner's SourceLoaded, as the live filter's load reports itself.
    std::function<void(const std::u16string&)> onLoad;
    // Called inside Stop while a graph exists, as the live filter's stop reports itself.
    std::function<void()> onStop;
  };

  CFakeMediaGraph(IMediaGraphOwner* owner, IVideoOutput* video, Script script)
      : m_owner(owner), m_video(video), m_script(std::move(script)) {}

  HRESULT Open(const std::u16string& urlOrPath) override {
    Log("Open");
    if (HasGraph()) return S_OK;
    if (m_script.onLoad) m_script.onLoad(urlOrPath);
    HRESULT hr = m_script.buildResult;
    if (hr == S_OK && m_owner && !m_owner->SourceLoaded(urlOrPath)) hr = S_FALSE;
    if (hr != S_OK) {
      if (m_owner) m_owner->OnGraphBuildFailed();
      return hr;
    }
    {
      std::lock_guard lock(m_lock);
      m_built = true;
      m_running = false;
      m_position = 0;
    }
    if (m_owner) m_owner->OnGraphBuilt();
    return S_OK;
  }
  HRESULT Stop() override {
    Log("Stop");
    if (!HasGraph()) return S_OK;
    if (m_script.onStop) m_script.onStop();
    if (m_video) {
      m_video->SetVisible(false);
      m_video->SetWindowPosition(0, 0, 0, 0);
    }
    std::lock_guard lock(m_lock);
    m_built = m_running = m_paused = false;
    return S_OK;
  }
  HRESULT Run() override {
    Log("Run");
    std::lock_guard lock(m_lock);
    if (!m_built) return E_ABORT;
    m_running = true;
    m_paused = false;
    return S_OK;
  }
  HRESULT Pause() override {
    Log("Pause");
    std::lock_guard lock(m_lock);
    if (!m_built) return E_ABORT;
    if (m_settling) return VFW_E_WRONG_STATE;
    m_running = false;
    m_paused = true;
    return S_OK;
  }
  bool HasGraph() const override {
    std::lock_guard lock(m_lock);
    return m_built;
  }
  HRESULT PrepareVideoWindow(int* width, int* height) override {
    if (width) *width = 320;
    if (height) *height = 180;
    return HasGraph() ? S_OK : S_FALSE;
  }
  HRESULT SetWindowPosition(int left, int top, int width, int height) override {
    Log("SetWindowPosition");
    if (!HasGraph() || !m_video) return E_ABORT;
    m_video->SetWindowPosition(left, top, width, height);
    return S_OK;
  }
  HRESULT SetVisible(bool visible) override {
    Log(visible ? "Show" : "Hide");
    if (!HasGraph() || !m_video) return E_ABORT;
    m_video->SetVisible(visible);
    return S_OK;
  }
  HRESULT SetVolume(long volume) override {
    Log("SetVolume");
    std::lock_guard lock(m_lock);
    if (!m_built) return E_ABORT;
    m_volume = volume;
    return S_OK;
  }
  HRESULT GetDuration(int* tenths) override {
    if (!tenths) return E_FAIL;
    *tenths = 1;
    std::lock_guard lock(m_lock);
    if (!m_built) return E_ABORT;
    *tenths = m_script.duration;
    return S_OK;
  }
  int GetPosition(int* tenths) override {
    std::lock_guard lock(m_lock);
    if (!m_built || !tenths) return 0;
    *tenths = m_position;
    return 1;
  }
  HRESULT SetPosition(int tenths) override {
    Log("SetPosition");
    std::lock_guard lock(m_lock);
    if (!m_built) return E_ABORT;
    if (!m_script.canSeek) return E_FAIL;
    m_position = tenths;
    return S_OK;
  }
  int GetFrameRate() const override {
    std::lock_guard lock(m_lock);
    if (!m_built) return -1;
    return m_running ? m_script.frameRate : 0;
  }
  HRESULT HandleGraphEvent() override {
    Log("HandleGraphEvent");
    bool ended = false;
    {
      std::lock_guard lock(m_lock);
      if (!m_built) return E_ABORT;
      ended = m_ended;
      m_ended = false;
    }
    if (ended && m_owner) m_owner->StopFilePlayback();
    return S_OK;
  }
  std::string SourceFactory() const override { return HasGraph() ? m_script.sourceName : std::string(); }

  // Test side: the playing position moves; the end of a recording is reached (the owner is told to
  // handle the graph's events).
  void SetPositionReached(int tenths) {
    std::lock_guard lock(m_lock);
    m_position = tenths;
  }
  void ReachEnd() {
    {
      std::lock_guard lock(m_lock);
      m_ended = true;
    }
    if (m_owner) m_owner->PostGraphEvent();
  }
  // While settling (still on its way to running), a pause is refused as a real graph refuses it.
  void SetSettling(bool settling) {
    std::lock_guard lock(m_lock);
    m_settling = settling;
  }
  bool Running() const {
    std::lock_guard lock(m_lock);
    return m_running;
  }
  bool Paused() const {
    std::lock_guard lock(m_lock);
    return m_paused;
  }
  long Volume() const {
    std::lock_guard lock(m_lock);
    return m_volume;
  }
  std::vector<std::string> Calls() const {
    std::lock_guard lock(m_lock);
    return m_calls;
  }

 private:
  void Log(const char* call) {
    std::lock_guard lock(m_lock);
    m_calls.emplace_back(call);
  }

  IMediaGraphOwner* m_owner;
  IVideoOutput* m_video;
  Script m_script;
  mutable std::mutex m_lock;
  bool m_built = false;
  bool m_running = false;
  bool m_paused = false;
  bool m_ended = false;
  bool m_settling = false;
  int m_position = 0;
  long m_volume = 0;
  std::vector<std::string> m_calls;
};
