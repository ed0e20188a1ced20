// The cloud event queue: the "SendMessage" action of the queue service's query API, as an
// unsigned GET on the queue's path, "/<12-digit account>/<queue name>". Only the queue
// "client-event-tracking" exists (in every account); any other name gets the service's
// "does not exist" error.
//
//   GET /<account>/client-event-tracking?Action=SendMessage&MessageBody=<text>
//
// The query is form-decoded as the service does it: split on "&", each pair at its first
// "=", "+" is a space, %XX a byte; a "%" without two hex digits makes the query malformed.
// The first occurrence of a parameter counts. "MessageBody" must be valid UTF-8, non-empty,
// at most 262,144 bytes, and hold only #x9, #xA, #xD, #x20-#xD7FF, #xE000-#xFFFD and
// #x10000-#x10FFFF. A message accepted answers the service's XML document with
// MD5OfMessageBody (hex MD5 of the decoded body's bytes) and a MessageId (a UUID); every
// refusal answers a 400 with the service's XML error document (Type, Code, Message,
// RequestId).
//
// Accepted messages are kept in arrival order until POST /__control/reset:
//
//   GET /__control/queue/messages[?from=N&count=M]  →  { messages: [{ messageId,
//                                                      md5OfMessageBody, queue, body }] }
import { createHash, randomUUID } from 'node:crypto';

export const kQueueName = 'client-event-tracking';
export const kMaxMessageBytes = 262_144;
const kNamespace = 'http://queue.amazonaws.com/doc/2012-11-05/';
const kQueuePath = /^\/(?<account>\d{12})\/(?<queue>[^/]+)$/;

function escapeXML(text) {
  return String(text).replace(/[<>&'"]/g, (c) => ({
    '<': '&lt;', '>': '&gt;', '&': '&amp;', "'": '&apos;', '"': '&quot;',
  })[c]);
}

function xml(status, body, requestId) {
  return {
    status,
    headers: { 'content-type': 'text/xml', 'x-amzn-requestid': requestId },
    body: `<?xml version="1.0"?>${body}`,
  };
}

function errorDocument(code, message, type = 'Sender') {
  const requestId = randomUUID();
  return xml(400,
    `<ErrorResponse xmlns="${kNamespace}"><Error><Type>${type}</Type>` +
    `<Code>${escapeXML(code)}</Code><Message>${escapeXML(message)}</Message><Detail/></Error>` +
    `<RequestId>${requestId}</RequestId></ErrorResponse>`,
    requestId);
}

const isHex = (byte) =>
  (byte >= 0x30 && byte <= 0x39) || (byte >= 0x41 && byte <= 0x46) || (byte >= 0x61 && byte <= 0x66);

// One form-encoded piece as bytes, or null when a "%" lacks its two hex digits.
function formDecode(piece) {
  const input = Buffer.from(piece, 'latin1');
  const output = Buffer.alloc(input.length);
  let length = 0;
  for (let i = 0; i < input.length; ++i) {
    const byte = input[i];
    if (byte === 0x2b) {
      output[length++] = 0x20;
    } else if (byte === 0x25) {
      if (i + 2 >= input.length || !isHex(input[i + 1]) || !isHex(input[i + 2])) return null;
      output[length++] = parseInt(piece.slice(i + 1, i + 3), 16);
      i += 2;
    } else {
      output[length++] = byte;
    }
  }
  return output.subarray(0, length);
}

// The parameters, first occurrence winning, each value as bytes; null when malformed.
function parameters(rawQuery) {
  const found = new Map();
  if (rawQuery === '') return found;
  for (const pair of rawQuery.split('&')) {
    if (pair === '') continue;
    const equals = pair.indexOf('=');
    const name = formDecode(equals < 0 ? pair : pair.slice(0, equals));
    const value = formDecode(equals < 0 ? '' : pair.slice(equals + 1));
    if (name === null || value === null) return null;
    const key = name.toString('utf8');
    if (!found.has(key)) found.set(key, value);
  }
  return found;
}

function allowedCodePoint(c) {
  return c === 0x9 || c === 0xa || c === 0xd || (c >= 0x20 && c <= 0xd7ff) ||
    (c >= 0xe000 && c <= 0xfffd) || (c >= 0x10000 && c <= 0x10ffff);
}

// The first character the service refuses, as "#xHHHH", or null when every one is allowed.
function refusedCharacter(text) {
  for (const character of text) {
    const c = character.codePointAt(0);
    if (!allowedCodePoint(c)) return `#x${c.toString(16).toUpperCase()}`;
  }
  return null;
}

export function register({ router, controlRouter, onReset, log }) {
  let messages = [];
  onReset(() => {
    messages = [];
  });

  router.get(kQueuePath, (request) => {
    const found = parameters(request.rawQuery);
    if (found === null) {
      return errorDocument('MalformedQueryString', 'The query string is not properly encoded.');
    }
    const action = found.get('Action')?.toString('utf8');
    if (action === undefined || action === '') {
      return errorDocument('MissingAction', 'The request must contain the parameter Action.');
    }
    if (action !== 'SendMessage') {
      return errorDocument('InvalidAction', `The action ${action} is not valid for this endpoint.`);
    }
    if (request.params.queue !== kQueueName) {
      return errorDocument('AWS.SimpleQueueService.NonExistentQueue',
                           'The specified queue does not exist for this wsdl version.');
    }
    const bytes = found.get('MessageBody');
    if (bytes === undefined || bytes.length === 0) {
      return errorDocument('MissingParameter',
                           'The request must contain the parameter MessageBody.');
    }
    if (bytes.length > kMaxMessageBytes) {
      return errorDocument('InvalidParameterValue',
                           'One or more parameters are invalid. Reason: Message must be ' +
                           `shorter than ${kMaxMessageBytes} bytes.`);
    }
    let body;
    try {
      body = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true }).decode(bytes);
    } catch {
      return errorDocument('InvalidMessageContents', 'Invalid binary character in the message.');
    }
    const refused = refusedCharacter(body);
    if (refused) {
      return errorDocument('InvalidMessageContents',
                           `Invalid binary character '${refused}' was found in the message body, ` +
                           'the set of allowed characters is #x9 | #xA | #xD | #x20 to #xD7FF | ' +
                           '#xE000 to #xFFFD | #x10000 to #x10FFFF');
    }
    const md5OfMessageBody = createHash('md5').update(bytes).digest('hex');
    const messageId = randomUUID();
    messages.push({ messageId, md5OfMessageBody, queue: request.path, body });
    log(`queue: message ${messageId} (${bytes.length} bytes)`);
    const requestId = randomUUID();
    return xml(200,
      `<SendMessageResponse xmlns="${kNamespace}"><SendMessageResult>` +
      `<MessageId>${messageId}</MessageId><MD5OfMessageBody>${md5OfMessageBody}</MD5OfMessageBody>` +
      `</SendMessageResult><ResponseMetadata><RequestId>${requestId}</RequestId>` +
      '</ResponseMetadata></SendMessageResponse>',
      requestId);
  });

  // "?from=N&count=M" reads a page: a burst of thousands is more than one answer should carry.
  controlRouter.get('/__control/queue/messages', (request) => {
    const from = Number(request.query.get('from') ?? 0);
    const count = Number(request.query.get('count') ?? messages.length);
    return {
      status: 200,
      headers: { 'content-type': 'application/json' },
      body: JSON.stringify({ messages: messages.slice(from, from + count) }),
    };
  });
}
