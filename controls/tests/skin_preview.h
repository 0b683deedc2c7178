#pragma once
// Pictures of a skin for a person to look at: windows shaped over a checkered desktop, sheets of
// strips and frames. Written under the build folder (screenshots/skin/).
#include <QImage>
#include <QPainter>
#include <QString>
#include <vector>
#include "controls/skin_catalog.h"

QImage Checkerboard(QSize size);
// Pixel-exact enlargement (nearest neighbour).
QImage Enlarged(const QImage& image, int factor);
// Frame `index` of a strip of `frames` frames.
QImage StripFrame(const QImage& strip, int frames, int index);
// Draws the picture with its key colour transparent.
void DrawKeyed(QPainter& painter, QPoint at, const QImage& image, COLORREF key);
// The window picture cut to the non-key pixels of its shape bitmap, on a checkered desktop with a margin.
QImage ShapedOnDesktop(const QImage& window, const QImage& shape, COLORREF key, int margin = 16);
// Every strip of the catalog, one row each, at the given scale, on a checkered ground.
QImage StripSheet(const SkinCatalog& catalog, int scale);
// Every frame of a GIF side by side at the given scale.
QImage GifFrames(const QByteArray& gif, int scale);
// Stacks pictures vertically with a gap, on a neutral ground.
QImage Stacked(const std::vector<QImage>& pictures, int gap = 12);
// Saves the picture as screenshots/skin/<name>.png under the build folder; returns the path.
QString SaveSkinShot(const QImage& picture, const QString& name);
