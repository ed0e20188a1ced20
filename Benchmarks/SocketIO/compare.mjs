// Runs our client (SocketIOBenchmark) and the node socket.io-client in paired runs against
// one counting server (counting-server.mjs), each client in its own process, and prints per
// phase: the client's CPU time per emit or acknowledged round trip, the rate, the round-trip
// latency, and how busy the server was (its CPU time over the run's time: far below 100%
// means it was not what limited the rate). Medians over the rounds and our/node ratios follow.
//
//   node Benchmarks/SocketIO/compare.mjs <path to SocketIOBenchmark> [rounds] [trips] [emits]
//
// Build the benchmark in release first:
//   cmake --preset release && cmake --build --preset release --target SocketIOBenchmark
import { spawn } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const [benchmark, rounds = '6', trips = '20000', emits = '300000'] = process.argv.slice(2);
if (!benchmark) {
  process.stderr.write('usage: compare.mjs <SocketIOBenchmark> [rounds] [trips] [emits]\n');
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

// User and system time of a process, in seconds.
function cpuSeconds(pid) {
  const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) / 100;  // utime, stime in clock ticks
}

const server = spawn('node', [join(here, 'counting-server.mjs')], { stdio: ['pipe', 'pipe', 'inherit'] });
const info = await new Promise((resolve) => server.stdout.once('data', (line) => resolve(JSON.parse(line))));
const clients = {
  ours: (mode, count) => run(benchmark, ['https://socket.brelum.io', mode, String(count)], {
    BRELUM_CONNECT_TO: `socket.brelum.io:443:127.0.0.1:${info.port}`,
    BRELUM_EXTRA_CA_FILE: info.caFile,
  }),
  node: (mode, count) => run('node', [join(here, 'node-client.mjs'), String(info.port), info.caFile, mode, String(count)]),
};

async function measured(client, mode, count) {
  const cpuBefore = cpuSeconds(server.pid);
  const started = process.hrtime.bigint();
  const result = await clients[client](mode, count);
  const wall = Number(process.hrtime.bigint() - started) / 1e9;
  return { ...result, name: client, serverBusy: (cpuSeconds(server.pid) - cpuBefore) / wall };
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor((values.length - 1) / 2)];
const pad = (value, width) => String(value).padStart(width);

try {
  for (const [mode, count] of [['acks', Number(trips)], ['emits', Number(emits)]]) {
    const results = { ours: [], node: [] };
    process.stdout.write(`\n${mode} (${count} per run)\n${'client'.padEnd(8)}${pad('CPU µs each', 13)}${pad('per second', 12)}${pad('p50 µs', 9)}${pad('p99 µs', 9)}${pad('server busy', 13)}\n`);
    for (let round = 0; round < Number(rounds); ++round) {
      // Alternate, so that neither always runs on a fresher machine.
      const order = round % 2 === 0 ? ['ours', 'node'] : ['node', 'ours'];
      for (const client of order) {
        const r = await measured(client, mode, count);
        results[client].push(r);
        process.stdout.write(`${client.padEnd(8)}${pad(r.cpuUsEach.toFixed(2), 13)}${pad(r.perSecond, 12)}${pad(r.p50Us, 9)}${pad(r.p99Us, 9)}${pad(`${(r.serverBusy * 100).toFixed(0)}%`, 13)}\n`);
      }
    }
    const m = (client, key) => median(results[client].map((r) => r[key]));
    process.stdout.write(`medians: CPU each ours ${m('ours', 'cpuUsEach').toFixed(2)} µs, node ${m('node', 'cpuUsEach').toFixed(2)} µs ` +
      `(ours/node ${(m('ours', 'cpuUsEach') / m('node', 'cpuUsEach')).toFixed(2)}); ` +
      `rate ours/node ${(m('ours', 'perSecond') / m('node', 'perSecond')).toFixed(2)}` +
      (mode === 'acks' ? `; p50 ours/node ${(m('ours', 'p50Us') / m('node', 'p50Us')).toFixed(2)}` : '') + '\n');
  }
} finally {
  server.stdin.end();
}
