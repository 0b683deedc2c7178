#include "config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tunersim {
namespace {

using std::invalid_argument;

std::vector<std::string> split(const std::string& s, const char* seps) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t j = s.find_first_of(seps, i);
    if (j == std::string::npos) j = s.size();
    if (j > i) out.push_back(s.substr(i, j - i));
    i = j + 1;
  }
  return out;
}

std::string trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

int64_t number(const std::string& what, const std::string& text, int64_t lo, int64_t hi) {
  int64_t v = 0;
  int base = 10;
  const char* b = text.data();
  const char* e = b + text.size();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    b += 2;
  }
  auto [p, ec] = std::from_chars(b, e, v, base);
  if (ec != std::errc() || p != e || b == e)
    throw invalid_argument(what + ": '" + text + "' is not a number");
  if (v < lo || v > hi)
    throw invalid_argument(what + ": " + text + " is outside " + std::to_string(lo) + ".." +
                           std::to_string(hi));
  return v;
}

double rate(const std::string& what, const std::string& text) {
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(v > 0) || v > 1e9)
    throw invalid_argument(what + ": '" + text + "' is not a rate in bits per second");
  return v;
}

ChannelConfig parse_channel(const std::string& text, const std::filesystem::path& base) {
  auto eq = text.find('=');
  if (eq == std::string::npos)
    throw invalid_argument("--channel " + text +
                           ": expected UHF=FILE[,level=N][,search=N][,rate=BPS]"
                           " or UHF=notfound");
  ChannelConfig c;
  c.uhf = int(number("--channel", text.substr(0, eq), kFirstUhf, kLastUhf));
  auto parts = split(text.substr(eq + 1), ",");
  if (parts.empty()) throw invalid_argument("--channel " + text + ": nothing after '='");
  const std::string& what = parts[0];
  if (what == "notfound") {
    c.found = false;
  } else if (what == "found") {
    c.found = true;
  } else {
    c.found = true;
    c.file = what;
    if (c.file.is_relative() && !base.empty()) c.file = base / c.file;
  }
  for (std::size_t i = 1; i < parts.size(); ++i) {
    auto kv = parts[i].find('=');
    std::string k = parts[i].substr(0, kv);
    std::string v = kv == std::string::npos ? "" : parts[i].substr(kv + 1);
    std::string where = "--channel " + text + ": " + k;
    if (k == "level")
      c.level = uint32_t(number(where, v, 0, 0xFFFFFFFFll));
    else if (k == "search")
      c.search_reads = int(number(where, v, 0, 1'000'000));
    else if (k == "rate")
      c.bitrate = rate(where, v);
    else
      throw invalid_argument("--channel " + text + ": unknown setting '" + k + "'");
  }
  return c;
}

void apply(Config& cfg, const std::string& key, const std::optional<std::string>& value,
           const std::filesystem::path& base, int depth);

void read_config_file(Config& cfg, const std::filesystem::path& file, int depth) {
  if (depth > 4) throw invalid_argument(file.string() + ": config files include each other");
  std::ifstream in(file);
  if (!in) throw invalid_argument(file.string() + ": cannot open the config file");
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    auto sp = line.find_first_of(" \t");
    std::string key = line.substr(0, sp);
    std::optional<std::string> value;
    if (sp != std::string::npos) value = trim(line.substr(sp));
    try {
      apply(cfg, key, value, file.parent_path(), depth + 1);
    } catch (const invalid_argument& e) {
      throw invalid_argument(file.string() + ":" + std::to_string(n) + ": " + e.what());
    }
  }
}

void apply(Config& cfg, const std::string& key, const std::optional<std::string>& value,
           const std::filesystem::path& base, int depth) {
  auto need = [&]() -> const std::string& {
    if (!value || value->empty()) throw invalid_argument("--" + key + " needs a value");
    return *value;
  };
  auto none = [&] {
    if (value) throw invalid_argument("--" + key + " takes no value");
  };
  if (key == "root") {
    cfg.root = need();
  } else if (key == "name") {
    const std::string& v = need();
    if (v == "." || v == ".." || v.find('/') != std::string::npos || v[0] == '.' || v.size() > 255)
      throw invalid_argument("--name " + v + ": not a usable folder name");
    cfg.name = v;
  } else if (key == "control") {
    cfg.control = need();
  } else if (key == "channel") {
    ChannelConfig c = parse_channel(need(), base);
    cfg.channels[c.uhf] = c;
  } else if (key == "search-delay") {
    cfg.search_reads = int(number("--search-delay", need(), 0, 1'000'000));
  } else if (key == "tune-start") {
    cfg.tune_start = parse_tune_start(need());
  } else if (key == "fault") {
    cfg.faults.push_back(parse_fault(need()));
  } else if (key == "absent") {
    none();
    cfg.absent = true;
  } else if (key == "watch-stdin") {
    none();
    cfg.watch_stdin = true;
  } else if (key == "verbose") {
    none();
    cfg.verbose = true;
  } else if (key == "config") {
    std::filesystem::path f = need();
    if (f.is_relative() && !base.empty()) f = base / f;
    read_config_file(cfg, f, depth);
  } else {
    throw invalid_argument("unknown option --" + key + " (see --help)");
  }
}

bool takes_value(const std::string& key) {
  return key != "absent" && key != "watch-stdin" && key != "verbose" && key != "help";
}

}  // namespace

TuneStart parse_tune_start(const std::string& text) {
  TuneStart t;
  if (text == "random")
    t.random = true;
  else
    t.packet = uint64_t(number("tune start", text, 0, INT64_MAX));
  return t;
}

std::string describe(const TuneStart& t) { return t.random ? "random" : std::to_string(t.packet); }

FaultSpec parse_fault(const std::string& text) {
  auto words = split(text, " ,\t");
  if (words.empty()) throw invalid_argument("fault: empty description");
  FaultSpec f;
  const std::string& kind = words[0];
  if (kind == "noreply")
    f.kind = FaultKind::NoReply;
  else if (kind == "wrongcode")
    f.kind = FaultKind::WrongCode;
  else if (kind == "delay")
    f.kind = FaultKind::Delay;
  else if (kind == "stall") {
    f.kind = FaultKind::Stall;
    f.cmd = 13;
    f.ms = 0;
  } else if (kind == "remove")
    f.kind = FaultKind::Remove;
  else
    throw invalid_argument("fault '" + text + "': kind must be noreply, wrongcode, delay, stall or remove");
  for (std::size_t i = 1; i < words.size(); ++i) {
    auto eq = words[i].find('=');
    if (eq == std::string::npos)
      throw invalid_argument("fault '" + text + "': expected key=value, got '" + words[i] + "'");
    std::string k = words[i].substr(0, eq), v = words[i].substr(eq + 1);
    std::string what = "fault " + kind + " " + k;
    if (k == "cmd")
      f.cmd = v == "any" ? -1 : int(number(what, v, 0, 255));
    else if (k == "skip")
      f.skip = int(number(what, v, 0, 1 << 30));
    else if (k == "count")
      f.count = int(number(what, v, 0, 1 << 30));
    else if (k == "code")
      f.code = int(number(what, v, 0, 255));
    else if (k == "ms")
      f.ms = int(number(what, v, 0, 3'600'000));
    else if (k == "bytes")
      f.bytes = int(number(what, v, 0, 1152));
    else if (k == "reinsert")
      f.reinsert_ms = int(number(what, v, 0, 3'600'000));
    else
      throw invalid_argument("fault '" + text + "': unknown key '" + k + "'");
  }
  return f;
}

std::string describe(const FaultSpec& f) {
  static const char* names[] = {"noreply", "wrongcode", "delay", "stall", "remove"};
  std::string s = names[int(f.kind)];
  s += f.cmd < 0 ? " cmd=any" : " cmd=" + std::to_string(f.cmd);
  if (f.skip) s += " skip=" + std::to_string(f.skip);
  if (f.count) s += " count=" + std::to_string(f.count);
  switch (f.kind) {
    case FaultKind::WrongCode:
      s += " code=" + std::to_string(f.code);
      break;
    case FaultKind::Delay:
      s += " ms=" + std::to_string(f.ms);
      break;
    case FaultKind::Stall:
      s += " bytes=" + std::to_string(f.bytes) + " ms=" + std::to_string(f.ms);
      break;
    case FaultKind::Remove:
      s += " reinsert=" + std::to_string(f.reinsert_ms);
      break;
    case FaultKind::NoReply:
      break;
  }
  return s;
}

std::optional<Config> parse_args(const std::vector<std::string>& args) {
  Config cfg;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") return std::nullopt;
    std::string key;
    std::optional<std::string> value;
    if (a == "-v") {
      key = "verbose";
    } else if (a.rfind("--", 0) == 0) {
      auto eq = a.find('=');
      key = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      if (eq != std::string::npos)
        value = a.substr(eq + 1);
      else if (takes_value(key)) {
        if (i + 1 >= args.size()) throw invalid_argument("--" + key + " needs a value");
        value = args[++i];
      }
    } else {
      throw invalid_argument("unexpected argument '" + a + "' (see --help)");
    }
    apply(cfg, key, value, {}, 0);
  }
  if (cfg.root.empty()) cfg.root = default_device_root();
  if (cfg.control.empty()) cfg.control = cfg.root / (cfg.name + ".control");
  return cfg;
}

std::filesystem::path default_device_root() {
  if (const char* r = std::getenv("TEVALO_DEVICE_ROOT"); r && *r) return r;
  if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x)
    return std::filesystem::path(x) / "tevalo" / "devices";
  const char* tmp = std::getenv("TMPDIR");
  std::filesystem::path base =
      std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / ("tevalo-" + std::to_string(getuid()));
  if (mkdir(base.c_str(), 0700) != 0 && errno != EEXIST)
    throw std::runtime_error(base.string() + ": " + std::strerror(errno));
  struct stat st {};
  if (lstat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
    throw std::runtime_error(base.string() + ": not a folder of this user");
  if ((st.st_mode & 077) != 0 && chmod(base.c_str(), 0700) != 0)
    throw std::runtime_error(base.string() + ": cannot make it private");
  return base / "tevalo" / "devices";
}

std::string usage() {
  return R"(usage: tuner-sim [options]
Publishes a simulated 1seg tuner stick as a device folder with the FIFOs PIPE00 and PIPE01.

  --root DIR            device root (default $TEVALO_DEVICE_ROOT, else $XDG_RUNTIME_DIR/tevalo/devices)
  --name NAME           the stick's folder under the interface class folder (default stick0)
  --control PATH        control socket (default ROOT/NAME.control)
  --channel UHF=FILE[,level=N][,search=N][,rate=BPS]
                        a broadcast on UHF channel 13..62 served from a transport-stream file
  --channel UHF=found   found by a search, but nothing to stream
  --channel UHF=notfound
  --search-delay N      status reads that answer "still searching" before the result (default 0)
  --tune-start POS      where a tune begins in the channel's loop: a packet index (default 0, the
                        file's start) or "random"
  --fault SPEC          arm a fault, e.g. "noreply cmd=5 count=1" (see README.md)
  --absent              start unplugged (plug in through the control socket)
  --watch-stdin         end when standard input reaches end-of-file
  --config FILE         read options from FILE, one "key value" per line
  -v, --verbose         print every command on standard error
)";
}

}  // namespace tunersim
