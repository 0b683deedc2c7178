// The text strips and the recording indicator: ticks, painting, and texts posted from a stream thread.
#include <gtest/gtest.h>
#include <QPainter>
#include <thread>

#include "panels_support.h"
#include "player/panels/blink_label.h"
#include "player/panels/caption_window.h"
#include "player/panels/ticker_static.h"
#include "test_support.h"

using namespace tevalo::panels;
using panels_test::CountColour;
using panels_test::CountLit;

namespace {

bool AllBlack(const QImage& image) { return CountLit(image, image.rect()) == 0; }

// The rightmost column with ink, -1 when none.
int LastLitColumn(const QImage& image) {
  for (int x = image.width() - 1; x >= 0; --x)
    if (CountLit(image, QRect(x, 0, 1, image.height())) > 0) return x;
  return -1;
}

TEST(TickerStatic, EmptyStripPaintsBlack) {
  CTickerStatic strip;
  strip.resize(300, 15);
  strip.show();
  EXPECT_TRUE(AllBlack(Snapshot(&strip)));
  strip.StartScroll(true, -1);
  strip.OnTimer();
  EXPECT_TRUE(AllBlack(Snapshot(&strip)));
}

TEST(TickerStatic, TimerIsRearmedWhileRunningOnly) {
  CTickerStatic strip;
  strip.SetIndex(2);
  EXPECT_EQ(strip.TimerId(), 10014);
  EXPECT_FALSE(strip.TimerArmed());
  strip.SetText("status", 0);
  strip.StartScroll(true, 100);
  EXPECT_TRUE(strip.TimerArmed());
  strip.OnTimer();
  EXPECT_TRUE(strip.TimerArmed());
  strip.StartScroll(false, 0);
  EXPECT_TRUE(strip.TimerArmed());  // the pending tick still comes
  strip.OnTimer();
  EXPECT_FALSE(strip.TimerArmed());
  EXPECT_EQ(strip.State().Text(), "status");
}

TEST(TickerStatic, TextDrawnAtTheLeftEdgeOrScrolled) {
  CTickerStatic strip;
  strip.resize(300, 15);
  strip.show();
  strip.SetText("番組", 1);
  strip.StartScroll(true, -1);
  const QImage start = Snapshot(&strip);
  const int end = LastLitColumn(start);
  ASSERT_GT(end, 10);
  EXPECT_GT(CountColour(start, start.rect(), Qt::white), 0);
  for (int i = 0; i < 10; ++i) strip.OnTimer();
  EXPECT_EQ(LastLitColumn(Snapshot(&strip)), end - 10);

  // A new text on the running strip shows at the next paint without restarting the run.
  strip.SetText("ニュース", 1);
  strip.OnTimer();
  EXPECT_EQ(strip.State().TextLeft(), -11);
  strip.SetText("ニュース", 0);  // fixed: back at the left edge
  EXPECT_EQ(LastLitColumn(Snapshot(&strip)), LastLitColumn([] {
              CTickerStatic fresh;
              fresh.resize(300, 15);
              fresh.SetText("ニュース", 0);
              fresh.StartScroll(true, -1);
              return Snapshot(&fresh);
            }()));
}

TEST(TickerStatic, AStillTextTooWideIsDrawnNarrowerUpToAPointThenCut) {
  struct Case {
    int text, client;
    double scale;
  } cases[] = {{300, 300, 1.0}, {100, 300, 1.0}, {330, 300, 300.0 / 330}, {375, 300, 0.8}, {600, 300, 0.8},
               {0, 300, 1.0},   {300, 0, 1.0}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(CondenseToFit(c.text, c.client), c.scale) << c.text;

  // The removed-stick notice in the status strip's width: whole, ending inside the strip.
  auto lastColumn = [](const QString& text, int mode) {
    CTickerStatic strip;
    strip.resize(300, 15);
    strip.show();
    strip.SetText(text, mode);
    strip.StartScroll(true, -1);
    return LastLitColumn(Snapshot(&strip));
  };
  const QString removed = QString::fromUtf8("USBデバイスが取り外されました。プレーヤーを停止します。");
  const int end = lastColumn(removed, 0);
  EXPECT_GT(end, 240);
  EXPECT_LT(end, 296);
  // Far too wide: condensed as far as it goes, then cut at the edge. Scrolling texts keep their width.
  EXPECT_GE(lastColumn(removed + removed, 0), 298);
  EXPECT_GE(lastColumn(removed, 1), 298);
}

TEST(TickerStatic, StatusTextClearedAfterItsTicks) {
  CTickerStatic strip;
  strip.resize(300, 15);
  strip.show();
  strip.SetText("予約録画を開始します。", 0);
  strip.StartScroll(true, 100);
  for (int tick = 1; tick <= 100; ++tick) strip.OnTimer();
  EXPECT_FALSE(AllBlack(Snapshot(&strip)));
  strip.OnTimer();
  EXPECT_TRUE(AllBlack(Snapshot(&strip)));
  EXPECT_TRUE(strip.TimerArmed());  // an empty strip keeps ticking while running
}

TEST(BlinkLabel, AlternatesAfterOnePeriod) {
  CBlinkLabel label;
  label.resize(80, 15);
  label.show();
  EXPECT_TRUE(AllBlack(Snapshot(&label)));
  label.SetBlink(true, "REC");
  EXPECT_TRUE(label.TimerArmed());
  EXPECT_EQ(label.ShownText(), "");
  const char* phases[] = {"REC", "", "REC", ""};
  for (const char* phase : phases) {
    label.OnTimer();
    EXPECT_EQ(label.ShownText(), phase);
    EXPECT_TRUE(label.TimerArmed());
  }
  label.OnTimer();
  EXPECT_GT(CountColour(Snapshot(&label), label.rect(), QColor(255, 0, 0)), 0);
  label.SetBlink(false);
  EXPECT_FALSE(label.TimerArmed());
  EXPECT_EQ(label.ShownText(), "");
}

TEST(BlinkLabel, StoppedBeforeAnyTickLeavesNothingScheduled) {
  CBlinkLabel label;
  label.SetBlink(true, "REC");
  label.SetBlink(false);
  EXPECT_FALSE(label.TimerArmed());
  EXPECT_FALSE(label.Blinking());
  EXPECT_EQ(label.ShownText(), "");
}

TEST(BlinkLabel, RealTimerShowsTheWordThenHidesIt) {
  CBlinkLabel label;
  label.SetBlink(true, "REC");
  ASSERT_TRUE(panels_test::WaitFor([&] { return label.ShownText() == "REC"; }));
  ASSERT_TRUE(panels_test::WaitFor([&] { return label.ShownText().isEmpty(); }));
  ASSERT_TRUE(panels_test::WaitFor([&] { return label.ShownText() == "REC"; }));
}

TEST(BlinkLabel, ClockShowsWhileTheWordIsHidden) {
  CBlinkLabel label;
  label.resize(80, 15);
  label.show();
  label.SetWindowText("00:01:05");
  label.SetBlink(true, "REC");
  const QImage clock = Snapshot(&label);
  EXPECT_GT(CountLit(clock, clock.rect()), 0);
  label.OnTimer();
  const QImage word = Snapshot(&label);
  EXPECT_NE(word, clock);
  for (const QImage& phase : {clock, word}) {
    // Red on black only.
    for (int y = 0; y < phase.height(); ++y)
      for (int x = 0; x < phase.width(); ++x) {
        const QColor c = phase.pixelColor(x, y);
        EXPECT_TRUE(c.green() == 0 && c.blue() == 0) << x << "," << y;
      }
  }
  // A picture to look at: both phases, then the same four times larger.
  QImage sheet(80, 34, QImage::Format_RGB32);
  sheet.fill(QColor(0x1b, 0x1d, 0x22));
  QPainter p(&sheet);
  p.drawImage(0, 0, word);
  p.drawImage(0, 19, clock);
  p.end();
  panels_test::SaveImage(sheet, "rec_indicator");
  panels_test::SaveImage(sheet.scaled(sheet.size() * 4), "rec_indicator_x4");
}

TEST(Strips, TenThousandTextsPostedFromAStreamThreadKeepTheirOrder) {
  CTickerStatic programme;
  programme.SetIndex(1);
  CCaptionWnd caption;
  caption.resize(300, 60);
  std::vector<int> seen;
  constexpr int kCount = 10000;
  std::thread stream([&] {
    for (int i = 0; i < kCount; ++i) {
      CaptionScreen screen{};
      screen[0].lineCount = 1;
      screen[0].crFlag = 1;
      screen[0].colour = 8;
      const std::u16string text = u"字幕 " + QString::number(i).toStdU16String();
      std::copy(text.begin(), text.end(), screen[0].text);
      QMetaObject::invokeMethod(
          &programme,
          [&, i, screen] {
            programme.SetText(QString("番組 %1").arg(i), 1);
            programme.StartScroll(true, -1);
            caption.SetCaption(screen);
            seen.push_back(i);
          },
          Qt::QueuedConnection);
    }
  });
  stream.join();
  ASSERT_TRUE(panels_test::WaitFor([&] { return int(seen.size()) == kCount; }, 60000));
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(seen[size_t(i)], i);
  EXPECT_EQ(programme.State().Text(), QString("番組 %1").arg(kCount - 1));
  ASSERT_EQ(caption.Layout().pieces.size(), 1u);
  EXPECT_TRUE(caption.Layout().pieces[0].text == u"字幕 " + QString::number(kCount - 1).toStdU16String());
}

TEST(Strips, Screenshot) {
  // The main window's three strips at their sizes, on the dark frame.
  QWidget panel;
  panel.setFixedSize(346, 64);
  panels_test::PaintDark(panel);
  auto* name = new CTickerStatic(&panel, 1046);
  name->setGeometry(13, 6, 193, 15);
  auto* programme = new CTickerStatic(&panel, 1047);
  programme->setGeometry(23, 26, 300, 15);
  auto* status = new CTickerStatic(&panel, 1048);
  status->setGeometry(23, 46, 300, 15);
  name->SetIndex(0);
  programme->SetIndex(1);
  status->SetIndex(2);
  name->SetText("チャンネル : ＮＨＫ総合", 0);
  programme->SetText("   <現在の番組> * ニュース・気象情報 (19:00:00 ～ 19:30:00)    今日のニュースと天気",
                     1);
  status->SetText("予約録画を開始します。", 0);
  name->StartScroll(true, -1);
  programme->StartScroll(true, -1);
  status->StartScroll(true, 100);
  for (int i = 0; i < 40; ++i) programme->OnTimer();
  SaveScreenshot(&panel, "text_strips");
}

}  // namespace
