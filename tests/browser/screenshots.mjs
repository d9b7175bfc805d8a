// Regenerates the README's pictures: the showcase's front page at a desktop size and at a phone
// size, taken from a freshly generated and served site (npm run screenshots).
import fs from 'node:fs';
import path from 'node:path';

import {
  generateSite,
  launchBrowser,
  phoneOptions,
  repoRoot,
  serve,
  showcaseExample,
} from './harness.mjs';

const shots = [
  // The desktop in the dark palette, the phone in the light one: the README shows both.
  {
    file: 'docs/showcase-desktop.png',
    options: { viewport: { width: 1280, height: 800 }, colorScheme: 'dark' },
  },
  // Two device pixels a CSS pixel keep the picture small; the tests take phones at three.
  {
    file: 'docs/showcase-phone.png',
    options: { ...phoneOptions, deviceScaleFactor: 2, colorScheme: 'light' },
  },
];

const site = generateSite({ example: showcaseExample });
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
