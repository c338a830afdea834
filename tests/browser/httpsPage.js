// Opens a folder page over HTTPS in the system's headless Chromium, which
// trusts no self-signed certificate: certificate errors are waived for this
// one context, as an operator's own browser would be told to.
//
//   node httpsPage.js FOLDER_URL
//
// Prints one JSON line: the page's address, the names it lists, whether the
// page's scripts ran without errors, and on failure the error.
'use strict';

const { launch, report: reportRun } = require('./headless');

const [url] = process.argv.slice(2);
if (!url) {
  console.error('usage: node httpsPage.js FOLDER_URL');
  process.exit(2);
}
const report = { pageErrors: [] };

async function main() {
  const browser = await launch(process.env.CHROMIUM || '/usr/bin/chromium');
  try {
    const context = await browser.newContext({ ignoreHTTPSErrors: true });
    const page = await context.newPage();
    page.setDefaultTimeout(15000);
    page.on('pageerror', (e) => report.pageErrors.push(e.message));
    const response = await page.goto(url, { waitUntil: 'load' });
    report.status = response.status();
    report.url = page.url();
    report.protocol = await page.evaluate(() => location.protocol);
    report.names = await page.locator('td.name a').allTextContents();
    // The page's own script and style sheets came over the same connection.
    report.styled = await page.evaluate(() => document.styleSheets.length);
  } finally {
    await browser.close();
  }
}

reportRun(main, report);
