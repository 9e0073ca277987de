'use strict';
// How every peer script lives: it runs until its standard input closes (the test that started it went
// away) or it gets SIGTERM/SIGINT, then runs `stop` once and exits; a fatal error of `main` is printed
// under the peer's name.

function stopWhenToldTo(stop) {
  let stopping = false;
  const once = async () => {
    if (stopping) return;
    stopping = true;
    await stop();
    process.exit(0);
  };
  process.on('SIGTERM', once);
  process.on('SIGINT', once);
  process.stdin.on('end', once);
  process.stdin.on('error', once);
  process.stdin.resume();
}

function runPeer(name, main) {
  main().catch((error) => {
    process.stderr.write(`${name}: ${error && error.stack ? error.stack : error}\n`);
    process.exit(1);
  });
}

module.exports = { stopWhenToldTo, runPeer };
