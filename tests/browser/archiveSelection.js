// Drives the system's headless Chromium through the default template: opens
// a folder page, ticks the boxes of the given items and downloads them with
// the page's "Download selection" button for the given format.
//
//   node archiveSelection.js FOLDER_URL FORMAT SAVE_AS NAME [NAME ...]
//
// Prints one JSON line: the steps that passed, the name the browser was
// offered, and on failure the error. Exit code 0 only when every step passed.
'use strict';

const { launch, report: reportRun } = require('./headless');

const [url, format, saveAs, ...names] = process.argv.slice(2);
if (!url || !format || !saveAs || !names.length) {
  console.error('usage: node archiveSelection.js FOLDER_URL FORMAT SAVE_AS NAME [NAME ...]');
  process.exit(2);
}
const report = { steps: [] };

async function main() {
  const browser = await launch(process.env.CHROMIUM || '/usr/bin/chromium');
  try {
    const context = await browser.newContext({ acceptDownloads: true });
    const page = await context.newPage();
    page.setDefaultTimeout(15000);
    page.on('pageerror', (e) => report.steps.push('page error: ' + e.message));
    await page.goto(url, { waitUntil: 'load' });
    for (const name of names)
      await page.locator('td.name', { has: page.locator('a', { hasText: name }) })
        .locator('input[name=selection]').check();
    report.steps.push('selected');
    const button = page.locator('.archive-selection[data-format="' + format + '"]');
    const [download] = await Promise.all([page.waitForEvent('download'), button.click()]);
    await download.saveAs(saveAs);
    if (await download.failure())
      throw new Error('download failed: ' + (await download.failure()));
    report.suggested = download.suggestedFilename();
    report.steps.push('downloaded');
  } finally {
    await browser.close();
  }
}

reportRun(main, report);
