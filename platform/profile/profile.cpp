#include "platform/profile/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/path/path.h"
#include "platform/path/utf.h"
#include "platform/profile/ini_document.h"

namespace tevalo::profile {
namespace {

std::string AbsolutePath(std::u16string_view file) {
  std::string p = path::NativeUtf8(file);
  if (!p.empty() && p.front() != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) p = path::Join(std::string_view(cwd), p);
  }
  return p;
}

// One lock per file: a read-modify-write must not interleave with another one on the same file.
std::mutex& LockFor(const std::string& path) {
  static std::mutex mapLock;
  static std::map<std::string, std::unique_ptr<std::mutex>> locks;
  std::lock_guard<std::mutex> g(mapLock);
  auto& m = locks[path];
  if (!m) m = std::make_unique<std::mutex>();
  return *m;
}

enum class ReadResult { kOk, kMissing, kError };

ReadResult ReadAll(const std::string& path, std::string& out) {
  out.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kError;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return ReadResult::kError;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return ReadResult::kOk;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Temp file beside the target, synced, then renamed over it: a reader sees the old or the new file,
// never a partial one, and a crash leaves one of them on disk.
bool ReplaceFile(const std::string& path, const std::string& data) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string tmp = path::Join(
      dir, "." + base + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)));
  mode_t mode = 0666;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data) && fdatasync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok && rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

IniDocument Load(const std::string& path) {
  std::string bytes;
  ReadAll(path, bytes);
  return IniDocument::Parse(bytes);
}

template <typename Edit>
bool Modify(std::u16string_view file, Edit edit) {
  const std::string path = AbsolutePath(file);
  std::lock_guard<std::mutex> g(LockFor(path));
  std::string bytes;
  const ReadResult r = ReadAll(path, bytes);
  if (r == ReadResult::kError) return false;  // never replace a file we could not read
  IniDocument doc = IniDocument::Parse(bytes);
  bool changed = false;
  if (!edit(doc, changed)) return false;
  if (!changed) return true;
  return ReplaceFile(path, doc.Serialize());
}

std::u16string_view View(const char16_t* s) { return s ? std::u16string_view(s) : std::u16string_view(); }

// Copies a list of names, each terminated, with a final extra terminator; cut lists end in two
// terminators and report size - 2.
uint32_t CopyList(const std::vector<std::string>& names, char16_t* buf, uint32_t size) {
  std::u16string all;
  for (const auto& n : names) {
    all += text::ToUtf16(n);
    all.push_back(u'\0');
  }
  if (size < 2) {
    if (size == 1) buf[0] = u'\0';
    return 0;
  }
  if (all.size() + 1 <= size) {
    std::copy(all.begin(), all.end(), buf);
    buf[all.size()] = u'\0';
    return static_cast<uint32_t>(all.size());
  }
  std::copy(all.begin(), all.begin() + (size - 2), buf);
  buf[size - 2] = u'\0';
  buf[size - 1] = u'\0';
  return size - 2;
}

}  // namespace

int32_t Wtoi(std::u16string_view t) {
  size_t i = 0;
  while (i < t.size() && (t[i] == u' ' || (t[i] >= u'\t' && t[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
  int64_t v = 0;
  for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
    v = v * 10 + (t[i] - u'0');
    if (v > int64_t(INT32_MAX) + 1) v = int64_t(INT32_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

std::optional<std::u16string> ReadValue(std::u16string_view file, std::u16string_view section,
                                        std::u16string_view key) {
  const auto v = Load(AbsolutePath(file)).Get(text::ToUtf8(section), text::ToUtf8(key));
  if (!v) return std::nullopt;
  return text::ToUtf16(*v);
}

std::u16string ReadString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                          std::u16string_view def) {
  if (auto v = ReadValue(file, section, key)) return *v;
  while (!def.empty() && (def.back() == u' ' || def.back() == u'\t')) def.remove_suffix(1);
  return std::u16string(def);
}

int32_t ReadInt(std::u16string_view file, std::u16string_view section, std::u16string_view key, int32_t def) {
  const auto v = ReadValue(file, section, key);
  return v ? Wtoi(*v) : def;
}

bool WriteString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                 std::u16string_view value) {
  return Modify(file, [&](IniDocument& doc, bool& changed) {
    const std::string s = text::ToUtf8(section), k = text::ToUtf8(key), v = text::ToUtf8(value);
    return changed = doc.Set(s, k, v);
  });
}

bool DeleteKey(std::u16string_view file, std::u16string_view section, std::u16string_view key) {
  return Modify(file, [&](IniDocument& doc, bool& changed) {
    changed = doc.RemoveKey(text::ToUtf8(section), text::ToUtf8(key));
    return true;
  });
}

bool DeleteSection(std::u16string_view file, std::u16string_view section) {
  return Modify(file, [&](IniDocument& doc, bool& changed) {
    changed = doc.RemoveSection(text::ToUtf8(section));
    return true;
  });
}

IniDocument ReadDocument(std::u16string_view file) { return Load(AbsolutePath(file)); }

bool EditDocument(std::u16string_view file, const std::function<bool(IniDocument&)>& edit) {
  return Modify(file, [&](IniDocument& doc, bool& changed) {
    changed = edit(doc);
    return true;
  });
}

std::vector<std::u16string> SectionNames(std::u16string_view file) {
  std::vector<std::u16string> out;
  for (const auto& s : Load(AbsolutePath(file)).Sections()) out.push_back(text::ToUtf16(s));
  return out;
}

std::vector<std::u16string> KeyNames(std::u16string_view file, std::u16string_view section) {
  std::vector<std::u16string> out;
  for (const auto& k : Load(AbsolutePath(file)).Keys(text::ToUtf8(section))) out.push_back(text::ToUtf16(k));
  return out;
}

uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* def,
                                  char16_t* buf, uint32_t size, const char16_t* file) {
  if (!buf || size == 0) return 0;
  if (!file) {
    buf[0] = u'\0';
    return 0;
  }
  if (!section) return CopyList(Load(AbsolutePath(View(file))).Sections(), buf, size);
  if (!key) return CopyList(Load(AbsolutePath(View(file))).Keys(text::ToUtf8(View(section))), buf, size);
  const std::u16string value = ReadString(View(file), View(section), View(key), View(def));
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(value.size(), size - 1));
  std::copy(value.begin(), value.begin() + n, buf);
  buf[n] = u'\0';
  return n;
}

uint32_t GetPrivateProfileIntW(const char16_t* section, const char16_t* key, int32_t def,
                               const char16_t* file) {
  if (!section || !key || !file) return static_cast<uint32_t>(def);
  return static_cast<uint32_t>(ReadInt(View(file), View(section), View(key), def));
}

bool WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const char16_t* file) {
  if (!file) return false;
  if (!section) return !key && !value;  // the flush request: every write is already on disk
  if (!key) return DeleteSection(View(file), View(section));
  if (!value) return DeleteKey(View(file), View(section), View(key));
  return WriteString(View(file), View(section), View(key), View(value));
}

}  // namespace tevalo::profile
