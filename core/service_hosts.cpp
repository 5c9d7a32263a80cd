#include "core/service_hosts.h"

#include "core/ini_file.h"
#include "core/settings.h"

namespace qb {

std::string ServiceHost(const char* key, const char* builtin) {
  return IniReadString(SettingsPath(), "Hosts", key, builtin, 449);
}

}  // namespace qb
