/* A Windows program of the account it runs as that asks a local service one thing:
 *   api_get.exe PORT TARGET
 * sends "GET TARGET HTTP/1.0" to 127.0.0.1:PORT and writes the answer's body to standard output.
 * Exit code 0 for a 200 answer, 1 for any other, 2 when there was no answer. The two-account
 * scenario uses it where a program of another Wine prefix must be a Windows program of that
 * prefix, whose connections that prefix's Wine names. */
#include <winsock2.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  WSADATA data;
  SOCKET s;
  struct sockaddr_in address;
  char request[4096];
  static char answer[1 << 16];
  int length = 0;
  int received;
  const char* body;
  if (argc != 3 || WSAStartup(MAKEWORD(2, 2), &data) != 0) return 2;
  s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)atoi(argv[1]));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s == INVALID_SOCKET || connect(s, (struct sockaddr*)&address, sizeof address) != 0) return 2;
  _snprintf(request, sizeof request, "GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", argv[2]);
  request[sizeof request - 1] = '\0';
  send(s, request, (int)strlen(request), 0);
  while (length < (int)sizeof answer - 1 && (received = recv(s, answer + length, (int)sizeof answer - 1 - length, 0)) > 0) {
    length += received;
  }
  answer[length] = '\0';
  closesocket(s);
  body = strstr(answer, "\r\n\r\n");
  if (body == NULL) return 2;
  fputs(body + 4, stdout);
  return strncmp(answer, "HTTP/1.0 200", 12) == 0 || strncmp(answer, "HTTP/1.1 200", 12) == 0 ? 0 : 1;
}
