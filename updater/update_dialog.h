// The update dialog: closes the player, compares the installed version with the newest one on the
// update host, reports the case to the player's next start, and then restarts the player or asks,
// downloads the installer on a thread of its own and runs it.
#pragma once

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "controls/base_dialog.h"
#include "updater/ftp_client.h"
#include "updater/update_logic.h"

class QLabel;
class QProgressBar;

namespace tevalo::updater {

class CHoverButton;

// What the dialog takes from outside; tests shorten the waits.
struct UpdateDialogServices {
  FtpTimeouts timeouts;
  uint32_t playerExitWaitMs = 15000;
};

class CDMBUpdateDlg : public COstrelBaseDialog {
  Q_OBJECT
 public:
  static constexpr int kEndOk = 1;
  static constexpr int kEndCancel = 2;

  explicit CDMBUpdateDlg(UpdateDialogServices services = {}, QWidget* parent = nullptr);
  // Stops and joins a download that still runs.
  ~CDMBUpdateDlg() override;

  // The whole run: the check, then the question and the download; the dialog's end code.
  int DoModal();
  // The check alone: true when the dialog now shows the question, false when it has ended.
  bool Start();
  bool Ended() const { return m_ended; }
  int EndCode() const { return m_endCode; }

  QWidget* GetDlgItem(int id) const;
  const QString& LocalInstallerPath() const { return m_localInstallerPath; }
  const QString& InstalledVersion() const { return m_installedVersion; }
  const QString& NewestVersion() const { return m_newestVersion; }

 protected:
  bool OnInitDialog() override;
  void done(int code) override;
  void reject() override;  // Cancel and Esc
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  class Reporter;

  int Connect(const QString& host, uint16_t port, const QString& user, const QString& password, bool passive,
              int attempts);
  int ListDirectories(const QString& path, QStringList* list);
  int ListFiles(const QString& path, QStringList* list);
  int ListEntries(const QString& path, QStringList* list, bool directories);
  int ReadInstalledVersion();
  int ReadPlayerPath();
  // Restarts the player once the old one has let go of its lock, and ends the dialog.
  bool RestartPlayer();
  void ShowQuestion(const QString& installerName);

  void OnUpdate();
  void DownloadThread(int fd);
  void OnDownloadDone(bool failed, unsigned errorStringId, const QString& errorArgument);
  void RunInstaller();

  void ShowStatus(unsigned stringId, const QString& argument = {});
  void ShowProgress(const ProgressChange& change);
  void EndDialog(int code);
  void MessageBox(const QString& text);
  void Post(std::function<void()> call);

  UpdateDialogServices m_services;
  QFont m_statusFont;
  CHoverButton* m_cancelButton = nullptr;
  CHoverButton* m_updateButton = nullptr;
  QLabel* m_status = nullptr;
  QLabel* m_rate = nullptr;
  QLabel* m_timeLeft = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_source = nullptr;
  std::map<int, QWidget*> m_controls;
  QIcon m_icon;

  std::unique_ptr<FtpSession> m_ftp;  // the check's connection
  FtpAccount m_account;               // as the check connected
  bool m_passive = false;

  QString m_remoteFolder;
  QString m_installerName;
  QString m_host;
  QString m_remoteInstallerPath;
  QString m_localInstallerPath;
  QString m_user;
  QString m_password;
  uint16_t m_port = 21;
  bool m_askPassive = false;  // "Update_Passive"
  bool m_binary = true;
  QString m_newestVersion;
  QImage m_background;
  QString m_installedVersion;
  QString m_playerPath;

  std::atomic<int> m_cancel{1};  // 0 only while a download runs and nobody asked it to stop
  bool m_finished = false;
  std::thread m_downloadThread;
  bool m_ended = false;
  int m_endCode = 0;
};

}  // namespace tevalo::updater
