#include "controls/font_aliases.h"

#include <fontconfig/fontconfig.h>
#include <QFile>
#include <QtGlobal>
#include <cmath>
#include <memory>

namespace {
// Adds the bold Liberation Sans file once more as an application font: fontconfig scans it with the
// alias file's scan rule, which gives it the extra family "Arial Black".
bool AddHeavyFace(FcConfig* config) {
  std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(
      FcNameParse(reinterpret_cast<const FcChar8*>("Liberation Sans:bold:roman")), FcPatternDestroy);
  if (!pattern) return false;
  FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> match(FcFontMatch(config, pattern.get(), &result),
                                                                FcPatternDestroy);
  FcChar8* family = nullptr;
  FcChar8* file = nullptr;
  if (!match || FcPatternGetString(match.get(), FC_FAMILY, 0, &family) != FcResultMatch ||
      FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
    return false;
  if (qstrcmp(reinterpret_cast<const char*>(family), "Liberation Sans") != 0) return false;
  return FcConfigAppFontAddFile(config, file) == FcTrue;
}
}  // namespace

bool LoadFontAliases() {
  QFile file(QStringLiteral(":/tevalo/fonts/tevalo-fonts.conf"));
  if (!file.open(QIODevice::ReadOnly)) {
    qWarning("font aliases: the alias file is missing from the program");
    return false;
  }
  const QByteArray text = file.readAll();
  if (FcInit() != FcTrue) {
    qWarning("font aliases: fontconfig did not initialise");
    return false;
  }
  FcConfig* config = FcConfigGetCurrent();
  if (FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(text.constData()), FcTrue) !=
      FcTrue) {
    qWarning("font aliases: fontconfig refused the alias file");
    return false;
  }
  if (!AddHeavyFace(config)) qWarning("font aliases: no bold Liberation Sans for \"Arial Black\"");
  return true;
}

int PointsToPixels(double points) { return static_cast<int>(std::lround(points * 96.0 / 72.0)); }

QFont PointFont(const QString& face, double points, int weight) {
  QFont font(face);
  font.setPixelSize(PointsToPixels(points));
  font.setWeight(static_cast<QFont::Weight>(weight));
  return font;
}
