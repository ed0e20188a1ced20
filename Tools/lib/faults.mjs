// Fault switches, each scoped to a path, that tests set through /__control/faults:
//
//   { "path": "/queue",          exact path; "/prefix/*" for a subtree; "*" for every path
//     "method": "POST",          optional; any method when absent
//     "status": 500,             answer this status instead of running the route...
//     "body": "text",            ...with this body (or "bodyBase64"), and these "headers";
//                                status 204 answers an empty 204
//     "delayMs": 2000,           wait before answering (after the request body arrived)
//     "drop": true,              send the headers and half the body, then cut the connection;
//                                "beforeResponse" cuts it without sending anything
//     "times": 1 }               apply to this many requests, then lift (always when absent)
//
// A switch replaces an earlier one with the same path and method. Unknown members are
// refused, so a misspelt switch fails the test that set it instead of silently not applying.

const kKnown = new Set(['path', 'method', 'status', 'body', 'bodyBase64', 'headers', 'delayMs',
                        'drop', 'times']);
const kMaxDelayMs = 600_000;

function isObject(value) {
  return typeof value === 'object' && value !== null && !Array.isArray(value);
}

// Answers a normalised switch, or throws an Error whose message says what is wrong.
export function parseFault(switches) {
  if (!isObject(switches)) throw new Error('a fault must be a JSON object');
  for (const key of Object.keys(switches)) {
    if (!kKnown.has(key)) throw new Error(`unknown fault member "${key}"`);
  }
  const { path, method, status, body, bodyBase64, headers, delayMs, drop, times } = switches;
  if (typeof path !== 'string' || !(path === '*' || path.startsWith('/'))) {
    throw new Error('"path" must be "*" or start with "/"');
  }
  if (method !== undefined && (typeof method !== 'string' || !/^[A-Za-z]+$/.test(method))) {
    throw new Error('"method" must be an HTTP method name');
  }
  if (status !== undefined && !(Number.isInteger(status) && status >= 200 && status <= 599)) {
    throw new Error('"status" must be an integer from 200 to 599');
  }
  if (body !== undefined && typeof body !== 'string') throw new Error('"body" must be a string');
  if (bodyBase64 !== undefined && typeof bodyBase64 !== 'string') {
    throw new Error('"bodyBase64" must be a string');
  }
  if (body !== undefined && bodyBase64 !== undefined) {
    throw new Error('give "body" or "bodyBase64", not both');
  }
  if (headers !== undefined &&
      !(isObject(headers) && Object.values(headers).every((v) => typeof v === 'string'))) {
    throw new Error('"headers" must be an object of strings');
  }
  if ((body !== undefined || bodyBase64 !== undefined || headers !== undefined) &&
      status === undefined) {
    throw new Error('"body" and "headers" need a "status"');
  }
  if (delayMs !== undefined &&
      !(Number.isInteger(delayMs) && delayMs >= 0 && delayMs <= kMaxDelayMs)) {
    throw new Error(`"delayMs" must be an integer from 0 to ${kMaxDelayMs}`);
  }
  if (drop !== undefined && ![true, false, 'midResponse', 'beforeResponse'].includes(drop)) {
    throw new Error('"drop" must be true, false, "midResponse" or "beforeResponse"');
  }
  if (times !== undefined && !(Number.isInteger(times) && times > 0)) {
    throw new Error('"times" must be a positive integer');
  }
  const dropMode = drop === true ? 'midResponse' : (drop || null);
  if (status === undefined && delayMs === undefined && dropMode === null) {
    throw new Error('a fault needs "status", "delayMs" or "drop"');
  }
  return {
    path,
    method: method?.toUpperCase() ?? null,
    status: status ?? null,
    body: bodyBase64 !== undefined ? Buffer.from(bodyBase64, 'base64') : Buffer.from(body ?? ''),
    headers: headers ?? {},
    delayMs: delayMs ?? 0,
    drop: dropMode,
    remaining: times ?? Infinity,
  };
}

// Exact paths beat subtrees, longer subtrees beat shorter ones, "*" comes last.
function specificity(faultPath, path) {
  if (faultPath === path) return Number.MAX_SAFE_INTEGER;
  if (faultPath === '*') return 0;
  if (faultPath.endsWith('*') && path.startsWith(faultPath.slice(0, -1))) return faultPath.length;
  return -1;
}

export class Faults {
  #faults = [];

  set(fault) {
    this.#faults = this.#faults.filter((f) => f.path !== fault.path || f.method !== fault.method);
    this.#faults.push(fault);
  }

  clear() { this.#faults = []; }

  list() {
    return this.#faults.map(({ body, remaining, ...rest }) => ({
      ...rest,
      bodyBase64: body.toString('base64'),
      times: Number.isFinite(remaining) ? remaining : null,
    }));
  }

  // The switch that applies to this request, counted as used; null when none does.
  take(method, path) {
    let best = null;
    let bestScore = -1;
    for (const fault of this.#faults) {
      if (fault.method !== null && fault.method !== method) continue;
      const score = specificity(fault.path, path);
      if (score >= 0 && score >= bestScore) {  // ties: the later switch wins
        best = fault;
        bestScore = score;
      }
    }
    if (best && --best.remaining <= 0) this.#faults = this.#faults.filter((f) => f !== best);
    return best;
  }
}
