// Template images: glyphs whose shape alone matters (the view showing one fills its alpha
// with the tint colour):
//
//   GET /assets/templates/:name   a 24 × 24 PNG as image/png, opaque black where the glyph
//                                 is and transparent elsewhere
//
// Glyphs: "check" (a tick), "close" (a cross), "dot" (a disc of radius 8 in the middle).
// Any other name answers 404, so a missing glyph is a failed download.
import { encodePNG } from './logo.mjs';
import { bytes, text } from '../lib/respond.mjs';

export const kTemplateSize = 24;

// Distance from (x, y) to the segment from a to b, for strokes of the glyphs.
function distanceToSegment(x, y, [ax, ay], [bx, by]) {
  const dx = bx - ax;
  const dy = by - ay;
  const t = Math.max(0, Math.min(1, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)));
  return Math.hypot(x - (ax + t * dx), y - (ay + t * dy));
}

function stroked(segments) {
  return (x, y) => segments.some(([a, b]) => distanceToSegment(x + 0.5, y + 0.5, a, b) <= 1.5);
}

const kGlyphs = {
  check: stroked([[[4, 12], [10, 18]], [[10, 18], [20, 6]]]),
  close: stroked([[[5, 5], [19, 19]], [[19, 5], [5, 19]]]),
  dot: (x, y) => Math.hypot(x + 0.5 - 12, y + 0.5 - 12) <= 8,
};

const kImages = Object.fromEntries(Object.entries(kGlyphs).map(([name, inside]) => [
  name,
  encodePNG(kTemplateSize, kTemplateSize, (x, y) => (inside(x, y) ? [0, 0, 0, 255] : [0, 0, 0, 0])),
]));

export function register({ router }) {
  router.get('/assets/templates/:name', (request) => {
    const name = request.params.name.replace(/\.png$/, '');
    const image = Object.hasOwn(kImages, name) ? kImages[name] : null;
    if (!image) return text(404, `no template "${name}"; one of ${Object.keys(kImages).join(', ')}\n`);
    return bytes(200, image, 'image/png');
  });
}
