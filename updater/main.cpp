// tevalo-update: started by the player's update command; closes the player and runs the update
// dialog. The command line is not read.
#include <curl/curl.h>

#include <QApplication>
#include <QMessageBox>

#include "controls/font_aliases.h"
#include "controls/resources.h"
#include "updater/resource_ids.h"
#include "updater/resources/updater_resources.h"
#include "updater/update_dialog.h"

int main(int argc, char** argv) {
  LoadFontAliases();  // before the application builds its font database
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tevalo-update"));
  InstallUpdaterResources();
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(),
                    LoadStringResource(tevalo::updater::res::kSocketInitFailed), QMessageBox::Ok);
    box.exec();
    return 0;
  }
  {
    tevalo::updater::CDMBUpdateDlg dialog;
    dialog.DoModal();
  }
  curl_global_cleanup();
  return 0;
}
