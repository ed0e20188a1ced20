// Method + path → handler. Patterns are exact paths ("/health"), paths with named segments
// ("/apps/:appID/settings", each segment matching one non-empty path segment), or RegExps
// (named groups become params).
//
// A handler is `async (request) => response`; see lib/respond.mjs for the response shape.

function compile(pattern) {
  if (pattern instanceof RegExp) return pattern;
  if (typeof pattern !== 'string' || !pattern.startsWith('/')) {
    throw new Error(`route pattern must start with "/": ${pattern}`);
  }
  const source = pattern
    .split('/')
    .map((segment) => segment.startsWith(':')
      ? `(?<${segment.slice(1)}>[^/]+)`
      : segment.replace(/[.*+?^${}()|[\]\\]/g, '\\$&'))
    .join('/');
  return new RegExp(`^${source}$`);
}

export class Router {
  #routes = [];

  add(method, pattern, handler) {
    this.#routes.push({ method: method.toUpperCase(), pattern, regex: compile(pattern), handler });
    return this;
  }

  get(pattern, handler) { return this.add('GET', pattern, handler); }
  post(pattern, handler) { return this.add('POST', pattern, handler); }
  put(pattern, handler) { return this.add('PUT', pattern, handler); }
  delete(pattern, handler) { return this.add('DELETE', pattern, handler); }

  // Answers { handler, params } for the first route that matches, { allowed: [...] } when
  // the path is known under other methods only, or null.
  match(method, path) {
    const allowed = new Set();
    for (const route of this.#routes) {
      const found = route.regex.exec(path);
      if (!found) continue;
      if (route.method === method) return { handler: route.handler, params: { ...found.groups } };
      allowed.add(route.method);
    }
    return allowed.size ? { allowed: [...allowed] } : null;
  }
}
