// Runs our client (SocketIOBenchmark) and the node socket.io-client side by side against one
// stand-in back end, each in its own process, and prints both results.
//
//   node Benchmarks/SocketIO/compare.mjs <path to SocketIOBenchmark> [roundTrips] [pipelined]
//
// Build the benchmark in release first:
//   cmake --preset release && cmake --build --preset release --target SocketIOBenchmark
import { spawn } from 'node:child_process';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const [benchmark, roundTrips = '5000', pipelined = '100000'] = process.argv.slice(2);
if (!benchmark) {
  process.stderr.write('usage: compare.mjs <SocketIOBenchmark> [roundTrips] [pipelined]\n');
  process.exit(2);
}

function run(command, args, env = {}) {
  return new Promise((resolve, reject) => {
    const child = spawn(command, args, { env: { ...process.env, ...env }, stdio: ['ignore', 'pipe', 'inherit'] });
    let out = '';
    child.stdout.on('data', (chunk) => { out += chunk; });
    child.on('exit', (code) => (code === 0 ? resolve(JSON.parse(out)) : reject(new Error(`${command} exited with ${code}`))));
  });
}

const backend = spawn('node', [join(here, '..', '..', 'Tools', 'backend.mjs')], { stdio: ['pipe', 'pipe', 'inherit'] });
const info = await new Promise((resolve) => backend.stdout.once('data', (line) => resolve(JSON.parse(line))));
try {
  const results = [];
  // Alternate, so that neither always runs on a fresher machine.
  for (let round = 0; round < 2; ++round) {
    results.push(await run(benchmark, ['https://socket.brelum.io', roundTrips, pipelined], {
      BRELUM_CONNECT_TO: `socket.brelum.io:443:127.0.0.1:${info.httpsPort}`,
      BRELUM_EXTRA_CA_FILE: info.caFile,
    }));
    results.push(await run('node', [join(here, 'node-client.mjs'), String(info.httpsPort), info.caFile, roundTrips, pipelined]));
  }
  const rows = results.map((r) => [r.client, r.p50Us, r.p99Us, r.emitsPerSecond]);
  process.stdout.write(`${'client'.padEnd(24)}${'p50 µs'.padStart(10)}${'p99 µs'.padStart(10)}${'emits/s'.padStart(12)}\n`);
  for (const [client, p50, p99, rate] of rows) {
    process.stdout.write(`${client.padEnd(24)}${String(p50).padStart(10)}${String(p99).padStart(10)}${String(rate).padStart(12)}\n`);
  }
} finally {
  backend.stdin.end();
}
