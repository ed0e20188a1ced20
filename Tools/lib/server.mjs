// The HTTPS server and the pipeline every request goes through:
//   read the body → record it → take the path's fault switch → wait out its delay →
//   cut the connection, answer the overriding status, or run the route → send.
// Requests under /__control/ skip recording and faults: they are how tests drive us.
import https from 'node:https';
import { STATUS_CODES } from 'node:http';
import { json, forbidsBody, bodyBuffer } from './respond.mjs';
import { log, complain } from './log.mjs';

const kMaxBodyBytes = 32 * 1024 * 1024;
// Room for a request line carrying a whole queue message in its query: 262,144 bytes, each
// of which may take three when percent-encoded, and then some.
const kMaxHeaderBytes = 1024 * 1024;
const kControlPrefix = '/__control/';
// Idle kept-alive connections stay open this long (Node's default is 5 s), so that a
// benchmark's warmed connections outlive its run, as a real server's would.
const kKeepAliveMs = 120_000;

export class StandInServer {
  #server;
  #router;
  #controlRouter;
  #recorder;
  #faults;
  #sockets = new Set();
  #delays = new Set();
  #closed = false;

  constructor({ keyPEM, certPEM, router, controlRouter, recorder, faults }) {
    this.#router = router;
    this.#controlRouter = controlRouter;
    this.#recorder = recorder;
    this.#faults = faults;
    const options = { key: keyPEM, cert: certPEM, maxHeaderSize: kMaxHeaderBytes };
    this.#server = https.createServer(options, (req, res) => {
      this.#handle(req, res).catch((error) => {
        complain(`request ${req.method} ${req.url} failed: ${error.stack ?? error}`);
        if (!res.headersSent && !res.destroyed) this.#send(res, json(500, { error: String(error) }));
        else res.destroy();
      });
    });
    this.#server.keepAliveTimeout = kKeepAliveMs;
    // Upgraded connections (WebSocket) leave the HTTP server's bookkeeping, so we keep
    // our own list to be able to close everything on the way out.
    this.#server.on('secureConnection', (socket) => {
      this.#sockets.add(socket);
      socket.on('close', () => this.#sockets.delete(socket));
    });
    this.#server.on('tlsClientError', (error) => log(`TLS handshake failed: ${error.message}`));
    this.#server.on('clientError', (error, socket) => {
      log(`client error: ${error.message}`);
      socket.destroy();
    });
  }

  get httpServer() { return this.#server; }

  listen() {
    return new Promise((resolve, reject) => {
      this.#server.once('error', reject);
      this.#server.listen(0, '127.0.0.1', () => resolve(this.#server.address().port));
    });
  }

  close() {
    this.#closed = true;
    for (const delay of this.#delays) delay.cancel();
    this.#delays.clear();
    this.#server.close();
    this.#server.closeAllConnections();
    for (const socket of this.#sockets) socket.destroy();
  }

  // Resolves true after `ms`, or false at once when the back end closes first.
  #wait(ms) {
    if (ms <= 0) return Promise.resolve(!this.#closed);
    return new Promise((resolve) => {
      const delay = {
        timer: setTimeout(() => {
          this.#delays.delete(delay);
          resolve(true);
        }, ms),
        cancel: () => {
          clearTimeout(delay.timer);
          resolve(false);
        },
      };
      this.#delays.add(delay);
    });
  }

  async #handle(req, res) {
    const target = req.url ?? '';
    if (!target.startsWith('/')) {
      this.#send(res, json(400, { error: `unsupported request target "${target}"` }));
      return;
    }
    const queryAt = target.indexOf('?');
    const path = queryAt < 0 ? target : target.slice(0, queryAt);
    const rawQuery = queryAt < 0 ? '' : target.slice(queryAt + 1);

    const control = path.startsWith(kControlPrefix);
    if (!control) {
      this.#recorder.started();
      res.on('close', () => this.#recorder.finished());
    }
    const { body, tooLarge, aborted } = await readBody(req);
    if (aborted || res.destroyed) return;
    if (tooLarge) {
      this.#send(res, json(413, { error: `request body over ${kMaxBodyBytes} bytes` }),
                 { close: true });
      return;
    }
    const request = makeRequest(req, path, rawQuery, body);
    if (control) {
      this.#send(res, await this.#route(this.#controlRouter, request));
      return;
    }
    this.#recorder.record(request);
    log(`${request.method} ${target} (${body.length} bytes)`);

    const fault = this.#faults.take(request.method, path);
    if (fault && !(await this.#wait(fault.delayMs))) return;
    if (res.destroyed) return;  // the client gave up while we waited
    if (fault?.drop === 'beforeResponse') {
      req.socket.destroy();
      return;
    }
    const response = fault?.status
      ? { status: fault.status, headers: fault.headers, body: fault.body }
      : await this.#route(this.#router, request);
    if (res.destroyed || this.#closed) return;
    if (fault?.drop === 'midResponse') dropMidResponse(req.socket, response);
    else this.#send(res, response);
  }

  async #route(router, request) {
    const found = router.match(request.method, request.path);
    if (!found) return json(404, { error: `no route for ${request.method} ${request.path}` });
    if (!found.handler) {
      return json(405, { error: `${request.method} not allowed on ${request.path}` },
                  { allow: found.allowed.join(', ') });
    }
    request.params = found.params;
    return found.handler(request);
  }

  #send(res, response, { close = false } = {}) {
    const status = response.status;
    const body = forbidsBody(status) ? Buffer.alloc(0) : bodyBuffer(response);
    const headers = { ...(response.headers ?? {}) };
    if (!forbidsBody(status)) headers['content-length'] = String(body.length);
    if (close) headers.connection = 'close';
    res.writeHead(status, headers);
    res.end(body);
  }
}

// Answers { body } once the whole body has arrived, { tooLarge: true } once it passes the
// limit (the rest is not read), or { aborted: true } when the client went away first.
function readBody(req) {
  return new Promise((resolve) => {
    const chunks = [];
    let size = 0;
    req.on('data', (chunk) => {
      size += chunk.length;
      if (size > kMaxBodyBytes) {
        req.removeAllListeners('data');
        req.pause();
        resolve({ tooLarge: true });
        return;
      }
      chunks.push(chunk);
    });
    req.on('end', () => resolve({ body: Buffer.concat(chunks) }));
    req.on('error', () => resolve({ aborted: true }));
    req.on('close', () => resolve({ aborted: true }));  // no effect after 'end'
  });
}

function makeRequest(req, path, rawQuery, body) {
  const headers = {};
  for (const [name, value] of Object.entries(req.headers)) {
    headers[name] = Array.isArray(value) ? value.join(', ') : value;
  }
  return {
    method: req.method,
    path,
    rawQuery,
    query: new URLSearchParams(rawQuery),
    headers,
    sni: req.socket.servername || null,
    body,
    params: {},
    text() { return body.toString('utf8'); },
    json() { return JSON.parse(body.toString('utf8')); },
  };
}

// Sends the status line, the headers (announcing more body than will come) and half the
// body straight to the socket, then cuts it without a TLS close, as a server that died
// mid-response would.
function dropMidResponse(socket, response) {
  const status = response.status;
  const body = forbidsBody(status) ? Buffer.alloc(0) : bodyBuffer(response);
  const lines = [`HTTP/1.1 ${status} ${STATUS_CODES[status] ?? 'Unknown'}`];
  for (const [name, value] of Object.entries(response.headers ?? {})) {
    if (name.toLowerCase() !== 'content-length') lines.push(`${name}: ${value}`);
  }
  lines.push(`content-length: ${body.length + 1024}`, '', '');
  const head = Buffer.from(lines.join('\r\n'), 'latin1');
  socket.write(Buffer.concat([head, body.subarray(0, Math.floor(body.length / 2))]),
               () => socket.destroy());
}
