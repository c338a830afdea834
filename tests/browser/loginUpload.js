// Drives the system's headless Chromium through the default template: opens
// a protected folder, logs in through the page's login dialog, uploads a file
// (or every file of a folder) through the folder page's upload form and
// waits for the uploads in the listing; then, when asked, searches.
//
//   node loginUpload.js URL USER PASSWORD FILE|FOLDER [CHROMIUM] [SEARCH]
//
// Prints one JSON line: the steps that passed, the alerts the page raised,
// the rows listed after the upload (name and comment), the search box's
// value after the search and, on failure, the error. Exit code 0 only when
// every step passed.
'use strict';

const fs = require('fs');
const path = require('path');
const { launch, report: reportRun } = require('./headless');

const [url, user, password, file, executable = '/usr/bin/chromium', search] = process.argv.slice(2);
if (!url || !user || !password || !file) {
  console.error('usage: node loginUpload.js URL USER PASSWORD FILE|FOLDER [CHROMIUM] [SEARCH]');
  process.exit(2);
}

const report = { steps: [], alerts: [], statuses: [], rows: [] };

// The names the page's upload alert reported as stored ("name: OK" lines).
function reportedOk(alert) {
  return (alert || '').split('\n').filter((l) => l.endsWith(': OK')).map((l) => l.slice(0, -4));
}

async function main() {
  const browser = await launch(executable);
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

    const isFolder = fs.statSync(file).isDirectory();
    const files = isFolder ? fs.readdirSync(file).sort().map((n) => path.join(file, n)) : [file];
    await input.setInputFiles(files);
    await Promise.all([
      page.waitForEvent('load', { timeout: 30000 }),
      page.locator('#upload-form button[type=submit]').click(),
    ]);
    report.steps.push('uploaded');
    const expected = isFolder ? reportedOk(report.alerts[report.alerts.length - 1]) : [path.basename(file)];
    for (const name of expected)
      await page.locator('td.name a', { hasText: name }).first().waitFor();
    report.rows = await page.locator('td.name').evaluateAll((cells) => cells.map((td) => ({
      name: td.querySelector('a').textContent,
      comment: (td.querySelector('.comment') || { textContent: '' }).textContent,
    })));
    report.steps.push('listed');

    if (search !== undefined) {
      await page.locator('form.search input[name=search]').fill(search);
      await Promise.all([
        page.waitForEvent('load'),
        page.locator('form.search button[type=submit]').click(),
      ]);
      report.searchValue = await page.locator('form.search input[name=search]').inputValue();
      report.steps.push('searched');
    }
  } finally {
    await browser.close();
  }
}

reportRun(main, report);
