// Widgets are touched on the GUI thread only; other threads post to it.
#pragma once

#include <QCoreApplication>
#include <QThread>

namespace tevalo::panels {

inline void AssertGuiThread() {
  Q_ASSERT(QCoreApplication::instance() &&
           QThread::currentThread() == QCoreApplication::instance()->thread());
}

}  // namespace tevalo::panels
