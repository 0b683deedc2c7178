// Acting on a modal window from inside the event loop that runs it.
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>

namespace tevalo::shell::test {

// Runs act once on the modal window of type T when it shows.
template <typename T>
void OnModal(std::function<void(T&)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!window || !window->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(*window);
  });
  timer->start();
}

}  // namespace tevalo::shell::test
