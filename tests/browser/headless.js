// What the browser drivers share: the system's Chromium started headless
// with no network of its own, and the one JSON line each driver reports.
'use strict';

const { chromium } = require('playwright-core');

// A busy machine (the sanitizer build compiles beside the tests) can take
// long to start a browser: its launch may take a minute.
function launch(executable) {
  return chromium.launch({
    executablePath: executable,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--disable-background-networking',
      '--disable-component-update', '--no-first-run'],
    timeout: 60000,
  });
}

// Runs main, prints the report as one JSON line; exit code 1 on failure.
function report(main, result) {
  main().then(() => {
    console.log(JSON.stringify(result));
  }, (e) => {
    result.error = String(e && e.stack || e);
    console.log(JSON.stringify(result));
    process.exit(1);
  });
}

module.exports = { launch, report };
