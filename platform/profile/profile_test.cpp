#include "platform/profile/profile.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/path/utf.h"
#include "platform/profile/ini_document.h"

namespace tevalo::profile {
namespace {

class ProfileFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* run = getenv("XDG_RUNTIME_DIR");
    dir_ = std::string(run ? run : "/tmp") + "/profile-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string cmd = "rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::u16string WPath(const std::string& name) const { return text::ToUtf16(Path(name)); }
  void Put(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* e = readdir(d))
        if (e->d_name[0] != '.' || (std::string(e->d_name) != "." && std::string(e->d_name) != ".."))
          out.push_back(e->d_name);
      closedir(d);
    }
    return out;
  }
  std::string dir_;
};

const char kConfig[] =
    "; written by hand\r\n"
    "[SETUP]\r\n"
    "ALWAYS=1\r\n"
    "  VOLUME_POS =  450  \r\n"
    "AREA_NUM=abc\r\n"
    "Volume_Pos=999\r\n"
    "TITLE=\"  quoted  \"\r\n"
    "NAME=\xe3\x83\x81\xe3\x83\xa3\xe3\x83\xb3\xe3\x83\x8d\xe3\x83\xab\r\n"
    "noequals\r\n"
    "\r\n"
    "[dmbcontrol]\r\n"
    "CurrentChannel=14141\r\n"
    "[SETUP]\r\n"
    "MUTE=1\r\n";

TEST_F(ProfileFiles, ReadSemanticsTable) {
  Put("config.ini", kConfig);
  const std::u16string file = WPath("config.ini");
  struct Case {
    const char16_t* section;
    const char16_t* key;
    const char16_t* def;
    uint32_t size;
    std::u16string want;
  } cases[] = {
      {u"SETUP", u"ALWAYS", u"0", 40, u"1"},
      {u"setup", u"always", u"0", 40, u"1"},          // names without regard to case
      {u"SETUP", u"VOLUME_POS", u"900", 40, u"450"},  // blanks around key and value dropped
      {u"SETUP", u"MUTE", u"0", 40, u"0"},            // the first [SETUP] wins
      {u"SETUP", u"TITLE", u"", 40, u"  quoted  "},   // surrounding quotes removed
      {u"SETUP", u"NAME", u"", 40, u"\u30c1\u30e3\u30f3\u30cd\u30eb"},
      {u"SETUP", u"NAME", u"", 3, u"\u30c1\u30e3"},   // cut to the buffer
      {u"SETUP", u"noequals", u"dflt", 40, u"dflt"},  // a line without "=" is no key
      {u"DMBControl", u"CurrentChannel", u"14141", 6, u"14141"},
      {u"DMBControl", u"CurrentChannel", u"", 3, u"14"},
      {u"DMBControl", u"LastChannel", u"none  ", 40, u"none"},  // default without trailing blanks
      {u"DMBControl", u"LastChannel", nullptr, 40, u""},
      {u"NOSECTION", u"ALWAYS", u"x", 40, u"x"},
      {u"SETUP", u"ALWAYS", u"0", 1, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(text::ToUtf8(c.section) + "/" + text::ToUtf8(c.key) + " size " + std::to_string(c.size));
    std::vector<char16_t> buf(c.size + 1, u'#');
    const uint32_t n = GetPrivateProfileStringW(c.section, c.key, c.def, buf.data(), c.size, file.c_str());
    EXPECT_EQ(std::u16string(buf.data()), c.want);
    EXPECT_EQ(n, c.want.size());
    EXPECT_EQ(buf[c.size], u'#') << "wrote past the buffer";
  }
  EXPECT_EQ(GetPrivateProfileIntW(u"SETUP", u"VOLUME_POS", 900, file.c_str()), 450u);
  EXPECT_EQ(GetPrivateProfileIntW(u"SETUP", u"AREA_NUM", -1, file.c_str()), 0u);  // no number: 0
  EXPECT_EQ(static_cast<int32_t>(GetPrivateProfileIntW(u"SETUP", u"MISSING", -1, file.c_str())), -1);
  EXPECT_EQ(ReadString(WPath("absent.ini"), u"SETUP", u"ALWAYS", u"0"), u"0");
  EXPECT_EQ(ReadInt(WPath("absent.ini"), u"SETUP", u"AREA_NUM", -1), -1);
}

TEST_F(ProfileFiles, NameListsAreDoubleTerminatedAndCut) {
  Put("config.ini", kConfig);
  const std::u16string file = WPath("config.ini");
  char16_t buf[64];
  uint32_t n = GetPrivateProfileStringW(nullptr, nullptr, nullptr, buf, 64, file.c_str());
  EXPECT_EQ(std::u16string(buf, n + 1), std::u16string(u"SETUP\0dmbcontrol\0\0", 18));
  n = GetPrivateProfileStringW(nullptr, nullptr, nullptr, buf, 9, file.c_str());
  EXPECT_EQ(n, 7u);
  EXPECT_EQ(std::u16string(buf, 9), std::u16string(u"SETUP\0d\0\0", 9));
  n = GetPrivateProfileStringW(u"dmbcontrol", nullptr, nullptr, buf, 64, file.c_str());
  EXPECT_EQ(std::u16string(buf, n + 1), std::u16string(u"CurrentChannel\0\0", 16));
  EXPECT_EQ(KeyNames(file, u"setup").size(), 5u);  // Volume_Pos repeats VOLUME_POS
}

TEST(Wtoi, LikeTheCLibrary) {
  const std::pair<std::u16string, int32_t> cases[] = {
      {u"42", 42},
      {u"  -7", -7},
      {u"+3x", 3},
      {u"x3", 0},
      {u"", 0},
      {u"12 34", 12},
      {u"99999999999", INT32_MAX},
      {u"-99999999999", INT32_MIN},
      {u"\t\n5", 5},
      {u"- 5", 0},
  };
  for (const auto& [s, v] : cases) EXPECT_EQ(Wtoi(s), v) << text::ToUtf8(s);
}

TEST(IniDocumentEdits, WriteTable) {
  struct Case {
    const char* before;
    const char* section;
    const char* key;
    const char* value;  // nullptr: remove the key
    const char* after;
  } cases[] = {
      // replaced in place, other lines and their line ends kept
      {"; c\r\n[A]\r\nx=1\r\ny=2\r\n", "a", "X", "5", "; c\r\n[A]\r\nx=5\r\ny=2\r\n"},
      // a new key goes at the end of its section, before the blank line
      {"[A]\nx=1\n\n[B]\nz=3\n", "A", "y", "2", "[A]\nx=1\ny=2\n\n[B]\nz=3\n"},
      // a new section is appended; a last line without a line end gets one
      {"[A]\nx=1", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
      {"", "SETUP", "ALWAYS", "0", "[SETUP]\nALWAYS=0\n"},
      // only the first of two keys with one name changes
      {"[A]\nk=1\nK=2\n", "A", "k", "9", "[A]\nk=9\nK=2\n"},
      // removal takes only that line
      {"[A]\nx=1\ny=2\n", "A", "x", nullptr, "[A]\ny=2\n"},
      {"[A]\nx=1\n", "A", "missing", nullptr, "[A]\nx=1\n"},
      // lines the reader does not understand survive a write
      {"junk\n[A]\n  odd line\nx=1\n", "A", "x", "2", "junk\n[A]\n  odd line\nx=2\n"},
      {"\xEF\xBB\xBF[A]\nx=1\n", "A", "x", "2", "\xEF\xBB\xBF[A]\nx=2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    IniDocument doc = IniDocument::Parse(c.before);
    if (c.value)
      EXPECT_TRUE(doc.Set(c.section, c.key, c.value));
    else
      doc.RemoveKey(c.section, c.key);
    EXPECT_EQ(doc.Serialize(), c.after);
  }
}

TEST(IniDocumentEdits, RefusesWhatWouldReadBackAsOtherLines) {
  IniDocument doc = IniDocument::Parse("[A]\nx=1\n");
  EXPECT_FALSE(doc.Set("A", "x", "1\n[B]\ny=2"));
  EXPECT_FALSE(doc.Set("A", "k=v", "1"));
  EXPECT_FALSE(doc.Set("A]x", "k", "1"));
  EXPECT_FALSE(doc.Set("A", "", "1"));
  EXPECT_FALSE(doc.Set("A", "[k", "1"));
  EXPECT_EQ(doc.Serialize(), "[A]\nx=1\n");
  IniDocument sections = IniDocument::Parse("[A]\nx=1\n[B]\ny=2\n[C]\n");
  EXPECT_TRUE(sections.RemoveSection("b"));
  EXPECT_EQ(sections.Serialize(), "[A]\nx=1\n[C]\n");
}

TEST_F(ProfileFiles, Utf16WithBomIsReadAndRewrittenAsUtf8) {
  const std::u16string content = u"[RECControl]\r\nFileName=/rec/\u9332\u753b.rec\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : content) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
  Put("config.ini", bytes);
  const std::u16string file = WPath("config.ini");
  EXPECT_EQ(ReadString(file, u"reccontrol", u"filename"), u"/rec/\u9332\u753b.rec");
  ASSERT_TRUE(WriteString(file, u"SETUP", u"MUTE", u"1"));
  EXPECT_EQ(Get("config.ini"),
            "[RECControl]\r\nFileName=/rec/\xe9\x8c\xb2\xe7\x94\xbb.rec\r\n[SETUP]\r\nMUTE=1\r\n");
}

TEST_F(ProfileFiles, WritesCreateReplaceAndDelete) {
  // The folder is stored with a trailing separator and a caller adds another one.
  const std::u16string userDir = text::ToUtf16(dir_ + "/");
  const std::u16string viaBackslash = userDir + u"\\" + u"config.ini";
  ASSERT_TRUE(WritePrivateProfileStringW(u"RECControl", u"FileName", u"/rec/a.rec", viaBackslash.c_str()));
  EXPECT_EQ(Get("config.ini"), "[RECControl]\nFileName=/rec/a.rec\n");
  EXPECT_EQ(ReadString(userDir + u"config.ini", u"RECControl", u"FileName"), u"/rec/a.rec");
  ASSERT_TRUE(WritePrivateProfileStringW(u"SETUP", u"MUTE", u"1", viaBackslash.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(u"reccontrol", u"FILENAME", u"/rec/b.rec", viaBackslash.c_str()));
  EXPECT_EQ(Get("config.ini"), "[RECControl]\nFileName=/rec/b.rec\n[SETUP]\nMUTE=1\n");
  ASSERT_TRUE(WritePrivateProfileStringW(u"SETUP", u"MUTE", nullptr, viaBackslash.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(u"RECControl", nullptr, nullptr, viaBackslash.c_str()));
  EXPECT_EQ(Get("config.ini"), "[SETUP]\n");
  // Removing from a file that does not exist creates nothing.
  EXPECT_TRUE(DeleteKey(WPath("none.ini"), u"A", u"b"));
  EXPECT_EQ(Files(), std::vector<std::string>{"config.ini"});  // no temp files left behind
  // A folder that does not exist: the write fails and says so.
  EXPECT_FALSE(WriteString(WPath("missing/config.ini"), u"A", u"b", u"c"));
  EXPECT_FALSE(WritePrivateProfileStringW(u"A", u"b", u"c", nullptr));
}

TEST_F(ProfileFiles, ADocumentEditIsOneWriteAndADocumentReadOneRead) {
  Put("list.ini", "[LIST7]\nLIST7_CH5_NAME=old\n");
  ASSERT_TRUE(EditDocument(WPath("list.ini"), [](IniDocument& doc) {
    doc.Set("LIST7", "LIST7_COUNT", "1");
    doc.RemoveKey("LIST7", "LIST7_CH5_NAME");
    doc.Set("LIST8", "A", "b");
    return true;
  }));
  EXPECT_EQ(Get("list.ini"), "[LIST7]\nLIST7_COUNT=1\n[LIST8]\nA=b\n");
  // An edit that declines writes nothing, and is no failure.
  EXPECT_TRUE(EditDocument(WPath("list.ini"), [](IniDocument& doc) {
    doc.Set("LIST7", "LIST7_COUNT", "2");
    return false;
  }));
  EXPECT_EQ(ReadDocument(WPath("list.ini")).Get("list7", "list7_count"), "1");
  EXPECT_EQ(Files(), std::vector<std::string>{"list.ini"});
  EXPECT_FALSE(ReadDocument(WPath("none.ini")).Get("LIST7", "LIST7_COUNT").has_value());
  EXPECT_FALSE(
      EditDocument(WPath("missing/list.ini"), [](IniDocument& doc) { return doc.Set("A", "b", "c"); }));
}

TEST_F(ProfileFiles, ConcurrentWritersLoseNoUpdate) {
  const std::u16string file = WPath("config.ini");
  ASSERT_TRUE(WriteString(file, u"DMBControl", u"CurrentChannel", u"14141"));
  constexpr int kWrites = 1000;
  std::atomic<bool> done{false};
  std::atomic<int> readerMisses{0};
  // Readers take no lock: they must still never see a half-written or missing file.
  std::thread reader([&] {
    while (!done.load()) {
      if (ReadString(file, u"DMBControl", u"CurrentChannel") != u"14141") readerMisses++;
    }
  });
  auto writer = [&](char16_t tag) {
    for (int i = 0; i < kWrites; ++i) {
      std::u16string key(1, tag);
      key += text::ToUtf16(std::to_string(i));
      ASSERT_TRUE(WriteString(file, u"LOCKS", key, text::ToUtf16(std::to_string(i))));
      ASSERT_TRUE(WriteString(file, u"COUNT", std::u16string(1, tag), text::ToUtf16(std::to_string(i + 1))));
    }
  };
  std::thread a(writer, u'A'), b(writer, u'B');
  a.join();
  b.join();
  done = true;
  reader.join();
  EXPECT_EQ(readerMisses.load(), 0);
  EXPECT_EQ(ReadInt(file, u"COUNT", u"A", 0), kWrites);
  EXPECT_EQ(ReadInt(file, u"COUNT", u"B", 0), kWrites);
  const auto keys = KeyNames(file, u"LOCKS");
  EXPECT_EQ(keys.size(), 2u * kWrites);
  for (int i = 0; i < kWrites; i += 97) {
    EXPECT_EQ(ReadInt(file, u"LOCKS", u"A" + text::ToUtf16(std::to_string(i)), -1), i);
    EXPECT_EQ(ReadInt(file, u"LOCKS", u"B" + text::ToUtf16(std::to_string(i)), -1), i);
  }
}

}  // namespace
}  // namespace tevalo::profile
