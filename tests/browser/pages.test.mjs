// Every page of the plain example loads from a served site, links its stylesheet and icon at its own
// depth, reaches every address it names, and makes the browser log no error.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { generateSite, launchBrowser, serve, plainProject, watch } from './harness.mjs';

// The command files of the plain example, as the pages they become.
function examplePages(folder = plainProject, below = '') {
  return fs.readdirSync(folder, { withFileTypes: true }).flatMap((entry) => {
    const name = below + entry.name;
    if (entry.isDirectory()) {
      return examplePages(path.join(folder, entry.name), `${name}/`);
    }
    return /\.(orv|c|cpp)$/.test(entry.name) ? [name.replace(/\.[^.]+$/, '.htm')] : [];
  });
}

describe('plain example pages in a served site', () => {
  let site;
  let server;
  let browser;
  before(async () => {
    site = generateSite({ project: plainProject });
    server = await serve(site.site);
    browser = await launchBrowser();
  });
  after(async () => {
    await browser?.close();
    await server?.close();
    site?.remove();
  });

  test('the run compiles every command file of the plain example, at every depth', () => {
    const expected = examplePages().sort();
    assert.deepEqual([...site.pages].sort(), expected);
    // The stylesheet must be proven from the top and from two folders down.
    const depths = expected.map((page) => page.split('/').length - 1);
    assert.ok(depths.includes(0) && depths.includes(2), `depths ${depths}`);
  });

  for (const page of examplePages().sort()) {
    test(`${page} loads with its stylesheet, its icon and every address it names`, async () => {
      const prefix = '../'.repeat(page.split('/').length - 1);
      const tab = await browser.newPage();
      const seen = watch(tab);
      const cssRequestsBefore = server.requested('/main.css').length;
      const response = await tab.goto(server.url(page));
      await tab.waitForLoadState('networkidle');
      assert.equal(response.status(), 200);

      const head = await tab.evaluate(() => ({
        css: document.querySelector('link[rel=stylesheet]').getAttribute('href'),
        icon: document.querySelector('link[rel=icon]').getAttribute('href'),
        rules: document.styleSheets[0]?.cssRules.length ?? 0,
        footer: document.querySelector('.fixed-footer')?.textContent ?? '',
      }));
      assert.equal(head.css, `${prefix}main.css`);
      assert.equal(head.icon, `${prefix}favicon.png`);
      assert.ok(head.rules > 20, `the stylesheet holds ${head.rules} rules`);
      assert.match(head.footer, /^@This site\. All rights reserved\. Made with Orvello on /);
      const cssRequests = server.requested('/main.css').slice(cssRequestsBefore);
      assert.deepEqual(
        cssRequests.map((request) => request.status),
        [200],
        'one request for /main.css, answered',
      );

      // Every address the page names below the site: links, pictures, players, the icon.
      const addresses = await tab.evaluate(() =>
        [...document.querySelectorAll('a[href], img[src], video[src], audio[src], link[href]')]
          .map((element) => element.href || element.src)
          .filter((address) => address.startsWith(location.origin)),
      );
      assert.ok(addresses.length >= 3, `addresses: ${addresses}`);
      for (const address of new Set(addresses)) {
        const status = await tab.evaluate(
          async (url) => {
            const reply = await fetch(url);
            await reply.arrayBuffer();
            return reply.status;
          },
          address,
        );
        assert.equal(status, 200, `${address} from ${page}`);
      }

      assert.deepEqual(seen.consoleErrors, [], 'console errors');
      assert.deepEqual(seen.pageErrors, [], 'uncaught exceptions');
      assert.deepEqual(seen.failedRequests, [], 'failed requests');
      assert.deepEqual(seen.badResponses, [], 'error responses');
      await tab.close();
    });
  }

  test('the plain example pictures, video and sound load and can play', async () => {
    const tab = await browser.newPage();
    await tab.goto(server.url('docs/media.htm'));
    const media = await tab.evaluate(async () => {
      // An Ogg stream's length is known only once its last page has arrived, which may come after
      // the metadata; until then the duration reads Infinity. Wait for a finite one.
      const known = (element) => element.readyState >= 1 && Number.isFinite(element.duration);
      const ready = (element) =>
        known(element)
          ? Promise.resolve()
          : new Promise((resolve, reject) => {
              const check = () => known(element) && resolve();
              element.addEventListener('loadedmetadata', check);
              element.addEventListener('durationchange', check);
              element.addEventListener('error', () => reject(new Error(element.src)));
              setTimeout(() => reject(new Error(`no duration for ${element.src}`)), 10000);
            });
      const video = document.querySelector('video');
      const audio = document.querySelector('audio');
      await Promise.all([ready(video), ready(audio)]);
      const image = document.querySelector('img');
      return {
        video: [video.videoWidth, video.videoHeight, Math.round(video.duration)],
        audio: Math.round(audio.duration * 10) / 10,
        image: [image.complete, image.naturalWidth, image.width],
        loops: [video.loop, video.muted, video.autoplay],
      };
    });
    assert.deepEqual(media.video, [384, 216, 4]);
    assert.equal(media.audio, 1.5);
    assert.deepEqual(media.image, [true, 120, 160]);
    assert.deepEqual(media.loops, [true, true, true]);
    await tab.close();
  });
});
