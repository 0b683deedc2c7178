#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "platform/path/utf.h"
#include "platform/registry/store.h"

namespace tevalo::registry {
namespace {

class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* run = getenv("XDG_RUNTIME_DIR");
    file_ = std::string(run ? run : "/tmp") + "/registry-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
    std::remove(file_.c_str());
    setenv("TEVALO_REGISTRY", file_.c_str(), 1);
  }
  void TearDown() override { unsetenv("TEVALO_REGISTRY"); }
  void Write(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
  std::string file_;
};

const char kStore[] =
    "; written by installation\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n"
    "\"Install_Dir\"=\"/opt/tevalo/\"\n"
    "\"User_Dir\"=\"/home/u/.local/share/tevalo/\"\n"
    "\"rec_Dir\"=\"/home/u/\xe9\x8c\xb2\xe7\x94\xbb\"\n"
    "\"Version\"=\"1.000\"\n"
    "\"Quoted\"=\"a \\\"b\\\" c\\\\d\"\n"
    "\"Count\"=dword:0000002A\n"
    "[hkcr\\x-dmb]\n"
    "\"Source Filter\"=\"halviksrc\"\n"
    "[HKEY_CLASSES_ROOT\\Media Type\\Extensions\\.rec]\n"
    "\"Source Filter\"=\"halvikfsrc\"\n";

TEST_F(RegistryFile, LookupsIgnoreCase) {
  Write(kStore);
  struct Case {
    const char16_t* key;
    const char16_t* name;
    std::optional<std::u16string> want;
  } cases[] = {
      {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo", u"Install_Dir", u"/opt/tevalo/"},
      {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo", u"install_Dir", u"/opt/tevalo/"},
      {u"hklm\\software\\TEVALO", u"VERSION", u"1.000"},
      {u"HKLM/SOFTWARE//Tevalo\\", u"version", u"1.000"},
      {u"HKLM\\SOFTWARE\\Tevalo", u"rec_dir", u"/home/u/\u9332\u753b"},
      {u"HKLM\\SOFTWARE\\Tevalo", u"Quoted", u"a \"b\" c\\d"},
      {u"HKLM\\SOFTWARE\\Tevalo", u"Count", std::nullopt},  // a DWORD is no string
      {u"HKLM\\SOFTWARE\\Tevalo", u"Missing", std::nullopt},
      {u"HKLM\\SOFTWARE\\Other", u"Version", std::nullopt},
      {u"HKCU\\SOFTWARE\\Tevalo", u"Version", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(text::ToUtf8(c.key) + " " + text::ToUtf8(c.name));
    EXPECT_EQ(ReadString(c.key, c.name), c.want);
  }
  EXPECT_EQ(ReadDword(u"HKLM\\SOFTWARE\\Tevalo", u"count"), 42u);
}

TEST_F(RegistryFile, WindowsShapedCalls) {
  Write(kStore);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\tevalo", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  uint8_t buf[260];
  uint32_t type = 0, size = sizeof buf;
  ASSERT_EQ(RegQueryValueExW(key, u"USER_DIR", nullptr, &type, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  const std::u16string userDir = u"/home/u/.local/share/tevalo/";
  EXPECT_EQ(size, (userDir.size() + 1) * 2);
  std::u16string got;
  for (uint32_t i = 0; i + 1 < size; i += 2) got.push_back(static_cast<char16_t>(buf[i] | (buf[i + 1] << 8)));
  EXPECT_EQ(got, userDir + u'\0');
  // A value longer than the buffer is not read: the caller's folder stays empty.
  size = 10;
  EXPECT_EQ(RegQueryValueExW(key, u"User_Dir", nullptr, nullptr, buf, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, (userDir.size() + 1) * 2);
  size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Count", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(RegQueryValueExW(key, u"nothing", nullptr, nullptr, buf, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(key, u"Version"), ERROR_ACCESS_DENIED);  // read-only
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  // Keys that hold only sub-keys exist; others do not.
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Media Type", 0, KEY_READ, &key), ERROR_SUCCESS);
  HKEY sub = nullptr;
  EXPECT_EQ(RegOpenKeyExW(key, u"extensions\\.REC", 0, KEY_READ, &sub), ERROR_SUCCESS);
  RegCloseKey(sub);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Teval", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Morvick\\VSFilter\\General", 0, KEY_SET_VALUE, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryFile, SourceRegistrations) {
  Write(kStore);
  EXPECT_EQ(FindSourceElement(u"x-dmb://14141"), "halviksrc");
  EXPECT_EQ(FindSourceElement(u"X-DMB://14141"), "halviksrc");
  EXPECT_EQ(FindSourceElement(u"/home/u/\u9332\u753b/a.rec"), "halvikfsrc");
  EXPECT_EQ(FindSourceElement(u"/home/u/a.REC"), "halvikfsrc");
  EXPECT_EQ(FindSourceElement(u"C:\\rec\\a.rec"), "halvikfsrc");  // a drive letter is no protocol
  EXPECT_EQ(FindSourceElement(u"/home/u/a.mp4"), std::nullopt);
  EXPECT_EQ(FindSourceElement(u"/home/u.rec/file"), std::nullopt);
  EXPECT_EQ(FindSourceElement(u"http://host/a.rec"), std::nullopt);  // the protocol decides
}

TEST_F(RegistryFile, MissingFileAndMalformedLines) {
  // No file: every lookup fails cleanly.
  EXPECT_EQ(ReadString(kTevaloKey, u"User_Dir"), std::nullopt);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tevalo", 0, KEY_ALL_ACCESS, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindSourceElement(u"x-dmb://1"), std::nullopt);

  const char text[] =
      "\"Orphan\"=\"outside any key\"\n"
      "[HKLM\\SOFTWARE\\Tevalo]\n"
      "\"User_Dir\"=\"/u/\"\n"
      "Version=\"unquoted name\"\n"
      "\"rec_Dir\"=\"/unterminated\n"
      "\"Count\"=dword:1234567890\n"
      "\"Kind\"=hex:01,02\n"
      "\"After\"=\"x\" junk\n"
      "\"NoEquals\" \"x\"\n"
      "[HKLM\\broken\n"
      "\"Lost\"=\"in a broken section\"\n"
      "[HKLM\\SOFTWARE\\Tevalo]\n"
      "\"Install_Dir\"=\"/opt/\"\n";
  std::vector<std::string> problems;
  const Store store = Store::Parse(text, &problems);
  EXPECT_EQ(problems.size(), 9u);
  EXPECT_EQ(store.Get(kTevaloKey, u"user_dir")->text, u"/u/");
  EXPECT_EQ(store.Get(kTevaloKey, u"install_dir")->text, u"/opt/");  // a repeated key adds to the first
  for (const char16_t* bad : {u"Version", u"rec_Dir", u"Count", u"Kind", u"After", u"NoEquals", u"Lost"})
    EXPECT_FALSE(store.Get(kTevaloKey, bad)) << text::ToUtf8(bad);
  // What one store writes, another reads back the same.
  const Store again = Store::Parse(store.Serialize(), &problems);
  EXPECT_EQ(again.Serialize(), store.Serialize());
}

TEST_F(RegistryFile, InstallToolWritesWhatThePlayerReads) {
  const char* bin = getenv("TEVALO_BINARY_DIR");
  ASSERT_NE(bin, nullptr);
  const std::string tool = std::string(bin) + "/bin/tevalo-regwrite";
  const std::string base = file_ + ".d";
  const std::string cmd = "'" + tool + "' --file '" + file_ + "' install --install-dir '" + base +
                          "/opt' --user-dir '" + base + "/user' --rec-dir '" + base + "/rec' --version 1.010";
  ASSERT_EQ(system(cmd.c_str()), 0);
  EXPECT_EQ(ReadString(kTevaloKey, u"install_Dir"), text::ToUtf16(base + "/opt/"));
  EXPECT_EQ(ReadString(kTevaloKey, u"User_Dir"), text::ToUtf16(base + "/user/"));  // trailing separator
  EXPECT_EQ(ReadString(kTevaloKey, u"rec_Dir"), text::ToUtf16(base + "/rec"));
  EXPECT_EQ(ReadString(kTevaloKey, u"version"), u"1.010");
  EXPECT_EQ(FindSourceElement(u"x-dmb://14141"), "halviksrc");
  EXPECT_EQ(FindSourceElement(u"a.rec"), "halvikfsrc");
  std::ifstream user(base + "/user");
  EXPECT_TRUE(user.good()) << "user folder created";

  const std::string set =
      "'" + tool + "' --file '" + file_ +
      "' set 'HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon' DefaultUserName "
      "--string tester";
  ASSERT_EQ(system(set.c_str()), 0);
  EXPECT_EQ(
      ReadString(u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", u"defaultusername"),
      u"tester");
  EXPECT_EQ(ReadString(kTevaloKey, u"Version"), u"1.010");  // earlier values kept
  const std::string bad =
      "'" + tool + "' --file '" + file_ + "' set HKLM\\X n --dword 0x1ffffffff 2>/dev/null";
  EXPECT_NE(WEXITSTATUS(system(bad.c_str())), 0);
}

}  // namespace
}  // namespace tevalo::registry
