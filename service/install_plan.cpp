#include "service/install_plan.h"

namespace svc {

InstallChoice ChooseInstall(const std::optional<ServiceVersion>& installed, const std::optional<ServiceVersion>& carried) {
  // No installed version: a first install, or a program from before versioned builds.
  if (!installed) return InstallChoice::Replace;
  // A carried program without a version cannot be shown to be newer than one that has one.
  if (!carried) return InstallChoice::KeepNewer;
  return CompareServiceVersions(*installed, *carried) > 0 ? InstallChoice::KeepNewer : InstallChoice::Replace;
}

}  // namespace svc
