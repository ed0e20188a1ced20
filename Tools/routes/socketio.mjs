// The Socket.IO server (the `socket.io` package) on the back end's HTTPS server, WebSocket
// transport only, speaking Engine.IO 4 and, for clients that ask with EIO=3, Engine.IO 3.
//
// Namespaces "/" and "/chat" answer the events below; "/refused" has a middleware that turns
// every connection away with CONNECT_ERROR {"message":"not allowed","data":{"code":42}}.
//
//   echo ...items            → emits "echo" back with the same items (binary stays binary)
//   ack ...items             → acknowledges with the same items
//   ask event ...items       → emits `event` with the items asking for an acknowledgement,
//                              then emits "answer" with what the client acknowledged
//                              ("answerTimeout" when nothing came within 5 s)
//   reply {event, items}     → emits `event` with exactly `items` (none, mistyped...)
//   flood {event, count}     → emits `event` `count` times, with the index as item
//   countItems ...items      → emits "itemCount" with the number of items
//   whoami (ack)             → acknowledges { eio, extensions, sni, host, query, auth, nsp,
//                              xHeaders (the upgrade request's X-* headers) }
//   raw [frame...]           → writes the frames as they are to the WebSocket: a string as a
//                              text frame, {binary: [byte...]} as a binary frame (for
//                              feeding the client malformed packets)
//   disconnectMe close       → disconnects the socket (close: also the whole connection)
//   dropTransport            → destroys the TCP connection under the socket, no close frame
//   stopHeartbeat            → the connection stops its heartbeat: no more pings (EIO 4) or
//                              pongs (EIO 3), and it never times the client out
//   sink ...                 → counted, nothing else (for throughput runs)
//
// Control routes (not under /__control/, so they are recorded like any request):
//   POST /__socketio/heartbeat {pingInterval, pingTimeout}  for connections opened later
//   GET  /__socketio/state  → { handshakes, connects: {nsp: n}, connected: {nsp: n},
//                               disconnects: [{nsp, reason}], sunk }
// POST /__control/reset restores the heartbeat and clears the counts.
import { Server } from 'socket.io';
import { json } from '../lib/respond.mjs';

const kDefaultPingInterval = 25000;
const kDefaultPingTimeout = 20000;
const kAskTimeoutMs = 5000;
const kMaxFlood = 100000;

export function register(context) {
  const io = new Server(context.httpServer, {
    transports: ['websocket'],
    allowEIO3: true,
    serveClient: false,
    pingInterval: kDefaultPingInterval,
    pingTimeout: kDefaultPingTimeout,
    // Offered by our client; compress what is worth compressing.
    perMessageDeflate: { threshold: 1024 },
  });

  let state = freshState();
  const watch = (namespace) => {
    namespace.on('connection', (socket) => {
      count(state.connects, namespace.name);
      count(state.connected, namespace.name);
      socket.on('disconnect', (reason) => {
        count(state.connected, namespace.name, -1);
        state.disconnects.push({ nsp: namespace.name, reason });
        context.log(`socket.io ${namespace.name} ${socket.id} disconnected: ${reason}`);
      });
      answer(socket, state);
    });
  };
  watch(io.of('/'));
  watch(io.of('/chat'));
  io.of('/refused').use((socket, next) => {
    const refusal = new Error('not allowed');
    refusal.data = { code: 42 };
    next(refusal);
  });
  io.engine.on('connection', () => { state.handshakes += 1; });

  context.router.post('/__socketio/heartbeat', (request) => {
    const { pingInterval, pingTimeout } = request.json();
    for (const value of [pingInterval, pingTimeout]) {
      if (!Number.isInteger(value) || value <= 0) {
        return json(400, { error: 'pingInterval and pingTimeout must be positive integers' });
      }
    }
    io.engine.opts.pingInterval = pingInterval;
    io.engine.opts.pingTimeout = pingTimeout;
    return json(200, { ok: true });
  });
  context.router.get('/__socketio/state', () => json(200, state));

  context.onReset(() => {
    io.engine.opts.pingInterval = kDefaultPingInterval;
    io.engine.opts.pingTimeout = kDefaultPingTimeout;
    io.disconnectSockets(true);
    state = freshState();
  });
  context.onClose(() => new Promise((resolve) => {
    io.disconnectSockets(true);
    io.engine.close();
    resolve();
  }));
}

function freshState() {
  return { handshakes: 0, connects: {}, connected: {}, disconnects: [], sunk: 0 };
}

function count(table, key, by = 1) {
  table[key] = (table[key] ?? 0) + by;
}

// Splits off the acknowledgement callback that socket.io appends when the client asked.
function withAck(args) {
  return typeof args.at(-1) === 'function' ? [args.slice(0, -1), args.at(-1)] : [args, null];
}

function answer(socket, state) {
  socket.on('echo', (...args) => {
    const [items, ack] = withAck(args);
    socket.emit('echo', ...items);
    ack?.();
  });
  socket.on('ack', (...args) => {
    const [items, ack] = withAck(args);
    ack?.(...items);
  });
  socket.on('ask', (event, ...rest) => {
    const [items] = withAck(rest);
    socket.timeout(kAskTimeoutMs).emit(String(event), ...items, (error, ...answer) => {
      if (error) socket.emit('answerTimeout');
      else socket.emit('answer', ...answer);
    });
  });
  socket.on('reply', (request) => {
    const items = Array.isArray(request?.items) ? request.items : [];
    socket.emit(String(request?.event ?? 'reply'), ...items);
  });
  socket.on('flood', (request) => {
    const total = Math.min(Number(request?.count) || 0, kMaxFlood);
    for (let i = 0; i < total; ++i) socket.emit(String(request?.event ?? 'flood'), i);
  });
  socket.on('countItems', (...args) => {
    const [items] = withAck(args);
    socket.emit('itemCount', items.length);
  });
  socket.on('raw', (frames) => {
    const ws = socket.conn.transport?.socket;
    for (const frame of Array.isArray(frames) ? frames : []) {
      if (typeof frame === 'string') ws?.send(frame);
      else if (Array.isArray(frame?.binary)) ws?.send(Buffer.from(frame.binary));
    }
  });
  socket.on('whoami', (...args) => {
    const [, ack] = withAck(args);
    const conn = socket.conn;
    ack?.({
      eio: conn.protocol,
      extensions: conn.transport?.socket?.extensions ?? '',
      sni: socket.request.socket?.servername || null,
      host: socket.request.headers.host ?? null,
      query: Object.fromEntries(new URL(socket.request.url, 'https://x').searchParams),
      auth: socket.handshake.auth ?? null,
      nsp: socket.nsp.name,
      xHeaders: Object.fromEntries(
        Object.entries(socket.request.headers).filter(([name]) => name.startsWith('x-'))),
    });
  });
  socket.on('disconnectMe', (close) => socket.disconnect(Boolean(close)));
  socket.on('dropTransport', () => {
    const raw = socket.conn.transport?.socket?._socket ?? socket.request.socket;
    raw?.destroy();
  });
  socket.on('stopHeartbeat', () => stopHeartbeat(socket.conn));
  socket.on('sink', () => { state.sunk += 1; });
}

// Silences one Engine.IO connection's heartbeat without closing it, the way a server whose
// event loop is stuck would look to the client; it also stops timing the client out.
function stopHeartbeat(conn) {
  clearTimeout(conn.pingIntervalTimer);
  clearTimeout(conn.pingTimeoutTimer);
  conn.pingTimeoutTimer = null;
  conn.schedulePing = () => {};
  conn.resetPingTimeout = () => {};
  if (conn.protocol === 3) {
    const send = conn.sendPacket.bind(conn);
    conn.sendPacket = (type, ...rest) => (type === 'pong' ? undefined : send(type, ...rest));
  }
}
