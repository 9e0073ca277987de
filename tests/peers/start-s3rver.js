#!/usr/bin/env node
// Starts s3rver on 127.0.0.1 for the S3 uploader tests.
//
//   node start-s3rver.js [--port N] [--directory DIR] [--bucket NAME]...
//
// Port 0 (the default) lets the system choose. When the server listens it prints one line to stdout,
// "listening 127.0.0.1:<port>", and keeps running until stdin closes or it gets SIGTERM/SIGINT. Without
// --directory the objects go to a fresh temporary folder that is removed on exit. Requests are accepted
// with the access key "S3RVER" (secret "S3RVER"); s3rver does not verify version 4 signatures.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const S3rver = require('s3rver');
const { stopWhenToldTo, runPeer } = require('./peer-lifetime');

function parseArguments(argv) {
  const options = { port: 0, directory: null, buckets: [] };
  for (let i = 0; i < argv.length; i += 1) {
    const value = argv[i + 1];
    switch (argv[i]) {
      case '--port':
        options.port = Number.parseInt(value, 10);
        i += 1;
        break;
      case '--directory':
        options.directory = value;
        i += 1;
        break;
      case '--bucket':
        options.buckets.push(value);
        i += 1;
        break;
      default:
        throw new Error(`unknown argument ${argv[i]}`);
    }
  }
  if (!Number.isInteger(options.port) || options.port < 0 || options.port > 65535) {
    throw new Error('--port needs a number from 0 to 65535');
  }
  return options;
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const ownDirectory = options.directory === null;
  const directory = ownDirectory ? fs.mkdtempSync(path.join(os.tmpdir(), 's3rver-')) : options.directory;

  const server = new S3rver({
    address: '127.0.0.1',
    port: options.port,
    directory,
    silent: true,
    configureBuckets: options.buckets.map((name) => ({ name })),
  });
  const { address, port } = await server.run();
  process.stdout.write(`listening ${address}:${port}\n`);

  stopWhenToldTo(async () => {
    await server.close().catch(() => {});
    if (ownDirectory) fs.rmSync(directory, { recursive: true, force: true });
  });
}

runPeer('start-s3rver', main);
