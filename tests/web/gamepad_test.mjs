// Gamepads in the page, in headless Chromium, through a mocked navigator.getGamepads()
// (a pad without the "standard" layout, as the Gamepad API may give one): the page says
// that a pad shows up at its first button press, and says when one has; a pad at rest
// moves nothing; the test steers the stick from the trace through a whole 10-fly round
// to the results board and back, and the round's replay verifies in the native game to
// the page's best time. Then the settings panel: it opens without changing the picture's
// size, its speed takes effect at once and is kept across a reload; damaged kept
// settings give the defaults; on a phone held sideways it waits behind "?".
// Usage: node gamepad_test.mjs build-web/site build/zumble
import fs from 'node:fs';
import path from 'node:path';
import { check, finish, launch, runNative, scratch, serve, traceField, waitForScene } from './harness.mjs';

const [site, zumble] = process.argv.slice(2).map((p) => path.resolve(p));
if (!site || !zumble || !fs.existsSync(path.join(site, 'index.html'))) {
  console.error('usage: node gamepad_test.mjs SITE_FOLDER ZUMBLE_BINARY (build the page with make web)');
  process.exit(2);
}

// In the page before its scripts: getGamepads() reports window.testPad (null: no pad) in
// its second slot, as a browser may.
function mockGamepads() {
  window.testPad = null;
  navigator.getGamepads = () => [null, window.testPad];
  window.plugTestPad = () => {
    window.testPad = {
      id: 'Test pad', index: 1, connected: true, mapping: '', timestamp: 0, axes: [0, 0, 0, 0],
      buttons: Array.from({ length: 17 }, () => ({ pressed: false, touched: false, value: 0 })),
    };
    window.dispatchEvent(new Event('gamepadconnected'));
  };
}

let page;
// The trace's last line, read from the end of the file: the whole trace, read every few
// milliseconds, would slow the page down more and more as it grows.
async function lastLine() {
  return page.evaluate(() => {
    Module._ZumbleFlushLogs();
    const size = FS.stat('/trace.txt').size, at = Math.max(0, size - 2048);
    const bytes = new Uint8Array(size - at), stream = FS.open('/trace.txt', 'r');
    FS.read(stream, bytes, 0, bytes.length, at);
    FS.close(stream);
    const lines = new TextDecoder().decode(bytes).trimEnd().split('\n');
    return lines[lines.length - 1];
  });
}
const pair = (line, key) => (traceField(line, key) || '').split(',').map(Number);
const frameOf = (line) => Number(traceField(line, 'frame') || 0);
async function waitFrames(n) {
  const start = frameOf(await lastLine());
  const deadline = Date.now() + 20000;
  let line = '';
  while (Date.now() < deadline && frameOf(line = await lastLine()) < start + n) await page.waitForTimeout(5);
  return line;
}
async function stick(x, y) {
  await page.evaluate(([a, b]) => { window.testPad.axes[0] = a; window.testPad.axes[1] = b; }, [x, y]);
}
async function button(index, down) {
  await page.evaluate(([i, d]) => { window.testPad.buttons[i] = { pressed: d, touched: d, value: d ? 1 : 0 }; },
                      [index, down]);
}
const A = 0, B = 1, RB = 5, START = 9;
async function tap(index) {
  await button(index, true);
  await waitFrames(3);
  await button(index, false);
  await waitFrames(3);
}

// Steers the cursor to a point (or to what `goal(line)` gives) with the stick, a fifth of
// the way a frame (the trace it reads is a frame or two old); throws when it does not get there in time.
async function goTo(goal, near = 2, timeout = 20000) {
  const deadline = Date.now() + timeout;
  while (Date.now() < deadline) {
    const line = await lastLine();
    const target = typeof goal === 'function' ? goal(line) : goal;
    const [cx, cy] = pair(line, 'cursor');
    if (!target || Number.isNaN(cx)) { await page.waitForTimeout(10); continue; }
    const dx = target[0] - cx, dy = target[1] - cy, d = Math.hypot(dx, dy);
    if (Math.abs(dx) <= near && Math.abs(dy) <= near) { await stick(0, 0); return line; }
    const share = Math.min(10, Math.max(0.6, d / 5)) / 10;  // of 10 px a frame at full tilt
    const tilt = Math.min(1, 0.08 + share * 0.92 + 0.002);
    await stick(tilt * dx / d, tilt * dy / d);
    await page.waitForTimeout(10);
  }
  await stick(0, 0);
  throw new Error(`the cursor did not reach ${goal}: ${await lastLine()}`);
}

// The cursor's pixels a frame with the stick held full right, from x = 100.
async function pixelsPerFrame() {
  await goTo([100, 240]);
  await stick(1, 0);
  const first = await waitFrames(3);
  const last = await waitFrames(12);
  await stick(0, 0);
  await waitFrames(3);
  return (pair(last, 'cursor')[0] - pair(first, 'cursor')[0]) / (frameOf(last) - frameOf(first));
}

async function padRound(server) {
  await page.goto(server.url + '?trace');
  check('the page is on the title', await waitForScene(page, 2));
  const note = await page.locator('#pad-note').textContent();
  check('the help says a pad shows up once one of its buttons is pressed',
        await page.locator('#pad-settings summary').isVisible() && /press one of its buttons first/.test(note), note);
  const before = pair(await waitFrames(5), 'cursor');
  await page.evaluate(() => window.plugTestPad());
  const after = pair(await waitFrames(30), 'cursor');
  check(`a pad at rest moves nothing (${before} then ${after})`, String(before) === String(after));
  check('the page says the pad is ready', /Gamepad ready/.test(await page.locator('#status').textContent()));

  await goTo([300, 300]);
  await tap(A);
  check('A on the start entry leads to mode select', await waitForScene(page, 5));
  const x0 = pair(await waitFrames(2), 'cursor')[0];
  await button(15, true);  // the d-pad's right
  await waitFrames(2);
  await button(15, false);
  const x1 = pair(await waitFrames(2), 'cursor')[0];
  check(`a d-pad press moves one pixel (${x0} to ${x1})`, x1 === x0 + 1);
  const fast = await pixelsPerFrame();
  await button(RB, true);
  const slow = await pixelsPerFrame();
  await button(RB, false);
  check(`full tilt moves 10 px a frame (${fast}), the right shoulder held about a third (${slow})`,
        Math.abs(fast - 10) < 0.5 && Math.abs(slow - 3.3) < 0.5);
  for (const point of [[120, 80], [120, 200], [320, 320]]) {
    await goTo(point);
    await tap(A);
  }
  check('A on start begins a round of ten flies', await waitForScene(page, 8) &&
        traceField(await lastLine(), 'target') === '10');
  const divisor = Number(traceField(await lastLine(), 'divisor'));
  await tap(START);
  check(`Start makes the flies come faster (divisor ${divisor})`,
        Number(traceField(await lastLine(), 'divisor')) < divisor);

  const aim = (line) => {
    const fly = pair(line, 'fly');
    return fly.length === 2 && !Number.isNaN(fly[0])
      ? [Math.max(0, Math.min(639, fly[0] + 1)), Math.max(0, Math.min(479, fly[1] + 1))] : null;
  };
  const deadline = Date.now() + 240000;
  while (Date.now() < deadline && Number(traceField(await lastLine(), 'phase')) < 2) {
    try {
      await goTo(aim, 8, 5000);
    } catch (e) {
      continue;
    }
    await tap(A);
  }
  const board = await lastLine();
  check(`the round ends on the results board: ${board.replace(/ debris.*/, '')}`,
        traceField(board, 'scene') === '8' && Number(traceField(board, 'phase')) >= 2 &&
        traceField(board, 'swatted') === '10');
  for (const until = Date.now() + 20000; Date.now() < until && traceField(await lastLine(), 'phase') !== '3';) {
    await page.waitForTimeout(50);  // the board takes clicks after a moment
  }
  await tap(A);
  check('A leaves the board for mode select', await waitForScene(page, 5));

  const bytes = Buffer.from(Object.values(await page.evaluate(() => window.zumbleFile('replays/last.zrp')) || {}));
  const save = Buffer.from(Object.values(await page.evaluate(() => window.zumbleSave()) || {}));
  const best = save.length >= 16 ? save.readInt32LE(12) : -1;  // 10 flies at speed 1: the first time
  const dir = scratch('zumble-pad-');
  fs.writeFileSync(path.join(dir, 'pad.zrp'), bytes);
  const verified = runNative(zumble, ['--verify', path.join(dir, 'pad.zrp')]);
  check(`the pad round's replay verifies natively to the page's best time ${best} ms`,
        new RegExp(`^ok flies=10 speed=1 time_ms=${best} frames=\\d+ round=[0-9a-f]{64} played=\\d+ program=\\S+ autoplay=0 touch=0 pad=1 signs=\\S+ keys=\\d+ swats=[0-9a-f]{64} swat_frames=[A-Za-z0-9_-]+\n$`).test(verified.stdout) && verified.code === 0,
        verified.stdout + verified.stderr);
  await tap(B);
  check('B (Escape) leads back to the title', await waitForScene(page, 2));
}

async function settingsPanel(server) {
  const box = await page.locator('#canvas').boundingBox();
  await page.locator('#pad-settings summary').click();
  check('the settings panel opens', await page.locator('#pad-speed').isVisible());
  check('and leaves the picture as it was', JSON.stringify(await page.locator('#canvas').boundingBox()) ===
        JSON.stringify(box));
  await page.locator('#pad-speed').fill('1200');
  check('the panel shows the new speed', (await page.locator('#pad-speed-value').textContent()) === '1200');
  check('the new speed plays at once: 20 px a frame', Math.abs(await pixelsPerFrame() - 20) < 0.5);

  await page.reload();
  await waitForScene(page, 2);
  await page.evaluate(() => window.plugTestPad());
  check('the speed is kept across a reload', await page.locator('#pad-speed').inputValue() === '1200' &&
        Math.abs(await pixelsPerFrame() - 20) < 0.5);

  await page.evaluate(() => localStorage.setItem('zumble-pad', '{"speed": 9000, "deadZone": "8", "precision": 50}'));
  await page.reload();
  await waitForScene(page, 2);
  await page.evaluate(() => window.plugTestPad());
  check('kept settings out of their limits give the defaults, the good ones stay',
        await page.locator('#pad-speed').inputValue() === '600' &&
        await page.locator('#pad-precision').inputValue() === '50' &&
        Math.abs(await pixelsPerFrame() - 10) < 0.5);
}

// A phone held sideways: the settings wait behind "?", and using them keeps the help open.
async function phoneSettings(server) {
  const phone = await launch({ width: 844, height: 390 }, { deviceScaleFactor: 3, isMobile: true });
  try {
    const p = (await phone.pages())[0] || await phone.newPage();
    await p.goto(server.url);
    await p.waitForFunction(() => window.Module && window.Module.calledRun, null, { timeout: 20000 });
    check('phone: the gamepad settings are hidden until "?"', !(await p.locator('#pad-settings summary').isVisible()));
    await p.locator('#help').tap();
    await p.locator('#pad-settings summary').tap();
    await p.locator('#pad-precision').tap();
    check('phone: "?" shows them, and a tap on a slider keeps the help open',
          await p.locator('#howto').isVisible() && await p.locator('#pad-precision').isVisible());
  } finally {
    await phone.close();
  }
}

const context = await launch({ width: 1024, height: 768 }, { hasTouch: false });  // a desktop: mouse and keys
const server = await serve(site);
try {
  page = await context.newPage();
  await page.addInitScript(mockGamepads);
  for (const test of [padRound, settingsPanel, phoneSettings]) {
    try {
      await test(server);
    } catch (e) {
      check(`${test.name} ran to its end`, false, e.stack || String(e));
    }
  }
} finally {
  await context.close();
  await server.close();
}
finish();
