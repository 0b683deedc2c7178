// The name of a new recording file. Plain logic: the clock and the file system are the caller's.
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace tevalo::shell {

// folder + "/" + "<channel>_<yymmdd>_<hhmm>.rec" at the given local time; when that file exists,
// "_0", "_1", ... before ".rec", counting up until a name is free. An empty folder gives the name
// alone (the current folder).
std::u16string MakeRecordPath(const std::u16string& folder, const std::u16string& channelName,
                              const std::tm& local, const std::function<bool(const std::u16string&)>& exists);

}  // namespace tevalo::shell
