#pragma once
#include "controls/colorref.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

// A strip of equally wide frames, each filled with its own colour; the top-left 4x4 pixels of every
// frame are magenta (the key colour) so transparency can be seen.
QImage MakeStrip(const std::vector<QColor>& frameColours, int frameWidth, int height, bool keyCorner = true);
// Registers bitmaps for the resolver: id -> image.
void RegisterBitmap(unsigned id, const QImage& image);
// The parent's picture (children included) as an image.
QImage Snapshot(QWidget* widget);
// Writes a picture for a person to look at under the build folder.
void SaveScreenshot(QWidget* widget, const QString& name);
void ProcessEvents(int ms = 0);
// Runs events until done() holds; the bound only ends a broken run.
bool WaitFor(const std::function<bool()>& done, int ms = 60000);
