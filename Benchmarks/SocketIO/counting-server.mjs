// A Socket.IO server for measuring clients, cheap enough not to be what is measured: it
// speaks TLS, WebSocket and Engine.IO 4 by hand on 127.0.0.1, answers CONNECT on "/",
// takes events, and acknowledges an event that asks with an empty list. It unmasks only the
// first bytes of a frame (the packet type and the ack id), and writes its answers to a read
// in one go. Prints {"port":N,"caFile":"..."}; stops when its standard input closes.
//   node counting-server.mjs
import { createHash } from 'node:crypto';
import { mkdtempSync, rmSync } from 'node:fs';
import { createServer } from 'node:https';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { makeCertificates } from '../../Tools/lib/certificates.mjs';

const kAcceptGUID = '258EAFA5-E914-47DA-95CA-C5AB0DC85B11';
const kPeek = 32;  // bytes unmasked: "42", an ack id of up to 20 digits, and some
const kOpen = JSON.stringify({ sid: 'counting', upgrades: [], pingInterval: 600000, pingTimeout: 600000, maxPayload: 1000000 });

const folder = mkdtempSync(join(tmpdir(), 'counting-server-'));
const certificates = makeCertificates(folder, ['socket.brelum.io']);
const server = createServer({ key: certificates.keyPEM, cert: certificates.certPEM });

server.on('upgrade', (request, socket, head) => {
  const accept = createHash('sha1').update(request.headers['sec-websocket-key'] + kAcceptGUID).digest('base64');
  socket.setNoDelay(true);
  socket.write(`HTTP/1.1 101 Switching Protocols\r\nupgrade: websocket\r\nconnection: Upgrade\r\nsec-websocket-accept: ${accept}\r\n\r\n`);
  socket.write(textFrame(`0${kOpen}`));
  let pending = head.length > 0 ? head : null;
  socket.on('data', (chunk) => {
    const buffer = pending ? Buffer.concat([pending, chunk]) : chunk;
    const out = [];
    const used = readFrames(buffer, out);
    pending = used < buffer.length ? buffer.subarray(used) : null;
    if (out.length > 0) socket.write(out.length === 1 ? out[0] : Buffer.concat(out));
  });
  socket.on('error', () => socket.destroy());
});

// Handles the whole frames at the start of `buffer`; answers go to `out`. Answers the bytes
// used.
function readFrames(buffer, out) {
  let at = 0;
  for (;;) {
    if (buffer.length - at < 6) return at;
    const opcode = buffer[at] & 0x0f;
    let length = buffer[at + 1] & 0x7f;
    let header = 2;
    if (length === 126) {
      if (buffer.length - at < 8) return at;
      length = buffer.readUInt16BE(at + 2);
      header = 4;
    } else if (length === 127) {
      if (buffer.length - at < 14) return at;
      length = Number(buffer.readBigUInt64BE(at + 2));
      header = 10;
    }
    const payload = at + header + 4;
    if (buffer.length < payload + length) return at;
    if (opcode === 0x8) {
      out.push(Buffer.from([0x88, 0]));
    } else if (opcode === 0x1) {
      onText(peek(buffer, at + header, payload, length), out);
    }
    at = payload + length;
  }
}

function peek(buffer, maskAt, payloadAt, length) {
  const size = Math.min(length, kPeek);
  let text = '';
  for (let i = 0; i < size; ++i) text += String.fromCharCode(buffer[payloadAt + i] ^ buffer[maskAt + (i & 3)]);
  return text;
}

function onText(text, out) {
  if (text[0] !== '4') return;
  if (text[1] === '0') {
    out.push(textFrame('40{"sid":"counting"}'));
  } else if (text[1] === '2') {
    const id = /^\d+/.exec(text.slice(2));
    if (id) out.push(textFrame(`43${id[0]}[]`));
  }
}

function textFrame(text) {
  const payload = Buffer.from(text);
  const head = payload.length < 126 ? Buffer.from([0x81, payload.length])
    : Buffer.from([0x81, 126, payload.length >> 8, payload.length & 0xff]);
  return Buffer.concat([head, payload]);
}

server.listen(0, '127.0.0.1', () => {
  process.stdout.write(`${JSON.stringify({ port: server.address().port, caFile: certificates.caFile })}\n`);
});
process.stdin.resume();
process.stdin.on('end', () => {
  rmSync(folder, { recursive: true, force: true });
  process.exit(0);
});
