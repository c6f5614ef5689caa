// What the browser tests and the browser benchmark share: a local static server for the
// page, headless Chromium driven by playwright-core, and headless runs of the native game.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');

// A scratch folder removed at the end of the process.
const scratchDirs = [];
process.on('exit', () => scratchDirs.forEach((dir) => fs.rmSync(dir, { recursive: true, force: true })));
export function scratch(prefix) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
  scratchDirs.push(dir);
  return dir;
}

// Starts a zumble-board on 127.0.0.1 (a port the system picks) with `args`, killed when
// this program ends; its base address once it says where it listens (a minute at most:
// a busy machine may be slow to start it).
export async function startBoard(board, args) {
  const server = spawn(board, ['--port', '0', ...args], { stdio: ['ignore', 'pipe', 'inherit'] });
  process.on('exit', () => server.kill('SIGKILL'));
  const url = await new Promise((resolve, reject) => {
    let seen = '';
    const timer = setTimeout(() => reject(new Error('the board did not start: ' + seen)), 60000);
    server.stdout.on('data', (chunk) => {
      seen += chunk;
      const m = /(http:\/\/[0-9.]+:\d+)\//.exec(seen);
      if (m) { clearTimeout(timer); resolve(m[1]); }
    });
  });
  return { server, url };
}

// Serves the page's files and the given extra files ({name: text}) from one folder on
// 127.0.0.1, on a port the system picks (or `port`, to serve again at an address used
// before). Each server is its own origin, so its saved files start empty.
export async function serve(site, extra = {}, port = 0) {
  const root = scratch('zumble-site-');
  for (const name of fs.readdirSync(site)) fs.symlinkSync(path.join(site, name), path.join(root, name));
  for (const [name, text] of Object.entries(extra)) fs.writeFileSync(path.join(root, name), text);
  const server = spawn('python3', ['-u', '-m', 'http.server', String(port), '--bind', '127.0.0.1', '--directory', root],
                       { stdio: ['ignore', 'pipe', 'pipe'] });
  const bound = await new Promise((resolve, reject) => {
    let seen = '';
    const timer = setTimeout(() => reject(new Error('the web server did not start: ' + seen)), 15000);
    server.stdout.on('data', (chunk) => {
      seen += chunk;
      const m = /port (\d+)/.exec(seen);
      if (m) { clearTimeout(timer); resolve(Number(m[1])); }
    });
    server.on('exit', (code) => reject(new Error('the web server ended with ' + code + ': ' + seen)));
  });
  server.stderr.resume();  // the request log
  const ended = new Promise((resolve) => server.on('exit', resolve));
  return { url: `http://127.0.0.1:${bound}/`, root, close: () => { server.kill(); return ended; } };
}

// Serves the page's files from Node on 127.0.0.1, as the board does (no-cache: every load
// asks the server again), with faults: the first request for
// each file named in `failOnce` is answered 503 (a download that fails, for the page's
// Retry), and the requests for those in `hold` wait until release() (a file that is slow
// to come).
export async function serveWithFaults(site, { failOnce = [], hold = [] } = {}) {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                  '.json': 'application/json', '.webmanifest': 'application/manifest+json', '.png': 'image/png' };
  const failed = new Set();
  let held = [];
  let released = false;
  const send = (name, file, res) => {
    res.writeHead(200, { 'Content-Type': types[path.extname(name)] || 'application/octet-stream',
                         'Cache-Control': 'no-cache' });
    fs.createReadStream(file).pipe(res);
  };
  const server = http.createServer((req, res) => {
    let name = decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/^\/+/, '');
    if (name === '' || name.endsWith('/')) name += 'index.html';
    const file = path.join(site, name);
    if (!/^[\w-]+(\.[\w-]+)*(\/[\w-]+(\.[\w-]+)*)*$/.test(name) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    if (failOnce.includes(name) && !failed.has(name)) {
      failed.add(name);
      res.writeHead(503, { 'Content-Type': 'text/plain' });
      res.end('not now');
      return;
    }
    if (hold.includes(name) && !released) { held.push(() => send(name, file, res)); return; }
    send(name, file, res);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    heldCount: () => held.length,
    release: () => { released = true; held.forEach((go) => go()); held = []; },
    close: () => new Promise((resolve) => { server.closeAllConnections(); server.close(resolve); }),
  };
}

// Headless Chromium with a fresh profile, as the project's tests run it; `device` may
// make it a phone ({deviceScaleFactor: 3, isMobile: true}).
export async function launch(viewport, device = {}) {
  const profile = scratch('zumble-profile-');
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    viewport,
    deviceScaleFactor: 1,
    hasTouch: true,  // a tap must work as a click; the mouse works as well
    ...device,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return context;
}

// Waits until the run in the page has ended and its files are stored; returns {code}.
export async function waitForEnd(page, timeout) {
  const handle = await page.waitForFunction(() => window.zumbleEnded && window.zumbleEnded(),
                                            null, { timeout, polling: 250 });
  return handle.jsonValue();
}

// Runs the native game headless in a scratch folder that holds the game's data.
// Returns that folder, the exit code and the output.
export function runNative(zumble, args, files = {}) {
  const dir = scratch('zumble-native-');
  fs.symlinkSync(path.join(repoRoot, 'bmp'), path.join(dir, 'bmp'));
  fs.symlinkSync(path.join(repoRoot, 'wave'), path.join(dir, 'wave'));
  for (const [name, text] of Object.entries(files)) fs.writeFileSync(path.join(dir, name), text);
  const run = spawnSync(zumble, ['--headless', ...args], { cwd: dir, encoding: 'utf8', timeout: 300000 });
  return { dir, code: run.status, stdout: run.stdout, stderr: run.stderr };
}

// The layout as a player sees it: the picture's box and every control the page shows
// (buttons, links, sliders, the help's summary), each with its box.
export async function layoutOf(page) {
  return page.evaluate(() => {
    const box = (el) => { const r = el.getBoundingClientRect(); return { x: r.x, y: r.y, w: r.width, h: r.height }; };
    const shown = (el) => { const r = el.getBoundingClientRect();
                            return r.width > 0 && r.height > 0 && el.checkVisibility({ visibilityProperty: true }); };
    const controls = [...document.querySelectorAll('button, a, input, summary, select')].filter(shown)
      .map((el) => ({ name: el.id || el.className || el.textContent.trim(), ...box(el) }));
    return { picture: box(document.getElementById('canvas')), controls, width: innerWidth, height: innerHeight };
  });
}
// What is wrong with a layout: a control on the picture or off the screen, and on a touch
// screen one smaller than a finger (44x44 CSS px). Empty when all is well.
export function layoutFaults(layout, touch) {
  const p = layout.picture;
  const faults = [];
  for (const c of layout.controls) {
    const size = `${c.name} ${c.w.toFixed(1)}x${c.h.toFixed(1)} at ${c.x.toFixed(1)},${c.y.toFixed(1)}`;
    if (touch && (c.w < 44 || c.h < 44)) faults.push(`${size}: smaller than a finger`);
    if (c.x < p.x + p.w - 0.5 && c.x + c.w > p.x + 0.5 && c.y < p.y + p.h - 0.5 && c.y + c.h > p.y + 0.5)
      faults.push(`${size}: on the picture`);
    if (c.x < -0.5 || c.y < -0.5 || c.x + c.w > layout.width + 0.5 || c.y + c.h > layout.height + 0.5)
      faults.push(`${size}: off the screen`);
  }
  return faults;
}

// Every size from 640x360 to 2560x1440, either way up: no control on the picture (and on
// a touch screen each a finger's size).
export async function everySize(page, touch, what) {
  const faults = [];
  for (const [w, h] of [[640, 360], [360, 640], [844, 390], [1024, 768], [1280, 800], [2560, 1440], [1440, 2560]]) {
    await page.setViewportSize({ width: w, height: h });
    await page.waitForFunction(([x, y]) => innerWidth === x && innerHeight === y, [w, h]);
    await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    faults.push(...layoutFaults(await layoutOf(page), touch).map((f) => `${w}x${h}: ${f}`));
  }
  check(`${what}: at every size from 640x360 to 2560x1440, either way up, no control on the picture`,
        faults.length === 0, faults.join('; '));
}

let failures = 0;
let passes = 0;

// One check's line; the counts go to finish().
export function check(what, ok, detail = '') {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${!ok && detail ? ': ' + detail : ''}`);
  if (ok) passes += 1;
  else failures += 1;
}

// Where the first difference of two texts is, for a failure message.
export function firstDifference(a, b) {
  const x = (a || '').split('\n'), y = (b || '').split('\n');
  for (let i = 0; i < Math.max(x.length, y.length); ++i) {
    if (x[i] !== y[i]) return `line ${i + 1}: page '${x[i]}' / headless '${y[i]}'`;
  }
  return '';
}

// The pictures of two PNG files, decoded by the browser without any colour conversion;
// the number of pixels that differ, or a message when the sizes do.
export async function comparePng(page, pngA, pngB) {
  return page.evaluate(async ([a, b]) => {
    async function pixels(base64) {
      const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
      const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
                                             { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
      const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
      const c = canvas.getContext('2d');
      c.drawImage(bitmap, 0, 0);
      return { w: bitmap.width, h: bitmap.height, data: c.getImageData(0, 0, bitmap.width, bitmap.height).data };
    }
    const [p, q] = [await pixels(a), await pixels(b)];
    if (p.w !== q.w || p.h !== q.h) return `sizes ${p.w}x${p.h} and ${q.w}x${q.h}`;
    let differ = 0;
    for (let i = 0; i < p.data.length; i += 4) {
      if (p.data[i] !== q.data[i] || p.data[i + 1] !== q.data[i + 1] || p.data[i + 2] !== q.data[i + 2]) ++differ;
    }
    return differ;
  }, [pngA.toString('base64'), pngB.toString('base64')]);
}

// The scene and other fields of the trace's last line, on a page run with ?trace.
export async function lastTraceLine(page) {
  const lines = ((await page.evaluate(() => window.zumbleTrace && window.zumbleTrace())) || '').trimEnd().split('\n');
  return lines[lines.length - 1] || '';
}
export function traceField(line, key) {
  const m = new RegExp(`(?:^| )${key}=([^ ]*)`).exec(line);
  return m ? m[1] : null;
}
export async function waitForScene(page, scene, timeout = 20000) {
  const deadline = Date.now() + timeout;
  let now = null;
  while (Date.now() < deadline && (now = traceField(await lastTraceLine(page), 'scene')) !== String(scene)) {
    await page.waitForTimeout(100);
  }
  return now === String(scene);
}

// The closing line in the form every runner's summary takes, and the exit status.
export function finish() {
  console.log(`browser: ${passes} passed, ${failures} failed`);
  process.exit(failures ? 1 : 0);
}

// The page's folder and the native game from the command line, or the usage and exit 2.
export function siteAndGame(program) {
  const [site, zumble] = process.argv.slice(2).map((p) => path.resolve(p));
  if (!site || !zumble || !fs.existsSync(path.join(site, 'index.html'))) {
    console.error(`usage: node ${program} SITE_FOLDER ZUMBLE_BINARY (build the page with make web)`);
    process.exit(2);
  }
  return [site, zumble];
}

// Runs each test of `withContext` in one shared desktop browser (800x600, no touch), then
// each of `alone`, which opens its own; a test that throws fails by its name. Then the
// summary, and the exit status.
export async function runTests(withContext, alone = []) {
  const context = await launch({ width: 800, height: 600 }, { hasTouch: false });
  try {
    for (const test of withContext) {
      try {
        await test(context);
      } catch (e) {
        check(test.name, false, e.stack || String(e));
      }
    }
  } finally {
    await context.close();
  }
  for (const test of alone) {
    try {
      await test();
    } catch (e) {
      check(test.name, false, e.stack || String(e));
    }
  }
  finish();
}
