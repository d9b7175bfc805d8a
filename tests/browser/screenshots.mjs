// Regenerates the README's pictures: the showcase's front page at a desktop size and at a phone
// size, taken from a freshly generated and served site (npm run screenshots).
import fs from 'node:fs';
import path from 'node:path';

import { generateSite, launchBrowser, repoRoot, serve, showcaseProject } from './harness.mjs';

const shots = [
  { file: 'docs/showcase-desktop.png', options: { viewport: { width: 1280, height: 800 } } },
  {
    file: 'docs/showcase-phone.png',
    options: {
      viewport: { width: 390, height: 844 },
      deviceScaleFactor: 2,
      isMobile: true,
      hasTouch: true,
      userAgent:
        'Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) ' +
        'Chrome/156.0.0.0 Mobile Safari/537.36',
    },
  },
];

const site = generateSite({ project: showcaseProject });
const server = await serve(site.site);
try {
  for (const { file, options } of shots) {
    const browser = await launchBrowser(options);
    try {
      const tab = await browser.newPage();
      await tab.goto(server.url('index.htm'));
      await tab.waitForLoadState('networkidle');
      const target = path.join(repoRoot, file);
      await tab.screenshot({ path: target });
      console.log(`${file}: ${fs.statSync(target).size} bytes`);
    } finally {
      await browser.close();
    }
  }
} finally {
  await server.close();
  site.remove();
}
