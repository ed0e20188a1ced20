#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/asio/io_context.hpp>

#include "SocketIO/Engine/SendBudget.h"

namespace socketio::detail {

// Where and how one WebSocket connection goes.
struct TransportTarget {
  std::string host;  // the server's name: SNI, Host header and certificate check
  std::uint16_t port = 0;
  bool secure = false;
  std::string hostHeader;
  std::string target;  // the request target of the upgrade
  std::vector<std::pair<std::string, std::string>> headers;
  bool compress = true;       // offer permessage-deflate
  std::size_t readLimit = 0;  // the largest message accepted
};

// One WebSocket connection (over TLS when secure): the connect-to table decides where TCP
// goes, the system store plus the extra trusted CA whom to trust; SNI and the host-name
// check always use the server's name.
//
// Strand: every member is called on the strand given to make(), and every event runs there.
// In-flight operations keep the transport alive until they end; abort() ends them at once.
class Transport {
 public:
  // The executor of an I/O context that one thread runs.
  using Strand = boost::asio::io_context::executor_type;

  // How the connection ended. `opened` tells a failure to connect from a lost connection;
  // `message` says what happened.
  struct Closure {
    bool opened = false;
    bool clean = false;  // the peer closed the WebSocket properly
    std::string message;
  };

  struct Events {
    std::function<void()> opened;
    std::function<void(std::string frame, bool binary)> received;
    // Once, however the connection ends, unless abort() ended it.
    std::function<void(Closure closure)> closed;
  };

  // Told whether its frame was written (false: the connection ended first).
  using WriteDone = std::move_only_function<void(bool written)>;

  struct Frame {
    std::string bytes;
    bool binary = false;
    WriteDone done;  // may be empty
    // Written in front of `bytes` in the same frame (static text: the Engine.IO type), so
    // that the packet text need not be copied to put it there.
    std::string_view lead;
    // Bytes the frame holds against the send budget, given back once it is written or fails.
    std::size_t budgeted = 0;
  };

  // `budget` gets back the budgeted bytes of the frames.
  [[nodiscard]] static std::shared_ptr<Transport> make(Strand strand, TransportTarget target,
                                                       Events events,
                                                       std::shared_ptr<SendBudget> budget);

  virtual ~Transport() = default;

  // Connects: TCP, TLS, the WebSocket upgrade, then reads until the connection ends.
  virtual void open() = 0;
  // Queues a frame; frames go out in order, each whole and uncompressed (permessage-deflate,
  // when the server agrees to it, compresses what the server sends).
  virtual void send(Frame frame) = 0;
  // Writes what is queued, then closes the WebSocket properly; `closed` follows (and
  // `whenClosed`, however it ends). Bounded by the close handshake timeout.
  virtual void close(std::function<void()> whenClosed = nullptr) = 0;
  // Ends everything now, without a close frame and without events; queued frames are
  // reported unwritten.
  virtual void abort() = 0;
};

}  // namespace socketio::detail
