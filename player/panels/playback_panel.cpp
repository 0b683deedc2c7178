#include "player/panels/playback_panel.h"

#include <QLabel>
#include <QPainter>

#include "controls/hover_button.h"
#include "controls/resources.h"
#include "controls/skin_mask.h"
#include "player/panels/screen_size.h"
#include "player/panels/skin_slider.h"

using tevalo::panels::CPlaybackPanelLogic;
using namespace tevalo::panels;

namespace {

QLabel* MakeText(QWidget* parent, QRect place, bool opaque, int pixels) {
  auto* label = new QLabel(parent);
  label->setGeometry(place);
  QFont font(QStringLiteral("ＭＳ ゴシック"));
  font.setPixelSize(pixels);
  label->setFont(font);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, ColorFromColorRef(0x0065FFCE));
  pal.setColor(QPalette::Window, opaque ? ColorFromColorRef(0x000001) : QColor(Qt::black));
  label->setPalette(pal);
  label->setAutoFillBackground(opaque);
  return label;
}

}  // namespace

CPlaybackPanel::CPlaybackPanel(tevalo::panels::IPlaybackPanelHost& host, QWidget* parent)
    : COstrelBaseDialog(kTemplate, parent), m_logic(host) {}

CPlaybackPanel::~CPlaybackPanel() = default;

CHoverButton* CPlaybackPanel::MakeButton(int id, unsigned bitmap, const QString& tip, QRect place) {
  auto* button = new CHoverButton(this, id);
  button->LoadBitmapW(bitmap, false);
  button->SetToolTipText(tip, true);
  button->setGeometry(place);
  connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
  return button;
}

bool CPlaybackPanel::OnInitDialog() {
  COstrelBaseDialog::OnInitDialog();
  // Behind its owner, not above every window.
  setWindowFlags(windowFlags() & ~Qt::WindowStaysOnTopHint);
  m_logic.Dock() = {};
  m_logic.Dock().position = {0, 175};
  m_background = LoadBitmapResource(kBackgroundBitmap);
  m_title = LoadBitmapResource(kTitleBitmap);
  m_pOpen = MakeButton(CPlaybackPanelLogic::kOpen, 504, QStringLiteral("ファイルオープン"), {72, 94, 22, 22});
  m_pPrevious = MakeButton(CPlaybackPanelLogic::kPrevious, 408, QStringLiteral("戻る"), {117, 94, 22, 22});
  m_pPlay = MakeButton(CPlaybackPanelLogic::kPlay, 407, QStringLiteral("再生"), {162, 94, 22, 22});
  m_pPause = MakeButton(CPlaybackPanelLogic::kPause, 406, QStringLiteral("ポ―ズ"), {162, 94, 22, 22});
  m_pStop = MakeButton(CPlaybackPanelLogic::kStop, 409, QStringLiteral("停止"), {207, 94, 22, 22});
  m_pNext = MakeButton(CPlaybackPanelLogic::kNext, 405, QStringLiteral("進む"), {252, 94, 22, 22});
  m_pClose = MakeButton(CPlaybackPanelLogic::kClose, 403, QStringLiteral("閉じる"), {313, 6, 16, 16});
  m_pFileName = MakeText(this, {19, 36, 200, 12}, false, 12);
  // The whole "hh:mm:ss / hh:mm:ss" fits its 110 pixels only a pixel smaller than the name.
  m_pPlayTime = MakeText(this, {220, 36, 110, 12}, true, 11);
  m_pSlider = new CSkinSlider(this, kSliderId);
  m_pSlider->setGeometry(17, 54, 313, 11);
  m_pSlider->SetTrackBitmaps(313, 411, 460, false, kKeyFromPixel, 0, 0);
  m_pSlider->SetThumbBitmaps(412, 0, false, kKeyFromPixel, 0, 0);
  m_pSlider->m_nLeftMargin = m_pSlider->m_nTopMargin = m_pSlider->m_nRightMargin = 2;
  m_logic.SetSliderRange(10, 100);
  m_logic.SetSliderPos(0);
  // The docking size is the panel's own: picture, region and snapped rectangle agree.
  setFixedSize(CPlaybackPanelLogic::kWidth, CPlaybackPanelLogic::kHeight);
  if (!m_background.isNull()) setMask(RegionFromKeyColor(m_background, kRegionKey));
  ClearTexts();
  m_logic.Reset();
  SyncView();
  hide();
  return true;
}

void CPlaybackPanel::SyncView() {
  m_pPlay->setVisible(m_logic.PlayShown());
  m_pPause->setVisible(!m_logic.PlayShown());
  m_pSlider->SetRange(m_logic.SliderMin(), m_logic.SliderMax());
  m_pSlider->SetPos(m_logic.SliderPos());
}

CHoverButton* CPlaybackPanel::Button(int id) const {
  switch (id) {
    case CPlaybackPanelLogic::kOpen:
      return m_pOpen;
    case CPlaybackPanelLogic::kPrevious:
      return m_pPrevious;
    case CPlaybackPanelLogic::kPlay:
      return m_pPlay;
    case CPlaybackPanelLogic::kPause:
      return m_pPause;
    case CPlaybackPanelLogic::kStop:
      return m_pStop;
    case CPlaybackPanelLogic::kNext:
      return m_pNext;
    case CPlaybackPanelLogic::kClose:
      return m_pClose;
    default:
      return nullptr;
  }
}

bool CPlaybackPanel::OnCommand(int id) {
  const bool wasShown = m_logic.Shown();
  if (!m_logic.Command(id)) return false;
  if (wasShown && !m_logic.Shown()) hide();
  SyncView();
  return true;
}

void CPlaybackPanel::ShowPanel(bool show) {
  if (!show) {
    hide();
    m_logic.Hide();
    return;
  }
  const QSize screen = tevalo::panels::ScreenSize();
  const auto at = m_logic.Show(screen.width(), screen.height());
  move(at.x, at.y);
  this->show();
}

void CPlaybackPanel::FollowMainWindow(QPoint mainTopLeft) {
  const auto at = m_logic.FollowMainWindow({mainTopLeft.x(), mainTopLeft.y()});
  move(at.x, at.y);
}

QPoint CPlaybackPanel::OnMoving(QPoint proposed) {
  const auto at = m_logic.Drag({proposed.x(), proposed.y()});
  return {at.x, at.y};
}

void CPlaybackPanel::Reset() {
  m_logic.Reset();
  SyncView();
}

void CPlaybackPanel::PlayStarted() {
  m_logic.PlayStarted();
  SyncView();
}

void CPlaybackPanel::ClearTexts() {
  m_pFileName->clear();
  m_pPlayTime->clear();
}

void CPlaybackPanel::SetFileName(const QString& name) { m_pFileName->setText(name); }

void CPlaybackPanel::SetPlayTime(int positionTenths, int durationTenths) {
  m_pPlayTime->setText(QString::fromStdString(tevalo::panels::PlayTimeText(positionTenths, durationTenths)));
}

void CPlaybackPanel::SetSlider(int positionTenths, int durationTenths) {
  if (IsDragging()) return;
  m_logic.SetSliderRange(0, tevalo::panels::SliderMaximumFor(durationTenths));
  m_logic.SetSliderPos(positionTenths);
  SyncView();
}

bool CPlaybackPanel::IsDragging() const { return m_pSlider && m_pSlider->IsDragging(); }

QString CPlaybackPanel::FileNameText() const { return m_pFileName->text(); }
QString CPlaybackPanel::PlayTimeText() const { return m_pPlayTime->text(); }

bool CPlaybackPanel::event(QEvent* event) {
  if (event->type() == SkinSliderEvent::Type()) {
    const auto* e = static_cast<SkinSliderEvent*>(event);
    if (e->message == WM_SKINSLIDER_MOVED && e->controlId == kSliderId) {
      m_logic.SetSliderPos(e->position);
      m_logic.SliderReleased(e->position);
    }
    return true;
  }
  return COstrelBaseDialog::event(event);
}

void CPlaybackPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (m_background.isNull())
    p.fillRect(rect(), Qt::black);
  else
    p.drawImage(QPoint(0, 0), m_background,
                QRect(0, 0, CPlaybackPanelLogic::kWidth, CPlaybackPanelLogic::kHeight));
  if (!m_title.isNull()) p.drawImage(QPoint(13, 7), m_title, QRect(0, 0, 224, 16));
}
