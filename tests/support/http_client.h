// A client of raw HTTP over real loopback sockets, for tests of servers: the bytes sent
// are exactly the bytes given, and the answer is read until the server closes.
#pragma once

#include <chrono>
#include <string>

namespace velmora::test {

// Connects to the loopback address of the family, sends `bytes` and reads until the
// server closes. Empty when the connection failed.
std::string Exchange(int port, const std::string& bytes, bool ipv6 = false,
                     std::chrono::milliseconds limit = std::chrono::seconds(10));
// "GET <target> HTTP/1.0" with a Host line, as a browser would send it.
std::string Get(int port, const std::string& target, bool ipv6 = false);
// A connected socket to 127.0.0.1:port, or -1.
int Connect(int port, bool ipv6 = false);

}  // namespace velmora::test
