// What the service's installer does with the program it carries, given the one installed: a
// newer installed service is never replaced by an older one (an older downloader must not undo a
// fix); the same version is put in again (run again, the installer repairs).
#ifndef SERVICE_INSTALL_PLAN_H
#define SERVICE_INSTALL_PLAN_H

#include <optional>

#include "service_version/service_version.h"

namespace svc {

enum class InstallChoice {
  Replace,     // stop the installed service, keep it as the previous program, put the carried one in
  KeepNewer,   // the installed program is newer: it stays, and is started when it does not answer
};

// installed: the installed program's version (none when there is no program or it names none);
// carried: the version of the program this installer carries (none when it names none).
InstallChoice ChooseInstall(const std::optional<ServiceVersion>& installed, const std::optional<ServiceVersion>& carried);

}  // namespace svc

#endif
