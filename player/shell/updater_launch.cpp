#include "player/shell/updater_launch.h"

#include <QProcess>
#include <QString>

namespace tevalo::shell {

bool StartUpdater(const std::u16string& installDir) {
  std::u16string program = installDir;
  if (!program.empty() && program.back() != u'/') program += u'/';
  program += u"tevalo-update";
  return QProcess::startDetached(QString::fromStdU16String(program), {});
}

}  // namespace tevalo::shell
