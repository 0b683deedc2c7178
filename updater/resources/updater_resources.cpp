#include "updater/resources/updater_resources.h"

#include "controls/resources.h"

namespace {
constexpr SkinResource kTable[] = {
#include "updater/resources/skin_table.inc"
};

// As the dialog shows them, spelling ("occured") and spacing ("%1 of  %2", the ideographic space of
// "ftp サーバーに　接続します") included.
constexpr StringResource kStrings[] = {
    {102, "%1 from %2"},
    {103, "Windows socket initializing failed."},
    {104, "ftp サーバーに　接続します"},
    {105, "Resolving name: %1"},
    {106, "Resolved name to %1"},
    {107, "Connecting to %1"},
    {108, "An error occurred while attempting to open the specified remote file, Error:%1"},
    {109, "ftp サーバーに　接続します"},
    {111, "An error occurred while attempting to transfer the file, Error:%1"},
    {112, "An error occurred connecting to the server, Error:%1"},
    {115, "An error occurred while downloading the file, Error:%1"},
    {116, "%1% Update processing..."},
    {117, "..."},
    {118, "%1 of  %2"},
    {119, "%1 sec"},
    {120, "%1 min"},
    {121, "%1 min %2 sec"},
    {122, "%1 Bytes"},
    {124, "%1 KB"},
    {126, "%1 MB"},
    {127, "%1 (%2 copied)"},
    {128, "%1 Bytes/sec"},
    {129, "%1 KB/sec"},
    {131, "An error occured while opening the file to be downloaded, Error:%1"},
    {132, "Aborting transfer"},
};

using K = ControlKind;
// Dialog units; the captions of the two labels are this program's own.
constexpr TemplateControl kControls[] = {
    {1001, K::Static, {}, QRect(7, 9, 213, 18)},
    {1002, K::Static, {}, QRect(7, 21, 213, 8), false},
    {1003, K::ProgressBar, {}, QRect(7, 41, 214, 9)},
    {kNoControlId, K::Static, "Time left:", QRect(8, 56, 60, 8), false},
    {1004, K::Static, {}, QRect(67, 56, 142, 8), false},
    {kNoControlId, K::Static, "Transfer rate:", QRect(8, 68, 43, 8), false},
    {1005, K::Static, {}, QRect(67, 68, 141, 8), false},
    {2, K::OwnerDrawButton, "Cancel", QRect(171, 85, 50, 13)},
    {1000, K::OwnerDrawButton, "ok", QRect(63, 87, 31, 11)},
};
constexpr DialogTemplate kDialog = {
    kUpdateDialogId, {}, {}, "ＭＳ UI Gothic", 9, QSize(227, 106), PlaceUnit::DialogUnits, kControls};
}  // namespace

const SkinCatalog& UpdaterSkin() {
  static const SkinCatalog catalog(kTable, QStringLiteral(":/skin/updater"));
  return catalog;
}

std::span<const StringResource> UpdaterStrings() { return kStrings; }

const DialogTemplate& UpdateDialogTemplate() { return kDialog; }

void InstallUpdaterResources() {
  UpdaterSkin().InstallResolvers();
  SetStringResolver([](unsigned id) { return FindString(kStrings, id); });
}

QIcon UpdaterIcon() { return UpdaterSkin().Icon(kUpdaterIconId); }
