// Writes the GIF fuzz target's seed files into the folder given.
#include <QFile>
#include <cstdio>
#include <string_view>

#include "gif_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: panels_gif_seeds <folder>\n");
    return 2;
  }
  for (const gif_test::Sample& s : gif_test::Samples()) {
    QFile file(QString::fromLocal8Bit(argv[1]) + "/" + s.name +
               (s.name == std::string_view("png") ? ".png" : ".gif"));
    if (!file.open(QIODevice::WriteOnly) || file.write(s.bytes) != s.bytes.size()) {
      std::fprintf(stderr, "panels_gif_seeds: cannot write %s\n", qPrintable(file.fileName()));
      return 1;
    }
  }
  return 0;
}
