#include "controls/label.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

uint32_t DrawTextFlagsForStaticStyle(uint32_t style) {
  uint32_t flags = 0;
  const uint32_t type = style & SS_TYPEMASK;
  if (type == SS_RIGHT) flags |= DT_RIGHT;
  if (type == SS_CENTER) flags |= DT_CENTER;
  if (style & SS_CENTERIMAGE) flags |= DT_VCENTER | DT_SINGLELINE;
  if (style & SS_NOPREFIX) flags |= DT_NOPREFIX;
  const uint32_t ellipsis = style & SS_WORDELLIPSIS;
  if (ellipsis) flags |= DT_WORD_ELLIPSIS;
  if (style & SS_ENDELLIPSIS) flags |= DT_END_ELLIPSIS;
  if (style & SS_PATHELLIPSIS) flags |= DT_PATH_ELLIPSIS;
  if (!ellipsis && !(style & SS_CENTERIMAGE) && !(type & 0x0C)) flags |= DT_WORDBREAK;
  return flags;
}

void DrawStaticText(QPainter& painter, const QRect& rect, const QString& text, uint32_t dt) {
  int qt = 0;
  qt |= (dt & DT_RIGHT) ? int(Qt::AlignRight) : (dt & DT_CENTER) ? int(Qt::AlignHCenter) : int(Qt::AlignLeft);
  qt |= (dt & DT_VCENTER) && (dt & DT_SINGLELINE) ? int(Qt::AlignVCenter) : int(Qt::AlignTop);
  if (dt & DT_WORDBREAK) qt |= Qt::TextWordWrap;
  if (dt & DT_SINGLELINE) qt |= Qt::TextSingleLine;
  if (!(dt & DT_NOPREFIX)) qt |= Qt::TextShowMnemonic;
  QString shown = text;
  if (dt & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) {
    const Qt::TextElideMode mode = (dt & DT_PATH_ELLIPSIS) ? Qt::ElideMiddle : Qt::ElideRight;
    shown = painter.fontMetrics().elidedText(text, mode, rect.width(),
                                             (dt & DT_NOPREFIX) ? 0 : int(Qt::TextShowMnemonic));
  }
  painter.drawText(rect, qt, shown);
}

CStaticBase::CStaticBase(QWidget* parent, int controlId) : QFrame(parent), m_controlId(controlId) {}

void CStaticBase::SetWindowText(const QString& text) {
  m_text = text;
  update();
}

void CStaticBase::ModifyStyle(uint32_t remove, uint32_t add) {
  m_style = (m_style & ~remove) | add;
  update();
}

namespace {
COLORREF SystemWindowText() { return RGB(0, 0, 0); }
COLORREF SystemButtonFace() { return RGB(240, 240, 240); }
}  // namespace

CLabel::CLabel(QWidget* parent, int controlId)
    : CStaticBase(parent, controlId),
      m_textColor(SystemWindowText()),
      m_background(SystemButtonFace()),
      m_flashBackground(SystemButtonFace()),
      m_faceName(QFont().family()) {
  m_timer.setInterval(500);
  connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(1); });
  ReconstructFont();
}

CLabel::~CLabel() = default;

void CLabel::ReconstructFont() {
  QFont font(m_faceName);
  if (m_height > 0) font.setPixelSize(m_height);
  font.setWeight(m_bold ? QFont::Bold : QFont::Normal);
  font.setItalic(m_italic);
  font.setUnderline(m_underline);
  m_font = font;
}

CLabel& CLabel::SetText(const QString& text) {
  SetWindowText(text);
  return *this;
}

CLabel& CLabel::SetTextColor(COLORREF color) {
  m_textColor = color;
  update();
  return *this;
}

CLabel& CLabel::SetFontBold(bool bold) {
  m_bold = bold;
  ReconstructFont();
  update();
  return *this;
}

CLabel& CLabel::SetFontUnderline(bool underline) {
  m_underline = underline;
  ReconstructFont();
  update();
  return *this;
}

CLabel& CLabel::SetFontItalic(bool italic) {
  m_italic = italic;
  ReconstructFont();
  update();
  return *this;
}

CLabel& CLabel::SetFontSize(int size) {
  m_height = size;
  ReconstructFont();
  update();
  return *this;
}

CLabel& CLabel::SetFontName(const QString& name) {
  // The face name field holds 31 characters and its terminator.
  m_faceName = name.left(31);
  ReconstructFont();
  update();
  return *this;
}

CLabel& CLabel::SetSunken(bool sunken) {
  setFrameStyle(sunken ? (QFrame::StyledPanel | QFrame::Sunken) : QFrame::NoFrame);
  return *this;
}

CLabel& CLabel::SetBorder(bool border) {
  setFrameStyle(border ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
  return *this;
}

CLabel& CLabel::SetBkColor(COLORREF color) {
  m_background = color;
  return *this;
}

void CLabel::StopFlash() {
  // Stopping puts back what the flash changed: the text of a text flash and the normal background.
  m_timer.stop();
  if (m_flashKind == 1) SetWindowText(m_savedText);
  m_phase = false;
  m_flashKind = 0;
  update();
}

CLabel& CLabel::FlashText(bool activate) {
  if (m_flashing) StopFlash();
  if (!activate) return *this;
  m_savedText = GetWindowText();
  m_phase = false;
  m_flashing = true;
  m_timer.start();
  m_flashKind = 1;
  return *this;
}

CLabel& CLabel::FlashBackground(bool activate) {
  if (m_flashing) StopFlash();
  if (!activate) return *this;
  m_phase = false;
  m_flashing = true;
  m_timer.start();
  m_flashKind = 2;
  update();
  return *this;
}

CLabel& CLabel::SetLink(bool link) {
  ModifyStyle(link ? 0u : uint32_t(SS_NOTIFY), link ? uint32_t(SS_NOTIFY) : 0u);
  return *this;
}

CLabel& CLabel::SetLinkCursor(const QCursor& cursor) {
  setCursor(cursor);
  return *this;
}

void CLabel::OnTimer(unsigned) {
  m_phase = !m_phase;
  if (m_flashKind == 1) {
    SetWindowText(m_phase ? QString() : m_savedText);
  } else if (m_flashKind == 2) {
    repaint();
  }
}

COLORREF CLabel::CurrentBackground() const {
  return (m_flashKind == 2 && !m_phase) ? m_flashBackground : m_background;
}

void CLabel::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    painter.fillRect(rect(), ColorFromColorRef(CurrentBackground()));
    painter.setFont(m_font);
    painter.setPen(ColorFromColorRef(m_textColor));
    DrawStaticText(painter, contentsRect(), GetWindowText(), DrawTextFlagsForStaticStyle(GetStyle()));
  }
  QFrame::paintEvent(event);
}

void CLabel::mousePressEvent(QMouseEvent* event) {
  if ((GetStyle() & SS_NOTIFY) && event->button() == Qt::LeftButton) {
    QDesktopServices::openUrl(QUrl::fromUserInput(GetWindowText()));
    event->accept();
    return;
  }
  CStaticBase::mousePressEvent(event);
}

CTransparentStatic::CTransparentStatic(QWidget* parent, int controlId) : CStaticBase(parent, controlId) {
  setAttribute(Qt::WA_TranslucentBackground);
}

void CTransparentStatic::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QFont font("Arial");
  font.setPixelSize(9);
  painter.setFont(font);
  DrawStaticText(painter, rect(), GetWindowText(), DrawTextFlagsForStaticStyle(GetStyle()));
}
