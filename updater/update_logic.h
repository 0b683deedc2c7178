// The updater's plain logic: the newest-version choice, the installer-name check, the progress
// bookkeeping of a download and the texts the dialog shows for it.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace tevalo::updater {

// The greatest name by plain code-unit order ("1.0.9" beats "1.0.10"); the first of equal names;
// "" for an empty list.
QString PickNewestVersion(const QStringList& versions);
// True when the installed version needs no update: the newest name does not compare greater.
bool IsInstalledCurrent(const QString& newest, const QString& installed);
// A name from a listing may become a file in the temporary folder only when it names nothing else:
// not empty, not "." or "..", no '/', '\' or control character.
bool IsAcceptableInstallerName(const QString& name);

// What one step of a download changes on the screen.
struct ProgressChange {
  std::optional<int> percent;  // whole percent, when it changed
  std::optional<double> rate;  // bytes per millisecond, at most once a second
  struct TimeLeft {
    int64_t seconds = 0;
    int64_t received = 0;
    int64_t total = 0;
  };
  std::optional<TimeLeft> timeLeft;  // with the rate, when the size is known
  bool Empty() const { return !percent && !rate && !timeLeft; }
};

// Percent, rate and time left of a download from its byte counts and the millisecond tick.
class ProgressMeter {
 public:
  // A total of 0 or less is unknown: no percent and no time left.
  void SetTotal(int64_t total) { total_ = total > 0 ? total : 0; }
  int64_t Total() const { return total_; }
  void Start(uint32_t tick);
  ProgressChange Update(int64_t received, uint32_t now);

 private:
  int64_t total_ = 0;
  uint32_t startTick_ = 0;
  uint32_t rateTick_ = 0;
  int64_t rateReceived_ = 0;
  int lastPercent_ = -1;
};

// "%1 Bytes", "%1 KB" with one decimal, "%1 MB" with two.
QString FormatByteCount(int64_t bytes);
// "%1 sec" below a minute, else "%1 min" or "%1 min %2 sec".
QString FormatTimeLeft(int64_t seconds);
// A rate in bytes per millisecond as "Bytes/sec" (x1024) below 1, else "KB/sec".
QString FormatTransferRate(double bytesPerMs);
// "<time> (<received> of  <total> copied)".
QString FormatBytesAndTimeLeft(const ProgressChange::TimeLeft& left);
// The caption while downloading: "<percent>% Update processing...".
QString FormatPercentCaption(int percent);

// A string of the table with %1 (and %2) filled in one pass.
QString FormatString(unsigned id, const QString& arg1);
QString FormatString(unsigned id, const QString& arg1, const QString& arg2);

}  // namespace tevalo::updater
