#include "updater/update_logic.h"

#include <algorithm>

#include "controls/resources.h"
#include "updater/resource_ids.h"

namespace tevalo::updater {

QString PickNewestVersion(const QStringList& versions) {
  QString best;
  for (const QString& name : versions)
    if (QString::compare(name, best, Qt::CaseSensitive) > 0) best = name;
  return best;
}

bool IsInstalledCurrent(const QString& newest, const QString& installed) {
  return QString::compare(newest, installed, Qt::CaseSensitive) <= 0;
}

bool IsAcceptableInstallerName(const QString& name) {
  if (name.isEmpty() || name == u"." || name == u"..") return false;
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    if (u == u'/' || u == u'\\' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

void ProgressMeter::Start(uint32_t tick) {
  startTick_ = tick;
  rateTick_ = tick;
  rateReceived_ = 0;
  lastPercent_ = -1;
}

ProgressChange ProgressMeter::Update(int64_t received, uint32_t now) {
  ProgressChange change;
  if (total_ > 0) {
    const int percent =
        static_cast<int>(std::clamp(static_cast<double>(received) * 100.0 / total_, 0.0, 100.0));
    if (percent != lastPercent_) {
      change.percent = percent;
      lastPercent_ = percent;
    }
  }
  const uint32_t sinceRate = now - rateTick_;  // wraps like the tick
  if (sinceRate <= 1000) return change;
  change.rate = static_cast<double>(received - rateReceived_) / sinceRate;
  rateTick_ = now;
  rateReceived_ = received;
  if (total_ > 0 && received != 0) {
    const double msPerByte = static_cast<double>(now - startTick_) / static_cast<double>(received);
    const double left = msPerByte * static_cast<double>(total_ - received) * 0.001;
    change.timeLeft = ProgressChange::TimeLeft{static_cast<int64_t>(left), received, total_};
  }
  return change;
}

QString FormatString(unsigned id, const QString& arg1) { return LoadStringResource(id).arg(arg1); }

QString FormatString(unsigned id, const QString& arg1, const QString& arg2) {
  return LoadStringResource(id).arg(arg1, arg2);
}

QString FormatByteCount(int64_t bytes) {
  if (bytes < 1024) return FormatString(res::kBytes, QString::number(bytes));
  if (bytes <= 1048575) return FormatString(res::kKilobytes, QString::asprintf("%0.1f", bytes / 1024.0));
  return FormatString(res::kMegabytes, QString::asprintf("%0.2f", bytes / 1048576.0));
}

QString FormatTimeLeft(int64_t seconds) {
  if (seconds < 60) return FormatString(res::kSeconds, QString::number(seconds));
  const int64_t minutes = seconds / 60;
  const int64_t rest = seconds % 60;
  if (rest == 0) return FormatString(res::kMinutes, QString::number(minutes));
  return FormatString(res::kMinutesSeconds, QString::number(minutes), QString::number(rest));
}

QString FormatTransferRate(double bytesPerMs) {
  if (bytesPerMs < 1)
    return FormatString(res::kBytesPerSecond, QString::asprintf("%0.0f", bytesPerMs * 1024));
  if (bytesPerMs < 10) return FormatString(res::kKilobytesPerSecond, QString::asprintf("%0.2f", bytesPerMs));
  return FormatString(res::kKilobytesPerSecond, QString::asprintf("%0.0f", bytesPerMs));
}

QString FormatBytesAndTimeLeft(const ProgressChange::TimeLeft& left) {
  const QString sizes =
      FormatString(res::kSizes, FormatByteCount(left.received), FormatByteCount(left.total));
  return FormatString(res::kTimeAndSizes, FormatTimeLeft(left.seconds), sizes);
}

QString FormatPercentCaption(int percent) {
  return FormatString(res::kPercentCaption, QString::number(percent));
}

}  // namespace tevalo::updater
