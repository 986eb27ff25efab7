#pragma once
// The few TCP calls of the status server and its clients, behind one portable face.
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
typedef uintptr_t SocketHandle;  // SOCKET
#else
typedef int SocketHandle;
#endif

// INVALID_SOCKET on Windows, -1 elsewhere.
constexpr SocketHandle kNoSocket = static_cast<SocketHandle>(-1);

// Once per process before any socket call; Winsock 1.1 on Windows. Throws
// IOException "WSAStartup: unable to initialize".
void startSockets();

// A TCP socket listening on 127.0.0.1 at the port, backlog 5. It may take the
// port while an old connection on it lingers in TIME_WAIT, but never while
// another socket listens there. Throws IOException "socket: ", "setsockopt: ",
// "bind: " or "listen: " followed by the system's text.
SocketHandle listenOnLoopback(uint16_t port);
// The platform's part of listenOnLoopback: a TCP socket with the option that
// decides who may share the port. Throws "socket: " / "setsockopt: ".
SocketHandle openListeningSocket();
// Throws IOException "accept: " + the system's text. The accepted socket's sends
// give up after kSendTimeLimitSeconds.
SocketHandle acceptClient(SocketHandle listener);
// recv's result: the bytes received, 0 when the peer closed, negative on failure.
long receiveSome(SocketHandle socket, char* buffer, std::size_t size);
// How long sendBytes waits for a peer to take the bytes.
constexpr int kSendTimeLimitSeconds = 5;
// Sends all the bytes; false when the peer has gone or has not taken them all
// within kSendTimeLimitSeconds. A peer that has gone raises no signal.
bool sendBytes(SocketHandle socket, const char* bytes, std::size_t length);
// Ends both directions of the connection, waking a thread blocked in receiveSome;
// the socket still needs closeSocket.
void shutdownSocket(SocketHandle socket);
// Wakes a thread blocked on the socket in acceptClient or receiveSome, and makes
// later calls on it fail. Linux wakes it on shutdown (closing alone does not), and
// the socket still needs closeSocket then; Winsock wakes it only on closesocket,
// and the handle becomes kNoSocket. Does nothing to kNoSocket.
void interruptSocket(SocketHandle& socket);
void closeSocket(SocketHandle socket);

// The client's side: a connection to 127.0.0.1 at the port, or kNoSocket when
// nobody accepts there. startSockets first.
SocketHandle connectToLoopback(uint16_t port);
// Whether bytes (or the peer's close, or a failure) can be read within the time;
// a failed wait counts as readable, so the following receive reports it.
bool waitForData(SocketHandle socket, uint32_t milliseconds);
// Closes with a reset instead of an orderly close.
void abortConnection(SocketHandle socket);
