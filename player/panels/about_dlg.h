// The product picture with the version label, 640 x 360 without a frame: the splash at start and the
// About window. A click anywhere closes it.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace tevalo::panels {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  // Places the window topmost in the middle of the screen and reads the version.
  bool OnInitDialog();
  // The installed version ("version" of the installation values); empty when it cannot be read.
  const QString& Version() const { return m_strVersion; }
  QLabel* VersionLabel() const { return m_versionLabel; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString m_strVersion;
  QLabel* m_versionLabel = nullptr;
};

}  // namespace tevalo::panels
