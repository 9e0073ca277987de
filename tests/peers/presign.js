#!/usr/bin/env node
// Reference presigner for the signing tests: reads a JSON array of requests on stdin and prints a JSON
// array with the presigned URL of each, as @smithy/signature-v4 computes it.
//
// Each request: { method, protocol ("http" | "https"), hostname, port (number or null), path (the raw,
// unencoded object path, "/"-separated), query ({ name: value }), expires (seconds), date (ISO 8601),
// accessKeyId, secretAccessKey, region }.
'use strict';

const { SignatureV4 } = require('@smithy/signature-v4');
const { Sha256 } = require('@aws-crypto/sha256-js');

const UNSIGNED = 'x-amz-content-sha256';

// RFC 3986 escaping of one path piece; empty pieces are dropped, as the uploader's keys never carry them.
function encodedPath(raw) {
  const escape = (piece) =>
    encodeURIComponent(piece).replace(/[!'()*]/g, (c) => '%' + c.charCodeAt(0).toString(16).toUpperCase());
  return '/' + raw.split('/').filter((piece) => piece.length > 0).map(escape).join('/');
}

// The Host header the uploader's HTTP client (Qt) sends: the port whenever the URL names one, the
// scheme's default included.
function hostHeader({ hostname, port }) {
  return port == null ? hostname : `${hostname}:${port}`;
}

function queryString(query) {
  const escape = (text) =>
    encodeURIComponent(text).replace(/[!'()*]/g, (c) => '%' + c.charCodeAt(0).toString(16).toUpperCase());
  const signature = 'X-Amz-Signature';
  const pairs = Object.keys(query)
    .filter((name) => name !== signature)
    .map((name) => [escape(name), escape(query[name])])
    .sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0));
  pairs.push([signature, query[signature]]);
  return pairs.map(([name, value]) => `${name}=${value}`).join('&');
}

async function presign(input) {
  const signer = new SignatureV4({
    credentials: { accessKeyId: input.accessKeyId, secretAccessKey: input.secretAccessKey },
    region: input.region,
    service: 's3',
    sha256: Sha256,
    uriEscapePath: false,
  });
  const path = encodedPath(input.path);
  const signed = await signer.presign(
    {
      method: input.method,
      protocol: `${input.protocol}:`,
      hostname: input.hostname,
      port: input.port ?? undefined,
      path,
      query: { ...input.query },
      headers: { host: hostHeader(input), [UNSIGNED]: 'UNSIGNED-PAYLOAD' },
    },
    {
      expiresIn: input.expires,
      signingDate: new Date(input.date),
      unhoistableHeaders: new Set([UNSIGNED]),
      unsignableHeaders: new Set([UNSIGNED]),
    },
  );
  const port = input.port == null ? '' : `:${input.port}`;
  return `${input.protocol}://${input.hostname}${port}${path}?${queryString(signed.query)}`;
}

async function main() {
  const chunks = [];
  for await (const chunk of process.stdin) chunks.push(chunk);
  const inputs = JSON.parse(Buffer.concat(chunks).toString('utf8'));
  const urls = [];
  for (const input of inputs) urls.push(await presign(input));
  process.stdout.write(JSON.stringify(urls) + '\n');
}

main().catch((error) => {
  process.stderr.write(`presign: ${error && error.stack ? error.stack : error}\n`);
  process.exit(1);
});
