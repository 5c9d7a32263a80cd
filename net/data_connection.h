#pragma once
// FTP data connections: passive (PASV, EPSV), where the client connects to the
// server, and active (PORT, EPRT), where the server connects back. In both the
// only peer ever accepted is the control connection's host.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/byte_stream.h"
#include "net/ftp_control.h"
#include "net/socket_address.h"
#include "net/unique_fd.h"

namespace qb {

// The port of a "227 ... (h1,h2,h3,h4,p1,p2)" reply; the address it names is
// never used. Nothing for numbers out of range, a port of 0 or no such list.
std::optional<uint16_t> ParsePasvReply(std::string_view line);
// The port of a "229 ... (|||port|)" reply (any delimiter from '!' to '~').
std::optional<uint16_t> ParseEpsvReply(std::string_view line);

// "PORT a,b,c,d,p1,p2" for an IPv4 address and port in host order.
std::string FormatPortCommand(uint32_t address, uint16_t port);
// "EPRT |1|address|port|" or "EPRT |2|address|port|".
std::string FormatEprtCommand(const SocketAddress& address);

enum class PassiveOutcome {
  Connected,
  Refused,  // the server answered both PASV and EPSV with an error
  Failed,   // no answer, a reply that names no usable port, or no connection
};

// Asks for a passive port (PASV first on IPv4, EPSV first on IPv6, the other
// when the first is refused) and connects to it on the control peer's host.
// receiveBuffer as for ConnectWithin. lastReply receives the server's last reply.
PassiveOutcome OpenPassiveData(FtpControl& control, const SocketAddress& peer, int timeoutMs,
                               const std::atomic<bool>* abort, int receiveBuffer,
                               std::unique_ptr<ByteStream>& data, FtpReply& lastReply);

// A listening socket on the control connection's local address, announced
// with PORT (IPv4) or EPRT (IPv6); invalid when refused or on error.
UniqueFd OpenActiveData(FtpControl& control);

// Waits for the server's data connection on a listening socket. Connections
// from any host other than server's are closed unread. Gives up after
// timeoutMs (<= 0: no time bound) or as soon as *abort is set.
UniqueFd AcceptData(int listener, const SocketAddress& server, int timeoutMs,
                    const std::atomic<bool>* abort = nullptr);

// Reads the data connection into buf until the peer closes, the buffer is full,
// a read waits longer than timeoutMs (<= 0: no bound), the whole transfer takes
// six times that, or *abort is set. Returns the bytes read; buf is not
// terminated here.
std::size_t ReceiveData(ByteStream& data, char* buf, std::size_t size, int timeoutMs,
                        const std::atomic<bool>* abort = nullptr);

}  // namespace qb
