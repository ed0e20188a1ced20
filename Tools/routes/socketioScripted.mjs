// A scripted Socket.IO server at /scripted.io/ on the back end's HTTPS server: it speaks
// WebSocket, Engine.IO 4 and Socket.IO 5 by hand, writing the raw frames that other servers
// send and the `socket.io` package never does. The query's `scenario` picks its behaviour:
//
//   plain         open packet with maxPayload 1000000; CONNECT is answered at once
//   greetFirst    every CONNECT is answered by two events ["greet",1] and ["greet",2] on the
//                 namespace first, then by the CONNECT answer
//   noMaxPayload  the open packet leaves maxPayload out (the limit still applies)
//   stall         stops reading the connection once CONNECT is answered, until
//                 POST /__scripted/resume
//   decline       answers the upgrade with 403 and a text body
//
// Every scenario acknowledges an event that asks for it with the event's items, keeps the
// items of "collect" events in order, closes the connection (1009) on a frame over
// 1000000 bytes, and records the masking key of every frame the client sends.
//
//   GET  /__scripted/state  → { connections, masks: [uint32...], collected: [item...] }
//   POST /__scripted/resume → the stalled connections read again
// POST /__control/reset clears the state and ends the connections.
import { createHash } from 'node:crypto';
import { json } from '../lib/respond.mjs';

const kPath = '/scripted.io/';
const kMaxPayload = 1000000;
const kAcceptGUID = '258EAFA5-E914-47DA-95CA-C5AB0DC85B11';

export function register(context) {
  let state = freshState();
  const sockets = new Set();
  const stalled = new Set();

  context.httpServer.on('upgrade', (request, socket, head) => {
    const url = new URL(request.url, 'https://x');
    if (url.pathname !== kPath) return;  // the socket.io package's, or nobody's
    const scenario = url.searchParams.get('scenario') ?? 'plain';
    if (scenario === 'decline') {
      const body = 'no WebSocket for this client';
      socket.end(`HTTP/1.1 403 Forbidden\r\ncontent-type: text/plain\r\ncontent-length: ${body.length}\r\n\r\n${body}`);
      return;
    }
    const accept = createHash('sha1').update(request.headers['sec-websocket-key'] + kAcceptGUID).digest('base64');
    socket.write(`HTTP/1.1 101 Switching Protocols\r\nupgrade: websocket\r\nconnection: Upgrade\r\nsec-websocket-accept: ${accept}\r\n\r\n`);
    sockets.add(socket);
    socket.on('close', () => { sockets.delete(socket); stalled.delete(socket); });
    socket.on('error', () => socket.destroy());
    state.connections += 1;
    const connection = new Connection(socket, scenario, state, `scripted${state.connections}`);
    connection.onStall = () => { socket.pause(); stalled.add(socket); };
    connection.sendText(`0${JSON.stringify(connection.openPacket())}`);
    if (head.length > 0) socket.unshift(head);
  });

  context.router.get('/__scripted/state', () => json(200, state));
  context.router.post('/__scripted/resume', () => {
    for (const socket of stalled) socket.resume();
    stalled.clear();
    return json(200, { ok: true });
  });
  context.onReset(() => {
    for (const socket of sockets) socket.destroy();
    state = freshState();
  });
}

function freshState() {
  return { connections: 0, masks: [], collected: [] };
}

class Connection {
  #socket;
  #scenario;
  #state;
  #sid;
  #buffer = Buffer.alloc(0);

  constructor(socket, scenario, state, sid) {
    this.#socket = socket;
    this.#scenario = scenario;
    this.#state = state;
    this.#sid = sid;
    socket.on('data', (chunk) => this.#read(chunk));
  }

  openPacket() {
    const open = { sid: this.#sid, upgrades: [], pingInterval: 25000, pingTimeout: 20000 };
    if (this.#scenario !== 'noMaxPayload') open.maxPayload = kMaxPayload;
    return open;
  }

  sendText(text) { this.#socket.write(frame(0x1, Buffer.from(text))); }

  #read(chunk) {
    this.#buffer = Buffer.concat([this.#buffer, chunk]);
    for (;;) {
      const parsed = parseFrame(this.#buffer);
      if (!parsed) return;
      this.#buffer = this.#buffer.subarray(parsed.size);
      this.#state.masks.push(parsed.mask);
      if (parsed.length > kMaxPayload) return this.#close(1009);
      if (parsed.opcode === 0x8) return this.#close(1000);
      if (parsed.opcode === 0x1) this.#onEnginePacket(parsed.payload.toString('utf8'));
    }
  }

  #close(code) {
    const body = Buffer.alloc(2);
    body.writeUInt16BE(code);
    this.#socket.end(frame(0x8, body));
    this.#buffer = Buffer.alloc(0);
  }

  #onEnginePacket(text) {
    if (text[0] !== '4') return;  // pongs and the like
    const packet = parseSocketPacket(text.slice(1));
    if (!packet) return;
    const prefix = packet.nsp === '/' ? '' : `${packet.nsp},`;
    if (packet.type === '0') {
      if (this.#scenario === 'greetFirst') {
        this.sendText(`42${prefix}["greet",1]`);
        this.sendText(`42${prefix}["greet",2]`);
      }
      this.sendText(`40${prefix}${JSON.stringify({ sid: `${this.#sid}${packet.nsp}` })}`);
      if (this.#scenario === 'stall') this.onStall();
    } else if (packet.type === '2' && Array.isArray(packet.data)) {
      if (packet.data[0] === 'collect') this.#state.collected.push(packet.data[1] ?? null);
      if (packet.id !== null) this.sendText(`43${prefix}${packet.id}${JSON.stringify(packet.data.slice(1))}`);
    }
  }
}

// One WebSocket frame from the start of `buffer`, or null while it is incomplete.
function parseFrame(buffer) {
  if (buffer.length < 2) return null;
  const opcode = buffer[0] & 0x0f;
  let length = buffer[1] & 0x7f;
  let at = 2;
  if (length === 126) {
    if (buffer.length < 4) return null;
    length = buffer.readUInt16BE(2);
    at = 4;
  } else if (length === 127) {
    if (buffer.length < 10) return null;
    length = Number(buffer.readBigUInt64BE(2));
    at = 10;
  }
  if (!(buffer[1] & 0x80) || buffer.length < at + 4) return null;
  const mask = buffer.readUInt32BE(at);
  at += 4;
  // An oversized frame is reported without waiting for its payload.
  if (length > kMaxPayload) return { opcode, length, mask, size: buffer.length, payload: null };
  if (buffer.length < at + length) return null;
  const payload = Buffer.from(buffer.subarray(at, at + length));
  for (let i = 0; i < payload.length; ++i) payload[i] ^= buffer[at - 4 + (i & 3)];
  return { opcode, length, mask, size: at + length, payload };
}

function frame(opcode, payload) {
  const length = payload.length;
  const head = length < 126 ? Buffer.from([0x80 | opcode, length])
    : length < 65536 ? Buffer.from([0x80 | opcode, 126, length >> 8, length & 0xff])
      : Buffer.concat([Buffer.from([0x80 | opcode, 127]), bigLength(length)]);
  return Buffer.concat([head, payload]);
}

function bigLength(length) {
  const bytes = Buffer.alloc(8);
  bytes.writeBigUInt64BE(BigInt(length));
  return bytes;
}

// `<type>[<nsp>,][<id>][<json>]`, for the text packets our client sends.
function parseSocketPacket(text) {
  let at = 1;
  let nsp = '/';
  if (text[at] === '/') {
    const comma = text.indexOf(',', at);
    nsp = text.slice(at, comma < 0 ? text.length : comma);
    at = comma < 0 ? text.length : comma + 1;
  }
  const digits = /^\d*/.exec(text.slice(at))[0];
  at += digits.length;
  try {
    return { type: text[0], nsp, id: digits ? digits : null, data: at < text.length ? JSON.parse(text.slice(at)) : null };
  } catch {
    return null;
  }
}
