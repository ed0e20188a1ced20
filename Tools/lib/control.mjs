// The endpoints under /__control/ through which tests read what the back end received
// and switch faults on and off.
import { Router } from './router.mjs';
import { json } from './respond.mjs';
import { parseFault } from './faults.mjs';

export function controlRouter({ recorder, faults, reset }) {
  const router = new Router();

  router.get('/__control/requests', (request) => {
    const path = request.query.get('path') ?? undefined;
    return json(200, { inFlight: recorder.inFlight, requests: recorder.list(path) });
  });

  router.get('/__control/state', () =>
    json(200, { inFlight: recorder.inFlight, recorded: recorder.list().length,
                faults: faults.list().length }));

  router.post('/__control/reset', async () => {
    await reset();
    return json(200, { ok: true });
  });

  router.get('/__control/faults', () => json(200, { faults: faults.list() }));

  // One switch or an array of them; nothing is applied unless every one is valid.
  router.post('/__control/faults', (request) => {
    let parsed;
    try {
      const body = request.json();
      parsed = (Array.isArray(body) ? body : [body]).map(parseFault);
    } catch (error) {
      return json(400, { error: error.message });
    }
    for (const fault of parsed) faults.set(fault);
    return json(200, { ok: true });
  });

  router.delete('/__control/faults', () => {
    faults.clear();
    return json(200, { ok: true });
  });

  return router;
}
