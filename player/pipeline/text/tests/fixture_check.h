// Compares what the text decoders make of a test broadcast with its manifest.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "arib_text_decoders.h"
#include "recording_sink.h"
#include "section_feed.h"

namespace fixture_check {

namespace fs = std::filesystem;
using nlohmann::json;

inline fs::path FixtureRoot() {
  const char* env = std::getenv("TEVALO_FIXTURES");
  return env ? fs::path(env) : fs::path();
}

inline std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Routes each packet's payload as the demultiplexer does.
inline void Walk(const std::vector<uint8_t>& ts, const std::set<int>& captionPids, CAribTextDecoders& dec) {
  SectionFeed sections(dec);
  for (size_t i = 0; i + 188 <= ts.size(); i += 188) {
    const uint8_t* p = ts.data() + i;
    if (p[0] != 0x47 || (p[3] & 0xC0) != 0) continue;
    const int pid = ((p[1] & 0x1F) << 8) | p[2];
    const bool pusi = (p[1] & 0x40) != 0;
    const int afc = (p[3] >> 4) & 3;
    if (!(afc & 1)) continue;
    size_t off = 4;
    if (afc & 2) off += 1 + size_t(p[4]);
    if (off >= 188) continue;
    if (pid == SectionFeed::kSdt || pid == SectionFeed::kEit)
      sections.Feed(uint16_t(pid), pusi, p + off, 188 - off, p[3] & 0x0F);
    else if (captionPids.count(pid))
      dec.ParseCaptionPes(pusi, p + off, 188 - off);
  }
}

inline std::string Hms(const EventEntry& e, bool end) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", end ? e.endHour : e.startHour,
                end ? e.endMinute : e.startMinute, end ? e.endSecond : e.startSecond);
  return buf;
}

inline std::string SlotText(const json& ev) {
  std::string s = ev["name"].get<std::string>();
  if (!ev["end"].is_null())
    s += " (" + ev["start"].get<std::string>() + " ～ " + ev["end"].get<std::string>() + ")    ";
  else if (ev["section"] == 0)
    s += " (" + ev["start"].get<std::string>() + " ～ )    ";
  return s + ev["text"].get<std::string>();
}

inline bool Matches(const CaptionScreen& screen, const json& lines) {
  for (size_t i = 0; i < 8; ++i) {
    const CaptionLine& l = screen[i];
    if (i >= lines.size()) {
      if (l.lineCount != 0 || l.text[0] != 0) return false;
      continue;
    }
    const auto& w = lines[i];
    if (Utf8(l.text) != w["shown"].get<std::string>() || l.colour != w["colour"] ||
        l.clearFlag != w["clear"] || l.crFlag != w["carriage_return"] || l.timeValue != w["time"] ||
        l.lineCount != int(lines.size()))
      return false;
  }
  return true;
}

// Feeds a transport stream to the decoders.
using Feeder =
    std::function<void(const std::vector<uint8_t>& ts, const std::set<int>& captionPids, CAribTextDecoders&)>;

// fromStart: the feed reaches the decoders from the first packet; otherwise (a programme-map search
// first) the screens before the hand-over may be missing, and a stream without a programme map
// shows nothing.
inline void CheckFixture(const fs::path& dir, const Feeder& feed, bool fromStart) {
  SCOPED_TRACE(dir.string());
  const json m = json::parse(std::ifstream(dir / "manifest.json"));
  std::set<int> captionPids;
  for (const auto& v : m["pmt_versions"])
    for (const auto& s : v["streams"])
      if (s["type"] == 6) captionPids.insert(s["pid"].get<int>());
  if (captionPids.empty() && !m["pids"]["caption"].is_null())
    captionPids.insert(m["pids"]["caption"].get<int>());

  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  feed(ReadFile(dir / m["ts"]["file"].get<std::string>()), captionPids, dec);
  const bool damaged = m.contains("damage");
  if (!fromStart && m["pids"]["pmt"].is_null()) {
    EXPECT_TRUE(sink.names.empty());
    EXPECT_TRUE(sink.infos.empty());
    EXPECT_TRUE(sink.captions.empty());
    return;
  }

  // station name
  const std::string shown = "チャンネル : " + m["service"]["name"].get<std::string>();
  EXPECT_FALSE(sink.names.empty());
  for (const auto& n : sink.names) EXPECT_EQ(Utf8(n), shown);

  // programmes
  std::string summary;
  for (const auto& ev : m["events"]) {
    const int section = ev["section"];
    const EventEntry& e = dec.Events()[size_t(section + 1)];
    EXPECT_EQ(Utf8(e.title), ev["name"].get<std::string>());
    EXPECT_EQ(Utf8(e.text), ev["text"].get<std::string>());
    EXPECT_EQ(Hms(e, false), ev["start"].get<std::string>());
    EXPECT_EQ(Hms(e, true), ev["end"].is_null() ? "00:00:00" : ev["end"].get<std::string>());
    summary += section == 0 ? "   <現在の番組> * " : "           <次の番組> * ";
    summary += SlotText(ev);
  }
  EXPECT_EQ(dec.Events()[m["events"].size() + 1].title[0], 0);
  EXPECT_EQ(Utf8(dec.LastSummary()), summary);
  ASSERT_FALSE(sink.infos.empty());
  EXPECT_EQ(Utf8(sink.infos.back()), summary);
  for (const auto& info : sink.infos) EXPECT_NE(info, u"");

  // captions: each screen as the manifest gives it, in order; a damaged stream may lose some
  const auto& caps = m["captions"];
  if (damaged) {
    for (const CaptionScreen& screen : sink.captions) {
      bool carried = false;
      for (const auto& c : caps) carried = carried || Matches(screen, c["lines"]);
      EXPECT_TRUE(carried) << "a caption screen that the stream does not carry";
    }
  } else if (fromStart) {
    ASSERT_EQ(sink.captions.size(), caps.size());
    for (size_t k = 0; k < caps.size(); ++k)
      EXPECT_TRUE(Matches(sink.captions[k], caps[k]["lines"])) << "caption " << k;
  } else {
    // a run of the manifest's screens, in order
    ASSERT_FALSE(sink.captions.empty());
    size_t first = 0;
    while (first < caps.size() && !Matches(sink.captions[0], caps[first]["lines"])) ++first;
    ASSERT_LE(first + sink.captions.size(), caps.size()) << "screens the stream does not carry";
    for (size_t k = 0; k < sink.captions.size(); ++k)
      EXPECT_TRUE(Matches(sink.captions[k], caps[first + k]["lines"])) << "caption " << first + k;
  }
}

// Runs check on every fixture folder; false when there are none.
inline bool ForEachFixture(const std::function<void(const fs::path&)>& check) {
  const fs::path root = FixtureRoot();
  if (root.empty() || !fs::exists(root / "basic" / "manifest.json")) return false;
  std::vector<fs::path> dirs;
  for (const fs::path& parent : {root, root / "sample"}) {
    if (!fs::is_directory(parent)) continue;
    for (const auto& entry : fs::directory_iterator(parent))
      if (fs::exists(entry.path() / "manifest.json") && fs::exists(entry.path() / "stream.ts"))
        dirs.push_back(entry.path());
  }
  std::sort(dirs.begin(), dirs.end());
  for (const auto& d : dirs) check(d);
  return !dirs.empty();
}

}  // namespace fixture_check
