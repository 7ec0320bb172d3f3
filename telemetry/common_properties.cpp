#include "telemetry/common_properties.h"

#include "telemetry/event_values.h"

void AppendCommonProperties(PropertyList& list, const GameInfo& game, SystemDescription& system, int64_t now) {
  // Read once, so the three keys can never disagree.
  std::wstring userId = system.UserId();
  list.Append(L"user_guid", userId);
  list.Append(L"mp_name_tag", userId);
  list.Append(L"distinct_id", userId);
  list.Append(L"token", game.analyticsToken);
  list.Append(L"time", FormatLow32(static_cast<uint64_t>(now)));
  list.Append(L"game_id", game.code);
  list.Append(L"build_ver", game.buildVersion);
  list.Append(L"lang", game.language);
  list.Append(L"system_os", system.OperatingSystem());
  list.Append(L"system_ie", system.InternetExplorerVersion());
  list.Append(L"system_screen", system.ScreenSize());
  list.Append(L"system_language", system.Language());
  list.Append(L"service_guid", system.ClientGuid());
}
