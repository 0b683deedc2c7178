// A window in a process of its own, for tests of messages between processes. Reports every message
// it gets on stdout, one line each; WM_CLOSE ends it.
//
//   window-peer TITLE
#include <QCoreApplication>

#include <cstdio>
#include <string>

#include "platform/path/utf.h"
#include "platform/window/window.h"

using namespace tevalo::win;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-peer TITLE\n");
    return 2;
  }
  QCoreApplication app(argc, argv);
  Window window(tevalo::text::ToUtf16(argv[1]), [](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg == WM_COPYDATA) {
      const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      std::string data = "none";
      if (cds->lpData) {
        std::u16string text(static_cast<const char16_t*>(cds->lpData), cds->cbData / 2);
        while (!text.empty() && text.back() == u'\0') text.pop_back();
        data = "'" + tevalo::text::ToUtf8(text) + "'";
      }
      std::printf("copydata %llu %u %s\n", static_cast<unsigned long long>(cds->dwData), cds->cbData,
                  data.c_str());
      std::fflush(stdout);
      return static_cast<LRESULT>(cds->dwData) + 100;
    }
    if (msg == WM_CLOSE) {
      std::printf("close\n");
      std::fflush(stdout);
      QCoreApplication::quit();
      return 0;
    }
    std::printf("message %u %llu %lld\n", msg, static_cast<unsigned long long>(wParam),
                static_cast<long long>(lParam));
    std::fflush(stdout);
    return static_cast<LRESULT>(wParam) * 2 + lParam;
  });
  std::printf(window.ReachableFromOtherProcesses() ? "ready\n" : "unreachable\n");
  std::fflush(stdout);
  return app.exec();
}
