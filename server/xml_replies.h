// Reading the publisher server's two XML answers with the system's MSXML DOM component: the sid
// answer and the game's download configuration.
#ifndef SERVER_XML_REPLIES_H
#define SERVER_XML_REPLIES_H

#include <memory>
#include <optional>
#include <string>

#include "server/game_config.h"

// The text of the root's first "sid" child, or none when there is no such child (or no document).
std::optional<std::wstring> ParseSidReply(const std::wstring& answer);

// The configuration: the root's "file_id" text and one entry per child node of its "resources"
// (comments included, with empty fields), in document order. An answer that is not XML, that
// declares a document type, or that cannot be read for want of the DOM component gives an empty
// configuration. Never null.
std::unique_ptr<GameConfig> ParseConfigReply(const std::wstring& answer);

// True when the text declares a document type or entities: such answers are refused unread, so an
// entity-expansion document cannot exhaust memory and no external resource is fetched.
bool DeclaresDocumentType(const std::wstring& answer);

#endif
