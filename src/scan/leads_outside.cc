#include "scan/leads_outside.h"

#include "platform/files.h"
#include "platform/process.h"

namespace {

// How `path` leads out of `modFolder`, or cannot be followed to where it
// leads, when `refuseUnresolved`.
std::string judge(const std::string& modFolder, const std::string& path, bool refuseUnresolved) {
  std::string resolved, error;
  if (!platform::resolvePath(path, &resolved, &error)) {
    if (!refuseUnresolved || !platform::exists(path)) return "";
    return "cannot be followed to where it leads (" + error + ")";
  }
  if (platform::liesWithin(resolved, modFolder)) return "";
  return "leads to " + resolved + ", outside the modification folder " + modFolder +
         " (to use it, put a copy of what it leads to in its place)";
}

}  // namespace

std::string leadsOutside(const std::string& modFolder, const std::string& path) {
  return judge(modFolder, path, false);
}

std::string archiveLeadsOutside(const std::string& modFolder, const std::string& path) {
  return judge(modFolder, path, true);
}

std::string archiveLeadsOutside(const std::string& modFolder,
                                const std::vector<std::string>& archives) {
  const char separator = platform::separatorOf(platform::nativeShell());
  for (const std::string& archive : archives) {
    const std::string how = archiveLeadsOutside(modFolder, modFolder + separator + archive);
    if (!how.empty()) return archive + " " + how;
  }
  return "";
}
