// The stylesheet applies in a real browser: the computed styles of the footer and of every block
// kind on the plain example's pages, the footer fixed while a page scrolls, and code line numbers that a
// reader cannot select.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import { generateSite, launchBrowser, serve, plainProject } from './harness.mjs';

const green = 'rgb(45, 202, 69)';
const panel = 'rgb(37, 37, 38)';
const blue = 'rgb(0, 119, 182)';

// Page, element and the computed values it must have. Sizes set by a block's own settings come
// through its inline style; everything else comes from main.css.
const styleTable = [
  [
    'index.htm',
    'body',
    {
      backgroundColor: 'rgb(30, 30, 30)',
      color: 'rgb(212, 212, 212)',
      marginBottom: '48px',
    },
  ],
  [
    'index.htm',
    '.fixed-footer',
    {
      position: 'fixed',
      backgroundColor: green,
      color: 'rgb(0, 0, 0)',
      height: '40px',
      fontWeight: '700',
      zIndex: '1000',
      whiteSpace: 'nowrap',
    },
  ],
  [
    'index.htm',
    'h1.title',
    {
      display: 'block',
      fontSize: '32px',
      color: green,
      backgroundColor: panel,
      borderTopLeftRadius: '6px',
      borderTopWidth: '1px',
      borderTopColor: 'rgb(51, 51, 51)',
      boxSizing: 'border-box',
      lineHeight: '38.4px',
    },
  ],
  ['index.htm', 'h1.title:nth-of-type(2)', { fontSize: '24px', color: 'rgb(216, 226, 220)' }],
  [
    'index.htm',
    'div.text',
    {
      display: 'block',
      fontFamily: 'monospace',
      fontSize: '16px',
      color: 'rgb(212, 212, 212)',
      backgroundColor: panel,
      borderTopLeftRadius: '6px',
      overflow: 'auto',
    },
  ],
  ['index.htm', 'div.text td.text-line-content', { whiteSpace: 'pre-wrap', paddingLeft: '16px' }],
  ['docs/guide.htm', 'div.text:nth-of-type(2)', { color: 'rgb(216, 226, 220)' }],
  ['docs/guide.htm', 'div.text:nth-of-type(2) td.text-line-content', { whiteSpace: 'pre' }],
  [
    'index.htm',
    'pre.code',
    {
      display: 'block',
      fontFamily: 'monospace',
      whiteSpace: 'pre',
      backgroundColor: 'rgb(13, 17, 23)',
      color: 'rgb(201, 209, 217)',
      borderTopColor: 'rgb(48, 54, 61)',
      overflow: 'auto',
    },
  ],
  [
    'index.htm',
    'td.code-line-number',
    {
      userSelect: 'none',
      textAlign: 'right',
      color: 'rgb(139, 148, 158)',
      borderRightStyle: 'solid',
    },
  ],
  [
    'index.htm',
    'a.link',
    {
      display: 'table',
      color: blue,
      fontWeight: '700',
      textDecorationLine: 'none',
      fontSize: '16px',
    },
  ],
  [
    'index.htm',
    'a.download-btn',
    {
      display: 'table',
      backgroundColor: blue,
      color: 'rgb(255, 255, 255)',
      paddingLeft: '20px',
      textDecorationLine: 'none',
    },
  ],
  [
    'index.htm',
    'img.image',
    {
      display: 'block',
      maxWidth: '100%',
      width: '96px',
      borderTopLeftRadius: '6px',
    },
  ],
  ['docs/media.htm', 'video.video', { display: 'block', maxWidth: '100%', width: '384px' }],
  ['docs/media.htm', 'audio.audio', { display: 'block', maxWidth: '400px' }],
  // The frame's inline "border: none" wins over the border that main.css gives the class.
  [
    'docs/documents.htm',
    'iframe.pdf',
    {
      display: 'block',
      height: '360px',
      borderTopStyle: 'none',
    },
  ],
  ['docs/tutorials/first-steps.htm', 'iframe.pdf', { width: '640px', height: '420px' }],
];

function computed(tab, selector, properties) {
  return tab.evaluate(
    ([css, names]) => {
      const element = document.querySelector(css);
      if (!element) {
        return null;
      }
      const style = getComputedStyle(element);
      return Object.fromEntries(names.map((name) => [name, style[name]]));
    },
    [selector, properties],
  );
}

// Where the footer sits in the viewport, and how far the page has scrolled.
function footerPlace(tab) {
  return tab.evaluate(() => {
    const box = document.querySelector('.fixed-footer').getBoundingClientRect();
    return {
      left: box.left,
      bottom: box.bottom,
      width: box.width,
      viewportHeight: innerHeight,
      viewportWidth: document.documentElement.clientWidth,
      scrolled: scrollY,
    };
  });
}

describe('the stylesheet in a real browser', () => {
  let site;
  let server;
  let browser;
  let tab;
  before(async () => {
    site = generateSite({ project: plainProject });
    server = await serve(site.site);
    browser = await launchBrowser({ viewport: { width: 1024, height: 600 } });
    tab = await browser.newPage();
  });
  after(async () => {
    await browser?.close();
    await server?.close();
    site?.remove();
  });

  for (const [page, selector, expected] of styleTable) {
    test(`${page}: ${selector} has its computed style`, async () => {
      if (tab.url() !== server.url(page)) {
        await tab.goto(server.url(page));
      }
      const actual = await computed(tab, selector, Object.keys(expected));
      assert.deepEqual(actual, expected);
    });
  }

  test('the footer stays fixed to the bottom edge while a long page scrolls', async () => {
    await tab.goto(server.url('docs/guide.htm'));
    const top = await footerPlace(tab);
    await tab.mouse.wheel(0, 100000);
    await tab.waitForFunction(() => innerHeight + scrollY >= document.body.scrollHeight - 1);
    const bottom = await footerPlace(tab);
    for (const place of [top, bottom]) {
      assert.equal(place.left, 0);
      assert.equal(place.bottom, place.viewportHeight);
      assert.equal(place.width, place.viewportWidth);
    }
    assert.equal(top.scrolled, 0);
    assert.ok(bottom.scrolled > 300, `the page scrolled ${bottom.scrolled}px`);
    // Scrolled to the end, the last block clears the footer: the body's bottom margin makes room.
    const lastBottom = await tab.evaluate(
      () => document.querySelector('a.link:last-of-type').getBoundingClientRect().bottom,
    );
    assert.ok(lastBottom <= bottom.viewportHeight - 40, `the last link ends at ${lastBottom}px`);
  });

  test('code line numbers cannot be selected, the code lines can', async () => {
    await tab.goto(server.url('docs/guide.htm'));
    const listing = 'pre.code:nth-of-type(2)';
    const expectedLines = [
      '#include <iostream>',
      'int main() {',
      '  std::cout << "Hello from a code block" << std::endl;',
      '}',
    ];
    // Selecting the whole listing, as a select-all or a copy would.
    const selectAll = await tab.evaluate((css) => {
      const selection = getSelection();
      selection.selectAllChildren(document.querySelector(css));
      return selection.toString();
    }, listing);
    // Dragging the mouse from the start of the first code line to the end of the last one: the
    // range spans the numbers of every later line.
    await tab.locator(listing).scrollIntoViewIfNeeded();
    const numbers = tab.locator(`${listing} td.code-line-number`);
    const lines = tab.locator(`${listing} td.code-line-content code`);
    const drag = async (from, to) => {
      await tab.evaluate(() => getSelection().removeAllRanges());
      await tab.mouse.move(from.x, from.y);
      await tab.mouse.down();
      await tab.mouse.move(to.x, to.y, { steps: 10 });
      await tab.mouse.up();
      return tab.evaluate(() => getSelection().toString());
    };
    const firstLine = await lines.first().boundingBox();
    const lastLine = await lines.last().boundingBox();
    const dragged = await drag(
      { x: firstLine.x + 1, y: firstLine.y + firstLine.height / 2 },
      { x: lastLine.x + lastLine.width, y: lastLine.y + lastLine.height / 2 },
    );
    // A drag that starts on a line number selects nothing at all.
    const firstNumber = await numbers.first().boundingBox();
    const lastNumber = await numbers.last().boundingBox();
    const onNumbers = await drag(
      { x: firstNumber.x + 2, y: firstNumber.y + firstNumber.height / 2 },
      { x: lastNumber.x + 2, y: lastNumber.y + lastNumber.height / 2 },
    );
    assert.equal(onNumbers, '');
    for (const selected of [selectAll, dragged]) {
      const lines = selected.split('\n').filter((line) => line.trim() !== '');
      assert.deepEqual(lines, expectedLines, JSON.stringify(selected));
    }
  });
});
