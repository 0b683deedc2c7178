// tevalo-regwrite: the installation side of the settings store. Writes the player's folders and
// version and the source registrations that lead the media graph to the two source elements.
//
//   tevalo-regwrite [--file PATH] install --install-dir DIR --user-dir DIR --rec-dir DIR [--version V]
//   tevalo-regwrite [--file PATH] set KEY NAME (--string TEXT | --dword N)
//   tevalo-regwrite [--file PATH] delete KEY [NAME]
//   tevalo-regwrite [--file PATH] show
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/path/utf.h"
#include "platform/registry/registry.h"
#include "platform/registry/store.h"

namespace {

using tevalo::registry::Store;
using tevalo::registry::Value;
using tevalo::text::ToUtf16;

int Usage() {
  std::fprintf(stderr,
               "usage: tevalo-regwrite [--file PATH] install --install-dir DIR --user-dir DIR --rec-dir DIR "
               "[--version V]\n"
               "       tevalo-regwrite [--file PATH] set KEY NAME (--string TEXT | --dword N)\n"
               "       tevalo-regwrite [--file PATH] delete KEY [NAME]\n"
               "       tevalo-regwrite [--file PATH] show\n");
  return 2;
}

bool MakeDirs(const std::string& dir) {
  std::string partial;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    if (i < dir.size()) partial.push_back(dir[i]);
  }
  return true;
}

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

std::string Absolute(const std::string& p) {
  if (!p.empty() && p.front() == '/') return p;
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return p;
  return std::string(cwd) + "/" + p;
}

bool Save(const std::string& file, const Store& store) {
  const size_t slash = file.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirs(file.substr(0, slash))) return false;
  const std::string tmp = file + ".tmp-" + std::to_string(getpid());
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  const std::string text = store.Serialize();
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fflush(f) == 0 && fsync(fileno(f)) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (ok && std::rename(tmp.c_str(), file.c_str()) != 0) ok = false;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

Value Text(const std::string& s) {
  Value v;
  v.type = Value::Type::kString;
  v.text = ToUtf16(s);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string file = tevalo::registry::UserStorePath();
  if (args.size() >= 2 && args[0] == "--file") {
    file = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return Usage();
  const std::string command = args[0];
  std::vector<std::string> problems;
  Store store = Store::Load(file, &problems);
  for (const auto& p : problems)
    std::fprintf(stderr, "tevalo-regwrite: %s: %s (skipped)\n", file.c_str(), p.c_str());

  if (command == "show") {
    std::fputs(store.Serialize().c_str(), stdout);
    return 0;
  }
  if (command == "install") {
    std::map<std::string, std::string> opt{{"--version", "1.000"}};
    for (size_t i = 1; i < args.size(); i += 2) {
      if (i + 1 >= args.size() || args[i].rfind("--", 0) != 0) return Usage();
      opt[args[i]] = args[i + 1];
    }
    for (const char* need : {"--install-dir", "--user-dir", "--rec-dir"})
      if (opt[need].empty()) return Usage();
    const std::string installDir = WithSlash(Absolute(opt["--install-dir"]));
    const std::string userDir = WithSlash(Absolute(opt["--user-dir"]));
    const std::string recDir = Absolute(opt["--rec-dir"]);
    for (const auto& d : {userDir, recDir})
      if (!MakeDirs(d)) {
        std::fprintf(stderr, "tevalo-regwrite: cannot create %s: %s\n", d.c_str(), std::strerror(errno));
        return 1;
      }
    const std::u16string key = tevalo::registry::kTevaloKey;
    // Folders end in a separator where the programs append file names directly.
    store.Set(key, u"Install_Dir", Text(installDir));
    store.Set(key, u"User_Dir", Text(userDir));
    store.Set(key, u"rec_Dir", Text(recDir));
    store.Set(key, u"Version", Text(opt["--version"]));
    store.Set(u"HKEY_CLASSES_ROOT\\x-dmb", tevalo::registry::kSourceFilterValue, Text("halviksrc"));
    store.Set(std::u16string(tevalo::registry::kExtensionsKey) + u"\\.rec",
              tevalo::registry::kSourceFilterValue, Text("halvikfsrc"));
  } else if (command == "set" && args.size() == 5) {
    Value v;
    if (args[3] == "--string") {
      v = Text(args[4]);
    } else if (args[3] == "--dword") {
      char* end = nullptr;
      errno = 0;
      const unsigned long long n = std::strtoull(args[4].c_str(), &end, 0);
      if (errno || !end || *end || args[4].empty() || n > 0xFFFFFFFFull) {
        std::fprintf(stderr, "tevalo-regwrite: not a 32-bit number: %s\n", args[4].c_str());
        return 2;
      }
      v.type = Value::Type::kDword;
      v.number = static_cast<uint32_t>(n);
    } else {
      return Usage();
    }
    store.Set(ToUtf16(args[1]), ToUtf16(args[2]), v);
  } else if (command == "delete" && (args.size() == 2 || args.size() == 3)) {
    if (args.size() == 3)
      store.Remove(ToUtf16(args[1]), ToUtf16(args[2]));
    else
      store.RemoveKey(ToUtf16(args[1]));
  } else {
    return Usage();
  }
  if (!Save(file, store)) {
    std::fprintf(stderr, "tevalo-regwrite: cannot write %s: %s\n", file.c_str(), std::strerror(errno));
    return 1;
  }
  return 0;
}
