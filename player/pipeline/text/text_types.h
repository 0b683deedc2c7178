// Records the text decoders hand to the main window. Their layouts are read by byte offset by the
// caption window and the programme list, so they are fixed here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One caption line; eight form a caption screen.
struct CaptionLine {
  int32_t clearFlag;   // 1 when the line began with a clear-screen code
  int32_t lineCount;   // lines of this screen, 0 in unused lines
  int32_t crFlag;      // 2 when the line began with a carriage return, else 1
  int32_t colour;      // 1..8 (black, red, green, yellow, blue, magenta, cyan, white)
  int32_t timeValue;   // display time in 100 ms steps, 0 when none was given
  char16_t text[512];  // zero-terminated
};
static_assert(sizeof(CaptionLine) == 1044);
static_assert(offsetof(CaptionLine, lineCount) == 4);
static_assert(offsetof(CaptionLine, crFlag) == 8);
static_assert(offsetof(CaptionLine, colour) == 12);
static_assert(offsetof(CaptionLine, timeValue) == 16);
static_assert(offsetof(CaptionLine, text) == 20);

using CaptionScreen = std::array<CaptionLine, 8>;

// One announced programme of the event table.
struct EventEntry {
  char16_t title[512];  // zero-terminated
  int32_t startHour;
  int32_t startMinute;
  int32_t startSecond;
  int32_t endHour;
  int32_t endMinute;
  int32_t endSecond;
  char16_t text[512];  // zero-terminated
};
static_assert(sizeof(EventEntry) == 2072);
static_assert(offsetof(EventEntry, startHour) == 1024);
static_assert(offsetof(EventEntry, startMinute) == 1028);
static_assert(offsetof(EventEntry, startSecond) == 1032);
static_assert(offsetof(EventEntry, endHour) == 1036);
static_assert(offsetof(EventEntry, endMinute) == 1040);
static_assert(offsetof(EventEntry, endSecond) == 1044);
static_assert(offsetof(EventEntry, text) == 1048);

// Entry 0 is not used; the first entry from 1 on with an empty title ends the list.
constexpr size_t kEventTableSize = 96;
using EventTable = std::array<EventEntry, kEventTableSize>;
static_assert(sizeof(EventTable) == 96 * 2072);
