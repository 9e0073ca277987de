#!/usr/bin/env node
// Stands in front of an S3 server that does not check signatures (s3rver) and checks them itself: every
// request's query-string signature is recomputed by @smithy/signature-v4 from the request exactly as it
// arrived (method, raw path, query, Host header). A request whose signature matches is passed on to the
// target server; any other is refused with 403 and S3's SignatureDoesNotMatch document.
//
//   node verify-s3.js --target PORT --secret SECRET
//
// Also serves as a plain HTTP proxy (absolute request targets), so a client can address any host and
// port through it. Prints "listening 127.0.0.1:<port>" and runs until stdin closes or SIGTERM/SIGINT.
'use strict';

const http = require('http');
const { SignatureV4 } = require('@smithy/signature-v4');
const { Sha256 } = require('@aws-crypto/sha256-js');
const { stopWhenToldTo, runPeer } = require('./peer-lifetime');

const UNSIGNED = 'x-amz-content-sha256';

function parseArguments(argv) {
  const options = { target: 0, secret: '' };
  for (let i = 0; i < argv.length; i += 2) {
    if (argv[i] === '--target') options.target = Number.parseInt(argv[i + 1], 10);
    else if (argv[i] === '--secret') options.secret = argv[i + 1];
    else throw new Error(`unknown argument ${argv[i]}`);
  }
  if (!Number.isInteger(options.target) || options.target < 1) throw new Error('--target needs a port');
  return options;
}

// The raw path and query of a request target in origin form ("/b/k?q") or absolute form ("http://h:80/b/k?q").
function splitTarget(target) {
  const absolute = /^[a-z]+:\/\/[^/]*/i.exec(target);
  const rest = absolute ? target.slice(absolute[0].length) || '/' : target;
  const mark = rest.indexOf('?');
  return mark < 0 ? { path: rest, query: '' } : { path: rest.slice(0, mark), query: rest.slice(mark + 1) };
}

function parseQuery(raw) {
  const items = {};
  for (const pair of raw.split('&').filter((p) => p.length > 0)) {
    const equals = pair.indexOf('=');
    const name = equals < 0 ? pair : pair.slice(0, equals);
    const value = equals < 0 ? '' : pair.slice(equals + 1);
    items[decodeURIComponent(name)] = decodeURIComponent(value);
  }
  return items;
}

function amzDateToDate(text) {
  const m = /^(\d{4})(\d{2})(\d{2})T(\d{2})(\d{2})(\d{2})Z$/.exec(text || '');
  if (!m) return null;
  return new Date(Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5], +m[6]));
}

async function expectedSignature(secret, method, path, items, host) {
  const credential = (items['X-Amz-Credential'] || '').split('/');
  const signingDate = amzDateToDate(items['X-Amz-Date']);
  if (credential.length !== 5 || !signingDate || !host) return null;
  const [accessKeyId, , region, service] = credential;
  const signer = new SignatureV4({
    credentials: { accessKeyId, secretAccessKey: secret },
    region,
    service,
    sha256: Sha256,
    uriEscapePath: false,
  });
  const query = { ...items };
  delete query['X-Amz-Signature'];
  const signed = await signer.presign(
    { method, protocol: 'http:', hostname: host, path, query, headers: { host, [UNSIGNED]: 'UNSIGNED-PAYLOAD' } },
    {
      expiresIn: Number(items['X-Amz-Expires']),
      signingDate,
      unhoistableHeaders: new Set([UNSIGNED]),
      unsignableHeaders: new Set([UNSIGNED]),
    },
  );
  return signed.query['X-Amz-Signature'];
}

function refuse(response, request) {
  const body =
    '<?xml version="1.0" encoding="UTF-8"?>\n<Error><Code>SignatureDoesNotMatch</Code><Message>The request ' +
    'signature we calculated does not match the signature you provided.</Message></Error>';
  response.writeHead(403, { 'Content-Type': 'application/xml', 'Content-Length': Buffer.byteLength(body) });
  response.end(body);
  request.resume();
}

function passOn(options, request, response, path, query) {
  const headers = { ...request.headers, host: `127.0.0.1:${options.target}` };
  const upstream = http.request(
    { host: '127.0.0.1', port: options.target, method: request.method, path: query ? `${path}?${query}` : path, headers },
    (answer) => {
      response.writeHead(answer.statusCode, answer.headers);
      answer.pipe(response);
    },
  );
  upstream.on('error', () => response.destroy());
  request.pipe(upstream);
}

async function handle(options, request, response) {
  const { path, query } = splitTarget(request.url);
  let items;
  try {
    items = parseQuery(query);
  } catch {
    refuse(response, request);
    return;
  }
  const expected = await expectedSignature(options.secret, request.method, path, items, request.headers.host);
  if (!expected || expected !== items['X-Amz-Signature']) {
    refuse(response, request);
    return;
  }
  passOn(options, request, response, path, query);
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const server = http.createServer((request, response) => {
    handle(options, request, response).catch(() => response.destroy());
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  process.stdout.write(`listening 127.0.0.1:${server.address().port}\n`);

  stopWhenToldTo(() => server.close());
}

runPeer('verify-s3', main);
