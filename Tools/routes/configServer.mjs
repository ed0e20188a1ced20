// The configuration server's five calls. Credentials are fixed so that tests can tell a
// good call from a bad one; every answer is a document under "data", or an error document
// when the request is not one the real server would take: 401 for wrong credentials or
// tokens, 415 for a body that is not JSON, 422 for a missing or wrong field, 404 for a
// logo timestamp that is not an integer. Any status, body, delay or dropped
// connection beyond these comes from the fault switches (POST /__control/faults).
import { json } from '../lib/respond.mjs';

export const kAppID = 'demo-app';
export const kAppSecret = 'demo-secret';
export const kClientToken = 'c-token-1234';
export const kAccessToken = 'access-token-5678';
export const kResourceTimestamp = 1700000000;
// The product line the verification names; the console it is sent to is what tells the
// development and production modes apart.
export const kProductLine = 'COMMERCE';

function errorDocument(code, message) {
  return json(code, { error: { code, message } });
}

function bodyJSON(request) {
  if (!String(request.headers['content-type'] ?? '').startsWith('application/json')) return null;
  try {
    return request.json();
  } catch {
    return null;
  }
}

function header(request, name) {
  return request.headers[name];
}

export function register({ router }) {
  const origin = (host) => `https://${host}/`;

  router.post('/v1/app/verify', (request) => {
    const body = bodyJSON(request);
    if (body === null) return errorDocument(415, 'a JSON body is required');
    if (body.mode !== kProductLine) return errorDocument(422, `mode must be "${kProductLine}"`);
    if (body.id !== kAppID || body.app_secret !== kAppSecret) {
      return errorDocument(401, 'unknown application or wrong secret');
    }
    return json(200, {
      data: {
        api_endpoint: origin('api.brelum.io'),
        socket_endpoint: origin('socket.brelum.io'),
        c_token: kClientToken,
        app_id: kAppID,
      },
    });
  });

  router.post('/v1/sdk/user/login', (request) => {
    if (header(request, 'c-token') !== kClientToken) return errorDocument(401, 'bad c-token');
    const body = bodyJSON(request);
    if (body === null) return errorDocument(415, 'a JSON body is required');
    if (typeof body?.client_user_id !== 'string' || body.client_user_id === '') {
      return errorDocument(422, 'client_user_id is required');
    }
    return json(200, { data: { access_token: kAccessToken } });
  });

  router.get('/v1/settings/mobile', (request) => {
    if (header(request, 'access-token') !== kAccessToken) {
      return errorDocument(401, 'bad access-token');
    }
    return json(200, {
      data: {
        client_event_tracking_url: origin('api.brelum.io') + 'v1/customer/events',
        sharing_message: 'Shop with me on Brelum!',
      },
    });
  });

  router.get('/v1/app/resource/screens', (request) => {
    if (header(request, 'c-token') !== kClientToken) return errorDocument(401, 'bad c-token');
    return json(200, {
      data: {
        screens: [
          { resource_type: 'SPLASH', screen: 'splash', created_at: kResourceTimestamp - 10 },
          { resource_type: 'APP_LOGO', screen: 'home', created_at: kResourceTimestamp },
        ],
      },
    });
  });

  router.get('/v1/app/resource/app-logo/:timestamp', (request) => {
    if (header(request, 'c-token') !== kClientToken) return errorDocument(401, 'bad c-token');
    if (!/^-?[0-9]+$/.test(request.params.timestamp)) return errorDocument(404, 'no such logo');
    return json(200, {
      data: { Loading_Logo: `${origin('console.brelum.io')}assets/logo/${request.params.timestamp}.png` },
    });
  });
}
