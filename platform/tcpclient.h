// A plain TCP client for short one-packet connections: connect with a time-out, send every
// byte, optionally read one reply, close.
#pragma once

#include <cstddef>
#include <cstdint>

// Connects to the IPv4 address (dotted text) and port, waiting at most connectTimeoutMs for
// the connection. Returns the connected socket, or -1 with the error number in *error
// (EINVAL when the address is not a dotted IPv4 address, ETIMEDOUT when the wait ran out).
int TcpConnect(const char* ipv4, uint16_t port, int connectTimeoutMs, int* error);
// Sends all bytes; false (and the error number in *error) when any byte could not be sent.
// A peer that stops reading for ioTimeoutMs counts as an error.
bool TcpSendAll(int sock, const void* data, size_t length, int ioTimeoutMs, int* error);
// One receive of at most capacity bytes, waiting at most ioTimeoutMs. Returns the byte count,
// or -(error number).
int TcpReceiveOnce(int sock, void* buf, size_t capacity, int ioTimeoutMs);
void TcpClose(int sock);
// True when the text is a dotted IPv4 address.
bool IsIpv4Text(const char* text);
