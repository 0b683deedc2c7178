// A local time for the recording-name tests.
#pragma once

#include <ctime>

namespace tevalo::shell::test {

inline std::tm At(int year, int month, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  return t;
}

}  // namespace tevalo::shell::test
