// Station name from the service description table and present/following events from the event
// information table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "text_types.h"

namespace aribtext {

// The first service's name from one complete section. Empty optional unless it is the first section
// of the actual stream's SDT, intact and in force, whose first service has a service descriptor.
std::optional<std::u16string> ParseServiceName(const uint8_t* section, size_t size);

// Present/following state: the programme event table and the four summary slots.
class EventInfo {
 public:
  EventInfo();
  void Reset();
  // Parses one table 0x4E section; returns the offset after it, 0 when it is not such a section
  // or is cut short (whatever was parsed before that point is kept).
  size_t ParseSection(const uint8_t* section, size_t size);
  // The one-line summary of the slots.
  std::u16string SummaryLine() const;

  const EventTable& Table() const { return *table_; }
  const std::array<std::u16string, 4>& Slots() const { return slots_; }

 private:
  std::unique_ptr<EventTable> table_;
  std::array<std::u16string, 4> slots_;
};

}  // namespace aribtext
