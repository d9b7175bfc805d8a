// orvello serve in a real browser: an open page reloads with the new text when its command file
// is saved, and shows a failed rebuild in an overlay until the next good one.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { generateSite, launchBrowser, startServe, waitFor, watch } from './harness.mjs';

const page = (text) => `@title\n@@text ${text}\n@end_title\n`;

// What the open page shows: its heading and the overlay's text, or null while it is reloading.
function shown(tab) {
  return tab
    .evaluate(() => ({
      heading: document.querySelector('h1')?.textContent ?? '',
      overlay: document.getElementById('orvello-problems')?.textContent ?? '',
    }))
    .catch(() => null);
}

describe('orvello serve in the browser', () => {
  let site;
  let server;
  let browser;
  before(async () => {
    site = generateSite({ files: { 'index.orv': page('Before') } });
    server = await startServe(site.work);
    browser = await launchBrowser();
  });
  after(async () => {
    await browser?.close();
    if (server) {
      assert.equal(await server.stop(), 0);
    }
    site?.remove();
  });

  test('a saved edit reloads the page; a failed rebuild shows an overlay until fixed', async () => {
    const tab = await browser.newPage();
    const seen = watch(tab);
    await tab.goto(server.url('index.htm'));
    assert.match((await shown(tab)).heading, /Before/);
    const proj = path.join(site.work, 'proj');
    fs.writeFileSync(path.join(proj, 'index.orv'), page('After'));
    await waitFor(async () => (await shown(tab))?.heading.includes('After'), 'the new text');

    fs.mkdirSync(path.join(proj, 'index.htm'));
    fs.writeFileSync(path.join(proj, 'index.htm', 'x'), '');
    const broken = await waitFor(async () => (await shown(tab))?.overlay, 'the overlay');
    assert.match(broken, /Could not create output HTM site\/index\.htm/);
    assert.match((await shown(tab)).heading, /After/);

    fs.rmSync(path.join(proj, 'index.htm'), { recursive: true });
    fs.writeFileSync(path.join(proj, 'index.orv'), page('Fixed'));
    const fixed = await waitFor(async () => {
      const now = await shown(tab);
      return now?.heading.includes('Fixed') && now;
    }, 'the page after the fix');
    assert.equal(fixed.overlay, '');
    assert.deepEqual(seen.pageErrors, []);
  });
});
