// The application logo that the configuration server's logo description points at:
//
//   GET /assets/logo/:name   a 32 × 32 PNG (a blue disc with a white square in the middle on
//                            a transparent ground) as image/png
//
// Variants for the failure roads of the image download, chosen by ?as= or by the name
// without its extension (/assets/logo/broken.png is the same as ?as=broken):
//
//   as=png            the PNG as image/png (any other name)
//   as=octet-stream   the same PNG as application/octet-stream
//   as=broken         bytes that are no image at all, as image/png
//   as=truncated      the PNG cut off in the middle of its pixel data, as image/png
//   as=html           an HTML page as text/html
//
// Two more queries apply to any variant: ?status=404 answers with that status (200 to 599)
// instead of 200, and ?type=... sends that Content-Type instead of the variant's own (none at
// all when empty).
//
// An unknown ?as= value, or a status out of range, answers 400, so a test with a typo fails
// visibly.
import { deflateSync } from 'node:zlib';

import { bytes, text } from '../lib/respond.mjs';

export const kLogoSize = 32;

const kCRCTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

function crc32(buffer) {
  let c = 0xffffffff;
  for (const byte of buffer) c = kCRCTable[(c ^ byte) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const length = Buffer.alloc(4);
  length.writeUInt32BE(data.length);
  const typeAndData = Buffer.concat([Buffer.from(type, 'ascii'), data]);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(typeAndData));
  return Buffer.concat([length, typeAndData, crc]);
}

// RGBA, 8 bits per channel, no interlace; every row starts with filter type 0.
export function encodePNG(width, height, pixelAt) {
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = 8;
  header[9] = 6;
  const rowLength = 1 + width * 4;
  const raw = Buffer.alloc(height * rowLength);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      Buffer.from(pixelAt(x, y)).copy(raw, y * rowLength + 1 + x * 4);
    }
  }
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', header),
    chunk('IDAT', deflateSync(raw)),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

export const kLogoPNG = encodePNG(kLogoSize, kLogoSize, (x, y) => {
  const dx = x - 15.5;
  const dy = y - 15.5;
  if (x >= 12 && x < 20 && y >= 12 && y < 20) return [255, 255, 255, 255];
  if (dx * dx + dy * dy <= 14 * 14) return [0x2e, 0x6b, 0xe6, 255];
  return [0, 0, 0, 0];
});

const kVariants = {
  png: () => bytes(200, kLogoPNG, 'image/png'),
  'octet-stream': () => bytes(200, kLogoPNG, 'application/octet-stream'),
  broken: () => bytes(200, Buffer.from('this is not an image, only text labelled as one\n'),
    'image/png'),
  truncated: () => bytes(200, kLogoPNG.subarray(0, Math.floor(kLogoPNG.length / 2)), 'image/png'),
  html: () => text(200, '<!doctype html><title>Logo</title><p>Not here.</p>\n',
    'text/html; charset=utf-8'),
};

function choose(request) {
  const asked = request.query.get('as');
  if (asked !== null) return kVariants[asked] ? asked : null;
  const stem = request.params.name.replace(/\.[^.]*$/, '');
  return kVariants[stem] ? stem : 'png';
}

export function register({ router }) {
  router.get('/assets/logo/:name', (request) => {
    const variant = choose(request);
    if (variant === null) {
      return text(400, `unknown variant "${request.query.get('as')}"; one of ` +
        `${Object.keys(kVariants).join(', ')}\n`);
    }
    const response = kVariants[variant]();
    const status = request.query.get('status');
    if (status !== null) {
      if (!/^[2-5][0-9][0-9]$/.test(status)) return text(400, `bad status "${status}"\n`);
      response.status = Number(status);
    }
    const type = request.query.get('type');
    if (type === '') delete response.headers['content-type'];
    else if (type !== null) response.headers['content-type'] = type;
    return response;
  });
}
