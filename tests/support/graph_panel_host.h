// The playback panel's host on a media graph alone, for tests and benchmarks of its seeks: positions
// and seeks go to the graph; the main window's parts are absent.
#pragma once

#include <functional>
#include <utility>

#include "player/panels/playback_panel_logic.h"
#include "player/pipeline/graph/media_graph_interface.h"

namespace tevalo::test {

struct GraphPanelHost final : tevalo::panels::IPlaybackPanelHost {
  using PanelSource = tevalo::panels::PanelSource;
  GraphPanelHost(std::function<IMediaGraph*()> graph, std::function<PanelSource()> source)
      : m_graph(std::move(graph)), m_source(std::move(source)) {}

  PanelSource Source() const override { return m_source(); }
  bool HasGraph() const override { return m_graph() != nullptr; }
  bool GetPosition(int* tenths) override { return m_graph() && m_graph()->GetPosition(tenths) == 1; }
  int GetDuration() override {
    int d = 0;
    if (m_graph()) m_graph()->GetDuration(&d);
    return d;
  }
  void SetPosition(int tenths) override {
    if (m_graph()) m_graph()->SetPosition(tenths);
  }
  void OpenRecordingFiles() override {}
  void ExecuteControl(int) override {}
  void PanelClosedByButton() override {}
  void ClearButtonHideMode() override {}
  void PanelShownChanged(bool) override {}
  tevalo::panels::SnapRect MainWindowRect() const override { return {}; }
  tevalo::panels::OtherPanel ChannelPanel() override { return {}; }
  void ChannelPanelSelChange() override {}

 private:
  std::function<IMediaGraph*()> m_graph;
  std::function<PanelSource()> m_source;
};

}  // namespace tevalo::test
