#pragma once
// The windows name their faces as they were designed ("ＭＳ ゴシック", "ＭＳ UI Gothic", "ＭＳ 明朝",
// "MS-Mincho", "Arial", "Arial Black"); a fontconfig alias file maps them to the installed stand-ins
// (Noto Sans / Serif CJK JP, Liberation Sans). Both programs load it first thing in main(), before the
// QApplication, so Qt's font database is built with the aliases in place.
#include <QFont>
#include <QString>

// True when fontconfig took the alias file (false, with a warning, leaves fonts to Qt's own fallback).
bool LoadFontAliases();

// The windows' point sizes are points at 96 dpi whatever the screen says: 9 pt = 12 px.
int PointsToPixels(double points);
QFont PointFont(const QString& face, double points, int weight = QFont::Normal);
