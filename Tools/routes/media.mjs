// Media files for the players, served with byte ranges as media servers serve them:
//
//   POST /__control/media   {"name": "clip.webm", "file": "/absolute/path"} serves that file
//                           as /media/clip.webm from then on (until a reset)
//   GET  /media/:name       the file, with Accept-Ranges: bytes. "Range: bytes=a-b" (also
//                           "a-" and "-n") answers 206 with Content-Range; a range that starts
//                           past the end answers 416 with "Content-Range: bytes */size". Any
//                           other Range value (several ranges, other units) gets the whole
//                           file, which HTTP allows. ?ranges=none ignores Range altogether, as
//                           a server without range support does.
//
// The type follows the extension: .webm video/webm, .mp4 video/mp4, anything else
// application/octet-stream. An unknown name answers 404.
import { readFileSync } from 'node:fs';
import { isAbsolute } from 'node:path';

import { bytes, json, text } from '../lib/respond.mjs';

const kTypes = { webm: 'video/webm', mp4: 'video/mp4' };

function contentType(name) {
  return kTypes[name.split('.').pop().toLowerCase()] ?? 'application/octet-stream';
}

// [first, last] inclusive, 'unsatisfiable', or null for "send the whole file".
function parseRange(header, size) {
  const found = /^bytes=(\d*)-(\d*)$/.exec(header ?? '');
  if (!found || (found[1] === '' && found[2] === '')) return null;
  if (found[1] === '') {
    const length = Number(found[2]);
    return length === 0 ? 'unsatisfiable' : [Math.max(0, size - length), size - 1];
  }
  const first = Number(found[1]);
  if (first >= size) return 'unsatisfiable';
  const last = found[2] === '' ? size - 1 : Math.min(Number(found[2]), size - 1);
  return last < first ? null : [first, last];
}

export function register({ router, controlRouter, onReset }) {
  const files = new Map();
  onReset(() => files.clear());

  controlRouter.post('/__control/media', (request) => {
    const { name, file } = request.json();
    if (typeof name !== 'string' || !/^[\w.-]+$/.test(name)) {
      return json(400, { error: '"name" must be a plain file name' });
    }
    if (typeof file !== 'string' || !isAbsolute(file)) {
      return json(400, { error: '"file" must be an absolute path' });
    }
    files.set(name, file);
    return json(200, { ok: true });
  });

  router.get('/media/:name', (request) => {
    const file = files.get(request.params.name);
    if (file === undefined) return text(404, `no media called "${request.params.name}"\n`);
    const data = readFileSync(file);
    const type = contentType(request.params.name);
    const headers = { 'accept-ranges': 'bytes' };
    const range = request.query.get('ranges') === 'none'
      ? null
      : parseRange(request.headers.range, data.length);
    if (range === null) return bytes(200, data, type, headers);
    if (range === 'unsatisfiable') {
      return bytes(416, Buffer.alloc(0), type, { ...headers, 'content-range': `bytes */${data.length}` });
    }
    const [first, last] = range;
    return bytes(206, data.subarray(first, last + 1), type,
      { ...headers, 'content-range': `bytes ${first}-${last}/${data.length}` });
  });
}
