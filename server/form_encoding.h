// The form text of a statistics post: "key=value" pairs joined by "&", in the list's order.
#ifndef SERVER_FORM_ENCODING_H
#define SERVER_FORM_ENCODING_H

#include <string>

#include "telemetry/property_list.h"

// Keys and values go in as they are, except the four characters that would change how the server
// splits or decodes the form: "%", "&", "=" and "+" become %25, %26, %3D and %2B.
std::wstring EncodeForm(const PropertyList& list);

#endif
