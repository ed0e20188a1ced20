// Standard output carries exactly one line, the start-up report that tests and the demo
// parse; everything else goes to standard error, and only when asked for.
const verbose = Boolean(process.env.BACKEND_VERBOSE);

export function log(...parts) {
  if (verbose) process.stderr.write(`backend: ${parts.join(' ')}\n`);
}

// Problems that end the back end are reported whatever the verbosity.
export function complain(...parts) {
  process.stderr.write(`backend: ${parts.join(' ')}\n`);
}

// A dependency that prints with console.log would corrupt the start-up report's stream.
export function keepStdoutForTheReport() {
  for (const name of ['log', 'info', 'debug']) console[name] = (...args) => log(...args);
  process.stdout.on('error', () => {});  // a reader that went away must not crash us
}
