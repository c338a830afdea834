// Drives the system's headless Chromium through the default template: opens
// a protected folder, logs in through the page's login dialog, uploads a file
// through the folder page's upload form and waits for it in the listing.
//
//   node loginUpload.js URL USER PASSWORD FILE [CHROMIUM]
//
// Prints one JSON line: the steps that passed, the alerts the page raised
// and, on failure, the error. Exit code 0 only when every step passed.
'use strict';

const path = require('path');
const { chromium } = require('playwright-core');

const [url, user, password, file, executable = '/usr/bin/chromium'] = process.argv.slice(2);
if (!url || !user || !password || !file) {
  console.error('usage: node loginUpload.js URL USER PASSWORD FILE [CHROMIUM]');
  process.exit(2);
}

const report = { steps: [], alerts: [], statuses: [] };

async function main() {
  const browser = await chromium.launch({
    executablePath: executable,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--disable-background-networking',
      '--disable-component-update', '--no-first-run'],
    timeout: 30000,
  });
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(15000);
    page.on('dialog', async (d) => {
      report.alerts.push(d.message());
      await d.accept();
    });
    page.on('pageerror', (e) => report.steps.push('page error: ' + e.message));

    // The protected folder answers with the login page, which opens the
    // login dialog by itself.
    const first = await page.goto(url, { waitUntil: 'load' });
    report.statuses.push(first.status());
    const dialog = page.locator('.dialog');
    await dialog.locator('input[type=text]').fill(user);
    await dialog.locator('input[type=password]').fill(password);
    report.steps.push('login dialog');
    await Promise.all([
      page.waitForEvent('load'),
      dialog.locator('button[type=submit]').click(),
    ]);
    // After the reload the folder page itself is shown, with its upload form.
    const input = page.locator('#upload-form input[type=file]');
    await input.waitFor({ state: 'attached' });
    report.steps.push('logged in');
    report.user = (await page.locator('.who b').first().textContent({ timeout: 2000 }).catch(() => '')) || '';

    await input.setInputFiles(file);
    await Promise.all([
      page.waitForEvent('load', { timeout: 30000 }),
      page.locator('#upload-form button[type=submit]').click(),
    ]);
    report.steps.push('uploaded');
    const name = path.basename(file);
    await page.locator('td.name a', { hasText: name }).first().waitFor();
    report.steps.push('listed');
  } finally {
    await browser.close();
  }
}

main().then(() => {
  console.log(JSON.stringify(report));
}, (e) => {
  report.error = String(e && e.stack || e);
  console.log(JSON.stringify(report));
  process.exit(1);
});
