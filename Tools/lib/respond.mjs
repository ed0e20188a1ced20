// Handlers answer plain objects { status, headers, body } so that the server can apply
// the fault switches (delay, status override, dropped connection) to any route alike.
// `body` is a string, a Buffer or absent.

export function json(status, value, headers = {}) {
  return {
    status,
    headers: { 'content-type': 'application/json', ...headers },
    body: JSON.stringify(value),
  };
}

export function text(status, body, contentType = 'text/plain; charset=utf-8', headers = {}) {
  return { status, headers: { 'content-type': contentType, ...headers }, body };
}

export function bytes(status, body, contentType = 'application/octet-stream', headers = {}) {
  return { status, headers: { 'content-type': contentType, ...headers }, body: Buffer.from(body) };
}

export function noContent(headers = {}) {
  return { status: 204, headers, body: undefined };
}

// Statuses that carry no body by definition; HTTP/1.1 clients would misread one.
export function forbidsBody(status) {
  return status === 204 || status === 304 || (status >= 100 && status < 200);
}

export function bodyBuffer(response) {
  if (response.body === undefined || response.body === null) return Buffer.alloc(0);
  return Buffer.isBuffer(response.body) ? response.body : Buffer.from(String(response.body));
}
