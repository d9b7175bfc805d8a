// Regenerates the pictures of highlighted listings in docs/: each of the benchmark's seven sample
// listings in the light and in the dark theme (node tests/browser/highlight_screenshots.mjs).
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

const site = generateSite({ files, settings: '' });
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
    } finally {
      await browser.close();
    }
  }
} finally {
  await server.close();
  site.remove();
}
