import { json } from '../lib/respond.mjs';

export function register({ router }) {
  router.get('/health', () => json(200, { ok: true }));
}
