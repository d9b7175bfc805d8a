#!/usr/bin/env node
// Lighthouse on every page of the showcase, as a phone and as a desktop, against Debian's
// Chromium headless with the browser tests' flags:
//
//   node bench/lighthouse.mjs [--runs 3] [--json DIR]
//
// Builds examples/showcase with the built orvello (ORVELLO_BINARY, else build/orvello), its
// base_url pointed at the local server so that the canonical links and Open Graph lines are
// checked as a host would serve them, and serves site/ on 127.0.0.1. Lighthouse itself comes from
// bench/lighthouse/ (installed there with `npm ci` when missing). Prints one row per page and form
// factor: the median score of the runs, and for performance also the lowest (a run that shares
// its cores with other work can lose a few points to blocking time), and ends with status 1 when
// a median is below 100 for accessibility, best practices or SEO, or below 95 for performance.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import {
  chromiumArgs,
  chromiumPath,
  freePort,
  generateSite,
  repoRoot,
  serve,
  showcaseExample,
} from '../tests/browser/harness.mjs';

const categories = ['performance', 'accessibility', 'best-practices', 'seo'];
const floors = { performance: 95, accessibility: 100, 'best-practices': 100, seo: 100 };
const formFactors = { mobile: [], desktop: ['--preset=desktop'] };

const options = { runs: '3', json: '' };
for (let index = 2; index < process.argv.length; index += 2) {
  const name = process.argv[index].replace(/^--/, '');
  if (!(name in options) || process.argv[index + 1] === undefined) {
    console.error('usage: node bench/lighthouse.mjs [--runs N] [--json DIR]');
    process.exit(2);
  }
  options[name] = process.argv[index + 1];
}

const packageFolder = path.join(repoRoot, 'bench/lighthouse');
const lighthouse = path.join(packageFolder, 'node_modules/.bin/lighthouse');

function installLighthouse() {
  if (fs.existsSync(lighthouse)) {
    return;
  }
  const install = spawnSync('npm', ['ci', '--no-audit', '--no-fund'], {
    cwd: packageFolder,
    stdio: 'inherit',
  });
  if (install.status !== 0) {
    throw new Error('npm ci failed in bench/lighthouse');
  }
}

// The showcase's settings with base_url set to `origin` (added to [site] when they name none).
function settingsAt(origin) {
  const text = fs.readFileSync(path.join(showcaseExample, 'orvello.toml'), 'utf8');
  const line = `base_url = "${origin}/"`;
  if (/^base_url\s*=.*$/m.test(text)) {
    return text.replace(/^base_url\s*=.*$/m, line);
  }
  return text.replace(/^\[site\]\s*$/m, `[site]\n${line}`);
}

// Runs a program to its end without blocking this process, which serves the site meanwhile.
function runToEnd(program, args, options) {
  return new Promise((resolve) => {
    const child = spawn(program, args, { ...options, stdio: ['ignore', 'ignore', 'pipe'] });
    let stderr = '';
    child.stderr.on('data', (chunk) => (stderr += chunk));
    child.on('close', (status) => resolve({ status, stderr }));
  });
}

// The four scores (0 to 100) of one Lighthouse run on `url`, its report written to `report`.
async function audit(url, flags, report) {
  const run = await runToEnd(
    lighthouse,
    [
      url,
      ...flags,
      `--chrome-flags=${chromiumArgs.join(' ')}`,
      `--only-categories=${categories.join(',')}`,
      '--output=json',
      `--output-path=${report}`,
      '--quiet',
    ],
    { env: { ...process.env, CHROME_PATH: chromiumPath } },
  );
  if (run.status !== 0) {
    throw new Error(`lighthouse failed on ${url} (${run.status}):\n${run.stderr}`);
  }
  const result = JSON.parse(fs.readFileSync(report, 'utf8'));
  return Object.fromEntries(
    categories.map((name) => [name, Math.round(result.categories[name].score * 100)]),
  );
}

// The middle of `values` (the lower middle of an even count).
function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor((sorted.length - 1) / 2)];
}

// The audits that cost a category points, to say why a row falls short.
function shortfalls(report) {
  const result = JSON.parse(fs.readFileSync(report, 'utf8'));
  return categories.flatMap((name) =>
    result.categories[name].auditRefs
      .filter((ref) => ref.weight > 0 && result.audits[ref.id].score !== null)
      .filter((ref) => result.audits[ref.id].score < 1)
      .map((ref) => `${name}/${ref.id} ${result.audits[ref.id].displayValue ?? ''}`.trim()),
  );
}

installLighthouse();
const reports = options.json || fs.mkdtempSync(path.join(os.tmpdir(), 'orvello-lighthouse-'));
fs.mkdirSync(reports, { recursive: true });
const port = await freePort();
const origin = `http://127.0.0.1:${port}`;
const site = generateSite({ example: showcaseExample, settings: settingsAt(origin) });
const server = await serve(site.site, { port });
let failed = false;
try {
  console.log(`| Page | Form factor | performance (lowest) | ${categories.slice(1).join(' | ')} |`);
  console.log(`|---|---|${categories.map(() => '---:').join('|')}|`);
  for (const page of site.pages) {
    for (const [formFactor, flags] of Object.entries(formFactors)) {
      const runs = [];
      const notes = new Set();
      for (let run = 0; run < Number(options.runs); ++run) {
        const report = path.join(reports, `${page.replace(/\//g, '_')}-${formFactor}-${run}.json`);
        runs.push(await audit(server.url(page), flags, report));
        shortfalls(report).forEach((note) => notes.add(note));
      }
      const middle = Object.fromEntries(
        categories.map((name) => [name, median(runs.map((scores) => scores[name]))]),
      );
      const low = categories.filter((name) => middle[name] < floors[name]);
      failed ||= low.length > 0;
      const lowest = Math.min(...runs.map((scores) => scores.performance));
      const scores = categories.map((name) => middle[name]);
      scores[0] = `${scores[0]} (${lowest})`;
      console.log(`| ${page} | ${formFactor} | ${scores.join(' | ')} |`);
      if (low.length > 0) {
        console.error(`  below the floor: ${[...notes].join('; ')}`);
      }
    }
  }
} finally {
  await server.close();
  site.remove();
  if (!options.json) {
    fs.rmSync(reports, { recursive: true, force: true });
  }
}
process.exit(failed ? 1 : 0);
