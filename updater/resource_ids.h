// Identifiers of the updater's bitmaps, strings and dialog controls (the icon's and the dialog's are in
// updater/resources/updater_resources.h).
#pragma once

namespace tevalo::updater::res {

inline constexpr unsigned kBackgroundBitmap = 129;  // 347 x 133, pure green outside the shape
inline constexpr unsigned kCancelBitmap = 130;      // three 38 x 38 frames: normal, pressed, hover
inline constexpr unsigned kUpdateBitmap = 131;

// String table.
inline constexpr unsigned kSourceFrom = 102;  // "%1 from %2"
inline constexpr unsigned kSocketInitFailed = 103;
inline constexpr unsigned kConnectedToServer = 104;
inline constexpr unsigned kResolvingName = 105;         // "Resolving name: %1"
inline constexpr unsigned kNameResolved = 106;          // "Resolved name to %1"
inline constexpr unsigned kConnectingTo = 107;          // "Connecting to %1"
inline constexpr unsigned kOpenRemoteFileFailed = 108;  // "...remote file, Error:%1"
inline constexpr unsigned kConnecting = 109;
inline constexpr unsigned kTransferFailed = 111;       // "...transfer the file, Error:%1"
inline constexpr unsigned kServerConnectFailed = 112;  // "...connecting to the server, Error:%1"
inline constexpr unsigned kDownloadFailed = 115;       // "...downloading the file, Error:%1"
inline constexpr unsigned kPercentCaption = 116;       // "%1% Update processing..."
inline constexpr unsigned kTransferring = 117;         // "..."
inline constexpr unsigned kSizes = 118;                // "%1 of  %2"
inline constexpr unsigned kSeconds = 119;              // "%1 sec"
inline constexpr unsigned kMinutes = 120;              // "%1 min"
inline constexpr unsigned kMinutesSeconds = 121;       // "%1 min %2 sec"
inline constexpr unsigned kBytes = 122;                // "%1 Bytes"
inline constexpr unsigned kKilobytes = 124;            // "%1 KB"
inline constexpr unsigned kMegabytes = 126;            // "%1 MB"
inline constexpr unsigned kTimeAndSizes = 127;         // "%1 (%2 copied)"
inline constexpr unsigned kBytesPerSecond = 128;       // "%1 Bytes/sec"
inline constexpr unsigned kKilobytesPerSecond = 129;   // "%1 KB/sec"
inline constexpr unsigned kOpenLocalFileFailed = 131;  // "...file to be downloaded, Error:%1"
inline constexpr unsigned kAborting = 132;             // "Aborting transfer"

// Controls of dialog 102.
inline constexpr int kIdCancel = 2;
inline constexpr int kIdUpdate = 1000;
inline constexpr int kIdStatus = 1001;
inline constexpr int kIdSource = 1002;
inline constexpr int kIdProgress = 1003;
inline constexpr int kIdTimeLeft = 1004;
inline constexpr int kIdRate = 1005;

}  // namespace tevalo::updater::res
