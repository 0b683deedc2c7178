#pragma once
// A trackbar that draws its own channel and round thumb so the parent's background shows through.
#include "controls/colorref.h"

#include <QRect>
#include <QSlider>

struct SliderGeometry {
  QRect channel;  // the channel rectangle
  QRect edge;     // the sunken edge drawn around it
  QRect thumb;
};

// Layout of a trackbar of the given client size and orientation at a value within [min, max].
SliderGeometry ComputeSliderGeometry(QSize client, Qt::Orientation orientation, int min, int max, int value);

class COstrelSliderCtrl : public QSlider {
  Q_OBJECT
 public:
  explicit COstrelSliderCtrl(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr,
                             int controlId = 0);
  // 0 stands for the system colour (button face when normal, highlight when pressed).
  void SetThumbColors(COLORREF normal, COLORREF pressed);
  // The parent's picture shows through by itself; this only repaints when asked.
  void DrawTransparent(bool bRepaint);
  int GetDlgCtrlID() const { return m_controlId; }

  SliderGeometry Geometry() const;
  QColor ThumbColor(bool pressed) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int ValueAt(QPoint pos) const;

  COLORREF m_normal = 0;
  COLORREF m_pressed = 0;
  int m_controlId;
  bool m_dragging = false;
};
