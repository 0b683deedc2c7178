// The update dialog's flows in-process against a loopback FTP server, with a player stand-in in a
// process of its own, stub programs for the restarted player and the installer, and the message
// boxes answered. Screenshots of the question, a download, a stop and the boxes land in
// <build>/screenshots.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <set>

#include "controls/font_aliases.h"
#include "controls/resources.h"
#include "platform/kernel/sync.h"
#include "updater/hover_button.h"
#include "updater/installation.h"
#include "updater/resource_ids.h"
#include "updater/resources/updater_resources.h"
#include "updater/tests/test_host.h"
#include "updater/update_dialog.h"

namespace tevalo::updater {
namespace {

using test::FtpServer;
using tevalo_test::ChildProcess;

const QString kQuestion = QStringLiteral("新しいソフトウェアにアップデートします。よろしいですか");
const QString kAlreadyCurrent =
    QStringLiteral("最新バージョンを使用中です。 アップデートする内容がないです。");
const QString kCannotConnect = QStringLiteral("ftpサーバーに接続することができません。");

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "updater_dialog_test";
    static char* argv[] = {name, nullptr};
    LoadFontAliases();
    // A desktop-sized screen instead of the offscreen default of 800 x 600, where message boxes wrap
    // narrower than on any real desktop and the screenshots would show that.
    if (qEnvironmentVariable("QT_QPA_PLATFORM") == "offscreen") {
      const std::string config = test::MakeTempDir("screen") + "/screen.json";
      test::WriteFile(config,
                      R"({"screens": [{"name": "screen-1", "x": 0, "y": 0, "width": 1280, "height": 800}]})");
      qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString("offscreen:configfile=" + config));
    }
    app_ = new QApplication(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    InstallUpdaterResources();
  }
  void TearDown() override {
    curl_global_cleanup();
    delete app_;
  }

 private:
  QApplication* app_ = nullptr;
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QTest::qWait(10);
  }
  return true;
}

// The window as it shows on a desktop: its region over a checkered background.
void SaveShaped(QWidget* window, const QString& name) {
  const QImage shot = window->grab().toImage();
  QImage canvas(shot.width() + 40, shot.height() + 40, QImage::Format_RGB32);
  QPainter p(&canvas);
  for (int y = 0; y < canvas.height(); y += 10)
    for (int x = 0; x < canvas.width(); x += 10)
      p.fillRect(x, y, 10, 10, ((x + y) / 10) % 2 ? QColor(200, 200, 200) : QColor(255, 255, 255));
  if (!window->mask().isEmpty()) p.setClipRegion(window->mask().translated(20, 20));
  p.drawImage(20, 20, shot);
  p.end();
  const QString dir = qEnvironmentVariable("TEVALO_BINARY_DIR", QDir::tempPath()) + "/screenshots";
  QDir().mkpath(dir);
  canvas.save(dir + "/" + name + ".png");
}

// One installation: registry, install folder with a player stub, temporary folder, version events.
class World {
 public:
  explicit World(size_t installerSize = 64 * 1024)
      : dir(test::MakeTempDir("world")), host(test::MakeUpdateHost(dir, installerSize)) {
    std::filesystem::create_directories(installDir());
    std::filesystem::create_directories(tmpDir());
    qputenv("TMPDIR", QByteArray::fromStdString(tmpDir()));
    // The restarted player records whether the stand-in had already ended.
    test::WriteFile(installDir() + "/tevalo",
                    "#!/bin/sh\nif [ -e '" + dir +
                        "/standin-exited' ]; then s=after; else s=before; fi\necho $s >> '" + playerStarts() +
                        "'\n",
                    0755);
    recentEvent = tvk::CreateEvent(false, false, kRecentVersionEvent);
    oldEvent = tvk::CreateEvent(false, false, kOldVersionEvent);
  }

  void WriteRegistry(const std::string& version, uint16_t port, const std::string& extra = {}) {
    const std::string path = dir + "/registry.ini";
    test::WriteFile(path, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n\"Install_Dir\"=\"" + installDir() +
                              "/\"\n\"Version\"=\"" + version +
                              "\"\n\"Update_Host\"=\"127.0.0.1\"\n\"Update_Port\"=dword:" +
                              QString::number(port, 16).rightJustified(8, '0').toStdString() +
                              "\n\"update_user\"=\"tevalo\"\n" + extra);
    setenv("TEVALO_REGISTRY", path.c_str(), 1);
  }

  static bool Signalled(const tvk::Handle& event) {
    return tvk::WaitForSingleObject(event, 0) == tvk::WAIT_OBJECT_0;
  }
  std::string installDir() const { return dir + "/install"; }
  std::string tmpDir() const { return dir + "/tmp"; }
  std::string playerStarts() const { return dir + "/player-starts"; }
  std::string localInstaller() const { return tmpDir() + "/" + host.installerName; }
  std::string PlayerStartsText() const {
    if (!test::WaitForFile(playerStarts())) return {};
    std::string text;
    WaitUntil([&] {
      text = test::ReadFile(playerStarts()).value_or("");
      return !text.empty() && text.back() == '\n';
    });
    return text;
  }

  std::string dir;
  test::UpdateHost host;
  tvk::Handle recentEvent;
  tvk::Handle oldEvent;
};

// Answers each of the dialog's message boxes with OK as it shows, recording its text; the boxes are
// saved as screenshots under the given names, in order.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::vector<QString>* texts, std::vector<QString> screenshotNames = {})
      : texts_(texts), names_(std::move(screenshotNames)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start();
  }

 private:
  void Answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    texts_->push_back(box->text());
    if (next_ < names_.size()) SaveShaped(box, names_[next_++]);
    box->button(QMessageBox::Ok)->click();
  }

  std::vector<QString>* texts_;
  std::vector<QString> names_;
  size_t next_ = 0;
  QTimer timer_;
};

// The dialog, made (reading the installation values) by Start(), with its message boxes answered.
struct DialogRun {
  explicit DialogRun(FtpTimeouts timeouts = {}, std::vector<QString> boxScreenshots = {})
      : answerer(&boxes, std::move(boxScreenshots)) {
    services.timeouts = timeouts;
  }
  bool Start() {
    dialog = std::make_unique<CDMBUpdateDlg>(services);
    return dialog->Start();
  }
  QLabel* Label(int id) const { return qobject_cast<QLabel*>(dialog->GetDlgItem(id)); }
  QProgressBar* Progress() const { return qobject_cast<QProgressBar*>(dialog->GetDlgItem(res::kIdProgress)); }
  CHoverButton* Button(int id) const { return static_cast<CHoverButton*>(dialog->GetDlgItem(id)); }
  void Click(int id) const { QTest::mouseClick(Button(id), Qt::LeftButton, {}, QPoint(19, 19)); }

  UpdateDialogServices services;
  std::vector<QString> boxes;
  BoxAnswerer answerer;
  std::unique_ptr<CDMBUpdateDlg> dialog;
};

// An installation one version behind, its server, and the dialog at the question.
struct AtQuestion {
  explicit AtQuestion(size_t installerSize = 64 * 1024, std::vector<std::string> serverOptions = {},
                      std::vector<QString> boxScreenshots = {})
      : world(installerSize),
        server(world.host.root, std::move(serverOptions)),
        run({}, std::move(boxScreenshots)) {
    world.WriteRegistry("1.0.0", server.port());
    shown = run.Start();
  }
  World world;
  FtpServer server;
  DialogRun run;
  bool shown = false;
};

class CurrentVersion : public ::testing::TestWithParam<bool> {};

TEST_P(CurrentVersion, SetsRecentAndRestartsThePlayerOnceItHasEnded) {
  World world;
  FtpServer server(world.host.root);
  world.WriteRegistry("1.0.9", server.port(), GetParam() ? "\"Update_Passive\"=dword:00000001\n" : "");
  ChildProcess standin("player-standin", {world.dir});
  ASSERT_EQ(standin.ReadLine(), "ready");

  DialogRun run({}, {GetParam() ? "updater-box-current-passive" : "updater-box-current"});
  EXPECT_FALSE(run.Start());
  EXPECT_EQ(standin.ReadLine(), "close");
  EXPECT_EQ(run.dialog->EndCode(), CDMBUpdateDlg::kEndOk);
  EXPECT_EQ(run.dialog->NewestVersion(), "1.0.9");
  EXPECT_EQ(run.boxes, std::vector<QString>{kAlreadyCurrent});
  EXPECT_TRUE(World::Signalled(world.recentEvent));
  EXPECT_FALSE(World::Signalled(world.oldEvent));
  EXPECT_FALSE(run.dialog->isVisible());
  EXPECT_EQ(world.PlayerStartsText(), "after\n");
}

INSTANTIATE_TEST_SUITE_P(Modes, CurrentVersion, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

TEST(UpdateDialog, OlderVersionAsksDownloadsAndRunsTheInstaller) {
  World world(256 * 1024);
  FtpServer server(world.host.root, {"--throttle", "65536"});  // about four seconds
  world.WriteRegistry("1.0.0", server.port());
  ChildProcess standin("player-standin", {world.dir});
  ASSERT_EQ(standin.ReadLine(), "ready");

  DialogRun run;
  ASSERT_TRUE(run.Start());
  EXPECT_EQ(standin.ReadLine(), "close");
  EXPECT_TRUE(World::Signalled(world.oldEvent));
  EXPECT_FALSE(World::Signalled(world.recentEvent));
  EXPECT_TRUE(run.boxes.empty());

  // The question screen.
  CDMBUpdateDlg& dialog = *run.dialog;
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(run.Label(res::kIdStatus)->text(), kQuestion);
  EXPECT_EQ(run.Label(res::kIdStatus)->geometry(), QRect(17, 32, 312, 16));
  EXPECT_EQ(run.Label(res::kIdStatus)->palette().color(QPalette::WindowText), QColor(200, 200, 200));
  EXPECT_EQ(run.Label(res::kIdStatus)->palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_EQ(run.Button(res::kIdUpdate)->geometry(), QRect(112, 85, 38, 38));
  EXPECT_EQ(run.Button(res::kIdCancel)->geometry(), QRect(194, 85, 38, 38));
  EXPECT_EQ(run.Progress()->geometry(), QRect(18, 55, 311, 9));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(dialog.geometry(), QRect(screen.width() / 2 - 179, screen.height() / 2 - 78, 358, 157));
  for (int id : {res::kIdSource, res::kIdRate, res::kIdTimeLeft})
    EXPECT_FALSE(dialog.GetDlgItem(id)->isVisible());
  // The shape is the background's non-green part.
  EXPECT_TRUE(dialog.mask().contains(QPoint(170, 60)));
  EXPECT_FALSE(dialog.mask().contains(QPoint(0, 0)));
  EXPECT_FALSE(dialog.mask().contains(QPoint(352, 150)));  // window beyond the 347 x 133 picture
  for (const QRect& r : {run.Button(res::kIdUpdate)->geometry(), run.Button(res::kIdCancel)->geometry(),
                         run.Progress()->geometry(), run.Label(res::kIdStatus)->geometry()})
    EXPECT_TRUE(dialog.mask().contains(r)) << r.x() << "," << r.y();
  SaveShaped(&dialog, "updater-question");

  run.Click(res::kIdUpdate);
  EXPECT_FALSE(run.Button(res::kIdUpdate)->isEnabled());
  EXPECT_EQ(
      run.Label(res::kIdSource)->text(),
      QString::fromStdString("/Update/1SEG/KANORU/1.0.9/" + world.host.installerName + " from 127.0.0.1"));

  std::vector<QString> captions;
  std::set<QString> rates, times, statuses;
  bool shot = false;
  ASSERT_TRUE(WaitUntil([&] {
    if (captions.empty() || captions.back() != dialog.windowTitle()) captions.push_back(dialog.windowTitle());
    rates.insert(run.Label(res::kIdRate)->text());
    times.insert(run.Label(res::kIdTimeLeft)->text());
    statuses.insert(run.Label(res::kIdStatus)->text());
    const int value = run.Progress()->value();
    if (!shot && value >= 25 && value <= 75) {
      SaveShaped(&dialog, "updater-download");
      shot = true;
    }
    return dialog.Ended();
  }));
  EXPECT_EQ(dialog.EndCode(), CDMBUpdateDlg::kEndOk);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(shot);
  EXPECT_TRUE(statuses.count(QStringLiteral("...")));

  // Captions climb whole percents to 100; rate and time texts appeared (the download took seconds).
  const QRegularExpression caption(QStringLiteral("^(\\d+)% Update processing\\.\\.\\.$"));
  int last = -1;
  for (const QString& c : captions) {
    if (c.isEmpty()) continue;
    const auto m = caption.match(c);
    ASSERT_TRUE(m.hasMatch()) << c.toStdString();
    EXPECT_GT(m.captured(1).toInt(), last);
    last = m.captured(1).toInt();
  }
  EXPECT_EQ(last, 100);
  rates.erase(QString());
  times.erase(QString());
  ASSERT_FALSE(rates.empty());
  ASSERT_FALSE(times.empty());
  for (const QString& r : rates)
    EXPECT_TRUE(QRegularExpression("^\\d+(\\.\\d\\d)? (Bytes|KB)/sec$").match(r).hasMatch())
        << r.toStdString();
  for (const QString& t : times)
    EXPECT_TRUE(QRegularExpression(
                    "^\\d+ (sec|min)( \\d+ sec)? \\(\\d+(\\.\\d+)? (Bytes|KB) of  256\\.0 KB copied\\)$")
                    .match(t)
                    .hasMatch())
        << t.toStdString();

  // The installer: the same bytes, executable by its owner only, started.
  EXPECT_EQ(test::ReadFile(world.localInstaller()), world.host.installerBytes);
  struct stat st {};
  ASSERT_EQ(stat(world.localInstaller().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_TRUE(test::WaitForFile(world.host.installerMarker));
  EXPECT_EQ(test::ReadFile(world.host.installerMarker), "started\n");
  EXPECT_FALSE(test::Exists(world.playerStarts()));  // no restart: the installer runs instead
}

TEST(UpdateDialog, CancelAtTheQuestionEndsWithoutRestartOrTransfer) {
  AtQuestion q;
  auto& [world, server, run, shown] = q;
  ASSERT_TRUE(shown);
  run.Click(res::kIdCancel);
  EXPECT_TRUE(run.dialog->Ended());
  EXPECT_EQ(run.dialog->EndCode(), CDMBUpdateDlg::kEndCancel);
  EXPECT_TRUE(World::Signalled(world.oldEvent));
  EXPECT_TRUE(run.boxes.empty());
  run.dialog.reset();
  EXPECT_FALSE(test::Exists(world.localInstaller()));
  EXPECT_FALSE(test::Exists(world.playerStarts()));
  EXPECT_EQ(server.NextReport(200), std::nullopt);  // nothing was fetched
}

TEST(UpdateDialog, RefusedLogInTriesFiveTimesThenRestarts) {
  World world;
  FtpServer server(world.host.root, {"--password", "not-the-updaters"});
  world.WriteRegistry("1.0.0", server.port());
  DialogRun run({}, {"updater-box-refused", "updater-box-cannot-connect"});
  EXPECT_FALSE(run.Start());
  EXPECT_EQ(run.dialog->EndCode(), CDMBUpdateDlg::kEndOk);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(server.NextReport(), "login-failed tevalo") << i;
  EXPECT_EQ(server.NextReport(200), std::nullopt);  // the fifth reply had come before the dialog ended
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_TRUE(run.boxes[0].startsWith("530 ")) << run.boxes[0].toStdString();
  EXPECT_EQ(run.boxes[1], kCannotConnect);
  EXPECT_FALSE(World::Signalled(world.oldEvent));
  EXPECT_FALSE(World::Signalled(world.recentEvent));
  EXPECT_EQ(world.PlayerStartsText(), "before\n");  // no player was running
}

TEST(UpdateDialog, SilentServerEndsByTheResponseTimeoutAndRestarts) {
  World world;
  FtpServer server("/", {"--silent"});
  world.WriteRegistry("1.0.0", server.port());
  DialogRun run(FtpTimeouts{30000, 1, 30});
  EXPECT_FALSE(run.Start());
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_THAT(run.boxes[0].toStdString(), ::testing::HasSubstr("imeout"));
  EXPECT_EQ(run.boxes[1], kCannotConnect);
  EXPECT_EQ(world.PlayerStartsText(), "before\n");
}

class HostileListing : public ::testing::TestWithParam<const char*> {};

TEST_P(HostileListing, NameOutsideTheTemporaryFolderCountsAsNoInstaller) {
  World world;
  FtpServer server(world.host.root, {"--fake-listing", "/Update/1SEG/KANORU/1.0.9", GetParam(), "setup.run"});
  world.WriteRegistry("1.0.0", server.port());
  DialogRun run;
  EXPECT_FALSE(run.Start());
  EXPECT_EQ(run.dialog->EndCode(), CDMBUpdateDlg::kEndOk);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_EQ(world.PlayerStartsText(), "before\n");
  EXPECT_TRUE(test::ListDir(world.tmpDir()).empty());
  EXPECT_FALSE(test::Exists(world.dir + "/x"));
}

INSTANTIATE_TEST_SUITE_P(Names, HostileListing, ::testing::Values("../x", "a/b"), [](const auto& info) {
  return std::string(info.param[0] == '.' ? "Parent" : "Slash");
});

struct FaultCase {
  const char* name;
  std::vector<std::string> serverOptions;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class TransferFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(TransferFault, ShowsTheErrorDeletesTheFileAndRunsNothing) {
  std::vector<std::string> options = GetParam().serverOptions;
  options.insert(options.end(), {"--fault-prefix", "setup"});
  AtQuestion q(300 * 1024, options, {QStringLiteral("updater-box-") + GetParam().name});
  auto& [world, server, run, shown] = q;
  ASSERT_TRUE(shown);
  run.Click(res::kIdUpdate);
  ASSERT_TRUE(WaitUntil([&] { return run.dialog->Ended(); }));
  EXPECT_EQ(run.dialog->EndCode(), CDMBUpdateDlg::kEndCancel);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_TRUE(run.boxes[0].startsWith("An error occurred while downloading the file, Error:"))
      << run.boxes[0].toStdString();
  run.dialog.reset();
  EXPECT_FALSE(test::Exists(world.localInstaller()));
  EXPECT_FALSE(test::Exists(world.host.installerMarker));
  EXPECT_FALSE(test::Exists(world.playerStarts()));
}

INSTANTIATE_TEST_SUITE_P(Faults, TransferFault,
                         ::testing::Values(FaultCase{"DataConnectionDropped", {"--fail-after", "100000"}},
                                           FaultCase{"EndsShortOfItsSize", {"--cut-after", "100000"}}),
                         [](const auto& info) { return std::string(info.param.name); });

class StopDuringDownload : public ::testing::TestWithParam<bool> {};

TEST_P(StopDuringDownload, StopsPromptlyDeletesTheFileAndShowsNoBox) {
  const bool byClosing = GetParam();
  AtQuestion q(4 * 1024 * 1024, {"--throttle", "32768"});  // two minutes for the whole file
  auto& [world, server, run, shown] = q;
  ASSERT_TRUE(shown);
  run.Click(res::kIdUpdate);
  ASSERT_TRUE(WaitUntil([&] { return run.Progress()->value() >= 1; }));
  if (byClosing) {
    run.dialog->close();
    EXPECT_TRUE(run.dialog->Ended());  // at once; the thread is joined when the dialog goes
  } else {
    run.Click(res::kIdCancel);
    EXPECT_EQ(run.Label(res::kIdStatus)->text(), "Aborting transfer");
    EXPECT_FALSE(run.Button(res::kIdCancel)->isEnabled());
    SaveShaped(run.dialog.get(), "updater-stopping");
    ASSERT_TRUE(WaitUntil([&] { return run.dialog->Ended(); }));
  }
  EXPECT_EQ(run.dialog->EndCode(), CDMBUpdateDlg::kEndCancel);
  run.dialog.reset();
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_FALSE(test::Exists(world.localInstaller()));
  EXPECT_FALSE(test::Exists(world.host.installerMarker));
  EXPECT_FALSE(test::Exists(world.playerStarts()));
}

INSTANTIATE_TEST_SUITE_P(Ways, StopDuringDownload, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "CloseWindow" : "CancelButton"; });

TEST(UpdateDialog, PressAnywhereDragsTheWindow) {
  AtQuestion q;
  DialogRun& run = q.run;
  ASSERT_TRUE(q.shown);
  QLabel* status = run.Label(res::kIdStatus);
  const QPoint start = run.dialog->pos();
  QTest::mousePress(status, Qt::LeftButton, {}, QPoint(5, 5));
  QMouseEvent move(QEvent::MouseMove, QPointF(55, 5),
                   QPointF(55, 5) + QPointF(status->mapTo(run.dialog.get(), QPoint())),
                   run.dialog->mapToGlobal(QPointF(status->mapTo(run.dialog.get(), QPoint(35, 25)))),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(run.dialog.get(), &move);
  QTest::mouseRelease(run.dialog.get(), Qt::LeftButton, {}, status->mapTo(run.dialog.get(), QPoint(35, 25)));
  EXPECT_EQ(run.dialog->pos(), start + QPoint(30, 20));
}

TEST(UpdaterButton, DrawsOpaqueFramesAndKeepsThePressedFrameUntilLeft) {
  QImage strip(114, 38, QImage::Format_RGB32);
  const QColor colours[3] = {Qt::red, Qt::green, Qt::blue};
  for (int f = 0; f < 3; ++f)
    for (int y = 0; y < 38; ++y)
      for (int x = 0; x < 38; ++x)
        strip.setPixelColor(f * 38 + x, y, (x < 4 && y < 4) ? QColor(255, 0, 255) : colours[f]);
  SetBitmapResolver([&](unsigned id) { return id == 900 ? strip : QImage(); });

  QWidget parent;
  parent.resize(60, 60);
  auto* button = new CHoverButton(&parent, 1000);
  ASSERT_EQ(button->LoadBitmapW(900), 1);
  EXPECT_EQ(button->size(), QSize(38, 38));
  parent.show();
  EXPECT_EQ(button->CurrentFrame(), 0);
  // The key colour is drawn as it is: no transparency.
  EXPECT_EQ(button->grab().toImage().pixelColor(1, 1), QColor(255, 0, 255));

  QMouseEvent hover(QEvent::MouseMove, QPointF(10, 10), button->mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                    Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(button, &hover);
  ASSERT_TRUE(WaitUntil([&] { return button->IsHover(); }));
  EXPECT_EQ(button->CurrentFrame(), 2);
  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(button->CurrentFrame(), 1);
  button->grab();  // a paint while pressed sets the latch
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(button->CurrentFrame(), 1) << "no release handling: the pressed frame stays";
  button->setEnabled(false);
  EXPECT_EQ(button->CurrentFrame(), 0);
  button->setEnabled(true);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(button, &leave);
  EXPECT_EQ(button->CurrentFrame(), 0);
  EXPECT_FALSE(button->IsPressedLatch());
  InstallUpdaterResources();
}

}  // namespace
}  // namespace tevalo::updater
