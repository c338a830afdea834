// Drives the system's headless Chromium through the default template: opens
// a protected file's folder, logs in through the login dialog, downloads the
// file by clicking its link, then resumes it the way the browser's download
// manager does (a Range request with If-Range) from a given offset.
//
//   node downloadResume.js FOLDER_URL USER PASSWORD FILE_NAME SAVE_AS OFFSET [CHROMIUM]
//
// Prints one JSON line: the steps that passed, the statuses seen, the resumed
// part's status and Content-Range, and on failure the error. The resumed
// bytes are written to SAVE_AS + ".part". Exit code 0 only when every step passed.
'use strict';

const fs = require('fs');
const { launch, report: reportRun } = require('./headless');

const [url, user, password, name, saveAs, offsetText, executable = '/usr/bin/chromium'] = process.argv.slice(2);
if (!url || !user || !password || !name || !saveAs || offsetText === undefined) {
  console.error('usage: node downloadResume.js FOLDER_URL USER PASSWORD FILE_NAME SAVE_AS OFFSET [CHROMIUM]');
  process.exit(2);
}
const offset = Number(offsetText);
const report = { steps: [], statuses: [] };

async function main() {
  const browser = await launch(executable);
  try {
    const context = await browser.newContext({ acceptDownloads: true });
    const page = await context.newPage();
    page.setDefaultTimeout(15000);
    page.on('pageerror', (e) => report.steps.push('page error: ' + e.message));

    const first = await page.goto(url, { waitUntil: 'load' });
    report.statuses.push(first.status());
    const dialog = page.locator('.dialog');
    await dialog.locator('input[type=text]').fill(user);
    await dialog.locator('input[type=password]').fill(password);
    await Promise.all([
      page.waitForEvent('load'),
      dialog.locator('button[type=submit]').click(),
    ]);
    report.steps.push('logged in');

    const link = page.locator('td.name a', { hasText: name }).first();
    const [download] = await Promise.all([page.waitForEvent('download'), link.click()]);
    await download.saveAs(saveAs);
    if (await download.failure())
      throw new Error('download failed: ' + (await download.failure()));
    report.suggested = download.suggestedFilename();
    report.steps.push('downloaded');

    // The resumed part, fetched with the session cookie the login gave.
    const part = await page.evaluate(async ({ href, from }) => {
      const head = await fetch(href, { method: 'HEAD' });
      const tag = head.headers.get('ETag') || '';
      const r = await fetch(href, { headers: { Range: 'bytes=' + from + '-', 'If-Range': tag } });
      const buf = new Uint8Array(await r.arrayBuffer());
      let bin = '';
      for (let i = 0; i < buf.length; i += 0x8000)
        bin += String.fromCharCode.apply(null, buf.subarray(i, i + 0x8000));
      return { status: r.status, range: r.headers.get('Content-Range'), tag, body: btoa(bin) };
    }, { href: new URL(encodeURIComponent(name), page.url()).href, from: offset });
    fs.writeFileSync(saveAs + '.part', Buffer.from(part.body, 'base64'));
    report.resumeStatus = part.status;
    report.contentRange = part.range;
    report.etag = part.tag;
    report.steps.push('resumed');
  } finally {
    await browser.close();
  }
}

reportRun(main, report);
