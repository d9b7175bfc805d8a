// The PDF block in the three ways a page is viewed: a desktop browser on the served site, a phone
// or tablet, and the page opened from the file system.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { after, before, describe, test } from 'node:test';

import {
  frameUrl,
  generateSite,
  launchBrowser,
  serve,
  plainProject,
  waitFor,
  watch,
} from './harness.mjs';

const userAgents = {
  android:
    'Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) ' +
    'Chrome/156.0.0.0 Mobile Safari/537.36',
  iphone:
    'Mozilla/5.0 (iPhone; CPU iPhone OS 17_5 like Mac OS X) AppleWebKit/605.1.15 ' +
    '(KHTML, like Gecko) Version/17.5 Mobile/15E148 Safari/604.1',
};

const pdfBytes = fs.readFileSync(path.join(plainProject, 'docs/sample.pdf'));

// Each block of a page, in page order: its source, then the document that a desktop frame shows
// on the served site, that the phone button opens there, and that a frame shows when the page is
// opened from the file system ("SITE/" standing for the site's folder).
function pdfCase(src, frame, button, file) {
  return { src, frame, button, file };
}

const cheatSheet = 'SITE/docs/cheatsheet.pdf';
const plainExample = {
  project: plainProject,
  blocks: {
    'docs/documents.htm': [
      pdfCase('sample.pdf', '/docs/sample.pdf', '/docs/sample.pdf', 'SITE/docs/sample.pdf'),
      pdfCase('cheatsheet.pdf', '/docs/cheatsheet.pdf', '/docs/cheatsheet.pdf', cheatSheet),
    ],
    'docs/tutorials/first-steps.htm': [
      pdfCase('../cheatsheet.pdf', '/docs/cheatsheet.pdf', '/docs/cheatsheet.pdf', cheatSheet),
    ],
  },
};

// Sources that start with "/" or "site/": the served frame drops that start and takes the rest
// from the page's folder; the button and a page opened from the file system take the source as
// a browser does, so the three disagree (see docs/language.md).
const oddSources = {
  files: {
    'index.orv': '@pdf\n@@src /guide.pdf\n@end_pdf\n@pdf\n@@src site/guide.pdf\n@end_pdf\n',
    'docs/page.orv':
      '@pdf\n@@src /manual.pdf\n@end_pdf\n@pdf\n@@src site/manual.pdf\n@end_pdf\n' +
      '@pdf\n@@src /docs/manual.pdf\n@end_pdf\n',
    'guide.pdf': pdfBytes,
    'docs/manual.pdf': pdfBytes,
  },
  blocks: {
    'index.htm': [
      pdfCase('/guide.pdf', '/guide.pdf', '/guide.pdf', '/guide.pdf'),
      pdfCase('site/guide.pdf', '/guide.pdf', '/site/guide.pdf', 'SITE/site/guide.pdf'),
    ],
    'docs/page.htm': [
      pdfCase('/manual.pdf', '/docs/manual.pdf', '/manual.pdf', '/manual.pdf'),
      pdfCase(
        'site/manual.pdf',
        '/docs/manual.pdf',
        '/docs/site/manual.pdf',
        'SITE/docs/site/manual.pdf',
      ),
      pdfCase('/docs/manual.pdf', '/docs/docs/manual.pdf', '/docs/manual.pdf', '/docs/manual.pdf'),
    ],
  },
};

// The frames, buttons and scripts' sources of every PDF block on the open page.
function pdfBlocks(tab) {
  return tab.evaluate(() =>
    [...document.querySelectorAll('iframe.pdf')].map((frame) => {
      const button = frame.nextElementSibling;
      const link = button.querySelector('a');
      return {
        id: frame.id,
        frameSrc: frame.getAttribute('src'),
        frameUrl: frame.src,
        frameShown: getComputedStyle(frame).display !== 'none' && frame.offsetHeight > 0,
        buttonShown: getComputedStyle(button).display !== 'none' && button.offsetHeight > 0,
        buttonHref: link.getAttribute('href'),
        buttonUrl: link.href,
        buttonTarget: link.target,
        buttonColors: [getComputedStyle(link).backgroundColor, getComputedStyle(link).color],
      };
    }),
  );
}

// The ids the blocks must get: one run-wide count over the pages in the order they were compiled.
function expectedIds(site, blocks) {
  const ids = {};
  let counter = 0;
  for (const page of site.pages) {
    const count = blocks[page]?.length ?? 0;
    ids[page] = Array.from({ length: count }, () => `pdf_player_${++counter}`);
  }
  for (const page of Object.keys(blocks)) {
    assert.ok(ids[page], `${page} was compiled`);
  }
  return ids;
}

// Waits for the frame with `id` to leave about:blank and returns the address it shows.
function loadedFrame(tab, id) {
  return waitFor(async () => {
    const url = await frameUrl(tab, id);
    return url !== 'about:blank' && url;
  }, `the frame ${id} to load`);
}

// One browser per device for the whole file, each with its own fresh profile.
const browsers = {};
before(async () => {
  browsers.desktop = await launchBrowser();
  for (const [device, userAgent] of Object.entries(userAgents)) {
    browsers[device] = await launchBrowser({ userAgent });
  }
});
after(async () => {
  for (const browser of Object.values(browsers)) {
    await browser.close();
  }
});

for (const [name, scenario] of Object.entries({ 'plain example': plainExample, 'odd sources': oddSources })) {
  describe(`PDF blocks of the ${name}`, () => {
    let site;
    let server;
    let ids;
    before(async () => {
      site = generateSite(scenario);
      server = await serve(site.site);
      ids = expectedIds(site, scenario.blocks);
    });
    after(async () => {
      await server?.close();
      site?.remove();
    });

    // Opens each page of the scenario at the address `where` gives in a new tab of `browser`
    // and hands `check` the tab, the page, its expected blocks, the blocks found on it and the
    // server's requests since.
    async function eachPage(browser, where, check) {
      for (const [page, blocks] of Object.entries(scenario.blocks)) {
        const tab = await browser.newPage();
        const seen = watch(tab);
        const requestsBefore = server.requests.length;
        await tab.goto(where(page));
        const found = await pdfBlocks(tab);
        const requests = () => server.requests.slice(requestsBefore);
        await check({ tab, page, blocks, found, requests });
        assert.deepEqual(seen.pageErrors, [], `script errors on ${page}`);
        await tab.close();
      }
    }

    test('the frames are numbered across the run, in the order the pages were compiled', () => {
      for (const page of site.pages) {
        const html = fs.readFileSync(path.join(site.site, page), 'utf8');
        const written = [...html.matchAll(/<iframe id="([^"]*)"/g)].map((match) => match[1]);
        assert.deepEqual(written, ids[page], page);
      }
      const all = Object.values(ids).flat();
      assert.equal(new Set(all).size, all.length);
      assert.ok(all.length >= 3);
    });

    test('on a desktop, each frame is shown and loads the address its script computes', () =>
      eachPage(browsers.desktop, server.url, async ({ tab, page, blocks, found }) => {
        assert.deepEqual(
          found.map((block) => block.id),
          ids[page],
        );
        const folder = path.posix.dirname(`/${page}`).replace(/^\/$/, '');
        for (const [index, { src: source, frame: served }] of blocks.entries()) {
          const block = found[index];
          // The script's address: the page's folder, then the source less "/" and "site/".
          const written = `${server.origin}${folder}/${source.replace(/^\/?(site\/)?/, '')}`;
          assert.equal(block.frameSrc, written, `frame of ${source} on ${page}`);
          assert.ok(block.frameShown && !block.buttonShown, `${source} on ${page}: frame shown`);
          const loaded = await loadedFrame(tab, block.id);
          assert.equal(loaded, server.url(served.slice(1)), `document of ${source} on ${page}`);
          const answers = server.requested(served).map((request) => request.status);
          const exists = fs.existsSync(path.join(site.site, served));
          assert.equal(answers[0], exists ? 200 : 404, `${served} requested and answered`);
        }
      }));

    for (const device of Object.keys(userAgents)) {
      test(`on ${device}, the frame is hidden and never loads, the button opens the document`, () =>
        eachPage(browsers[device], server.url, async ({ tab, page, blocks, found, requests }) => {
          await tab.waitForLoadState('networkidle');
          assert.equal(found.length, blocks.length);
          for (const [index, { src: source, button }] of blocks.entries()) {
            const block = found[index];
            assert.equal(block.frameSrc, null, `${source} on ${page}: the frame has no address`);
            assert.equal(await frameUrl(tab, block.id), 'about:blank');
            assert.ok(!block.frameShown && block.buttonShown, `${source} on ${page}: button`);
            assert.equal(block.buttonHref, source);
            assert.equal(block.buttonUrl, server.url(button.slice(1)));
            assert.equal(block.buttonTarget, '_blank');
            assert.deepEqual(block.buttonColors, ['rgb(255, 0, 0)', 'rgb(255, 255, 255)']);
          }
          const documents = requests().filter((request) => request.path.endsWith('.pdf'));
          assert.deepEqual(documents, [], `no document is fetched on ${page}`);
        }));
    }

    test('opened from the file system, each frame loads its source relative to the page', () =>
      eachPage(browsers.desktop, site.fileUrl, async ({ tab, page, blocks, found }) => {
        assert.deepEqual(
          found.map((block) => block.id),
          ids[page],
        );
        for (const [index, { src: source, file: local }] of blocks.entries()) {
          const block = found[index];
          assert.equal(block.frameSrc, source);
          assert.ok(block.frameShown && !block.buttonShown);
          const file = local.startsWith('SITE/')
            ? path.join(site.site, local.slice('SITE/'.length))
            : local;
          const expected = pathToFileURL(file).href;
          assert.equal(block.frameUrl, expected, `address of ${source} on ${page}`);
          // A document that is not there shows the browser's error page in the frame.
          const shown = fs.existsSync(file) ? expected : 'chrome-error://chromewebdata/';
          assert.equal(await loadedFrame(tab, block.id), shown, `document of ${source} on ${page}`);
        }
      }));
  });
}
