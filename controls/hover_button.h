#pragma once
// Skinned bitmap buttons drawn from a strip of equally wide frames (frame 0 at the left).
// Hover buttons leave the magenta (0xFF00FF) pixels of their frames transparent so the parent shows
// through; the toggles draw their frames opaquely.
#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QTimer>

class CHoverButton : public QAbstractButton {
  Q_OBJECT
 public:
  explicit CHoverButton(QWidget* parent = nullptr, int controlId = 0);
  ~CHoverButton() override;
  CHoverButton(const CHoverButton&) = delete;
  CHoverButton& operator=(const CHoverButton&) = delete;

  // Loads the strip (three frames, or one when whole) and sizes the button to one frame.
  // A missing bitmap keeps the current strip and returns 0.
  int LoadBitmapW(unsigned nID, bool whole = false);
  // Sets or replaces the tooltip; a null pointer or an empty text leaves it unchanged.
  void SetToolTipText(const QString* pText, bool bActivate = true);
  void SetToolTipText(int nID, bool bActivate = true);
  void SetToolTipText(const QString& text, bool bActivate = true);
  // Hide mode: always frame 0, and hovering or leaving does not repaint.
  void setHideButton(bool bHide);

  int GetDlgCtrlID() const { return m_controlId; }
  int FrameWidth() const { return m_frameWidth; }
  int FrameHeight() const { return m_frameHeight; }
  bool IsHover() const { return m_hover; }
  bool IsPressedLatch() const { return m_pressedLatch; }
  bool IsHideMode() const { return m_hide; }
  bool IsEnabledState() const { return m_enabledState; }
  // The frame the next repaint draws (without side effects).
  int CurrentFrame() const;

 protected:
  virtual int ChooseFrame(bool selected) const;
  virtual bool TransparentFrames() const { return true; }
  // Frames in the strip; the whole-bitmap load uses one.
  int LoadStrip(unsigned nID, int frames, bool whole);
  void DrawFrame(QPainter& painter, int frame) const;

  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

  void OnMouseHover();
  void OnMouseLeave();

  bool m_hover = false;
  int m_frameWidth = 0;
  int m_frameHeight = 0;
  QImage m_strip;
  QPixmap m_keyedStrip;
  bool m_whole = false;
  bool m_tracking = false;
  mutable bool m_pressedLatch = false;
  bool m_enabledState = true;
  bool m_hide = false;

 private:
  int m_controlId;
  QTimer m_hoverTimer;
};

// Four frames: normal, pressed, hover, locked.
class CHoverButtonEx : public CHoverButton {
  Q_OBJECT
 public:
  explicit CHoverButtonEx(QWidget* parent = nullptr, int controlId = 0);
  int LoadBitmapW(unsigned nID);
  void SetLock(bool locked) { m_locked = locked; }
  bool IsLocked() const { return m_locked; }

 protected:
  int ChooseFrame(bool selected) const override;

 private:
  bool m_locked = false;
};

// Two states: frames normal, checked, hover; drawn opaquely.
class CToggleButton : public CHoverButton {
  Q_OBJECT
 public:
  explicit CToggleButton(QWidget* parent = nullptr, int controlId = 0);
  void SetToggle();
  void SetCheckState(bool checked);
  bool GetCheckState() const { return m_checked; }

 protected:
  int ChooseFrame(bool selected) const override;
  bool TransparentFrames() const override { return false; }

 private:
  bool m_checked = false;
};

// Two states with a lock frame; frame 3 also serves as "checked under the mouse" when asked for.
class CToggleButtonEx : public CToggleButton {
  Q_OBJECT
 public:
  explicit CToggleButtonEx(QWidget* parent = nullptr, int controlId = 0);
  int LoadBitmapW(unsigned nID, bool bCheckedHover);
  void SetToggle();
  void SetCheckState(bool checked);
  bool GetCheckState() const { return m_checked; }
  void SetLock(bool locked) { m_locked = locked; }

 protected:
  int ChooseFrame(bool selected) const override;

 private:
  bool m_checked = false;
  bool m_locked = false;
  bool m_checkedHover = false;
};
