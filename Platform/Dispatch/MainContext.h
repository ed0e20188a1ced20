#pragma once

#include <boost/asio/io_context.hpp>

namespace platform::detail {

// The I/O context behind the main queue; only the main thread runs it. It is kept busy
// by a work guard for the whole process, so that running it waits for work instead of
// returning when the queue is momentarily empty.
boost::asio::io_context& mainContext();

}  // namespace platform::detail
