#pragma once
// Checks that the skin tests of both programs share: what a committed skin must hold whatever it
// looks like.
#include <QApplication>
#include <QImage>
#include <QRect>
#include <span>
#include <string>
#include "controls/skin_catalog.h"

struct ExpectedSkin {
  unsigned id;
  int width;  // the whole picture (a strip's frames together)
  int height;
  int frames;
  COLORREF key;
};

// Every expected id is in the catalog with that size, frame count and key, and nothing else is; each
// loads at that size; strips are frames x the frame width with the key round every frame's shape;
// keyed pictures hold the key outside their shape and opaque ones no key at all; no pixel lies within
// 24 of a key colour in every channel without being it.
void ExpectCatalogMatches(const SkinCatalog& catalog, std::span<const ExpectedSkin> expected);

// A description of the first pixel that comes within 24 of magenta or green in every channel without
// being it; empty when there is none.
std::string NearKeyPixel(const QImage& image);
// A description of the first key pixel inside the rectangle; empty when the shape holds it whole.
std::string KeyInside(const QImage& image, COLORREF key, const QRect& rect);

// The application of a skin test: font aliases loaded first, then the QApplication (offscreen).
QApplication* StartSkinTestApplication(const char* name);
