// Echo routes for testing an HTTP client: what arrived comes back as JSON, so a test can
// check method, query, headers and body as the server saw them, and which connection
// carried the request (to see kept-alive connections reused).
//
//   <any method> /echo[/...]            200 with the echo document below
//   <any method> /echo/status/<code>    that status, the body "status <code>" (none for
//                                       204 and 304) and the header "x-status: <code>"
//   <any method> /echo/bytes/<count>    200 with <count> bytes of "x"
//   <any method> /echo/gzip/<count>     the same bytes sent gzip-compressed
//                                       ("content-encoding: gzip")
//   <any method> /echo/redirect/<code>  that status with "location: /echo/landed" and the
//                                       header "x-redirect: <code>"
//   <any method> /echo/repeated         200 with the header "x-repeated" sent twice, "one"
//                                       then "two"
//
// The echo document:
//   { method, path, rawQuery, query: [[name, value]...], form: [[name, value]...] (the body
//     decoded as a form when it is one, else null), headers, body (UTF-8 text), bodyBase64,
//     connection }
//
// Every answer here carries "x-stand-in-connection: <n>", a number per TLS connection; HEAD
// answers have no body, so the header is how they tell it. To know the connection in the
// route, a listener that runs before the server's own handler adds that header to the
// request as well, and it is therefore in the recorded requests of these paths.
//
// CONNECT never reaches the router (Node hands the socket over for a tunnel), so it is
// answered here from the server's "connect" event, recorded like any other request, and
// the connection is then closed.
import { gzipSync } from 'node:zlib';

const kMethods = ['OPTIONS', 'GET', 'HEAD', 'POST', 'PUT', 'PATCH', 'DELETE', 'TRACE'];
const kConnectionHeader = 'x-stand-in-connection';
const kPrefix = /^\/echo(?:\/|\?|$)/;

export function register({ router, httpServer, recorder, respond }) {
  const connections = new WeakMap();
  let nextConnection = 1;
  const connectionOf = (socket) => {
    if (!connections.has(socket)) connections.set(socket, nextConnection++);
    return connections.get(socket);
  };

  httpServer.prependListener('request', (req) => {
    if (kPrefix.test(req.url ?? '')) req.headers[kConnectionHeader] = String(connectionOf(req.socket));
  });

  const echo = (request) => {
    const headers = { ...request.headers };
    const connection = Number(headers[kConnectionHeader] ?? 0);
    delete headers[kConnectionHeader];
    const contentType = headers['content-type'] ?? '';
    const form = contentType.startsWith('application/x-www-form-urlencoded')
      ? [...new URLSearchParams(request.body.toString('utf8'))]
      : null;
    return {
      connection,
      document: {
        method: request.method,
        path: request.path,
        rawQuery: request.rawQuery,
        query: [...request.query],
        form,
        headers,
        body: request.body.toString('utf8'),
        bodyBase64: request.body.toString('base64'),
        connection,
      },
    };
  };

  const answer = (request) => {
    const { connection, document } = echo(request);
    const tag = { [kConnectionHeader]: String(connection) };
    const status = /^\/echo\/status\/(\d{3})$/.exec(request.path);
    if (status) {
      const code = Number(status[1]);
      const body = respond.forbidsBody(code) ? undefined : `status ${code}`;
      return { status: code, headers: { 'content-type': 'text/plain', 'x-status': String(code), ...tag }, body };
    }
    const redirect = /^\/echo\/redirect\/(3\d\d)$/.exec(request.path);
    if (redirect) {
      return {
        status: Number(redirect[1]),
        headers: { location: '/echo/landed', 'x-redirect': redirect[1], ...tag },
        body: 'moved',
      };
    }
    if (request.path === '/echo/repeated') {
      return respond.text(200, 'repeated', undefined, { 'x-repeated': ['one', 'two'], ...tag });
    }
    const bytes = /^\/echo\/bytes\/(\d{1,9})$/.exec(request.path);
    if (bytes) return respond.bytes(200, Buffer.alloc(Number(bytes[1]), 'x'), undefined, tag);
    const gzip = /^\/echo\/gzip\/(\d{1,9})$/.exec(request.path);
    if (gzip) {
      return respond.bytes(200, gzipSync(Buffer.alloc(Number(gzip[1]), 'x')), undefined,
                           { 'content-encoding': 'gzip', ...tag });
    }
    return respond.json(200, document, tag);
  };

  for (const method of kMethods) {
    router.add(method, '/echo', answer);
    router.add(method, /^\/echo\/.*$/, answer);
  }

  httpServer.on('connect', (req, socket, head) => {
    const target = req.url ?? '';
    if (!kPrefix.test(target)) {
      socket.destroy();
      return;
    }
    const expected = Number(req.headers['content-length'] ?? 0);
    let body = Buffer.from(head);
    const reply = () => {
      socket.removeAllListeners('data');
      const queryAt = target.indexOf('?');
      const path = queryAt < 0 ? target : target.slice(0, queryAt);
      const rawQuery = queryAt < 0 ? '' : target.slice(queryAt + 1);
      const headers = {};
      for (const [name, value] of Object.entries(req.headers)) {
        headers[name] = Array.isArray(value) ? value.join(', ') : value;
      }
      headers[kConnectionHeader] = String(connectionOf(socket));
      const request = {
        method: req.method, path, rawQuery, query: new URLSearchParams(rawQuery), headers,
        sni: socket.servername || null, body: body.subarray(0, expected),
      };
      recorder.record(request);
      const { connection, document } = echo(request);
      const text = Buffer.from(JSON.stringify(document));
      socket.end(Buffer.concat([Buffer.from(
        'HTTP/1.1 200 OK\r\ncontent-type: application/json\r\n' +
        `${kConnectionHeader}: ${connection}\r\ncontent-length: ${text.length}\r\n` +
        'connection: close\r\n\r\n', 'latin1'), text]));
    };
    if (body.length >= expected) {
      reply();
      return;
    }
    socket.on('data', (chunk) => {
      body = Buffer.concat([body, chunk]);
      if (body.length >= expected) reply();
    });
    socket.on('error', () => socket.destroy());
  });
}
