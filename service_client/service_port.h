// Which ports of 127.0.0.1 the library tries for its user's service. The service listens on 9421
// unless another account's service holds it; then on the next free port up to 9436, which it
// records in the library's data folder. Whatever the port, the library talks only to a service of
// its own user (transport's owner check).
#ifndef SERVICE_CLIENT_SERVICE_PORT_H
#define SERVICE_CLIENT_SERVICE_PORT_H

#include <stddef.h>

// The ports to try, in order, into ports: the recorded one when there is one other than 9421,
// then 9421. Returns how many (1 or 2).
int _ak_servicePorts(int ports[2]);

// Whether port is one the service may listen on.
bool _ak_isServicePort(int port);

// The port a record's text names, or 0 when it names none of the range: digits, then at most a
// line end.
int _ak_parsePortRecord(const char* text, size_t length);

#endif
