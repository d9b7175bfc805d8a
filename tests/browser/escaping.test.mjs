// Escaping holds in a real DOM: hostile values show as text, fill exactly their own attribute, and
// leave the rest of the page as written.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { generateSite, launchBrowser, serve, plainProject, watch } from './harness.mjs';

const hostile = {
  title: "<script>window.injected = 'title'</script> & <b>bold</b>",
  textLine: `<script>window.injected = 'text'</script> <img src=x onerror="window.injected = 1">`,
  url: `page.htm?a=1&b=2" onclick="window.injected = 'link'`,
  target: `_blank" onfocus="window.injected = 'target'`,
  linkText: "<script>window.injected = 'link text'</script>",
  imageSrc: `pic".png" onerror="window.injected = 'image'`,
  alt: `<script>window.injected = 'alt'</script> "quoted" & more`,
  videoSrc: `clip".webm" onerror="window.injected = 'video'`,
  audioSrc: `tone".ogg" onerror="window.injected = 'audio'`,
  downloadUrl: `file".txt" onclick="window.injected = 'download'`,
  downloadText: '<b>Get</b> & go',
  codeLine: "<script>window.injected = 'code'</script>",
  pdfSrc: `a"b\\c</script><script>window.injected = 'pdf'</script>.pdf`,
  caption: "<script>window.injected = 'caption'</script>",
};

const page = `@title
@@text ${hostile.title}
@end_title
@text
${hostile.textLine}
@end_text
@link
@@url ${hostile.url}
@@text ${hostile.linkText}
@@target ${hostile.target}
@end_link
@image
@@src ${hostile.imageSrc}
@@alt ${hostile.alt}
@end_image
@video
@@src ${hostile.videoSrc}
@end_video
@audio
@@url ${hostile.audioSrc}
@end_audio
@download
@@url ${hostile.downloadUrl}
@@text ${hostile.downloadText}
@end_download
@code
${hostile.codeLine}
@end_code
@pdf
@@src ${hostile.pdfSrc}
@@buttontext ${hostile.caption}
@end_pdf
@title
@@text After the PDF
@end_title
`;

// The files that the hostile addresses name exist, so every element but the PDF frame loads.
const media = (name) => fs.readFileSync(path.join(plainProject, name));
const files = {
  'hostile.orv': page,
  [hostile.imageSrc]: media('img/orvello.png'),
  [hostile.videoSrc]: media('media/life.webm'),
  [hostile.audioSrc]: media('media/chime.ogg'),
  [hostile.downloadUrl]: 'a file to download\n',
};

// The errors the browser logs for this page, each with the reason it is expected.
function explainedErrors(origin) {
  const notFound = (url) =>
    `Failed to load resource: the server responded with a status of 404 (Not Found) at ${url}`;
  return [
    // The project brings no favicon.png, so the page names favicon.ico, which it does not hold.
    notFound(`${origin}/favicon.ico`),
    // No file can be named like the PDF source: it holds "/" (in "</script>"). The browser reads
    // the backslash in it as "/" too, as it does in every http address.
    notFound(new URL(hostile.pdfSrc, `${origin}/`).href),
  ];
}

// Element, its attribute names in order, and the exact values of those that hold hostile text.
const attributeTable = [
  ['a.link', ['href', 'target', 'class', 'style'], { href: hostile.url, target: hostile.target }],
  ['img.image', ['src', 'alt', 'class', 'style'], { src: hostile.imageSrc, alt: hostile.alt }],
  ['video.video', ['src', 'class', 'style', 'controls'], { src: hostile.videoSrc }],
  ['audio.audio', ['src', 'class', 'controls'], { src: hostile.audioSrc }],
  ['a.download-btn', ['href', 'class', 'download'], { href: hostile.downloadUrl }],
  ['.mobile-only-pdf a', ['href', 'target', 'style'], { href: hostile.pdfSrc }],
  ['iframe.pdf', ['id', 'class', 'style', 'frameborder', 'src'], {}],
];

// Element and the text it shows.
const textTable = [
  // A heading's text is followed by the two blanks that indent its closing tag.
  ['h1.title', `${hostile.title}  `],
  ['td.text-line-content', hostile.textLine],
  ['a.link', hostile.linkText],
  ['a.download-btn', hostile.downloadText],
  ['td.code-line-content code', hostile.codeLine],
  ['.mobile-only-pdf a', `\n      ${hostile.caption}\n    `],
];

describe('escaping in a real DOM', () => {
  let site;
  let server;
  let browser;
  let tab;
  let seen;
  before(async () => {
    site = generateSite({ files });
    server = await serve(site.site);
    browser = await launchBrowser();
    tab = await browser.newPage();
    seen = watch(tab);
    await tab.goto(server.url('hostile.htm'));
    await tab.waitForLoadState('networkidle');
  });
  after(async () => {
    await browser?.close();
    await server?.close();
    site?.remove();
  });

  for (const [selector, expected] of textTable) {
    test(`${selector} shows its hostile text as typed`, async () => {
      assert.equal(await tab.locator(selector).first().textContent(), expected);
    });
  }

  for (const [selector, names, values] of attributeTable) {
    test(`${selector} has exactly its own attributes`, async () => {
      const attributes = await tab.$eval(selector, (element) =>
        [...element.attributes].map((attribute) => [attribute.name, attribute.value]),
      );
      assert.deepEqual(
        attributes.map(([name]) => name),
        names,
      );
      for (const [name, value] of Object.entries(values)) {
        assert.equal(Object.fromEntries(attributes)[name], value, `${selector} ${name}`);
      }
    });
  }

  test('the PDF frame gets exactly the source the block names', async () => {
    const frameSrc = await tab.$eval('iframe.pdf', (frame) => frame.getAttribute('src'));
    assert.equal(frameSrc, `${server.origin}/${hostile.pdfSrc}`);
    // Loading it, the browser reads the backslash as "/", as in any http address.
    assert.deepEqual(
      server.requests.filter((request) => request.path.endsWith('.pdf')).map((r) => r.path),
      [`/${hostile.pdfSrc.replace('\\', '/')}`],
    );
  });

  test('the page keeps its structure: one script, nothing injected, every block', async () => {
    const page = await tab.evaluate(() => ({
      elements: [...document.body.children].map((element) =>
        [element.localName, element.className].join('.'),
      ),
      scripts: document.scripts.length,
      injected: window.injected ?? null,
      lastTitle: document.querySelectorAll('h1.title')[1]?.textContent,
    }));
    assert.deepEqual(page.elements, [
      'h1.title',
      'div.text',
      'a.link',
      'img.image',
      'video.video',
      'audio.audio',
      'a.download-btn',
      'pre.code',
      'iframe.pdf pc-only-pdf',
      'div.mobile-only-pdf',
      'script.',
      'h1.title',
      'div.fixed-footer',
    ]);
    assert.equal(page.scripts, 1);
    assert.equal(page.injected, null);
    assert.equal(page.lastTitle, 'After the PDF  ');
    assert.deepEqual(seen.dialogs, []);
    assert.deepEqual(seen.pageErrors, []);
  });

  test('the hostile addresses were fetched exactly as written', () => {
    for (const name of [hostile.imageSrc, hostile.videoSrc, hostile.audioSrc]) {
      assert.deepEqual(
        server.requested(`/${name}`).map((request) => request.status).slice(0, 1),
        [200],
        name,
      );
    }
  });

  test('the browser logs no error but the explained ones', () => {
    const explained = explainedErrors(server.origin);
    const unexplained = seen.consoleErrors.filter((error) => !explained.includes(error));
    assert.deepEqual(unexplained, []);
  });
});

// Markdown on a site with settings: raw HTML, script addresses and hostile text in every place
// show as text or are taken out; the same raw HTML runs only where the settings allow it.
const hostileMarkdown = `# A "heading" <script>window.injected = 'heading'</script>

<script>window.injected = 'raw block'</script>

Inline <img src=x onerror="window.injected = 'raw inline'"> and [a link](javascript:window.injected='href')
and [data](data:text/html,<script>window.injected='data'</script>) and
[a reference](&#106;avascript:window.injected='reference') and
![alt" onerror="window.injected = 'alt'](pic.png "title\\" onload=\\"window.injected = 'title'")

| <b onclick="window.injected = 'cell'">cell</b> |
|---|
| \`</code><script>window.injected = 'span'</script>\` |

\`\`\`html
</code></pre><script>window.injected = 'fence'</script>
\`\`\`
`;

describe('escaping of Markdown in a real DOM', () => {
  for (const [settings, allowed] of [
    ['', false],
    ['[markdown]\nraw_html = true\n', true],
  ]) {
    describe(allowed ? 'with raw HTML allowed' : 'by default', () => {
      let site;
      let server;
      let browser;
      let tab;
      let seen;
      before(async () => {
        site = generateSite({
          files: {
            'prose.orv': `@markdown\n${hostileMarkdown}@end_markdown\n`,
            'pic.png': media('img/orvello.png'),
          },
          settings,
        });
        server = await serve(site.site);
        browser = await launchBrowser();
        tab = await browser.newPage();
        seen = watch(tab);
        await tab.goto(server.url('prose.htm'));
        await tab.waitForLoadState('networkidle');
      });
      after(async () => {
        await browser?.close();
        await server?.close();
        site?.remove();
      });

      test('hostile text shows as typed and runs nothing it should not', async () => {
        const found = await tab.evaluate(() => ({
          heading: document.querySelector('.markdown h1').textContent,
          headingId: document.querySelector('.markdown h1').id,
          links: [...document.querySelectorAll('.markdown a')].map((a) => a.getAttribute('href')),
          alt: document.querySelector('.markdown img[src="pic.png"]')?.getAttribute('alt'),
          title: document.querySelector('.markdown img[src="pic.png"]')?.getAttribute('title'),
          span: document.querySelector('.markdown td code')?.textContent,
          fence: document.querySelector('.markdown pre.markdown-code code').textContent,
          injected: window.injected ?? null,
        }));
        assert.equal(found.alt, `alt" onerror="window.injected = 'alt'`);
        assert.equal(found.title, `title" onload="window.injected = 'title'`);
        assert.equal(found.span, `</code><script>window.injected = 'span'</script>`);
        assert.equal(found.fence, `</code></pre><script>window.injected = 'fence'</script>`);
        if (allowed) {
          // The author's own HTML runs as written: the last one to run sets the value.
          assert.notEqual(found.injected, null);
          assert.equal(found.links[0], "javascript:window.injected='href'");
          assert.equal(found.links[2], "javascript:window.injected='reference'");
        } else {
          assert.equal(found.heading, `A "heading" <script>window.injected = 'heading'</script>`);
          assert.equal(found.headingId, 'a-heading-scriptwindowinjected-headingscript');
          assert.equal(found.injected, null);
          assert.deepEqual(found.links, ['#', '#', '#']);
          assert.deepEqual(seen.dialogs, []);
          assert.deepEqual(seen.pageErrors, []);
        }
      });
    });
  }
});
