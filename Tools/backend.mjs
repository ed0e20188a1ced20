// The stand-in back end that tests and the demo host talk to, on loopback only.
//
//   node Tools/backend.mjs [--host NAME]...
//
// It makes a fresh test CA and a server certificate for "localhost", 127.0.0.1 and the
// host names (the defaults below, or every --host given), listens with HTTPS on an
// ephemeral port of 127.0.0.1, and prints one line to standard output:
//
//   {"httpsPort":N,"httpPort":M,"caFile":"/tmp/.../ca.pem","hosts":[...]}
//
// httpPort serves the same routes and Socket.IO over plain HTTP and is an HTTP proxy that
// tunnels CONNECT to loopback ports only (lib/server.mjs).
//
// Nothing else is ever written to standard output (BACKEND_VERBOSE=1 logs to standard
// error). It stops, removing its temporary folder, when its standard input closes or on
// SIGTERM/SIGINT.
//
// Routes live in Tools/routes/*.mjs, loaded in name order; each exports
// `register(context)` (see `context` below). Tests drive it through /__control/
// (lib/control.mjs) and every route is subject to the fault switches (lib/faults.mjs).
import { mkdtempSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { makeCertificates } from './lib/certificates.mjs';
import { controlRouter } from './lib/control.mjs';
import { Faults } from './lib/faults.mjs';
import { complain, keepStdoutForTheReport, log } from './lib/log.mjs';
import { Recorder } from './lib/recorder.mjs';
import * as respond from './lib/respond.mjs';
import { Router } from './lib/router.mjs';
import { StandInServer } from './lib/server.mjs';

const kDefaultHosts = [
  'console.brelum.io',
  'console-dev.brelum.io',
  'api.brelum.io',
  'sqs.us-east-1.amazonaws.com',
  'socket.brelum.io',
];
const kStopDeadlineMs = 3000;
const here = dirname(fileURLToPath(import.meta.url));

// Wildcard-free DNS names only: letters, digits and inner hyphens, dot-separated labels.
const kHostName = /^(?=.{1,253}$)[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?(?:\.[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?)*$/;

function parseArguments(args) {
  const hosts = [];
  for (let i = 0; i < args.length; ++i) {
    if (args[i] === '--host' && i + 1 < args.length) {
      const host = args[++i].toLowerCase();
      if (!kHostName.test(host)) throw new Error(`"${args[i]}" is not a plain DNS host name`);
      if (!hosts.includes(host)) hosts.push(host);
    } else {
      throw new Error(`unknown argument "${args[i]}" (usage: backend.mjs [--host NAME]...)`);
    }
  }
  return { hosts: hosts.length ? hosts : kDefaultHosts };
}

async function main() {
  keepStdoutForTheReport();
  let options;
  try {
    options = parseArguments(process.argv.slice(2));
  } catch (error) {
    complain(error.message);
    process.exit(2);
  }

  const folder = mkdtempSync(join(tmpdir(), 'brelum-backend-'));
  const closers = [];
  const resetters = [];
  let server = null;
  let stopping = false;

  const stop = async (code = 0) => {
    if (stopping) return;
    stopping = true;
    log('stopping');
    setTimeout(() => {
      complain('did not stop in time; exiting anyway');
      rmSync(folder, { recursive: true, force: true });
      process.exit(code || 1);
    }, kStopDeadlineMs).unref();
    server?.close();
    for (const close of closers.reverse()) {
      try {
        await close();
      } catch (error) {
        complain(`closing: ${error.stack ?? error}`);
      }
    }
    rmSync(folder, { recursive: true, force: true });
    process.exit(code);
  };
  process.on('SIGTERM', () => stop());
  process.on('SIGINT', () => stop());
  process.on('uncaughtException', (error) => {
    complain(`uncaught: ${error.stack ?? error}`);
    stop(1);
  });

  try {
    const certificates = makeCertificates(folder, options.hosts);
    const recorder = new Recorder();
    const faults = new Faults();
    const router = new Router();
    const reset = async () => {
      recorder.clear();
      faults.clear();
      for (const fn of resetters) await fn();
    };
    const control = controlRouter({ recorder, faults, reset });
    server = new StandInServer({
      ...certificates,
      router,
      controlRouter: control,
      recorder,
      faults,
    });

    // What a route module gets: add routes (and control routes under /__control/, which
    // are neither recorded nor subject to faults), keep state that POST /__control/reset
    // clears (onReset), release resources on the way out (onClose), attach to the HTTPS server
    // itself (a WebSocket server does), and know the hosts and port the clients use.
    let port = 0;
    const context = {
      router,
      controlRouter: control,
      httpServer: server.httpServer,
      recorder,
      hosts: options.hosts,
      folder,
      respond,
      log,
      port: () => port,
      onReset: (fn) => resetters.push(fn),
      onClose: (fn) => closers.push(fn),
    };
    const routesFolder = join(here, 'routes');
    for (const file of readdirSync(routesFolder).filter((f) => f.endsWith('.mjs')).sort()) {
      const module = await import(pathToFileURL(join(routesFolder, file)).href);
      if (typeof module.register !== 'function') {
        throw new Error(`routes/${file} does not export register(context)`);
      }
      await module.register(context);
    }

    port = await server.listen();
    const httpPort = await server.listenPlain();
    process.stdout.write(`${JSON.stringify({
      httpsPort: port, httpPort, caFile: certificates.caFile, hosts: options.hosts })}\n`);
    log(`listening on https://127.0.0.1:${port}`);
  } catch (error) {
    complain(`could not start: ${error.message}`);
    await stop(1);
    return;
  }

  // Whoever started us holds our standard input; its closing (or its death) ends us.
  process.stdin.on('end', () => stop());
  process.stdin.on('close', () => stop());
  process.stdin.on('error', () => stop());
  process.stdin.resume();
}

main();
