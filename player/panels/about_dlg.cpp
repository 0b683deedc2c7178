#include "player/panels/about_dlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "controls/font_aliases.h"
#include "controls/resources.h"
#include "platform/path/utf.h"
#include "platform/registry/registry.h"

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr unsigned kArtBitmap = 516;
constexpr int kVersionLabelId = 1066;
}  // namespace

namespace tevalo::panels {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setFont(PointFont(QStringLiteral("Arial Black"), 10));
  m_versionLabel = new QLabel(this);
  m_versionLabel->setObjectName(QStringLiteral("control%1").arg(kVersionLabelId));
  m_versionLabel->setAttribute(Qt::WA_TranslucentBackground);
  m_versionLabel->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
  m_versionLabel->setText(QStringLiteral("v1.000"));
  m_versionLabel->setGeometry(560, 20, 60, 20);
  // The label is part of the picture: a click on it closes the window too.
  m_versionLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
  resize(kWidth, kHeight);
}

bool CAboutDlg::OnInitDialog() {
  if (auto version = tevalo::registry::ReadString(tevalo::registry::kTevaloKey, u"version"))
    m_strVersion = QString::fromStdU16String(*version);
  QRect area(0, 0, kWidth, kHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->geometry();
  setGeometry(area.x() + area.width() / 2 - kWidth / 2, area.y() + area.height() / 2 - kHeight / 2, kWidth,
              kHeight);
  return true;
}

void CAboutDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage art = LoadBitmapResource(kArtBitmap);
  if (!art.isNull())
    painter.drawImage(QRect(0, 0, kWidth, kHeight), art);
  else
    painter.fillRect(rect(), Qt::white);
  // The installed version's own text box lies upside down (its bottom above its top) and so shows
  // nothing: the label is the version users see.
}

void CAboutDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    close();
    event->accept();
    return;
  }
  QDialog::mousePressEvent(event);
}

}  // namespace tevalo::panels
