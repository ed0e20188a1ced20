// The node `socket.io-client` 4.8 doing what SocketIOBenchmark does, against the same server.
//   node node-client.mjs <httpsPort> <caFile> [roundTrips] [pipelined]
// Prints one JSON line.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

// The client is a package of the stand-in back end's (Tools/package.json).
const tools = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'Tools');
const { io } = createRequire(join(tools, 'package.json'))('socket.io-client');

const [port, caFile, roundTripsText = '5000', pipelinedText = '100000'] = process.argv.slice(2);
const roundTrips = Number(roundTripsText);
const pipelined = Number(pipelinedText);
const kWarmUp = 200;

function percentile(values, fraction) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(fraction * (sorted.length - 1))];
}

const socket = io(`https://127.0.0.1:${port}`, {
  transports: ['websocket'],
  ca: readFileSync(caFile),
  reconnection: false,
});

socket.on('connect_error', (error) => {
  process.stderr.write(`could not connect: ${error.message}\n`);
  process.exit(1);
});

socket.once('connect', async () => {
  const micros = [];
  for (let i = 0; i < roundTrips + kWarmUp; ++i) {
    const started = process.hrtime.bigint();
    await new Promise((resolve) => socket.emit('ack', i, resolve));
    if (i >= kWarmUp) micros.push(Number(process.hrtime.bigint() - started) / 1000);
  }

  const started = process.hrtime.bigint();
  for (let i = 0; i < pipelined; ++i) socket.emit('sink', i, 'payload');
  await new Promise((resolve) => socket.emit('ack', 'flush', resolve));
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;

  process.stdout.write(`${JSON.stringify({
    client: 'node socket.io-client',
    roundTrips,
    p50Us: Number(percentile(micros, 0.5).toFixed(1)),
    p99Us: Number(percentile(micros, 0.99).toFixed(1)),
    pipelined,
    seconds: Number(seconds.toFixed(3)),
    emitsPerSecond: Math.round(pipelined / seconds),
  })}\n`);
  socket.close();
  process.exit(0);
});
