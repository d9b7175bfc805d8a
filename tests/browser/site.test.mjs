// The showcase as a site with settings, on a phone and on a desktop, in light and in dark: no page
// scrolls sideways, text is 16 px or more, targets are 24 px or more, axe finds no violation, the
// menu opens on a phone and reaches every page, and the footer never covers the page.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  generateSite,
  launchBrowser,
  phoneOptions,
  serve,
  showcaseExample,
  watch,
} from './harness.mjs';

const axeSource = fs.readFileSync(createRequire(import.meta.url).resolve('axe-core'), 'utf8');

// The page's background and text colours that each palette gives the body.
const palettes = {
  light: { backgroundColor: 'rgb(255, 255, 255)', color: 'rgb(30, 30, 30)' },
  dark: { backgroundColor: 'rgb(30, 30, 30)', color: 'rgb(212, 212, 212)' },
};

const devices = {
  phone: phoneOptions,
  desktop: { viewport: { width: 1280, height: 800 } },
};

// What a page shows that the tests measure, taken in the page: how far it scrolls sideways, the
// text smaller than 16 px, the targets smaller than 24 px, and where the footer and the page end.
function measure(tab) {
  return tab.evaluate(() => {
    const shown = (element) =>
      element.getClientRects().length > 0 && getComputedStyle(element).visibility !== 'hidden';
    const name = (element) => `${element.tagName.toLowerCase()}.${element.className}`;
    const smallText = new Set();
    const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      const element = node.parentElement;
      if (node.textContent.trim() && shown(element)) {
        const size = parseFloat(getComputedStyle(element).fontSize);
        if (size < 16) {
          smallText.add(`${name(element)} ${size}px`);
        }
      }
    }
    // The menu's checkbox is out of sight: its label is its target.
    const smallTargets = [...document.querySelectorAll('a[href], label, button, input')]
      .filter((element) => shown(element) && !element.matches('.skip-link, .menu-toggle'))
      .map((element) => [element, element.getBoundingClientRect()])
      .filter(([, box]) => box.width < 24 || box.height < 24)
      .map(([element, box]) => `${name(element)} ${box.width}x${box.height}`);
    const footer = document.querySelector('.site-footer');
    return {
      sideways: document.documentElement.scrollWidth - document.documentElement.clientWidth,
      smallText: [...smallText],
      smallTargets,
      body: {
        backgroundColor: getComputedStyle(document.body).backgroundColor,
        color: getComputedStyle(document.body).color,
      },
      footerPosition: getComputedStyle(footer).position,
      footerTop: footer.getBoundingClientRect().top,
      pageBottom: document.querySelector('main').getBoundingClientRect().bottom,
    };
  });
}

async function axeViolations(tab) {
  await tab.evaluate(axeSource);
  const results = await tab.evaluate(() => axe.run(document, { resultTypes: ['violations'] }));
  return results.violations.map(
    (violation) => `${violation.id}: ${violation.nodes.map((node) => node.target).join(', ')}`,
  );
}

// The showcase's settings with `[style] theme` set to `theme`.
function showcaseSettings(theme) {
  const text = fs.readFileSync(path.join(showcaseExample, 'orvello.toml'), 'utf8');
  return text.replace(/^theme = .*$/m, `theme = "${theme}"`);
}

describe('the showcase with settings', () => {
  let site;
  let server;
  before(async () => {
    site = generateSite({ example: showcaseExample });
    server = await serve(site.site);
  });
  after(async () => {
    await server?.close();
    site?.remove();
  });

  for (const [device, options] of Object.entries(devices)) {
    for (const scheme of Object.keys(palettes)) {
      test(`every page on a ${device} in ${scheme}: fits, reads and passes axe`, async () => {
        const browser = await launchBrowser({ ...options, colorScheme: scheme });
        try {
          const tab = await browser.newPage();
          const seen = watch(tab);
          for (const page of site.pages) {
            await tab.goto(server.url(page));
            const shape = await measure(tab);
            assert.equal(shape.sideways, 0, `${page} scrolls sideways`);
            assert.deepEqual(shape.smallText, [], `${page}: text below 16px`);
            assert.deepEqual(shape.smallTargets, [], `${page}: targets below 24px`);
            assert.deepEqual(shape.body, palettes[scheme], `${page}: the ${scheme} palette`);
            assert.equal(shape.footerPosition, 'static', `${page}: the footer's position`);
            assert.ok(shape.pageBottom <= shape.footerTop, `${page}: the footer covers the page`);
            assert.deepEqual(await axeViolations(tab), [], `${page}: axe`);
          }
          assert.deepEqual(seen.pageErrors, [], 'uncaught exceptions');
          assert.deepEqual(seen.badResponses, [], 'error responses');
        } finally {
          await browser.close();
        }
      });
    }
  }

  test('on a phone the menu opens with a tap and reaches every page', async () => {
    const browser = await launchBrowser(phoneOptions);
    try {
      const tab = await browser.newPage();
      const menu = tab.locator('.site-menu');
      const reached = new Set([server.url('index.htm')]);
      const waiting = [server.url('index.htm')];
      while (waiting.length > 0) {
        const from = waiting.shift();
        await tab.goto(from);
        assert.equal(await menu.isVisible(), false, `${from}: the menu starts closed`);
        await tab.tap('.menu-button');
        assert.equal(await menu.isVisible(), true, `${from}: the menu opens`);
        const current = await menu.locator('[aria-current="page"]').evaluateAll((links) =>
          links.map((link) => link.href),
        );
        assert.deepEqual(current, [from], `${from}: the menu marks the current page`);
        const links = await menu.locator('a').evaluateAll((all) => all.map((link) => link.href));
        for (const [index, address] of links.entries()) {
          if (!reached.has(address)) {
            // Follow the link with a tap, as a reader would, then come back.
            await tab.locator('.site-menu a').nth(index).tap();
            await tab.waitForURL(address);
            reached.add(address);
            waiting.push(address);
            await tab.goto(from);
            await tab.tap('.menu-button');
          }
        }
      }
      const everyPage = site.pages.map((page) => server.url(page)).sort();
      assert.deepEqual([...reached].sort(), everyPage);
    } finally {
      await browser.close();
    }
  });

  test('on paper the menu, the page turns and the footer band go', async () => {
    const browser = await launchBrowser(phoneOptions);
    try {
      const tab = await browser.newPage();
      await tab.goto(server.url(site.pages.find((page) => page.includes('/'))));
      await tab.tap('.menu-button');
      await tab.emulateMedia({ media: 'print' });
      const printed = await tab.evaluate(() => {
        const style = (selector) => getComputedStyle(document.querySelector(selector));
        const gone = ['.site-menu', '.menu-button', '.breadcrumbs', '.page-turn'];
        const footer = style('.site-footer');
        return {
          shown: gone.filter((selector) => style(selector).display !== 'none'),
          footer: [footer.position, footer.backgroundColor],
        };
      });
      assert.deepEqual(printed, { shown: [], footer: ['static', 'rgba(0, 0, 0, 0)'] });
    } finally {
      await browser.close();
    }
  });

  // A theme the settings force holds against the reader's system: [theme, system].
  for (const [theme, system] of [
    ['dark', 'light'],
    ['light', 'dark'],
  ]) {
    test(`theme "${theme}" shows the ${theme} palette on a ${system} system`, async () => {
      const forced = generateSite({ example: showcaseExample, settings: showcaseSettings(theme) });
      const browser = await launchBrowser({ ...phoneOptions, colorScheme: system });
      try {
        const tab = await browser.newPage();
        await tab.goto(forced.fileUrl('index.htm'));
        const shape = await measure(tab);
        assert.deepEqual(shape.body, palettes[theme]);
        assert.deepEqual(await axeViolations(tab), []);
      } finally {
        await browser.close();
        forced.remove();
      }
    });
  }
});
