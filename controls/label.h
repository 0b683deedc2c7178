#pragma once
// Static texts: CLabel (colours, font, border, flashing, link) and CTransparentStatic (no background).
#include "controls/colorref.h"

#include <QCursor>
#include <QFont>
#include <QFrame>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <optional>

// Static control styles (the bits that decide how the text is laid out).
enum : uint32_t {
  SS_LEFT = 0x0000,
  SS_CENTER = 0x0001,
  SS_RIGHT = 0x0002,
  SS_TYPEMASK = 0x001F,
  SS_NOPREFIX = 0x0080,
  SS_NOTIFY = 0x0100,
  SS_CENTERIMAGE = 0x0200,
  SS_ENDELLIPSIS = 0x4000,
  SS_PATHELLIPSIS = 0x8000,
  SS_WORDELLIPSIS = 0xC000,
};
// Text drawing flags.
enum : uint32_t {
  DT_LEFT = 0x0000,
  DT_CENTER = 0x0001,
  DT_RIGHT = 0x0002,
  DT_VCENTER = 0x0004,
  DT_WORDBREAK = 0x0010,
  DT_SINGLELINE = 0x0020,
  DT_NOPREFIX = 0x0800,
  DT_PATH_ELLIPSIS = 0x4000,
  DT_END_ELLIPSIS = 0x8000,
  DT_WORD_ELLIPSIS = 0x40000,
};

// How a static control's style lays out its text.
uint32_t DrawTextFlagsForStaticStyle(uint32_t style);
// Draws text into rect with the given drawing flags (alignment, wrapping, ellipsis, mnemonics).
void DrawStaticText(QPainter& painter, const QRect& rect, const QString& text, uint32_t dtFlags);

class CStaticBase : public QFrame {
  Q_OBJECT
 public:
  explicit CStaticBase(QWidget* parent = nullptr, int controlId = 0);
  void SetWindowText(const QString& text);
  QString GetWindowText() const { return m_text; }
  uint32_t GetStyle() const { return m_style; }
  void ModifyStyle(uint32_t remove, uint32_t add);
  int GetDlgCtrlID() const { return m_controlId; }

 private:
  QString m_text;
  uint32_t m_style = SS_LEFT;
  int m_controlId;
};

class CLabel : public CStaticBase {
  Q_OBJECT
 public:
  explicit CLabel(QWidget* parent = nullptr, int controlId = 0);
  ~CLabel() override;

  CLabel& SetText(const QString& text);
  CLabel& SetTextColor(COLORREF color);
  CLabel& SetFontBold(bool bold);
  CLabel& SetFontUnderline(bool underline);
  CLabel& SetFontItalic(bool italic);
  CLabel& SetFontSize(int size);
  CLabel& SetFontName(const QString& name);
  CLabel& SetSunken(bool sunken);
  CLabel& SetBorder(bool border);
  CLabel& SetBkColor(COLORREF color);
  CLabel& FlashText(bool activate);
  CLabel& FlashBackground(bool activate);
  CLabel& SetLink(bool link);
  CLabel& SetLinkCursor(const QCursor& cursor);

  // Flash timer tick (every 500 ms while flashing).
  void OnTimer(unsigned id);

  COLORREF TextColor() const { return m_textColor; }
  // The colour the background is painted in right now.
  COLORREF CurrentBackground() const;
  const QFont& Font() const { return m_font; }
  QString FaceName() const { return m_faceName; }
  int FlashKind() const { return m_flashKind; }
  bool FlashTimerActive() const { return m_timer.isActive(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void ReconstructFont();

 private:
  void StopFlash();

  COLORREF m_textColor;
  COLORREF m_background;
  COLORREF m_flashBackground;
  QString m_faceName;
  int m_height = 0;  // 0: the default size
  bool m_bold = false;
  bool m_italic = false;
  bool m_underline = false;
  QFont m_font;
  QString m_savedText;
  bool m_phase = false;
  bool m_flashing = false;
  int m_flashKind = 0;
  QTimer m_timer;
};

// Text drawn straight on the parent's background, in Arial of height 9.
class CTransparentStatic : public CStaticBase {
  Q_OBJECT
 public:
  explicit CTransparentStatic(QWidget* parent = nullptr, int controlId = 0);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
