#pragma once
// Base of the skinned, caption-less windows: opens centred, topmost and hidden, drags by a press on
// its bare client area, and can make one colour of its surface transparent.
#include "controls/colorref.h"

#include <QDialog>
#include <QPoint>

class COstrelBaseDialog : public QDialog {
  Q_OBJECT
 public:
  explicit COstrelBaseDialog(unsigned nIDTemplate, QWidget* parent = nullptr);
  explicit COstrelBaseDialog(QWidget* parent = nullptr);
  ~COstrelBaseDialog() override;

  // Modal run: initialises, then shows and runs until closed.
  int DoModal();
  // Modeless: initialises; the window stays hidden until its owner shows it.
  bool Create();
  unsigned TemplateId() const { return m_template; }

  // Pixels of crKey become transparent and click-through (bEnable), or the window is whole again.
  bool SetTransparentColor(COLORREF crKey, bool bEnable);

 protected:
  virtual bool OnInitDialog();
  virtual void DoDataExchange() {}
  // Starts the drag; derived windows that take the press themselves call it.
  virtual void OnLButtonDown(Qt::KeyboardModifiers modifiers, QPoint point);
  // Called at each mouse move of a drag with the window's top-left moved by the mouse's movement since
  // the last move (so a window held in place feels each pull anew); returns where it goes.
  virtual QPoint OnMoving(QPoint proposedTopLeft) { return proposedTopLeft; }

  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ApplyColorKey();

  unsigned m_template = 0;
  bool m_dragging = false;
  QPoint m_lastMouse;  // screen position of the previous drag event
  bool m_keyed = false;
  bool m_applyingKey = false;
  COLORREF m_key = 0;
};
