// The main window's skin and window behaviour in Qt: the frame picture (cached per size, edges
// stretched nearest-pixel), the level bars, the bottom-bar icons, the recording indicator, the
// skinned buttons placed by LayoutControls, drag and resize, the rounded region, topmost and full
// screen, and menu 273 with its ticks. It presents and forwards only: commands go out through
// `command` (the window's command table), the mouse's view changes through the callbacks.
#pragma once

#include <QImage>
#include <QMenu>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "player/pipeline/text/text_types.h"
#include "player/shell/main_geometry.h"
#include "player/shell/main_press.h"
#include "player/shell/view_state.h"

class CHoverButton;
namespace tevalo::panels {
class CBlinkLabel;
class CSkinSlider;
}  // namespace tevalo::panels

namespace tevalo::shell {

// The frame picture of a client size; rebuilt only when the size changes.
class CMainFrameCache {
 public:
  const QImage& Frame(Size client);
  int Builds() const { return m_builds; }

 private:
  QImage m_frame;
  Size m_size;
  int m_builds = 0;
};

// The view flags (compact, full screen, caption strip) of a view state, the rest kept.
ControlState WithView(ControlState state, const CViewState& view);

// Menu 273's first pop-up with its ticks; each item's id in its data().
void FillContextMenu(QMenu& menu, const std::map<uint32_t, bool>& ticks);

class CMainWindowView : public QWidget {
  Q_OBJECT
 public:
  struct Callbacks {
    std::function<void(uint32_t id)> command;
    std::function<void()> doubleClick;  // the full-screen toggle
    std::function<void(QPoint global)> contextMenu;
    std::function<void()> framePainted;              // a frame repaint restarts the level timer
    std::function<void(int kind)> playbackCommand;   // the play icon (1: play or pause)
    std::function<void(int position)> volumeMoving;  // the volume slider is dragged
    std::function<void(int index)> playbackIcon;     // the small icons: 0 open a file, 1 playlist step
    // The seek thumb is taken only while a graph reports its position; its drop seeks.
    std::function<bool()> positionKnown;
    std::function<void(int thumbX, int clientWidth)> seekThumbDropped;
    // In full screen a left drag up or down places the video again while a graph exists.
    std::function<bool()> hasGraph;
    std::function<void()> videoPlaced;
    // Presses are swallowed while a graph is being built or a search runs.
    std::function<bool()> busy;
    std::function<bool()> searching;
  };

  explicit CMainWindowView(Callbacks callbacks, QWidget* parent = nullptr);
  ~CMainWindowView() override;

  // The view to present: state flags for visibility, the client size comes from the widget.
  void SetControlState(const ControlState& state);
  const ControlState& State() const { return m_state; }
  void ShowLevelBars(int bars);
  void SetRecording(bool recording);
  void SetPicture(const QImage& picture);
  // The video area left black under the no-signal animation; the picture keeps arriving meanwhile.
  void SetVideoHidden(bool hidden);
  bool VideoHidden() const { return m_videoHidden; }
  void SetStrip(Place strip, const QString& text);
  void SetRecordingClock(const QString& text);
  void ShowCaption(const CaptionScreen& lines);
  void SetVolumeSlider(int position);
  void SetMuteLook(bool muted);
  // Places the window (outside full screen) and applies region and layout.
  void ApplyGeometry(Rect rect);
  // Full screen: frameless over the given screen rectangle, region plain.
  void SetFullScreen(bool on, Rect screen);
  void SetTopmost(bool topmost);

  Rect VideoArea() const;
  QWidget* Button(int id) const;
  QWidget* RecordingIndicator() const;
  QWidget* PlaceWidget(Place place) const;
  const CMainFrameCache& FrameCache() const { return m_cache; }
  int SeekThumbX() const { return m_thumbX; }
  bool SeekDragging() const { return m_seekDrag; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  Size ClientSize() const { return {width(), height()}; }
  void Relayout();
  bool OnResizeCorner(QPoint local) const;
  bool Asks(const std::function<bool()>& question) const { return question && question(); }
  void PlaceVideo();

  Callbacks m_cb;
  ControlState m_state;
  CMainFrameCache m_cache;
  std::map<int, CHoverButton*> m_buttons;
  std::map<Place, QWidget*> m_places;
  panels::CBlinkLabel* m_recIndicator = nullptr;
  panels::CSkinSlider* m_volume = nullptr;
  int m_bars = 0;
  bool m_recording = false;
  QImage m_picture;
  bool m_videoHidden = false;
  int m_playIconState = 0;
  int m_pressedSmallIcon = -1;
  bool m_dragging = false;
  QPoint m_dragOffset;
  bool m_seekDrag = false;
  int m_thumbX = 0;  // the seek thumb's offset on its track
  int m_thumbAtPress = 0;
  int m_seekPressX = 0;
  CVerticalDrag m_verticalDrag;
};

}  // namespace tevalo::shell
