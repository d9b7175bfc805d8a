// Regenerates the pictures of highlighted listings in docs/: each of the benchmark's seven sample
// listings in the light and in the dark theme, and a page of Markdown prose in both
// (node tests/browser/highlight_screenshots.mjs).
import fs from 'node:fs';
import path from 'node:path';

import { generateSite, launchBrowser, repoRoot, serve } from './harness.mjs';

const samples = ['c', 'cpp', 'py', 'sh', 'js', 'html', 'css'];
const files = {};
for (const sample of samples) {
  fs.mkdirSync(path.join(repoRoot, 'docs/highlighting'), { recursive: true });
  files[`sample.${sample}`] = fs.readFileSync(path.join(repoRoot, `bench/highlight/sample.${sample}`));
  files[`${sample}.orv`] = `@code\n@@src sample.${sample}\n@end_code\n`;
}

files['prose.orv'] = `@markdown
# Getting started

Orvello turns a folder into a site. Write a paragraph as you would in a letter: it wraps at a
comfortable measure, with *emphasis*, **strong words**, \`code\` and [links](c.htm).

- [x] Install the package
- [ ] Write the first page

| Block | Shows |
|---|---|
| \`@markdown\` | prose |
| \`@code\` | a listing |

> A quotation stands apart.

\`\`\`python
def greet(name):
    return f"Hello, {name}!"  # a fenced listing
\`\`\`
@end_markdown
`;

const site = generateSite({ files, settings: '[site]\ntitle = "Notes"\n' });
const server = await serve(site.site);
try {
  for (const colorScheme of ['light', 'dark']) {
    const browser = await launchBrowser({ viewport: { width: 760, height: 900 }, colorScheme });
    try {
      const tab = await browser.newPage();
      for (const sample of samples) {
        await tab.goto(server.url(`${sample}.htm`));
        await tab.waitForLoadState('networkidle');
        const target = path.join(repoRoot, `docs/highlighting/${sample}-${colorScheme}.png`);
        await tab.locator('figure.listing').screenshot({ path: target });
        console.log(`${path.relative(repoRoot, target)}: ${fs.statSync(target).size} bytes`);
      }
      await tab.goto(server.url('prose.htm'));
      await tab.waitForLoadState('networkidle');
      const prose = path.join(repoRoot, `docs/highlighting/prose-${colorScheme}.png`);
      await tab.locator('main').screenshot({ path: prose });
      console.log(`${path.relative(repoRoot, prose)}: ${fs.statSync(prose).size} bytes`);
    } finally {
      await browser.close();
    }
  }
} finally {
  await server.close();
  site.remove();
}
