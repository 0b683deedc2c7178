// The recording indicator: a red word shown and hidden once a second while a recording runs. The same
// control carries the recording clock (its window text), drawn red on black while the word is hidden.
#pragma once

#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace tevalo::panels {

inline constexpr int kBlinkTimerId = 10001;
inline constexpr int kBlinkPeriodMs = 1000;

class CBlinkLabel : public QWidget {
  Q_OBJECT
 public:
  explicit CBlinkLabel(QWidget* parent = nullptr, int controlId = 0);

  // on: the word appears after one period, then alternates with nothing. off: stops and forgets the
  // word (the owner hides the control).
  void SetBlink(bool on, const QString& text = {});
  // The recording clock.
  void SetWindowText(const QString& text);
  QString GetWindowText() const { return m_windowText; }
  // Timer 10001's step (called by the timer; tests call it directly).
  void OnTimer();

  bool Blinking() const { return m_blinking; }
  const QString& ShownText() const { return m_shown; }
  bool TimerArmed() const { return m_timer.isActive(); }
  int GetDlgCtrlID() const { return m_controlId; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QFont m_wordFont;
  QFont m_clockFont;
  QTimer m_timer;
  bool m_blinking = false;
  QString m_shown;
  QString m_blinkText;
  QString m_windowText;
  int m_controlId;
};

}  // namespace tevalo::panels
