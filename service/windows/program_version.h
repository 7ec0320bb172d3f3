// The file version a program's version resource names.
#ifndef SERVICE_WINDOWS_PROGRAM_VERSION_H
#define SERVICE_WINDOWS_PROGRAM_VERSION_H

#include <optional>
#include <string>

#include "service_version/service_version.h"

namespace svc {

// None when the program is missing, is no program, or carries no version resource.
std::optional<ServiceVersion> ProgramVersion(const std::wstring& path);

}  // namespace svc

#endif
