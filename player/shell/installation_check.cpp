#include "player/shell/installation_check.h"

#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/store.h"

namespace tevalo::shell {

std::optional<std::string> MissingInstallation() {
  std::vector<std::string> missing;
  if (!registry::FindSourceElement(u"x-dmb://")) missing.push_back("the source registered for x-dmb");
  if (!registry::ReadString(registry::kTevaloKey, u"User_Dir")) missing.push_back("\"User_Dir\"");
  if (missing.empty()) return std::nullopt;
  std::string text = "no installation values in " + registry::StorePath() + " (";
  for (size_t i = 0; i < missing.size(); ++i) text += (i ? ", " : "") + missing[i];
  return text + " missing); write them with tevalo-regwrite install, as scripts/run.sh does";
}

}  // namespace tevalo::shell
