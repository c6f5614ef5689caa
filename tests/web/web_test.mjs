// The browser build end to end, in headless Chromium against a local server:
//   1. a scripted run gives the trace, sound log and last picture of the same headless run;
//   2. real clicks on the scaled canvas lead through the scenes, and start the sound;
//   3. a best time set by the test player is kept in IndexedDB across a reload;
//   4. a 144 Hz display runs the game at 60 frames a second, a hidden tab holds it;
//   5. replays: the page's round is the native game's replay, which verifies natively; a
//      replay given by address or opened as a file plays in the page to its result.
// Usage: node web_test.mjs build-web/site build/zumble
import fs from 'node:fs';
import path from 'node:path';
import { launch, repoRoot, runNative, serve, waitForEnd } from './harness.mjs';

const [site, zumble] = process.argv.slice(2).map((p) => path.resolve(p));
if (!site || !zumble || !fs.existsSync(path.join(site, 'index.html'))) {
  console.error('usage: node web_test.mjs SITE_FOLDER ZUMBLE_BINARY (build the page with make web)');
  process.exit(2);
}

let failures = 0;
let passes = 0;
function check(what, ok, detail = '') {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${!ok && detail ? ': ' + detail : ''}`);
  if (ok) passes += 1;
  else failures += 1;
}

// Where the first difference of two texts is, for a failure message.
function firstDifference(a, b) {
  const x = (a || '').split('\n'), y = (b || '').split('\n');
  for (let i = 0; i < Math.max(x.length, y.length); ++i) {
    if (x[i] !== y[i]) return `line ${i + 1}: page '${x[i]}' / headless '${y[i]}'`;
  }
  return '';
}

// The pictures of two PNG files, decoded by the browser without any colour conversion;
// the number of pixels that differ, or a message when the sizes do.
async function comparePng(page, pngA, pngB) {
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

// 1. A 30-fly round reached through the title and mode select, a few swings, Escape back
// to mode select and a second round, ended by frames=N in the middle of it. The page runs
// at its own pace on the animation frames; the virtual clock makes it the headless run.
async function scriptedRun(context) {
  const frames = 320;
  const script = [
    '# title -> mode select -> a round of 30 flies',
    '0 move 300 300', '3 click', '20 move 320 320', '22 click',
    '60 move 200 200', '61 click', '90 move 400 150', '91 click',
    '120 move 320 240', '121 down', '124 up', '130 key return', '131 key return',
    '150 key escape',
    '# mode select again, then a second round',
    '190 move 320 320', '192 click', '260 move 100 400', '261 click', '300 key space',
    '# the page writes its shots with its own PNG writer',
    `${frames} shot last.png`, '',
  ].join('\n');
  const options = ['--frames', String(frames), '--time', '1234567', '--tick0', '5000',
                   '--trace', 'trace.txt', '--sound-log', 'sound.txt', '--script', 'script.txt'];
  const native = runNative(zumble, options, { 'script.txt': script });
  check('headless run exits 0', native.code === 0, native.stderr);

  const server = await serve(site, { 'round.txt': script, 'bad.txt': '0 move 300 300\n3 clik\n' });
  const page = await context.newPage();
  await page.setViewportSize({ width: 800, height: 600 });  // the canvas at 1x
  try {
    await page.goto(server.url + `?script=round.txt&frames=${frames}&time=1234567&tick0=5000&trace&sound-log`);
    const end = await waitForEnd(page, 60000);
    check('scripted page run ends with code 0', end.code === 0, JSON.stringify(end));
    const box = await page.locator('#canvas').boundingBox();
    check('the canvas is shown at 640x480', box.width === 640 && box.height === 480, JSON.stringify(box));
    const trace = await page.evaluate(() => window.zumbleTrace());
    const nativeTrace = fs.readFileSync(path.join(native.dir, 'trace.txt'), 'utf8');
    check(`trace of ${frames} frames equals the headless one byte for byte`,
          trace === nativeTrace && nativeTrace.split('\n').length === frames + 1, firstDifference(trace, nativeTrace));
    check('the trace reaches a 30-fly round, mode select and the round again',
          /scene=8 .*target=30 /.test(trace) && / scene=5 /.test(trace.split('\n').slice(150, 190).join('\n')) &&
          / scene=8 /.test(trace.split('\n')[frames - 1]));
    const sound = await page.evaluate(() => window.zumbleSoundLog());
    const nativeSound = fs.readFileSync(path.join(native.dir, 'sound.txt'), 'utf8');
    check('sound log equals the headless one byte for byte', sound === nativeSound && /op=play/.test(sound),
          firstDifference(sound, nativeSound));
    const shot = await page.locator('#canvas').screenshot();
    const differ = await comparePng(page, shot, fs.readFileSync(path.join(native.dir, 'last.png')));
    check(`the canvas at the end equals the headless shot of frame ${frames}`, differ === 0, `${differ} pixels differ`);
    const pageShot = Buffer.from(Object.values(await page.evaluate(() => window.zumbleFile('last.png')) || {}));
    const shotDiffer = pageShot.length ? await comparePng(page, pageShot, fs.readFileSync(path.join(native.dir, 'last.png')))
                                       : 'no shot';
    check("the page's own shot equals the headless one pixel for pixel", shotDiffer === 0, String(shotDiffer));
    const ended = await page.locator('#status').textContent();
    check('the page says the game has ended and offers another',
          /ended/.test(ended) && await page.locator('#again').isVisible(), ended);
    // Bad input is refused with one line on the page, as on the command line.
    for (const [query, message] of [['?script=bad.txt', /^script line 2: unknown verb 'clik'/],
                                    ['?script=../bad.txt', /script= wants a file in the page's folder/],
                                    ['?frames=0', /--frames wants a positive whole number/],
                                    ['?window', /takes no option 'window'/]]) {
      await page.goto(server.url + query);
      const refused = await waitForEnd(page, 20000);
      const said = await page.locator('#status').textContent();
      check(`${query} is refused with code 2 and says why`, refused.code === 2 && message.test(said), said);
    }
  } finally {
    await page.close();
    server.close();
  }
}

// 2. The real mouse on a canvas scaled 2x: title -> mode select -> round -> Escape back to
// mode select -> its back button to the title. The sound starts with the first click.
async function clickedRun(context) {
  const server = await serve(site);
  const page = await context.newPage();
  await page.setViewportSize({ width: 1400, height: 1100 });
  try {
    await page.goto(server.url + '?trace');
    const sceneOf = async () => {
      const lines = (await page.evaluate(() => window.zumbleTrace())) || '';
      const last = lines.trimEnd().split('\n').pop() || '';
      const m = / scene=(\d+) /.exec(last);
      return m ? Number(m[1]) : -1;
    };
    const waitScene = async (scene, what) => {
      const deadline = Date.now() + 20000;
      let now = -1;
      while (Date.now() < deadline && (now = await sceneOf()) !== scene) await page.waitForTimeout(100);
      check(what, now === scene, `scene ${now}, wanted ${scene}`);
    };
    await waitScene(2, 'the page shows the title');
    const before = await page.evaluate(() => window.zumbleAudioState());
    check('no sound before the first click', before.state === 'suspended' && before.fed === 0, JSON.stringify(before));

    const box = await page.locator('#canvas').boundingBox();
    check('the canvas is scaled 2x', box.width === 1280 && box.height === 960, JSON.stringify(box));
    const click = async (x, y) => {
      await page.mouse.move(box.x + (x + 0.5) * box.width / 640, box.y + (y + 0.5) * box.height / 480);
      await page.waitForTimeout(100);
      await page.mouse.down();
      await page.waitForTimeout(50);
      await page.mouse.up();
    };
    await click(300, 300);
    await waitScene(5, 'a click on start leads to mode select');
    const trace = await page.evaluate(() => window.zumbleTrace());
    check('the cursor is at the clicked game pixel', /cursor=300,300/.test(trace));
    await page.waitForFunction(() => {
      const a = window.zumbleAudioState();
      return a.state === 'running' && a.fed > 0 && a.loud > 0;
    }, null, { timeout: 10000 }).then(() => check('the first click starts the sound and the mix plays', true),
                                      () => check('the first click starts the sound and the mix plays', false));
    const audio = await page.evaluate(() => window.zumbleAudioState());
    check('the sound goes through an AudioWorklet', audio.worklet, JSON.stringify(audio));
    await click(320, 320);
    await waitScene(8, 'start on mode select begins a round');
    await page.keyboard.press('Escape');
    await waitScene(5, 'Escape leaves the round for mode select');
    // A tap is a click, as on a phone.
    await page.touchscreen.tap(box.x + 300.5 * box.width / 640, box.y + 400.5 * box.height / 480);
    await waitScene(2, 'a tap on the back button leads to the title');
    await page.click('#fullscreen');
    const placement = () => {
      const r = document.getElementById('canvas').getBoundingClientRect();
      return { full: !!document.fullscreenElement, top: r.top, bottom: innerHeight - r.bottom, w: r.width };
    };
    await page.waitForFunction((f) => { const p = eval(f)(); return p.full && Math.abs(p.top - p.bottom) <= 1; },
                               `(${placement})`, { timeout: 5000 }).catch(() => {});
    const full = await page.evaluate(placement);
    check('the button shows the game full screen, the picture in the middle',
          full.full && Math.abs(full.top - full.bottom) <= 1 && full.w % 640 === 0, JSON.stringify(full));
    await page.keyboard.press('Alt+Enter');
    await page.waitForFunction(() => !document.fullscreenElement, null, { timeout: 5000 })
      .then(() => check('Alt+Enter leaves full screen', true), () => check('Alt+Enter leaves full screen', false));
    await page.keyboard.press('Escape');
    const end = await waitForEnd(page, 20000);
    check('Escape on the title ends the game', end.code === 0, JSON.stringify(end));
    const errorLog = await page.evaluate(() => window.zumbleErrorLog && window.zumbleErrorLog());
    check('error.txt is written at the end', /Not Erorr/.test(errorLog || ''), errorLog);
  } finally {
    await page.close();
    server.close();
  }
}

// 4. On a 144 Hz display the game still runs one frame per 1/60 s; a hidden tab (no
// animation frames) holds the game, which then goes on and still answers clicks. The
// display is a stand-in for the browser's animation frames at 144 Hz.
async function fastDisplayAndHiddenTab(context) {
  const server = await serve(site);
  const page = await context.newPage();
  await page.addInitScript(() => {
    window.fakeDisplay = { hidden: false, waiting: [] };
    setInterval(() => {
      if (window.fakeDisplay.hidden) return;
      const now = performance.now(), waiting = window.fakeDisplay.waiting;
      window.fakeDisplay.waiting = [];
      waiting.forEach((f) => f(now));
    }, 1000 / 144);
    window.requestAnimationFrame = (f) => { window.fakeDisplay.waiting.push(f); return 1; };
    Object.defineProperty(document, 'hidden', { get: () => window.fakeDisplay.hidden });
    Object.defineProperty(document, 'visibilityState',
                          { get: () => (window.fakeDisplay.hidden ? 'hidden' : 'visible') });
  });
  try {
    await page.goto(server.url + '?trace');
    const lastLine = async () => {
      const lines = ((await page.evaluate(() => window.zumbleTrace())) || '').trimEnd().split('\n');
      const m = /^frame=(\d+) tick=(\d+) scene=(\d+) /.exec(lines[lines.length - 1]);
      return m ? { frame: Number(m[1]), tick: Number(m[2]), scene: Number(m[3]) } : { frame: 0, tick: 0, scene: -1 };
    };
    await page.waitForFunction(() => (window.zumbleTrace() || '').split('\n').length > 10, null, { timeout: 20000 });
    const a = await lastLine();
    await page.waitForTimeout(1500);
    const b = await lastLine();
    // A busy machine can only make frames slower; at 144 Hz unpaced they would take 7 ms.
    const msPerFrame = (b.tick - a.tick) / Math.max(1, b.frame - a.frame);
    check(`at 144 Hz a game frame still takes 1/60 s (${msPerFrame.toFixed(1)} ms)`, msPerFrame >= 15,
          JSON.stringify([a, b]));
    await page.evaluate(() => { window.fakeDisplay.hidden = true; document.dispatchEvent(new Event('visibilitychange')); });
    await page.waitForTimeout(200);
    const c = await lastLine();
    await page.waitForTimeout(1000);
    const d = await lastLine();
    check('a hidden tab holds the game', c.frame === d.frame, JSON.stringify([c, d]));
    await page.evaluate(() => { window.fakeDisplay.hidden = false; document.dispatchEvent(new Event('visibilitychange')); });
    await page.waitForTimeout(500);
    const e = await lastLine();
    check('shown again the game goes on', e.frame > d.frame + 5, JSON.stringify([d, e]));
    const box = await page.locator('#canvas').boundingBox();
    await page.mouse.click(box.x + 300.5 * box.width / 640, box.y + 300.5 * box.height / 480);
    await page.waitForFunction(() => / scene=5 /.test(window.zumbleTrace() || ''), null, { timeout: 10000 })
      .then(() => check('after the tab came back a click still leads to mode select', true),
            () => check('after the tab came back a click still leads to mode select', false));
  } finally {
    await page.close();
    server.close();
  }
}

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

// The round lines of two traces (from the flip that ends the start click's frame on),
// without the frame counter: a replay starts from a fresh process.
function roundLines(trace, frames) {
  const lines = (trace || '').split('\n');
  const start = lines.findIndex((l) => / scene=6 next=7 /.test(l));
  return start < 0 ? '' : lines.slice(start, start + frames).map((l) => l.replace(/^frame=\d+ /, '')).join('\n');
}

// 5. Replays. The test player's round in the page leaves the native game's replay (the
// same bytes), with a link to download it; that replay verifies natively to the page's
// best time. A corpus replay given as ?replay=URL, and one opened as a file, play in the
// page to the result `zumble --verify` gives, frame for frame as the native replay.
async function replays(context) {
  const script = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');
  const frames = 1200;
  const native = runNative(zumble, ['--autoplay', '--frames', String(frames), '--time', '77', '--script', 'play.txt'],
                           { 'play.txt': script });
  check('headless round for the replay exits 0', native.code === 0, native.stderr);
  const nativeReplay = fs.readFileSync(path.join(native.dir, 'replays', 'last.zrp'));
  const corpus = path.join(repoRoot, 'tests', 'replays', '30-flies-speed-1.zrp');
  const server = await serve(site, { 'play.txt': script, 'corpus.zrp': fs.readFileSync(corpus) });
  const page = await context.newPage();
  try {
    await page.goto(server.url + `?script=play.txt&autoplay&timedemo&frames=${frames}&time=77`);
    const end = await waitForEnd(page, 120000);
    check('the page round ends with code 0', end.code === 0, JSON.stringify(end));
    const names = await page.evaluate(() => window.zumbleReplays());
    check('zumbleReplays() lists the kept replays', JSON.stringify(names) === '["best-10-2-1.zrp","last.zrp"]',
          JSON.stringify(names));
    const bytes = Buffer.from(Object.values(await page.evaluate(() => window.zumbleFile('replays/last.zrp')) || {}));
    check(`the page's replay is the native game's, byte for byte (${bytes.length} bytes)`,
          bytes.length > 64 && bytes.equals(nativeReplay));
    check('a "Download replay" link shows after the round', await page.locator('#download').isVisible());
    const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#download').click()]);
    const saved = fs.readFileSync(await download.path());
    check('the link downloads the replay', saved.equals(bytes), `${saved.length} bytes`);
    const file = path.join(native.dir, 'page.zrp');
    fs.writeFileSync(file, bytes);
    const save = Buffer.from(Object.values(await page.evaluate(() => window.zumbleSave()) || {}));
    const best = save.length >= 36 ? save.readInt32LE(12 + 4 * 5) : -1;
    const verified = runNative(zumble, ['--verify', file]);
    check(`the page's replay verifies natively to the page's best time ${best} ms`,
          new RegExp(`^ok flies=10 speed=2 time_ms=${best} frames=\\d+\n$`).test(verified.stdout) && verified.code === 0,
          verified.stdout + verified.stderr);

    // The corpus replay by address, as fast as it goes; then the same file opened.
    const want = runNative(zumble, ['--verify', corpus]).stdout.trim();
    const nativeTrace = runNative(zumble, ['--replay', corpus, '--trace', 'trace.txt']);
    const replayFrames = corpus.length && Number(/frames=(\d+)/.exec(want)[1]);
    const nativeRound = roundLines(fs.readFileSync(path.join(nativeTrace.dir, 'trace.txt'), 'utf8'), replayFrames);
    await page.goto(server.url + '?replay=corpus.zrp&trace&timedemo');
    const played = await waitForEnd(page, 120000);
    const said = await page.evaluate(() => window.zumbleOutput());
    check(`?replay=URL plays to '${want}'`, played.code === 0 && said.split('\n').includes(want), said);
    const pageRound = roundLines(await page.evaluate(() => window.zumbleTrace()), replayFrames);
    check('the page retraces the replay as the native game does', pageRound === nativeRound && pageRound.length > 0,
          firstDifference(pageRound, nativeRound));
    check('watching a replay kept no replay of it', JSON.stringify(await page.evaluate(() => window.zumbleReplays())) ===
          '["best-10-2-1.zrp","last.zrp"]');

    await page.goto(server.url + '?timedemo');
    await page.waitForFunction(() => window.Module && window.Module.calledRun, null, { timeout: 20000 });
    await Promise.all([page.waitForURL(/opened=/, { timeout: 20000 }), page.setInputFiles('#open', corpus)]);
    await page.goto(page.url() + '&timedemo');
    const opened = await waitForEnd(page, 120000);
    const openedSaid = await page.evaluate(() => window.zumbleOutput());
    check(`a replay opened as a file plays to '${want}'`, opened.code === 0 && openedSaid.split('\n').includes(want),
          openedSaid);
  } finally {
    await page.close();
    server.close();
  }
}

const context = await launch({ width: 800, height: 600 });
try {
  const only = process.env.ZUMBLE_WEB_ONLY;  // one test by name, for a quick run
  for (const test of [scriptedRun, clickedRun, keptBestTime, fastDisplayAndHiddenTab, replays]) {
    if (only && test.name !== only) continue;
    try {
      await test(context);
    } catch (e) {
      check(test.name, false, e.stack || String(e));
    }
  }
} finally {
  await context.close();
}
// The closing line in the form every runner's summary takes.
console.log(`browser: ${passes} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
