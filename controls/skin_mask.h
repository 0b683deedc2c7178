#pragma once
// Key-colour transparency: every pixel of the key colour is left out. One helper for every key colour
// (button strips use magenta 0xFF00FF, window regions green 0x00FF00).
#include <QBitmap>
#include <QImage>
#include <QPixmap>
#include <QRegion>
#include "controls/colorref.h"

// Mask with the non-key pixels set (the shape that stays visible).
QBitmap MaskFromKeyColor(const QImage& image, COLORREF key);
// The same as a region, e.g. for a window shape.
QRegion RegionFromKeyColor(const QImage& image, COLORREF key);
// A copy of the image whose key-colour pixels are fully transparent.
QPixmap PixmapWithKeyTransparent(const QImage& image, COLORREF key);
