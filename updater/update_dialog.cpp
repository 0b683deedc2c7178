#include "updater/update_dialog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <cerrno>
#include <system_error>

#include "controls/font_aliases.h"
#include "controls/resources.h"
#include "controls/skin_mask.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/tick.h"
#include "platform/path/path.h"
#include "platform/window/window.h"
#include "updater/hover_button.h"
#include "updater/installation.h"
#include "updater/resource_ids.h"
#include "updater/resources/updater_resources.h"

namespace tevalo::updater {
namespace {

constexpr COLORREF kRegionKey = RGB(0, 255, 0);
constexpr COLORREF kStatusText = 0xC8C8C8;
constexpr int kConnectAttempts = 5;

const QString kCannotConnect = QStringLiteral("ftpサーバーに接続することができません。");
const QString kAlreadyCurrent =
    QStringLiteral("最新バージョンを使用中です。 アップデートする内容がないです。");
const QString kQuestion = QStringLiteral("新しいソフトウェアにアップデートします。よろしいですか");

// Dialog units of the template's 9-point font (6 x 12 pixel base units at 96 dpi).
QRect DialogUnitsToPixels(const QRect& r) {
  const auto x = [](int v) { return v * 6 / 4; };
  const auto y = [](int v) { return v * 12 / 8; };
  return QRect(x(r.x()), y(r.y()), x(r.width()), y(r.height()));
}

class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

// Turns the download's reports into posted changes for the GUI thread; the progress arithmetic runs
// here, so only what changes on the screen is posted.
class CDMBUpdateDlg::Reporter final : public DownloadListener {
 public:
  explicit Reporter(CDMBUpdateDlg* dialog) : dialog_(dialog) {}

  void OnStatus(unsigned stringId, const std::string& argument) override {
    dialog_->Post(
        [d = dialog_, stringId, a = QString::fromStdString(argument)] { d->ShowStatus(stringId, a); });
  }
  void OnSizeKnown(int64_t total) override {
    meter_.SetTotal(total);
    dialog_->Post([d = dialog_] { d->m_progress->setRange(0, 100); });
  }
  void OnTransferStarted() override { meter_.Start(tvk::GetTickCount32()); }
  void OnReceived(int64_t received) override {
    const ProgressChange change = meter_.Update(received, tvk::GetTickCount32());
    if (!change.Empty()) dialog_->Post([d = dialog_, change] { d->ShowProgress(change); });
  }

 private:
  CDMBUpdateDlg* dialog_;
  ProgressMeter meter_;
};

CDMBUpdateDlg::CDMBUpdateDlg(UpdateDialogServices services, QWidget* parent)
    : COstrelBaseDialog(kUpdateDialogId, parent), m_services(std::move(services)) {
  // A window of its own with a taskbar entry, not kept above the others.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  const DialogTemplate& dialogTemplate = ::UpdateDialogTemplate();
  setFont(PointFont(QString::fromUtf8(dialogTemplate.font), dialogTemplate.pointSize));
  resize(DialogUnitsToPixels(QRect(QPoint(0, 0), dialogTemplate.size)).size());

  for (const TemplateControl& control : dialogTemplate.controls) {
    const QString text = QString::fromUtf8(control.text.data(), static_cast<qsizetype>(control.text.size()));
    QWidget* widget = nullptr;
    switch (control.kind) {
      case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        widget = bar;
        break;
      }
      case ControlKind::OwnerDrawButton: {
        auto* button = new CHoverButton(this, control.id);
        button->setText(text);
        widget = button;
        break;
      }
      default: {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        widget = label;
        break;
      }
    }
    widget->setGeometry(DialogUnitsToPixels(control.place));
    widget->setVisible(control.visible);
    if (control.id != kNoControlId) m_controls[control.id] = widget;
  }
  m_cancelButton = static_cast<CHoverButton*>(m_controls.at(res::kIdCancel));
  m_updateButton = static_cast<CHoverButton*>(m_controls.at(res::kIdUpdate));
  m_status = static_cast<QLabel*>(m_controls.at(res::kIdStatus));
  m_rate = static_cast<QLabel*>(m_controls.at(res::kIdRate));
  m_timeLeft = static_cast<QLabel*>(m_controls.at(res::kIdTimeLeft));
  m_progress = static_cast<QProgressBar*>(m_controls.at(res::kIdProgress));
  m_source = static_cast<QLabel*>(m_controls.at(res::kIdSource));
  connect(m_updateButton, &QAbstractButton::clicked, this, [this] { OnUpdate(); });
  connect(m_cancelButton, &QAbstractButton::clicked, this, [this] { reject(); });

  // The status line: light grey on black.
  QPalette palette = m_status->palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::WindowText, ColorFromColorRef(kStatusText));
  m_status->setPalette(palette);
  m_status->setAutoFillBackground(true);
  // The bar sits on the dark plate: a dark groove instead of the style's white one.
  QPalette bar = m_progress->palette();
  bar.setColor(QPalette::Base, QColor(20, 21, 24));
  bar.setColor(QPalette::Window, QColor(43, 46, 51));
  bar.setColor(QPalette::Highlight, QColor(255, 169, 0));
  m_progress->setPalette(bar);

  m_icon = UpdaterIcon();

  const UpdateServer server = ReadUpdateServer();
  m_host = server.host;
  m_user = server.user;
  m_password = server.password;
  m_port = server.port;
  m_askPassive = server.passive;
}

CDMBUpdateDlg::~CDMBUpdateDlg() {
  m_ftp.reset();
  if (m_downloadThread.joinable()) {
    m_cancel = 1;  // nobody is left to run what it would finish
    m_downloadThread.join();
  }
}

int CDMBUpdateDlg::DoModal() {
  if (!Start()) return m_endCode;
  return exec();
}

bool CDMBUpdateDlg::Start() {
  OnInitDialog();
  return !m_ended;
}

QWidget* CDMBUpdateDlg::GetDlgItem(int id) const {
  const auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second;
}

bool CDMBUpdateDlg::OnInitDialog() {
  m_statusFont = PointFont(QStringLiteral("ＭＳ ゴシック"), 8);
  m_status->setFont(m_statusFont);
  setWindowIcon(m_icon);

  ReadInstalledVersion();

  if (win::HWND player = win::FindWindowW(nullptr, kPlayerWindowTitle))
    win::PostMessageW(player, win::WM_CLOSE, 0, 0);

  // Created by a running player; without one both stay empty and setting them does nothing.
  tvk::Handle recentEvent = tvk::OpenEvent(kRecentVersionEvent);
  tvk::Handle oldEvent = tvk::OpenEvent(kOldVersionEvent);

  if (!Connect(m_host, m_port, m_user, m_password, m_askPassive, kConnectAttempts)) {
    MessageBox(kCannotConnect);
    return RestartPlayer();
  }
  QStringList versions;
  if (!ListDirectories(QString::fromLatin1(kUpdateRoot), &versions)) return RestartPlayer();

  m_newestVersion = PickNewestVersion(versions);
  if (IsInstalledCurrent(m_newestVersion, m_installedVersion)) {
    tvk::SetEvent(recentEvent);
    recentEvent.Close();
    oldEvent.Close();
    MessageBox(kAlreadyCurrent);
    return RestartPlayer();
  }
  tvk::SetEvent(oldEvent);
  recentEvent.Close();
  oldEvent.Close();

  QStringList files;
  if (!ListFiles(QString::fromLatin1(kUpdateRoot) + m_newestVersion, &files) || files.isEmpty())
    return RestartPlayer();
  // A name that would leave the temporary folder, or name no file, counts as no installer.
  if (!IsAcceptableInstallerName(files.front())) return RestartPlayer();

  ShowQuestion(files.front());
  return true;
}

void CDMBUpdateDlg::ShowQuestion(const QString& installerName) {
  m_remoteFolder = QString::fromLatin1(kUpdateRoot) + m_newestVersion;
  m_installerName = installerName;
  m_remoteInstallerPath = m_remoteFolder + u'/' + m_installerName;
  m_localInstallerPath = QString::fromStdU16String(
      path::Join(QDir::tempPath().toStdU16String(), m_installerName.toStdU16String()));

  m_status->setGeometry(17, 32, 312, 16);
  m_status->setText(kQuestion);
  m_updateButton->LoadBitmapW(res::kUpdateBitmap);
  m_cancelButton->LoadBitmapW(res::kCancelBitmap);
  m_updateButton->setGeometry(112, 85, 38, 38);
  m_cancelButton->setGeometry(194, 85, 38, 38);
  m_progress->setGeometry(18, 55, 311, 9);
  m_background = LoadBitmapResource(res::kBackgroundBitmap);

  QRect screen(0, 0, 358, 157);
  if (const QScreen* primary = QGuiApplication::primaryScreen()) screen = primary->geometry();
  setGeometry(screen.x() + screen.width() / 2 - 179, screen.y() + screen.height() / 2 - 78, 358, 157);
  // The region follows the bitmap now loaded, also when the size did not change.
  setMask(RegionFromKeyColor(m_background, kRegionKey));
  show();
}

bool CDMBUpdateDlg::RestartPlayer() {
  if (ReadPlayerPath()) {
    if (!WaitForPlayerExit(m_services.playerExitWaitMs)) qWarning("tevalo-update: the player still runs");
    if (!QProcess::startDetached(m_playerPath, {}))
      qWarning() << "tevalo-update: cannot start" << m_playerPath;
    EndDialog(kEndOk);
    return true;
  }
  EndDialog(kEndOk);
  return false;
}

int CDMBUpdateDlg::ReadInstalledVersion() {
  ReadPlayerPath();
  m_installedVersion = tevalo::updater::ReadInstalledVersion().value_or(QString());
  return 1;
}

int CDMBUpdateDlg::ReadPlayerPath() {
  const auto dir = ReadInstallDir();
  if (!dir) return 0;
  m_playerPath = QString::fromStdString(path::Join(dir->toStdString(), kPlayerProgram));
  return 1;
}

int CDMBUpdateDlg::Connect(const QString& host, uint16_t port, const QString& user, const QString& password,
                           bool passive, int attempts) {
  WaitCursor wait;
  m_ftp.reset();
  const auto server = FtpServerName(host.toStdString());
  if (!server) {
    MessageBox(QStringLiteral("Please enter a valid FTP URL"));
    return 0;
  }
  const FtpAccount account{*server, port, user.toStdString(), password.toStdString(), passive};
  auto session = std::make_unique<FtpSession>(account, m_services.timeouts);
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    const CURLcode code = session->Login();
    if (code == CURLE_OK) {
      m_ftp = std::move(session);
      m_account = account;
      m_passive = passive;
      return 1;
    }
    const QString response = QString::fromStdString(session->LastResponse());
    const QString message = QString::fromStdString(session->ErrorText(code));
    if (!response.isEmpty()) qDebug().noquote() << response;
    if (message.isEmpty()) {
      MessageBox(QStringLiteral("An exception occurred when attempting to create an FTP connection."));
      continue;
    }
    qDebug().noquote() << message;
    if (attempt == attempts) MessageBox(response.isEmpty() ? message : response + u'\n' + message);
  }
  return 0;
}

int CDMBUpdateDlg::ListDirectories(const QString& path, QStringList* list) {
  return ListEntries(path, list, true);
}

int CDMBUpdateDlg::ListFiles(const QString& path, QStringList* list) {
  return ListEntries(path, list, false);
}

int CDMBUpdateDlg::ListEntries(const QString& path, QStringList* list, bool directories) {
  WaitCursor wait;
  if (!m_ftp || path.isEmpty()) return 0;
  std::vector<FtpEntry> entries;
  const std::function<void()> pump = [] { QCoreApplication::processEvents(); };
  const CURLcode code = m_ftp->List(path.toStdString(), &entries, pump);
  list->clear();
  if (code == CURLE_OPERATION_TIMEDOUT || code == CURLE_FTP_ACCEPT_TIMEOUT) {
    qDebug() << (m_passive ? "The request has timed out."
                           : "The request has timed out, try connecting using PASV mode.");
    return 0;
  }
  if (code != CURLE_OK) {
    if (directories) qDebug() << "An error occurred opening the folder";
    qDebug().noquote() << QString::fromStdString(m_ftp->ErrorText(code));
    return 0;
  }
  for (const FtpEntry& entry : entries)
    if (entry.directory == directories) list->append(QString::fromStdString(entry.name));
  return 1;
}

void CDMBUpdateDlg::OnUpdate() {
  m_updateButton->setEnabled(false);
  // No link is followed: a planted one must not turn the download into a write elsewhere.
  const int fd = ::open(m_localInstallerPath.toStdString().c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    MessageBox(FormatString(res::kOpenLocalFileFailed, QString::number(errno)));
    EndDialog(kEndCancel);
    return;
  }
  m_source->setText(FormatString(res::kSourceFrom, m_remoteInstallerPath, m_host));
  // Cleared before the thread runs, so that it never sees the flag of the question screen.
  m_cancel = 0;
  try {
    m_downloadThread = std::thread([this, fd] { DownloadThread(fd); });
  } catch (const std::system_error&) {
    m_cancel = 1;
    ::close(fd);
    unlink(m_localInstallerPath.toStdString().c_str());
    EndDialog(kEndCancel);
  }
}

void CDMBUpdateDlg::DownloadThread(int fd) {
  Reporter reporter(this);
  FtpDownload download(m_account, m_services.timeouts, m_cancel, reporter, m_binary);
  const DownloadResult result =
      download.Run(m_remoteInstallerPath.toStdString(), fd, m_localInstallerPath.toStdString());
  const bool failed = result.end == DownloadResult::End::kFailed;
  Post([this, failed, id = result.errorStringId, argument = QString::fromStdString(result.errorArgument)] {
    OnDownloadDone(failed, id, argument);
  });
}

void CDMBUpdateDlg::OnDownloadDone(bool failed, unsigned errorStringId, const QString& errorArgument) {
  m_finished = true;
  if (m_cancel != 0) {
    EndDialog(kEndCancel);
    return;
  }
  if (!failed) {
    RunInstaller();
    EndDialog(kEndOk);
    return;
  }
  const QString errorText = errorStringId ? FormatString(errorStringId, errorArgument) : QString();
  if (!errorText.isEmpty()) MessageBox(errorText);
  EndDialog(kEndCancel);
}

void CDMBUpdateDlg::RunInstaller() {
  const std::string path = m_localInstallerPath.toStdString();
  if (chmod(path.c_str(), S_IRWXU) != 0 || !QProcess::startDetached(m_localInstallerPath, {}))
    qWarning() << "tevalo-update: cannot start" << m_localInstallerPath;
}

void CDMBUpdateDlg::ShowStatus(unsigned stringId, const QString& argument) {
  m_status->setText(argument.isEmpty() ? LoadStringResource(stringId) : FormatString(stringId, argument));
}

void CDMBUpdateDlg::ShowProgress(const ProgressChange& change) {
  if (change.percent) {
    m_progress->setValue(*change.percent);
    setWindowTitle(FormatPercentCaption(*change.percent));
  }
  if (change.rate) m_rate->setText(FormatTransferRate(*change.rate));
  if (change.timeLeft) m_timeLeft->setText(FormatBytesAndTimeLeft(*change.timeLeft));
}

void CDMBUpdateDlg::reject() {
  if (m_cancel == 1) {
    EndDialog(kEndCancel);
    return;
  }
  m_cancel = 1;
  m_cancelButton->setEnabled(false);
  ShowStatus(res::kAborting);
}

void CDMBUpdateDlg::closeEvent(QCloseEvent* event) {
  if (!m_finished) {
    m_cancel = 1;
    m_cancelButton->setEnabled(false);
    ShowStatus(res::kAborting);
  }
  // Reaches reject(), which ends the dialog now that the flag is set; the destructor joins the thread.
  COstrelBaseDialog::closeEvent(event);
}

void CDMBUpdateDlg::done(int code) {
  m_ended = true;
  m_endCode = code;
  COstrelBaseDialog::done(code);
}

void CDMBUpdateDlg::EndDialog(int code) { done(code); }

void CDMBUpdateDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!m_background.isNull()) painter.drawImage(QPoint(0, 0), m_background);
}

void CDMBUpdateDlg::resizeEvent(QResizeEvent* event) {
  COstrelBaseDialog::resizeEvent(event);
  if (m_background.isNull())
    clearMask();
  else
    setMask(RegionFromKeyColor(m_background, kRegionKey));
}

void CDMBUpdateDlg::MessageBox(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok);
  box.exec();
}

void CDMBUpdateDlg::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

}  // namespace tevalo::updater
