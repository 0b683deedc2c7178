// The caption window: drawing, countdown, and the sample broadcast's first caption screen decoded on
// a stream thread.
#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QTextLayout>
#include <atomic>
#include <thread>

#include "panels_support.h"
#include "player/panels/caption_window.h"
#include "player/pipeline/text/tests/fixture_check.h"
#include "test_support.h"

using namespace tevalo::panels;
using panels_test::CountColour;
using panels_test::CountLit;

namespace {

CaptionScreen Screen(std::initializer_list<std::pair<int, std::u16string>> lines, int time = 0) {
  CaptionScreen s{};
  size_t i = 0;
  for (const auto& [colour, text] : lines) {
    CaptionLine& l = s[i++];
    l.lineCount = int(lines.size());
    l.crFlag = 2;
    l.colour = colour;
    l.timeValue = time;
    std::copy(text.begin(), text.end(), l.text);
  }
  s[0].crFlag = 1;
  return s;
}

// Every character of the text has a glyph in the font or its fallbacks.
bool AllGlyphsPresent(const QFont& font, const QString& text) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  int glyphs = 0;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    for (quint32 index : run.glyphIndexes())
      if (index == 0) return false;
    glyphs += int(run.glyphIndexes().size());
  }
  return glyphs == text.size();
}

// Lit pixels of a text drawn on black in one of the caption colours keep that colour's hue.
bool LitPixelsHaveHue(const QImage& image, const QRect& area, const QColor& colour) {
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c == Qt::black) continue;
      const int channels[3] = {c.red(), c.green(), c.blue()};
      const int want[3] = {colour.red(), colour.green(), colour.blue()};
      int lit = -1;
      for (int k = 0; k < 3; ++k) {
        if (want[k] == 0 && channels[k] != 0) return false;
        if (want[k] != 0) {
          if (lit >= 0 && channels[k] != lit) return false;
          lit = channels[k];
        }
      }
    }
  return true;
}

class CaptionWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wnd.resize(300, 60);  // the main window's caption area
    wnd.show();
  }
  QRect RowRect(int row) const {
    const QRect block = wnd.BlockRect();
    return QRect(0, block.y() + row * kCaptionRowHeight, wnd.width(), kCaptionRowHeight);
  }
  CCaptionWnd wnd;
};

TEST_F(CaptionWindowTest, ColoursAndClear) {
  wnd.SetCaption(Screen({{2, u"赤い字"}, {8, u"白い字"}, {9, u"九番"}, {1, u"黒"}}));
  wnd.resize(300, 80);
  const QImage picture = Snapshot(&wnd);
  EXPECT_TRUE(LitPixelsHaveHue(picture, RowRect(0), Qt::red));
  EXPECT_TRUE(LitPixelsHaveHue(picture, RowRect(1), Qt::white));
  EXPECT_TRUE(LitPixelsHaveHue(picture, RowRect(2), Qt::white));  // codes outside 1..8 are white
  EXPECT_GT(CountLit(picture, RowRect(0)), 0);
  EXPECT_GT(CountLit(picture, RowRect(2)), 0);
  EXPECT_EQ(CountLit(picture, RowRect(3)), 0);  // black on black
  EXPECT_TRUE(wnd.TimerActive());

  wnd.ClearCaption();
  EXPECT_FALSE(wnd.TimerActive());
  const QImage cleared = Snapshot(&wnd);
  EXPECT_EQ(CountColour(cleared, cleared.rect(), Qt::black), cleared.width() * cleared.height());
}

TEST_F(CaptionWindowTest, NarrowWindowShowsNothingAndScreenWithoutLinesKeepsTheOld) {
  wnd.SetCaption(Screen({{8, u"字幕"}}));
  wnd.resize(250, 60);
  QImage picture = Snapshot(&wnd);
  EXPECT_EQ(CountLit(picture, picture.rect()), 0);
  wnd.resize(251, 60);
  EXPECT_GT(CountLit(Snapshot(&wnd), wnd.rect()), 0);

  const QImage before = Snapshot(&wnd);
  wnd.SetCaption(CaptionScreen{});
  EXPECT_EQ(Snapshot(&wnd), before);
  EXPECT_TRUE(wnd.TimerActive());  // restarted over the old lines
}

TEST_F(CaptionWindowTest, LinesLeaveWhenTheirTimeRunsOut) {
  CaptionScreen timed = Screen({{8, u"ずっと"}, {8, u"三回"}});
  timed[1].timeValue = 4;  // shown for 3 ticks
  wnd.SetCaption(timed);
  for (int tick = 1; tick <= 2; ++tick) {
    wnd.OnTimer();
    EXPECT_EQ(wnd.Layout().pieces.size(), 2u) << tick;
  }
  wnd.OnTimer();
  EXPECT_EQ(wnd.Layout().pieces.size(), 1u);
  wnd.close();
  EXPECT_FALSE(wnd.TimerActive());
}

TEST_F(CaptionWindowTest, SampleBroadcastFirstScreenDecodedOnAStreamThread) {
  namespace fc = fixture_check;
  const fc::fs::path dir = fc::FixtureRoot() / "sample" / "ch27";
  if (!fc::fs::exists(dir / "manifest.json")) GTEST_SKIP() << "no sample broadcast under " << dir;
  const fc::json manifest = fc::json::parse(std::ifstream(dir / "manifest.json"));
  const auto& lines = manifest["captions"][0]["lines"];

  // The stream thread posts each screen to the GUI thread, as the player's core does; the first counts.
  struct PostingSink : RecordingSink {
    CCaptionWnd* wnd = nullptr;
    std::atomic<int> posted{0};
    void ShowCaption(const CaptionScreen& screen) override {
      if (posted++ > 0) return;
      QMetaObject::invokeMethod(
          wnd, [w = wnd, screen] { w->SetCaption(screen); }, Qt::QueuedConnection);
    }
  } sink;
  sink.wnd = &wnd;
  std::thread stream([&] {
    CAribTextDecoders decoders(&sink);
    fc::Walk(fc::ReadFile(dir / "stream.ts"), {manifest["pids"]["caption"].get<int>()}, decoders);
  });
  stream.join();
  ASSERT_GT(sink.posted.load(), 0);
  ASSERT_TRUE(panels_test::WaitFor([&] { return !wnd.Layout().pieces.empty(); }));

  // White, yellow and red rows with the manifest's texts; the third goes on where the second ended.
  const auto& pieces = wnd.Layout().pieces;
  ASSERT_EQ(pieces.size(), lines.size());
  const QFontMetrics metrics(wnd.CaptionFont());
  const QImage picture = Snapshot(&wnd);
  SaveScreenshot(&wnd, "caption_window");
  const QRect block = wnd.BlockRect();
  for (size_t i = 0; i < pieces.size(); ++i) {
    SCOPED_TRACE(i);
    const QString text = QString::fromUtf16(pieces[i].text.data(), qsizetype(pieces[i].text.size()));
    EXPECT_EQ(text.toStdString(), lines[i]["shown"].get<std::string>());
    EXPECT_EQ(pieces[i].colour, lines[i]["colour"].get<int>());
    EXPECT_EQ(pieces[i].row, int(i));
    EXPECT_TRUE(AllGlyphsPresent(wnd.CaptionFont(), text));
    EXPECT_LE(block.x() + pieces[i].x + metrics.horizontalAdvance(text), wnd.width());
    const QColor colour = ColorFromColorRef(CaptionColour(pieces[i].colour));
    const QRect row = RowRect(int(i));
    EXPECT_TRUE(LitPixelsHaveHue(picture, row, colour));
    // Every character leaves ink in its own cell: nothing is cut off at the right.
    for (int c = 0; c < text.size(); ++c) {
      const int left = block.x() + pieces[i].x + metrics.horizontalAdvance(text.left(c));
      const int right = block.x() + pieces[i].x + metrics.horizontalAdvance(text.left(c + 1));
      EXPECT_GT(CountLit(picture, QRect(left, row.y(), right - left, row.height())), 0) << "character " << c;
    }
  }
  EXPECT_EQ(pieces[2].x, metrics.horizontalAdvance(
                             QString::fromUtf16(pieces[1].text.data(), qsizetype(pieces[1].text.size()))));

  // The red row's time (10) runs out after 9 ticks; the others stay.
  ASSERT_EQ(lines[2]["time"].get<int>(), 10);
  for (int tick = 1; tick <= 8; ++tick) wnd.OnTimer();
  EXPECT_EQ(wnd.Layout().pieces.size(), 3u);
  wnd.OnTimer();
  ASSERT_EQ(wnd.Layout().pieces.size(), 2u);
  const QImage after = Snapshot(&wnd);
  EXPECT_EQ(CountColour(after, after.rect(), Qt::red), 0);
  for (int tick = 0; tick < 50; ++tick) wnd.OnTimer();
  EXPECT_EQ(wnd.Layout().pieces.size(), 2u);
}

}  // namespace
