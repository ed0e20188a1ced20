// The node `socket.io-client` 4.8 doing what SocketIOBenchmark does, against the same server,
// with the same phases, warm-ups and output.
//   node node-client.mjs <port> <caFile> acks|emits <count>
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

// The client is a package of the stand-in back end's (Tools/package.json).
const tools = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'Tools');
const { io } = createRequire(join(tools, 'package.json'))('socket.io-client');

const [port, caFile, mode, countText] = process.argv.slice(2);
const count = Number(countText);
const kWarmUpTrips = 200;
const kWarmUpEmits = 5000;

function percentile(values, fraction) {
  if (values.length === 0) return 0;
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(fraction * (sorted.length - 1))];
}

function cpuMicros() {
  const { user, system } = process.cpuUsage();
  return user + system;
}

async function roundTrips(socket, total, micros) {
  for (let i = 0; i < total; ++i) {
    const started = process.hrtime.bigint();
    await new Promise((resolve) => socket.emit('ack', i, resolve));
    micros.push(Number(process.hrtime.bigint() - started) / 1000);
  }
}

async function pipelined(socket, total) {
  for (let i = 0; i < total; ++i) socket.emit('sink', i, 'payload');
  await new Promise((resolve) => socket.emit('ack', 'flush', resolve));
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
  const trips = mode === 'acks';
  const micros = [];
  if (trips) await roundTrips(socket, kWarmUpTrips, []);
  else await pipelined(socket, kWarmUpEmits);

  const cpuBefore = cpuMicros();
  const started = process.hrtime.bigint();
  if (trips) await roundTrips(socket, count, micros);
  else await pipelined(socket, count);
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  const cpu = cpuMicros() - cpuBefore;

  process.stdout.write(`${JSON.stringify({
    client: 'node socket.io-client',
    mode,
    count,
    seconds: Number(seconds.toFixed(3)),
    cpuUsEach: Number((cpu / count).toFixed(2)),
    perSecond: Math.round(count / seconds),
    p50Us: Number(percentile(micros, 0.5).toFixed(1)),
    p99Us: Number(percentile(micros, 0.99).toFixed(1)),
  })}\n`);
  socket.close();
  process.exit(0);
});
