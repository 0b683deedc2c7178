#include "platform/path/path.h"

#include <gtest/gtest.h>

#include "platform/path/utf.h"

namespace tevalo::path {
namespace {

struct JoinCase {
  const char* folder;
  const char* name;
  const char* joined;
};

TEST(PathJoin, SeparatorTable) {
  const JoinCase cases[] = {
      {"/home/u/tevalo/", "config.ini", "/home/u/tevalo/config.ini"},    // stored with a trailing "/"
      {"/home/u/tevalo", "config.ini", "/home/u/tevalo/config.ini"},     // none stored
      {"/home/u/tevalo\\", "config.ini", "/home/u/tevalo/config.ini"},   // Windows-style trailing separator
      {"/home/u/tevalo/", "\\config.ini", "/home/u/tevalo/config.ini"},  // folder + "\" + name
      {"/home/u/tevalo\\", "\\config.ini", "/home/u/tevalo/config.ini"},
      {"/home/u/tevalo//", "/config.ini", "/home/u/tevalo/config.ini"},
      {"/rec", "Record\\a.rec", "/rec/Record/a.rec"},
      {"", "config.ini", "config.ini"},  // no folder: the current directory
      {"", "\\config.ini", "/config.ini"},
      {"/rec/", "", "/rec/"},
      {"/", "x", "/x"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " + " + c.name);
    EXPECT_EQ(Join(c.folder, c.name), c.joined);
    EXPECT_EQ(Join(text::ToUtf16(c.folder), text::ToUtf16(c.name)), text::ToUtf16(c.joined));
  }
}

TEST(PathJoin, ConcatenatedFormsNameOneFile) {
  const std::u16string userDir = u"/home/u/.local/share/tevalo/";
  EXPECT_EQ(NativeUtf8(userDir + u"config.ini"), NativeUtf8(userDir + u"\\" + u"config.ini"));
  EXPECT_EQ(NativeUtf8(u"/home/\u30c6\u30b9\u30c8\\a.ini"),
            "/home/\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88/a.ini");
  EXPECT_EQ(Join(std::string("/a/"), std::string("b\\"), std::string("\\c")), "/a/b/c");
}

TEST(Utf, RoundTripAndBadInput) {
  const std::u16string s = u"\u30c1\u30e3\u30f3\u30cd\u30eb A \U0001F600";
  EXPECT_EQ(text::ToUtf16(text::ToUtf8(s)), s);
  // An unpaired surrogate and malformed bytes become U+FFFD instead of being dropped or throwing.
  EXPECT_EQ(text::ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(text::ToUtf16("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(text::ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");              // overlong "/"
  EXPECT_EQ(text::ToUtf16("\xED\xA0\x80z"), u"\uFFFD\uFFFD\uFFFDz");  // encoded surrogate
  EXPECT_TRUE(text::EqualsNoCase(u"Install_Dir", u"install_DIR"));
  EXPECT_FALSE(text::EqualsNoCase(u"Install_Dir", u"Install_Di"));
}

}  // namespace
}  // namespace tevalo::path
