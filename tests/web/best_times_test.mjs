// Best times and the history in the page: a best time set by the test player is kept in
// IndexedDB across a reload, and kept when the tab is closed as soon as the board shows
// it; without IndexedDB the page says once that best times will not be kept; three
// rounds, finished or left, are three points in the Progress chart.
// Usage: node best_times_test.mjs build-web/site build/zumble
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  check, comparePng, everySize, firstDifference, lastTraceLine, launch, layoutFaults, layoutOf, repoRoot,
  runNative, runTests, scratch, serve, serveWithFaults, siteAndGame, traceField, waitForEnd, waitForScene,
} from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = siteAndGame('best_times_test.mjs');

// 3. The test player clears a round of ten flies; the best time is in the mode's first
// row, in the same file as the headless run's, and still there after a reload.
async function keptBestTime(context) {
  const script = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');
  const frames = 3000;
  const native = runNative(zumble, ['--autoplay', '--frames', String(frames), '--time', '42', '--script', 'play.txt',
                                    '--trace', 'trace.txt'], { 'play.txt': script });
  check('headless ten-fly round exits 0', native.code === 0, native.stderr);
  const nativeSave = fs.readFileSync(path.join(native.dir, 'hiscoa.sav'));
  const server = await serve(site, { 'play.txt': script });
  const page = await context.newPage();
  try {
    await page.goto(server.url + `?script=play.txt&autoplay&timedemo&frames=${frames}&time=42`);
    const end = await waitForEnd(page, 120000);
    check('the autoplayed page run ends with code 0', end.code === 0, JSON.stringify(end));
    const saved = Buffer.from(Object.values(await page.evaluate(() => window.zumbleSave()) || {}));
    const row1 = saved.length >= 36 ? saved.readInt32LE(12 + 4 * 5) : -1;
    const nativeRow1 = nativeSave.readInt32LE(12 + 4 * 5);
    check(`the page's hiscoa.sav equals the headless one (best time ${nativeRow1} ms)`,
          saved.equals(nativeSave) && nativeRow1 > 0 && nativeRow1 < 3599999, `page ${row1}, headless ${nativeRow1}`);
    await page.goto(server.url);
    await page.waitForFunction(() => window.Module && window.Module.calledRun, null, { timeout: 20000 });
    const again = Buffer.from(Object.values(await page.evaluate(() => window.zumbleSave()) || {}));
    check('after a reload the best time is still in the first row of the ten-fly mode',
          again.length === saved.length && again.readInt32LE(12 + 4 * 5) === nativeRow1, `${again.length} bytes`);
  } finally {
    await page.close();
    server.close();
  }
}

// 7. A new best time is stored as soon as the board shows it: the tab closed at that
// moment keeps it. IndexedDB is slowed down here (each write commits half a second late),
// so the page must wait for the write before it shows the board, as a real disk may take.
async function recordKeptWhenClosedOnBoard(context) {
  const script = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');
  const native = runNative(zumble, ['--autoplay', '--frames', '3000', '--time', '42', '--script', 'play.txt'],
                           { 'play.txt': script });
  const nativeRow1 = fs.readFileSync(path.join(native.dir, 'hiscoa.sav')).readInt32LE(12 + 4 * 5);
  const server = await serve(site, { 'play.txt': script });
  const page = await context.newPage();
  await page.addInitScript(() => {
    const put = IDBObjectStore.prototype.put;
    IDBObjectStore.prototype.put = function (...args) {
      // Requests kept going on the same transaction hold its commit back.
      const store = this, until = performance.now() + 500;
      const hold = () => { if (performance.now() < until) store.count().onsuccess = hold; };
      hold();
      return put.apply(this, args);
    };
  });
  let closed = false;
  try {
    await page.goto(server.url + '?script=play.txt&autoplay&trace&time=42');
    await page.waitForFunction(() => / scene=8 .* phase=2 /.test((window.zumbleTrace && window.zumbleTrace()) || ''), null,
                               { timeout: 120000, polling: 10 });
    await page.close();
    closed = true;
    const again = await context.newPage();
    try {
      await again.goto(server.url);
      await again.waitForFunction(() => window.Module && window.Module.calledRun, null, { timeout: 20000 });
      const kept = Buffer.from(Object.values(await again.evaluate(() => window.zumbleSave()) || {}));
      check(`a best time (${nativeRow1} ms) is kept when the tab is closed as the board shows it`,
            kept.length === 332 && kept.readInt32LE(12 + 4 * 5) === nativeRow1,
            kept.length === 332 ? `first row ${kept.readInt32LE(12 + 4 * 5)}` : `${kept.length} bytes kept`);
    } finally {
      await again.close();
    }
  } finally {
    if (!closed) await page.close();
    server.close();
  }
}

// 8. Without IndexedDB (private browsing in some browsers: none at all, or one that
// refuses to open) the page says once that best times will not be kept, and the game
// plays a round and ends as usual.
async function withoutIndexedDB(context) {
  const script = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');
  const ways = {
    'no IndexedDB': () => {
      for (const name of ['indexedDB', 'webkitIndexedDB']) {
        Object.defineProperty(window, name, { get: () => undefined, configurable: true });
      }
    },
    'an IndexedDB that refuses to open': () => {
      IDBFactory.prototype.open = () => { throw new DOMException('storage is off', 'InvalidStateError'); };
    },
  };
  for (const [way, blocker] of Object.entries(ways)) {
    const server = await serve(site, { 'play.txt': script });
    const page = await context.newPage();
    const said = [];
    page.on('console', (m) => { if (/saved files|IndexedDB/.test(m.text())) said.push(m.text()); });
    await page.addInitScript(blocker);
    try {
      await page.goto(server.url + '?script=play.txt&autoplay&timedemo&frames=3000&time=42&trace');
      await page.waitForFunction(() => / scene=2 /.test((window.zumbleTrace && window.zumbleTrace()) || ''), null, { timeout: 20000 });
      const status = await page.locator('#status').textContent();
      check(`${way}: the page says that best times will not be kept`, /best times will not be kept/i.test(status),
            status);
      const end = await waitForEnd(page, 120000);
      check(`${way}: a round is played and the run ends with code 0`, end.code === 0 &&
            / scene=8 .* phase=2 /.test(await page.evaluate(() => (window.zumbleTrace && window.zumbleTrace()))), JSON.stringify(end));
      check(`${way}: it is said once, not at every save`, said.length === 1, JSON.stringify(said));
    } finally {
      await page.close();
      server.close();
    }
  }
}

// 11. Progress: a round the test player finishes and two left by Escape are three points
// in the Progress panel's chart of their mode, named in the game's words: the finished
// one at the native game's time, the left ones apart, with a line for the best so far.
// Enter in the second round changes its pace: its line says keys=1, its mark is a square
// that says so, and the mode's line counts it.
async function progressChart(context) {
  const first = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');
  const alone = runNative(zumble, ['--autoplay', '--frames', '1200', '--time', '77', '--script', 'play.txt',
                                   '--trace', 'trace.txt'], { 'play.txt': first });
  const lines = fs.readFileSync(path.join(alone.dir, 'trace.txt'), 'utf8').split('\n');
  const board = lines.findIndex((l) => / scene=8 .* phase=2 /.test(l));
  const back = lines.findIndex((l, i) => i > board && / scene=5 /.test(l)) + 1;  // the frame at mode select
  check(`the test player's round ends back at mode select (frame ${back})`, board > 0 && back > board);
  const script = first + [back + 5, back + 40, back + 70, back + 100].map((f, i) =>
    i % 2 ? `${f} key escape` : `${f - 1} move 320 320\n${f} click` + (i ? '' : `\n${f + 15} key return`)).join('\n') + '\n';
  const frames = back + 130;
  const native = runNative(zumble, ['--autoplay', '--frames', String(frames), '--time', '77', '--script', 'play.txt'],
                           { 'play.txt': script });
  const history = fs.readFileSync(path.join(native.dir, 'history.txt'), 'utf8').trim().split('\n');
  const time = Number((/ time_ms=(\d+) /.exec(history[0]) || [])[1]);
  check(`natively the three rounds are three lines of history, the first finished in ${time} ms`,
        history.length === 3 && time > 0 && history.slice(1).every((l) => / time_ms=left /.test(l)), history.join('\n'));
  check('natively Enter changed the second round\'s pace, and only its',
        history.map((l) => (/ keys=(\d+)$/.exec(l) || [])[1]).join() === '0,1,0', history.join('\n'));
  const server = await serve(site, { 'play.txt': script });
  const page = await context.newPage();
  try {
    await page.goto(server.url + `?script=play.txt&autoplay&timedemo&frames=${frames}&time=77`);
    const end = await waitForEnd(page, 120000);
    check('the page plays the three rounds to the end', end.code === 0, JSON.stringify(end));
    await page.click('#progress-button');
    const chart = await page.evaluate(() => {
      const panel = document.getElementById('progress');
      const titles = (selector) => Array.from(panel.querySelectorAll(selector)).map((e) => e.textContent);
      return { shown: !panel.hidden, modes: titles('section .facts'), points: titles('svg .point'),
               left: panel.querySelectorAll('svg .point.left').length,
               paced: titles('svg rect.point.paced'),
               best: Array.from(panel.querySelectorAll('svg polyline.best')).map((e) => e.getAttribute('points')) };
    });
    const seconds = `${Math.floor(time / 1000)}.${String(time % 1000).padStart(3, '0')} s`;
    check(`the Progress panel has one chart, its mode in the game's words (${chart.modes.join(' | ')})`,
          chart.shown && chart.modes.length === 1 &&
          /^10 flies, NORMAL · 3 rounds \(2 left\) · 1 with the pace changed · best /.test(chart.modes[0]));
    check(`the chart shows three points, the finished round's at ${seconds}, two left (${chart.points.join(' | ')})`,
          chart.points.length === 3 && chart.left === 2 && chart.points[0].endsWith(': ' + seconds) &&
          /: left after \d+ of 10 flies, pace changed with Enter or Space$/.test(chart.points[1]) &&
          /: left after \d+ of 10 flies$/.test(chart.points[2]));
  check(`the second round's mark alone is a square (${chart.paced.join(' | ')})`,
        chart.paced.length === 1 && chart.paced[0] === chart.points[1]);
    check(`and a best-so-far line (${chart.best.join(' | ')})`,
          chart.best.length === 1 && chart.best[0].trim().split(' ').length === 2);
  } finally {
    await page.close();
    server.close();
  }
}

await runTests([keptBestTime, recordKeptWhenClosedOnBoard, withoutIndexedDB, progressChart], []);
