// A per-run certificate authority and server certificate, made with the openssl command so
// the back end needs no npm package for it. Nothing persists: every run trusts a new CA.
import { execFileSync } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import { writeFileSync, readFileSync } from 'node:fs';
import { join } from 'node:path';

const kValidityDays = '2';

function openssl(args, folder) {
  try {
    execFileSync('openssl', args, { cwd: folder, stdio: ['ignore', 'pipe', 'pipe'] });
  } catch (error) {
    const detail = error.stderr?.toString().trim() || error.message;
    throw new Error(`openssl ${args[0]} failed: ${detail}`);
  }
}

// Our own minimal configuration, so the system's openssl.cnf cannot add or change
// extensions behind our back.
function requestConfig(commonName, extensions) {
  return [
    '[req]',
    'prompt = no',
    'distinguished_name = dn',
    'x509_extensions = ext',
    '[dn]',
    `CN = ${commonName}`,
    '[ext]',
    ...extensions,
    '',
  ].join('\n');
}

function serialNumber() {
  const bytes = randomBytes(16);
  bytes[0] &= 0x7f;  // serial numbers must be positive
  return `0x${bytes.toString('hex')}`;
}

// Answers { caFile, keyPEM, certPEM } for a server certificate whose subjectAltName holds
// "localhost", 127.0.0.1 and every name in `hosts`.
export function makeCertificates(folder, hosts) {
  const tag = randomBytes(4).toString('hex');
  const ecKey = ['-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes'];

  writeFileSync(join(folder, 'ca.cnf'), requestConfig(`Brelum stand-in test CA ${tag}`, [
    'basicConstraints = critical, CA:true',
    'keyUsage = critical, keyCertSign, cRLSign',
    'subjectKeyIdentifier = hash',
  ]));
  openssl(['req', '-x509', ...ecKey, '-config', 'ca.cnf', '-keyout', 'ca.key', '-out', 'ca.pem',
           '-days', kValidityDays, '-set_serial', serialNumber()], folder);

  const altNames = ['DNS:localhost', 'IP:127.0.0.1', ...hosts.map((h) => `DNS:${h}`)];
  writeFileSync(join(folder, 'server.cnf'), requestConfig('localhost', []));
  writeFileSync(join(folder, 'server-ext.cnf'), [
    'basicConstraints = critical, CA:false',
    'keyUsage = critical, digitalSignature, keyEncipherment',
    'extendedKeyUsage = serverAuth',
    'subjectKeyIdentifier = hash',
    'authorityKeyIdentifier = keyid',
    `subjectAltName = ${altNames.join(', ')}`,
    '',
  ].join('\n'));
  openssl(['req', '-new', ...ecKey, '-config', 'server.cnf', '-keyout', 'server.key',
           '-out', 'server.csr'], folder);
  openssl(['x509', '-req', '-in', 'server.csr', '-CA', 'ca.pem', '-CAkey', 'ca.key',
           '-set_serial', serialNumber(), '-days', kValidityDays, '-extfile', 'server-ext.cnf',
           '-out', 'server.pem'], folder);

  return {
    caFile: join(folder, 'ca.pem'),
    keyPEM: readFileSync(join(folder, 'server.key')),
    certPEM: readFileSync(join(folder, 'server.pem')),
  };
}
