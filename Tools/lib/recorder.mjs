// What the back end received, in arrival order, for tests to assert on.

export class Recorder {
  #requests = [];
  #next = 1;
  #inFlight = 0;

  record(request) {
    const entry = {
      seq: this.#next++,
      method: request.method,
      path: request.path,
      rawQuery: request.rawQuery,
      query: [...request.query],
      headers: request.headers,
      host: request.headers.host ?? null,
      sni: request.sni,
      body: request.body.toString('utf8'),
      bodyBase64: request.body.toString('base64'),
    };
    this.#requests.push(entry);
    return entry;
  }

  started() { ++this.#inFlight; }
  finished() { --this.#inFlight; }
  get inFlight() { return this.#inFlight; }

  list(path) {
    return path ? this.#requests.filter((r) => r.path === path) : [...this.#requests];
  }

  clear() { this.#requests = []; }
}
