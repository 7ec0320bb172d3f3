// The thirteen properties every analytics event carries after its own, in this order: user_guid,
// mp_name_tag, distinct_id (all three the user id), token, time, game_id, build_ver, lang,
// system_os, system_ie, system_screen, system_language, service_guid.
#ifndef TELEMETRY_COMMON_PROPERTIES_H
#define TELEMETRY_COMMON_PROPERTIES_H

#include <stdint.h>

#include "server/game_info.h"
#include "telemetry/property_list.h"
#include "telemetry/system_description.h"

// Appends the common properties to list; now is the time in seconds since 1970.
void AppendCommonProperties(PropertyList& list, const GameInfo& game, SystemDescription& system, int64_t now);

#endif
