#pragma once

namespace socketio {

// The server generation to talk to: `two` is Socket.IO 2 (Engine.IO 3: the client pings, the
// default namespace is joined on open), `three` is Socket.IO 3 and later (Engine.IO 4).
enum class SocketIOVersion { two, three };

}  // namespace socketio
