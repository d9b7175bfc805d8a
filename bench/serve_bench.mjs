#!/usr/bin/env node
// Benchmarks of `orvello serve` on projects from bench/make_corpus.py, on 127.0.0.1 only:
//
//   node bench/serve_bench.mjs latency  [--sizes "1000 10000"] [--edits 20]
//   node bench/serve_bench.mjs load     [--size 1000] [--clients 200] [--requests 50]
//   node bench/serve_bench.mjs rebuilds [--size 1000] [--rebuilds 500] [--clients 8]
//
// latency: edit-to-reload in headless Chromium: from just before a page's command file is written
//   to the load event of the reloaded page showing the new heading; median and 95th percentile.
// load: that many clients at once, each fetching pages, pictures and the stylesheet in a loop;
//   requests per second, errors (anything but 200) and the server's peak resident memory.
// rebuilds: clients fetching URLs that exist before and after every rebuild while a page is
//   edited again and again; errors, and the server's resident memory after 10 and after all
//   rebuilds.
// Projects are written once per size below build/bench/ (override with --dir).
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

import { launchBrowser, repoRoot, startServe } from '../tests/browser/harness.mjs';

const options = {
  sizes: '1000 10000',
  size: '1000',
  edits: '20',
  clients: '',
  requests: '50',
  rebuilds: '500',
  dir: path.join(repoRoot, 'build/bench'),
};
const [mode, ...rest] = process.argv.slice(2);
for (let i = 0; i < rest.length; i += 2) {
  const name = rest[i].replace(/^--/, '');
  if (!(name in options) || rest[i + 1] === undefined) {
    throw new Error(`unknown option ${rest[i]}; see the head of bench/serve_bench.mjs`);
  }
  options[name] = rest[i + 1];
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A fresh copy of the corpus of `pages` pages (generated once), ready to serve.
function project(pages) {
  const corpus = path.join(options.dir, `serve-corpus-${pages}`);
  if (!fs.existsSync(path.join(corpus, 'proj'))) {
    const made = spawnSync('python3', [path.join(repoRoot, 'bench/make_corpus.py'), corpus,
      '--pages', String(pages)], { stdio: 'inherit' });
    if (made.status !== 0) throw new Error('make_corpus.py failed');
  }
  const work = path.join(options.dir, `serve-work-${pages}`);
  fs.rmSync(work, { recursive: true, force: true });
  fs.cpSync(path.join(corpus, 'proj'), path.join(work, 'proj'), { recursive: true });
  return work;
}

// Paths below proj/ of the command files and pictures, in name order.
function projectFiles(work) {
  const files = fs.readdirSync(path.join(work, 'proj'), { recursive: true }).sort();
  return {
    pages: files.filter((name) => name.endsWith('.orv')),
    pictures: files.filter((name) => name.endsWith('.png')),
  };
}

function percentile(sorted, fraction) {
  return sorted[Math.min(sorted.length - 1, Math.ceil(fraction * sorted.length) - 1)];
}

function memoryKiB(pid, field) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  return Number(status.match(new RegExp(`^${field}:\\s+(\\d+)`, 'm'))[1]);
}

// Replaces the heading text of the command file `file` with `text`.
function editHeading(file, text) {
  const lines = fs.readFileSync(file, 'utf8').split('\n');
  lines[1] = `@@text ${text}`;
  fs.writeFileSync(file, lines.join('\n'));
}

async function latency() {
  for (const size of options.sizes.split(/\s+/).map(Number)) {
    const work = project(size);
    const page = projectFiles(work).pages[0];
    const server = await startServe(work, { timeout: 600000 });
    const browser = await launchBrowser();
    const tab = await browser.newPage();
    await tab.goto(server.url(page.replace(/\.orv$/, '.htm')));
    await sleep(500);
    const times = [];
    for (let edit = 1; edit <= Number(options.edits); edit++) {
      const marker = `Edit ${edit} of the latency run`;
      const started = performance.now();
      editHeading(path.join(work, 'proj', page), marker);
      for (;;) {
        await tab.waitForEvent('load', { timeout: 600000 });
        const heading = await tab.evaluate(() => document.querySelector('h1')?.textContent ?? '')
          .catch(() => '');
        if (heading.includes(marker)) break;
      }
      times.push(performance.now() - started);
      await sleep(300);
    }
    await browser.close();
    await server.stop();
    times.sort((a, b) => a - b);
    console.log(`latency ${size} pages: median ${percentile(times, 0.5).toFixed(0)} ms, ` +
      `p95 ${percentile(times, 0.95).toFixed(0)} ms over ${times.length} edits`);
  }
}

// Clients that each fetch `urls` in turn until `keepGoing` says no; counts answers and errors.
async function runClients(count, urls, keepGoing) {
  const agent = new http.Agent({ keepAlive: true, maxSockets: count });
  const tally = { requests: 0, errors: 0, failures: new Map() };
  const fetchOne = (url) => new Promise((resolve) => {
    http.get(url, { agent }, (response) => {
      response.resume();
      response.on('end', () => resolve(response.statusCode === 200 ? null : `${response.statusCode}`));
    }).on('error', (error) => resolve(error.code || error.message));
  });
  await Promise.all(Array.from({ length: count }, async (_, client) => {
    for (let i = client; keepGoing(i - client); i++) {
      const failure = await fetchOne(urls[i % urls.length]);
      tally.requests++;
      if (failure) {
        tally.errors++;
        tally.failures.set(failure, (tally.failures.get(failure) || 0) + 1);
      }
    }
  }));
  agent.destroy();
  return tally;
}

function siteUrls(server, work) {
  const { pages, pictures } = projectFiles(work);
  return [
    ...pages.slice(0, 50).map((name) => server.url(name.replace(/\.orv$/, '.htm'))),
    ...pictures.slice(0, 50).map((name) => server.url(name)),
    server.url('main.css'),
  ];
}

async function load() {
  const clients = Number(options.clients || 200);
  const work = project(Number(options.size));
  const server = await startServe(work, { timeout: 600000 });
  const urls = siteUrls(server, work);
  const started = performance.now();
  const tally = await runClients(clients, urls, (done) => done < Number(options.requests));
  const seconds = (performance.now() - started) / 1000;
  const peak = memoryKiB(server.pid, 'VmHWM');
  await server.stop();
  console.log(`load ${clients} clients x ${options.requests} requests: ` +
    `${(tally.requests / seconds).toFixed(0)} requests/s, ${tally.errors} errors ` +
    `${JSON.stringify([...tally.failures])}, peak RSS ${(peak / 1024).toFixed(1)} MiB`);
}

async function rebuilds() {
  const work = project(Number(options.size));
  const server = await startServe(work, { timeout: 600000 });
  const { pages } = projectFiles(work);
  const edited = path.join(work, 'proj', pages[0]);
  const urls = [server.url(pages[0].replace(/\.orv$/, '.htm')), ...siteUrls(server, work)];
  const rebuildsSeen = () => (server.console().stdout.match(/^Rebuil/gm) || []).length;
  let editing = true;
  const requests = runClients(Number(options.clients || 8), urls, () => editing);
  const rss = {};
  for (let round = 1; round <= Number(options.rebuilds); round++) {
    const before = rebuildsSeen();
    editHeading(edited, `Rebuild ${round}`);
    while (rebuildsSeen() === before) await sleep(5);
    if (round === 10 || round === Number(options.rebuilds)) {
      rss[round] = memoryKiB(server.pid, 'VmRSS');
    }
  }
  editing = false;
  const tally = await requests;
  await server.stop();
  const memory = Object.entries(rss).map(([round, kib]) => `after ${round}: ` +
    `${(kib / 1024).toFixed(1)} MiB`).join(', ');
  console.log(`rebuilds ${options.rebuilds} at ${options.size} pages: ${tally.requests} ` +
    `requests, ${tally.errors} errors ${JSON.stringify([...tally.failures])}; RSS ${memory}`);
}

const modes = { latency, load, rebuilds };
if (!modes[mode]) {
  throw new Error('usage: node bench/serve_bench.mjs latency|load|rebuilds [options]');
}
await modes[mode]();
