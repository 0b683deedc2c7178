#pragma once
// Bitmaps, strings and GIF animations are looked up by their resource identifier through resolvers the
// application sets once at start-up (tests set synthetic ones).
#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>

using BitmapResolver = std::function<QImage(unsigned id)>;
using StringResolver = std::function<QString(unsigned id)>;
// The bytes of a GIF file as stored; the animated static parses them itself.
using GifResolver = std::function<QByteArray(unsigned id)>;

void SetBitmapResolver(BitmapResolver resolver);
void SetStringResolver(StringResolver resolver);
void SetGifResolver(GifResolver resolver);
// A null image / empty string when there is no resolver or no such resource.
QImage LoadBitmapResource(unsigned id);
QString LoadStringResource(unsigned id);
// Empty when there is no resolver or no such animation.
QByteArray LoadGifResource(unsigned id);
