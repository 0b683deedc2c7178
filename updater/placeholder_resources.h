// Stand-ins for the updater's resources until the shared resource build provides them: the string
// table, the dialog template's controls and plain art of the right sizes and key colour.
#pragma once

#include <QRect>
#include <QString>
#include <vector>

namespace tevalo::updater {

// Sets the resolvers of controls/resources.h to the updater's strings, bitmaps and icon (as bitmap
// 128). Both are plain table look-ups that any thread may call.
void InstallUpdaterResources();

// One control of dialog template 102, its rectangle in dialog units.
struct TemplateControl {
  int id;
  enum class Kind { kStatic, kProgress, kButton } kind;
  bool visible;
  QRect rect;
  QString caption;
};
const std::vector<TemplateControl>& UpdateDialogTemplate();

}  // namespace tevalo::updater
