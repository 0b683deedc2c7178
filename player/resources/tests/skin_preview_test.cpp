// Pictures of the player's skin as its windows compose it, written under the build folder for a person
// to look at: the main window in both sizes (with and without the overlay places marked), the floating
// panels and the playlist shaped over a checkered desktop, the splash, every strip at 1x and 4x, every
// animation frame and the level bars.
#include "skin_preview.h"
#include <gtest/gtest.h>
#include <QFileInfo>
#include <QPainterPath>
#include "controls/font_aliases.h"
#include "controls/skin_mask.h"
#include "player/resources/dialog_templates.h"
#include "player/resources/player_resources.h"

namespace {
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);

QImage Bmp(unsigned id) { return PlayerSkin().Bitmap(id); }

// Frame of a button strip: 0 normal, 1 pressed, 2 hover.
void Button(QPainter& p, unsigned id, QPoint at, int frame = 0) {
  DrawKeyed(p, at, StripFrame(Bmp(id), 3, frame), kMagenta);
}

void Text(QPainter& p, const QRect& r, const QString& text, const QFont& font, QColor colour,
          int flags = Qt::AlignLeft | Qt::AlignVCenter) {
  p.setFont(font);
  p.setPen(colour);
  p.drawText(r, flags, text);
}

// A stand-in for the broadcast picture.
void Picture(QPainter& p, const QRect& r) {
  QLinearGradient sky(r.topLeft(), r.bottomLeft());
  sky.setColorAt(0, QColor(62, 104, 150));
  sky.setColorAt(1, QColor(170, 150, 110));
  p.fillRect(r, sky);
  p.fillRect(QRect(r.left(), r.top() + r.height() * 2 / 3, r.width(), r.height() / 3), QColor(60, 92, 58));
}

// The horizontal bitmap slider: active track up to the thumb centre, the track after it, the thumb.
void Slider(QPainter& p, QPoint at, unsigned track, unsigned active, unsigned thumb, int width, int margin,
            double fraction) {
  const QImage t = Bmp(track), a = Bmp(active), th = Bmp(thumb);
  const int travel = width - 2 * margin - th.width();
  const int pixel = margin + static_cast<int>(fraction * travel) + th.width() / 2;
  p.drawImage(at, a, QRect(0, 0, pixel, a.height()));
  p.drawImage(at + QPoint(pixel, 0), t, QRect(pixel, 0, width - pixel, t.height()));
  p.drawImage(at + QPoint(pixel - th.width() / 2, margin), th);
}

// The main window in the normal view as the frame painting and the control layout place it.
QImage MainWindow(int W, int H, bool marks) {
  QImage img(W, H, QImage::Format_RGB32);
  img.fill(Qt::black);
  QPainter p(&img);
  p.drawImage(QRect(0, 0, 84, 52), Bmp(424));
  p.drawImage(QRect(84, 0, W - 168, 52), Bmp(427));
  p.drawImage(QRect(W - 84, 0, 84, 52), Bmp(419));
  p.drawImage(QRect(0, 52, 84, H - 146), Bmp(423));
  p.drawImage(QRect(W - 84, 52, 84, H - 146), Bmp(426));
  p.drawImage(QRect(0, H - 94, 84, 94), Bmp(422));
  p.drawImage(QRect(84, H - 94, W - 168, 94), Bmp(420));
  p.drawImage(QRect(W - 84, H - 94, 84, 94), Bmp(425));
  p.drawImage((W - 346) / 2 + 31, H - 76, Bmp(454));
  p.drawImage(13, 7, Bmp(499));

  // The picture, fitted 16:9 into the video area.
  const int aw = W - 26, ah = H - 147 - 55;
  const int vw = 9 * aw < 16 * ah ? aw : 16 * ah / 9;
  const int vh = 9 * aw < 16 * ah ? 9 * aw / 16 : ah;
  Picture(p, QRect((aw - vw) / 2 + 13, (ah - vh) / 2 + 55, vw, vh));

  const int X = (W - 346) / 2, B = H;
  Button(p, 434, {W - 33, 6});
  Button(p, 435, {W - 54, 6});
  Button(p, 436, {W - 74, 6});
  Button(p, 510, {X + 138, B - 33});
  Button(p, 487, {X + 199, B - 33});
  Button(p, 489, {X + 254, B - 68}, marks ? 0 : 2);  // hovered in the plain picture
  Button(p, 442, {X + 286, B - 68});
  Button(p, 431, {X + 136, B - 68});
  Button(p, 430, {X + 163, B - 68}, marks ? 0 : 1);  // pressed in the plain picture
  Button(p, 429, {X + 195, B - 68});
  Button(p, 439, {X + 222, B - 68});
  Button(p, 456, {X + 36, B - 68});
  Slider(p, {X + 63, B - 60}, 457, 459, 458, 59, 0, 600.0 / 900.0);

  const QFont strip = PointFont(QStringLiteral("ＭＳ ゴシック"), 9);
  QFont name(QStringLiteral("ＭＳ UI Gothic"));
  name.setPixelSize(13);
  name.setBold(true);
  p.fillRect(13, 34, W - 153, 15, Qt::black);
  Text(p, QRect(13, 34, W - 153, 15), QStringLiteral("チャンネル : ＮＨＫ総合１・東京"), name, Qt::white);
  p.fillRect(23, B - 137, W - 46, 15, Qt::black);
  Text(p, QRect(23, B - 137, W - 46, 15), QStringLiteral("19:00-19:30 ニュース7　19:30-20:00 クローズアップ"),
       strip, Qt::white);
  p.fillRect(23, B - 117, W - 46, 15, Qt::black);
  Text(p, QRect(23, B - 117, W - 46, 15), QStringLiteral("録画を開始します。"), strip, Qt::white);
  p.fillRect(W - 130, 36, 80, 15, Qt::black);
  Text(p, QRect(W - 130, 36, 80, 15), QStringLiteral("00:12:34"), strip, QColor(255, 0, 0));
  p.drawImage(W - 40, 37, Bmp(312));

  if (marks) {
    struct Mark {
      QRect r;
      QColor c;
    } places[] = {
        {{13, 34, W - 153, 15}, Qt::cyan},
        {{23, B - 137, W - 46, 15}, Qt::cyan},
        {{23, B - 117, W - 46, 15}, Qt::cyan},
        {{23, B - 197, W - 46, 60}, QColor(0, 160, 255)},
        {{W - 130, 36, 80, 15}, Qt::red},
        {{W - 40, 37, 22, 12}, Qt::green},
        {{15, H - 40, 31, 32}, Qt::yellow},
        {{115, H - 24, 24, 12}, Qt::yellow},
        {{143, H - 24, 24, 12}, Qt::yellow},
        {{7, H - 60, W - 7, 16}, Qt::magenta},
        {{W / 2 - 60, H / 2 - 67, 120, 75}, QColor(255, 140, 0)},
    };
    for (const Mark& m : places) {
      p.setPen(m.c);
      p.setBrush(Qt::NoBrush);
      p.drawRect(m.r.adjusted(0, 0, -1, -1));
    }
  }
  return img;
}

// The main window's region: the client rectangle with 20 x 20 elliptic corners.
QImage OnDesktopRounded(const QImage& window) {
  const int margin = 16;
  QImage out = Checkerboard(window.size() + QSize(2 * margin, 2 * margin));
  QPainter p(&out);
  QPainterPath path;
  path.addRoundedRect(QRectF(margin, margin, window.width(), window.height()), 10, 10);
  p.setClipPath(path);
  p.drawImage(margin, margin, window);
  return out;
}

QImage ChannelPanel() {
  QImage img = Bmp(413);
  QPainter p(&img);
  p.drawImage(13, 7, Bmp(500));
  Button(p, 414, {313, 6});
  Button(p, 415, {300, 40});
  Button(p, 416, {300, 69}, 2);
  Button(p, 490, {298, 102});
  Button(p, 491, {298, 129});
  const QString names[] = {"ＮＨＫ総合", "ＮＨＫＥテレ", "日本テレビ", "ＴＢＳ",
                           "フジテレビ", "テレビ朝日",   "テレビ東京", "ＴＯＫＹＯ ＭＸ"};
  const int numbers[] = {27, 26, 25, 22, 21, 24, 23, 16};
  const QFont font = PointFont(QStringLiteral("MS-Mincho"), 9);
  const int listWidth = 252;  // seven rows or more bring the scroll bar
  for (int row = 0; row < 6; ++row) {
    const QRect r(15, 34 + row * 21, listWidth, 21);
    const bool selected = row == 1, available = row != 4;
    if (selected) p.fillRect(r, QColor(255, 169, 0));
    const QColor text = selected ? (available ? Qt::black : QColor(50, 50, 0))
                                 : (available ? QColor(198, 255, 0) : QColor(60, 80, 0));
    Text(p, r.adjusted(8, 4, -8, -4), QString::number(numbers[row]) + "    " + names[row], font, text);
    p.setPen(QColor(51, 42, 0));
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  }
  // The list's scroll bar for eight rows at the top: thumb 126 x 6 / 8 = 94 high.
  const QPoint bar(15 + 261 - 9, 34);
  p.drawImage(QRect(bar, QSize(9, 126)), Bmp(496));
  const int thumb = 126 * 6 / 8;
  p.drawImage(QRect(bar + QPoint(1, 0), QSize(7, thumb)), Bmp(497));
  p.drawImage(bar + QPoint(1, thumb / 4 - 3), Bmp(513));
  p.drawImage(bar + QPoint(1, thumb / 4 * 3 - 2), Bmp(511));
  return img;
}

QImage PlaybackPanel() {
  QImage img = Bmp(404);
  QPainter p(&img);
  p.drawImage(13, 7, Bmp(503));
  Button(p, 504, {72, 94});
  Button(p, 408, {117, 94});
  Button(p, 406, {162, 94}, 2);  // pause, shown while a recording plays
  Button(p, 409, {207, 94});
  Button(p, 405, {252, 94});
  Button(p, 403, {313, 6});
  const QFont font = PointFont(QStringLiteral("ＭＳ ゴシック"), 9);
  const QColor text(206, 255, 101);
  Text(p, QRect(19, 36, 200, 12), QStringLiteral("ニュース7_20240412.rec"), font, text);
  p.fillRect(220, 36, 110, 12, QColor(1, 0, 0));
  Text(p, QRect(220, 36, 110, 12), QStringLiteral("00:12:34 / 00:30:00"), font, text);
  Slider(p, {17, 54}, 411, 460, 412, 313, 2, 7540.0 / 18000.0);
  return img;
}

// The playlist window painted from its pieces as its background erase does.
QImage Playlist() {
  const int w = 324, h = 200;
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(QColor(128, 128, 128));
  QPainter p(&img);
  p.fillRect(QRect(QPoint(23, 40), QPoint(w - 23, h)), Qt::black);
  p.drawImage(0, 0, Bmp(339));
  p.drawImage(w - 31, 0, Bmp(152));
  p.drawImage(0, h - 19, Bmp(148));
  p.drawImage(w - 31, h - 19, Bmp(154));
  for (int x = 124; x < w - 31; ++x) {
    p.drawImage(x, 0, Bmp(338));
    p.drawImage(x, h - 19, Bmp(337));
  }
  for (int y = 65; y < h - 19; ++y) {
    p.drawImage(0, y, Bmp(150));
    p.drawImage(w - 31, y, Bmp(336));
  }
  Button(p, 292, {w - 32, 9});
  p.drawImage(252, 9, Bmp(382));
  p.drawImage(271, 9, Bmp(380));
  QFont arial(QStringLiteral("Arial"));
  arial.setPixelSize(12);
  Text(p, QRect(23, 45, 276, 14), QStringLiteral("ニュース7_20240412.rec"), arial, Qt::white);

  // The list: header (22 high, items "Name" 215 and "Ext" 100), rows of 20 on 0x262626.
  const QRect list(17, 70, 288, 105);
  p.fillRect(list, QColor(0x26, 0x26, 0x26));
  p.setClipRect(list);
  for (int x = 0; x < list.width(); ++x) p.drawImage(QRect(list.left() + x, 70, 1, 22), Bmp(268));
  const struct {
    int left, width;
    const char* text;
  } items[] = {{0, 215, "Name"}, {215, 100, "Ext"}};
  for (const auto& item : items) {
    const int x = list.left() + item.left;
    if (item.left == 0) {
      p.drawImage(QRect(x, 70, 1, 20), Bmp(259));
    } else {
      p.fillRect(x - 1, 70, 2, 20, QColor(40, 43, 48));
      p.drawImage(QRect(x + 1, 70, 1, 20), Bmp(268));
    }
    p.drawImage(x + item.width - 2, 74, Bmp(156));
    Text(p, QRect(x + 2, 70, item.width - 4, 20), QString::fromUtf8(item.text), arial, Qt::black,
         Qt::AlignCenter);
  }
  const char* rows[][2] = {
      {"ニュース7_20240412", "rec"}, {"ドラマ_20240413", "rec"}, {"天気予報_20240414", "rec"}};
  for (int r = 0; r < 3; ++r) {
    const QRect row(list.left(), 92 + r * 20, list.width(), 20);
    const bool selected = r == 1;
    if (selected) p.fillRect(row, QColor(0x8A, 0x73, 0x73));
    const QColor colour = selected ? Qt::black : Qt::white;
    Text(p, QRect(row.left() + 4, row.top(), 211, 20), QString::fromUtf8(rows[r][0]), arial, colour);
    Text(p, QRect(row.left() + 219, row.top(), 96, 20), QString::fromUtf8(rows[r][1]), arial, colour);
  }
  return img;
}

QImage Splash() {
  QImage img = Bmp(516);
  QPainter p(&img);
  Text(p, QRect(560, 20, 60, 20), QStringLiteral("v1.000"), PointFont(QStringLiteral("Arial Black"), 10),
       Qt::black, Qt::AlignLeft | Qt::AlignTop);
  return img;
}

QImage LevelBars() {
  std::vector<QImage> rows;
  for (int scale : {1, 4}) {
    QImage row(QSize((22 + 4) * 5 * scale + 4, 12 * scale + 8), QImage::Format_RGB32);
    row.fill(QColor(60, 60, 60));
    QPainter p(&row);
    for (int n = 0; n < 5; ++n) p.drawImage(4 + n * 26 * scale, 4, Enlarged(Bmp(309 + n), scale));
    rows.push_back(row);
  }
  return Stacked(rows);
}

void ExpectSaved(const QImage& picture, const QString& name) {
  ASSERT_FALSE(picture.isNull()) << name.toStdString();
  const QString path = SaveSkinShot(picture, name);
  EXPECT_TRUE(QFileInfo(path).size() > 0) << path.toStdString();
}

TEST(PlayerSkinPreview, MainWindowInBothSizes) {
  for (QSize size : {QSize(346, 380), QSize(666, 560)}) {
    const QString stem = QString("main_%1x%2").arg(size.width()).arg(size.height());
    ExpectSaved(OnDesktopRounded(MainWindow(size.width(), size.height(), false)), stem);
    ExpectSaved(OnDesktopRounded(MainWindow(size.width(), size.height(), true)), stem + "_marked");
  }
}

TEST(PlayerSkinPreview, PanelsAndPlaylistShapedOverTheDesktop) {
  ExpectSaved(ShapedOnDesktop(ChannelPanel(), Bmp(413), kGreen), "channel_panel");
  ExpectSaved(ShapedOnDesktop(PlaybackPanel(), Bmp(404), kGreen), "playback_panel");
  ExpectSaved(ShapedOnDesktop(Playlist(), Bmp(396), kMagenta), "playlist");
}

TEST(PlayerSkinPreview, SplashStripsAnimationsAndLevels) {
  ExpectSaved(Splash(), "splash");
  ExpectSaved(StripSheet(PlayerSkin(), 1), "strips_1x");
  ExpectSaved(StripSheet(PlayerSkin(), 4), "strips_4x");
  for (unsigned id : {505u, 506u, 507u})
    ExpectSaved(GifFrames(PlayerSkin().GifBytes(id), 2), QString("gif_%1").arg(id));
  ExpectSaved(LevelBars(), "level_bars");
}

}  // namespace
