// A server for one connection on 127.0.0.1 that answers exactly what a test
// scripts: it reads the request head (up to the empty line) and a body of
// the announced length, sends `reply`, then closes or, with holdOpen, waits
// until the client goes away. Port 0 lets the system choose. With
// `connections` above 1 it answers that many connections in turn, the same
// way each time; Received() then holds every request, one after the other.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"

class ScriptedServer {
 public:
  explicit ScriptedServer(std::string reply, bool holdOpen = false, uint16_t port = 0, int connections = 1)
      : reply_(std::move(reply)), holdOpen_(holdOpen), connections_(connections), listener_(platform::CreateTcpSocket()) {
    if (platform::BindLoopback(listener_, port) == 0) platform::Listen(listener_, 4);
    port_ = platform::LocalPort(listener_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    platform::ShutdownBoth(listener_);  // ends an accept that no client came to
    if (thread_.joinable()) thread_.join();
    platform::CloseSocket(listener_);
  }
  uint16_t Port() const { return port_; }
  // True once a whole request has arrived (within timeoutMs).
  bool WaitRequest(int timeoutMs) {
    uint64_t deadline = platform::TickCountMs() + static_cast<uint64_t>(timeoutMs);
    while (!requestRead_ && platform::TickCountMs() < deadline) platform::SleepMs(2);
    return requestRead_;
  }
  // The bytes received, once the connections are done.
  std::string Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }
  // When each request had arrived (monotonic ms), once the connections are done.
  std::vector<uint64_t> ArrivalTimes() {
    if (thread_.joinable()) thread_.join();
    return arrivals_;
  }

 private:
  void Serve() {
    for (int i = 0; i < connections_; ++i) {
      if (!ServeOne()) return;
    }
  }
  bool ServeOne() {
    int fd = platform::Accept(listener_);
    if (fd < 0) return false;
    const size_t start = received_.size();
    char c;
    while (received_.find("\n\n", start) == std::string::npos && platform::Receive(fd, &c, 1) == 1) received_ += c;
    size_t at = received_.find("Content-Length: ", start);
    long length = at == std::string::npos ? 0 : std::stol(received_.substr(at + 16));
    for (long i = 0; i < length && platform::Receive(fd, &c, 1) == 1; ++i) received_ += c;
    arrivals_.push_back(platform::TickCountMs());
    requestRead_ = true;
    platform::SendAll(fd, reply_.data(), reply_.size());
    while (holdOpen_ && platform::Receive(fd, &c, 1) > 0) continue;
    platform::ShutdownBoth(fd);
    platform::CloseSocket(fd);
    return true;
  }

  std::string reply_;
  bool holdOpen_;
  int connections_;
  int listener_;
  uint16_t port_ = 0;
  std::atomic<bool> requestRead_{false};
  std::string received_;
  std::vector<uint64_t> arrivals_;
  std::thread thread_;
};

// A loopback port nothing listens on (bound once, then closed).
inline uint16_t FreePort() {
  int fd = platform::CreateTcpSocket();
  platform::BindLoopback(fd, 0);
  uint16_t port = platform::LocalPort(fd);
  platform::CloseSocket(fd);
  return port;
}
