// The name of a new recording file. Plain logic: the clock and the file system are the caller's.
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace tevalo::shell {

// The channel name as a file-name part: "/", "\" and NUL become "_" so the name stays in its folder.
std::u16string FileNamePart(std::u16string channelName);

// Candidate `count` of a recording path: folder + "/" + "<channel>_<yymmdd>_<hhmm>.rec" for count -1,
// the same with "_<count>" before ".rec" otherwise. An empty folder gives the name alone (the
// current folder).
std::u16string RecordPathCandidate(const std::u16string& folder, const std::u16string& channelName,
                                   const std::tm& local, int count);

// The first candidate (-1, 0, 1, ...) for which exists is false.
std::u16string MakeRecordPath(const std::u16string& folder, const std::u16string& channelName,
                              const std::tm& local, const std::function<bool(const std::u16string&)>& exists);

}  // namespace tevalo::shell
