// How soon the page shows something and then the game's first frame, as a new player
// gets it from the best-times board's /play/ in headless Chromium, on networks held to
// Chromium's emulation: slow 4G (1.6 Mbit/s down, 150 ms round trips) and fast 4G
// (9 Mbit/s, 60 ms), each cold (a fresh profile, no cache); then a second visit on
// slow 4G, started from the offline copy the first visit left, with the board answering
// and with the board not answering at all (stopped, as a network that hangs).
// For each: the first paint (the loading bar, where the page has one), the first frame
// drawn on the game's canvas, and the bytes over the network before it (the median of
// RUNS cold runs).
// Usage: node bench/web_cold_start.mjs SITE ZUMBLE_BOARD ZUMBLE [RUNS]
import { spawn } from 'node:child_process';
import path from 'node:path';
import { launch, scratch } from '../tests/web/harness.mjs';

const [site, board, zumble] = process.argv.slice(2, 5).map((p) => p && path.resolve(p));
const runs = Number(process.argv[5] || 3);
if (!site || !board || !zumble) {
  console.error('usage: node bench/web_cold_start.mjs SITE ZUMBLE_BOARD ZUMBLE [RUNS]');
  process.exit(2);
}

const networks = {
  'slow 4G': { latency: 150, downloadThroughput: 1.6e6 / 8, uploadThroughput: 750e3 / 8 },
  'fast 4G': { latency: 60, downloadThroughput: 9e6 / 8, uploadThroughput: 1.5e6 / 8 },
};

// The board on a free port, serving SITE at /play/.
async function startBoard() {
  const work = scratch('zumble-bench-board-');
  const child = spawn(board, ['--port', '0', '--db', path.join(work, 'board.db'), '--site', site,
                              '--zumble', zumble, '--work-dir', work], { stdio: ['ignore', 'pipe', 'pipe'] });
  child.stderr.resume();
  const url = await new Promise((resolve, reject) => {
    let seen = '';
    const timer = setTimeout(() => reject(new Error('the board did not start: ' + seen)), 30000);
    child.stdout.on('data', (chunk) => {
      seen += chunk;
      const m = /http:\/\/[0-9.]+:\d+/.exec(seen);
      if (m) { clearTimeout(timer); resolve(m[0]); }
    });
    child.on('exit', (code) => reject(new Error('the board ended with ' + code + ': ' + seen)));
  });
  return {
    url: url + '/play/',
    pause: () => child.kill('SIGSTOP'),
    resume: () => child.kill('SIGCONT'),
    stop: () => { child.kill('SIGCONT'); child.kill(); },
  };
}

// The moment of the first picture the game puts on its canvas, in the page's clock.
function watchFirstFrame() {
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    if (window.zumbleFirstFrameAt === undefined && this.canvas && this.canvas.id === 'canvas') {
      window.zumbleFirstFrameAt = performance.now();
    }
    return put.apply(this, args);
  };
}

// One visit: loads the page on the network given and waits for the game's first frame.
async function visit(context, url, network, cold) {
  const page = await context.newPage();
  await page.addInitScript(watchFirstFrame);
  const cdp = await context.newCDPSession(page);
  await cdp.send('Network.enable');
  await cdp.send('Network.emulateNetworkConditions', { offline: false, ...network });
  if (cold) await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
  await page.goto(url, { waitUntil: 'commit', timeout: 120000 });
  await page.waitForFunction(() => window.zumbleFirstFrameAt !== undefined, null, { timeout: 180000, polling: 50 });
  const got = await page.evaluate(() => {
    const at = window.zumbleFirstFrameAt;
    const paint = performance.getEntriesByName('first-contentful-paint')[0];
    const nav = performance.getEntriesByType('navigation')[0];
    const bytes = [nav, ...performance.getEntriesByType('resource')]
      .filter((e) => e && e.responseEnd <= at).reduce((sum, e) => sum + (e.transferSize || 0), 0);
    return { paint: paint ? paint.startTime : NaN, frame: at, bytes, bar: !!document.getElementById('loading-bar') };
  });
  await page.close();
  return got;
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const line = (what, rows) => {
  const bar = rows[0].bar ? 'loading bar' : 'first paint';
  console.log(`${what}: ${bar} ${median(rows.map((r) => r.paint)).toFixed(0)} ms, first frame ` +
              `${median(rows.map((r) => r.frame)).toFixed(0)} ms, ${(median(rows.map((r) => r.bytes)) / 1024).toFixed(0)} KB ` +
              `before it (${rows.length} runs: ${rows.map((r) => (r.frame / 1000).toFixed(1)).join(' ')} s)`);
};

const server = await startBoard();
try {
  for (const [name, network] of Object.entries(networks)) {
    const rows = [];
    for (let i = 0; i < runs; ++i) {
      const context = await launch({ width: 390, height: 844 }, { isMobile: true, deviceScaleFactor: 3 });
      try { rows.push(await visit(context, server.url, network, true)); } finally { await context.close(); }
    }
    line(`${name}, cold`, rows);
  }
  // The second visit: the first one's offline copy (service worker) in place.
  const context = await launch({ width: 390, height: 844 }, { isMobile: true, deviceScaleFactor: 3 });
  try {
    const first = await context.newPage();
    await first.goto(server.url);
    await first.waitForFunction(async () => {
      const names = await caches.keys();
      const worker = await navigator.serviceWorker.getRegistration();
      return names.length === 1 && (await (await caches.open(names[0])).keys()).length >= 8 && !!(worker && worker.active);
    }, null, { timeout: 180000, polling: 250 });
    await first.close();
    const rows = [];
    for (let i = 0; i < runs; ++i) rows.push(await visit(context, server.url, networks['slow 4G'], false));
    line('slow 4G, second visit (offline copy)', rows);
    server.pause();
    const hung = [];
    try {
      for (let i = 0; i < runs; ++i) hung.push(await visit(context, server.url, networks['slow 4G'], false));
    } finally {
      server.resume();
    }
    line('slow 4G, second visit, the board not answering', hung);
  } finally {
    await context.close();
  }
} finally {
  server.stop();
}
