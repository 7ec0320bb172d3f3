// The JSON text of an analytics event: {"event":"<name>","properties":{"<key>":"<value>",...}},
// every value a JSON string, the properties in list order (repeated keys kept).
//
// Keys, values and the name are escaped, so a quote, backslash or control character in a value
// (a graphics card's name, a server-supplied file number, an error text) cannot break the object
// and lose the event. Every character outside printable ASCII is written as a \uXXXX escape
// (surrogate pairs above U+FFFF; a lone surrogate becomes U+FFFD), so the text is plain ASCII
// and reads the same in every code page.
#ifndef TELEMETRY_EVENT_JSON_H
#define TELEMETRY_EVENT_JSON_H

#include <string>

#include "telemetry/property_list.h"

// text as a quoted JSON string.
std::wstring JsonQuote(const std::wstring& text);

// "{", the pairs as "key":"value" separated by ",", then "}"; an empty list gives {}.
std::wstring EncodeJsonObject(const PropertyList& properties);

// {"event":"<name>","properties":<EncodeJsonObject(properties)>}
std::wstring EventPayload(const std::wstring& eventName, const PropertyList& properties);

// The payload as the bytes that are sent: the same characters, one byte each (it is ASCII).
std::string EventPayloadBytes(const std::wstring& eventName, const PropertyList& properties);

#endif
