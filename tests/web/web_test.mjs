// The browser build end to end, in headless Chromium against a local server:
//   1. a scripted run gives the trace, sound log and last picture of the same headless run;
//   2. real clicks on the scaled canvas lead through the scenes, and start the sound;
//   3. a best time set by the test player is kept in IndexedDB across a reload;
//   4. a 144 Hz display runs the game at 60 frames a second, a hidden tab holds it;
//   5. on a phone (touch, 3 device pixels a CSS pixel) the picture fills the screen held
//      either way, and taps play a round, Retry it and Leave it; a desktop screen keeps a
//      whole factor;
//   6. the page plays offline once visited, installs as an app, and a new build at the
//      same address replaces every file at the next visit.
//   7. a best time is kept when the tab is closed as soon as the board shows it;
//   8. without IndexedDB the page says once that best times will not be kept;
//   9. where the browser runs the sound at another rate, the mix keeps its pitch.
//  10. replays: the page's round is the native game's replay, which verifies natively; a
//      replay given by address or opened as a file plays in the page to its result; the
//      splits drawn after a swat against the best, and Race from the replays list.
//  11. progress: three rounds, finished or left, are three points in the Progress chart.
//  12. loading: a bar that fills with the bytes received and says what it waits for; a
//      download that fails says which, and Retry brings the game's first frame; the music
//      comes after it, and the game then holds its very bytes.
// Usage: node web_test.mjs build-web/site build/zumble
// (ZUMBLE_WEB_TESTS=name,name runs only the tests of those names; ZUMBLE_SCREENSHOTS=DIR
// keeps the phones' screenshots there, as docs/screens/phone-*.png were made.)
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  check, comparePng, everySize, finish, firstDifference, lastTraceLine, launch, layoutFaults, layoutOf, repoRoot,
  runNative, scratch, serve, serveWithFaults, traceField, waitForEnd, waitForScene,
} from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = process.argv.slice(2).map((p) => path.resolve(p));
if (!site || !zumble || !fs.existsSync(path.join(site, 'index.html'))) {
  console.error('usage: node web_test.mjs SITE_FOLDER ZUMBLE_BINARY (build the page with make web)');
  process.exit(2);
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
// A screen that takes the mouse and touch alike (the other tests' has a mouse alone).
async function clickedRun() {
  const server = await serve(site);
  const touchScreen = await launch({ width: 1400, height: 1100 });
  const page = touchScreen.pages()[0] || await touchScreen.newPage();
  try {
    await page.goto(server.url + '?trace');
    const sceneOf = async () => {
      const lines = (await page.evaluate(() => window.zumbleTrace && window.zumbleTrace())) || '';
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
    // A first visit (no round played yet) is told the keys at mode select, over the picture.
    const notice = () => (window.zumbleSplitsState() || {}).notice || '';
    const hint = await page.waitForFunction(notice, null, { timeout: 30000 }).then((h) => h.jsonValue(), () => '');
    check(`a first visit is told the keys at mode select ('${hint}')`, /^R: start again at once .* M: sound$/.test(hint));
    await page.waitForFunction(() => {
      const a = window.zumbleAudioState();
      return a.state === 'running' && a.fed > 0 && a.loud > 0;
    }, null, { timeout: 10000 }).then(() => check('the first click starts the sound and the mix plays', true),
                                      () => check('the first click starts the sound and the mix plays', false));
    const audio = await page.evaluate(() => window.zumbleAudioState());
    check('the sound goes through an AudioWorklet', audio.worklet, JSON.stringify(audio));
    await click(320, 320);
    await waitScene(8, 'start on mode select begins a round');
    check('the hint goes when the round starts', !(await page.evaluate(notice)).startsWith('R: start'));
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
    await touchScreen.close();
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
    const kept = await page.evaluate(() => window.zumbleReplays());
    const names = kept.filter((n) => !/^round-/.test(n));
    check('zumbleReplays() lists the kept replays', JSON.stringify(names) === '["best-10-2-1.zrp","last.zrp"]',
          JSON.stringify(names));
    const bytes = Buffer.from(Object.values(await page.evaluate(() => window.zumbleFile('replays/last.zrp')) || {}));
    check(`the page's replay is the native game's, byte for byte (${bytes.length} bytes)`,
          bytes.length > 64 && bytes.equals(nativeReplay));
    check('a "Download replay" link works after the round', await page.locator('#download').isVisible() &&
          await page.locator('#download').getAttribute('aria-disabled') === 'false');
    const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#download').click()]);
    const saved = fs.readFileSync(await download.path());
    check('the link downloads the replay', saved.equals(bytes), `${saved.length} bytes`);
    const file = path.join(native.dir, 'page.zrp');
    fs.writeFileSync(file, bytes);
    const save = Buffer.from(Object.values(await page.evaluate(() => window.zumbleSave()) || {}));
    const best = save.length >= 36 ? save.readInt32LE(12 + 4 * 5) : -1;
    const verified = runNative(zumble, ['--verify', file]);
    check(`the page's replay verifies natively to the page's best time ${best} ms`,
          new RegExp(`^ok flies=10 speed=2 time_ms=${best} frames=\\d+ round=[0-9a-f]{64} played=77 program=\\S+ autoplay=1 touch=0 pad=0 signs=\\S+ keys=\\d+ swats=[0-9a-f]{64} swat_frames=[A-Za-z0-9_-]+\n$`).test(verified.stdout) && verified.code === 0,
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
          JSON.stringify(kept));

    await page.goto(server.url + '?timedemo');
    await page.waitForFunction(() => window.Module && window.Module.calledRun, null, { timeout: 20000 });
    await Promise.all([page.waitForURL(/opened=/, { timeout: 20000 }), page.setInputFiles('#open', corpus)]);
    await page.goto(page.url() + '&timedemo');
    const opened = await waitForEnd(page, 120000);
    const openedSaid = await page.evaluate(() => window.zumbleOutput());
    check(`a replay opened as a file plays to '${want}'`, opened.code === 0 && openedSaid.split('\n').includes(want),
          openedSaid);

    // Splits: the test player's round of the best's mode shows the delta to the best after
    // its first swat, drawn on the overlay's canvas.
    await page.goto(server.url + '?script=play.txt&autoplay&trace');
    const againstBest = await splitsAfterSwat(page);
    check(`the page draws the splits against the best after a swat (${againstBest.delta}, ${againstBest.count})`,
          /^[+-]\d+\.\d\d$/.test(againstBest.delta) && /^best: \d+$/.test(againstBest.count) && againstBest.race === '',
          JSON.stringify(againstBest));
    // Race from the replays list: the round of the kept best's mode, the run raced on the
    // top line; S hides the splits, and the page keeps that.
    await page.locator('#replays-button').click();
    await page.locator('#replays-list li[data-name="best-10-2-1.zrp"] .race').click();
    if (await page.locator('#ask').isVisible()) await page.locator('#ask-yes').click();
    await page.waitForURL(/raced=best-10-2-1\.zrp/, { timeout: 20000 });
    await page.goto(page.url() + '&autoplay&trace');
    check('Race leads to mode select', await waitForScene(page, 5));
    const canvas = await page.locator('#canvas').boundingBox();
    await page.mouse.click(canvas.x + 320.5 * canvas.width / 640, canvas.y + 320.5 * canvas.height / 480);
    const raced = await splitsAfterSwat(page);
    check(`Race from the replays list shows the run raced on the top line ('${raced.race}', ${raced.count})`,
          /^race: best-10-2-1\.zrp  \d+:\d\d\.\d{3}$/.test(raced.race) && /^race: \d+$/.test(raced.count) &&
          /^[+-]\d+\.\d\d$/.test(raced.delta), JSON.stringify(raced));
    await page.keyboard.press('s');
    const hidden = await page.evaluate(() => ({ shown: window.zumbleSplitsState(), kept: localStorage.getItem('zumble-splits') }));
    // What is left over the picture is the key's word for a moment, never the splits.
    check('S hides the splits, says so, and the page keeps it',
          hidden.shown !== null && hidden.shown.notice === 'splits off (S)' && !hidden.shown.delta &&
          !hidden.shown.race && !hidden.shown.count && hidden.kept === 'off', JSON.stringify(hidden));
    await page.keyboard.press('s');
    check('S shows them again', await page.evaluate(() => localStorage.getItem('zumble-splits')) === 'on');
  } finally {
    await page.close();
    server.close();
  }
}

// Waits until the splits show a delta and the overlay's canvas holds it over the picture
// (pixels of its green or red in the top band); what they show.
async function splitsAfterSwat(page) {
  const shown = await page.waitForFunction(() => {
    const s = window.zumbleSplitsState();
    if (!s || !s.delta || !window.zumbleOverlayDrawn()) return null;
    const c = document.getElementById('overlay');
    const band = c.getContext('2d').getImageData(0, 0, c.width, Math.ceil(c.height * 17 / 480)).data;
    let toned = 0;
    for (let i = 0; i < band.length; i += 4) {
      const [r, g, b] = [band[i], band[i + 1], band[i + 2]];
      if ((g > 150 && r < 110 && b < 110) || (r > 180 && g < 110 && b < 110)) ++toned;
    }
    return toned ? s : null;
  }, null, { timeout: 90000, polling: 100 });
  return shown.jsonValue();
}

// 5. Phones held sideways and upright, and a desktop screen. The picture fills the phone
// (at least 85% of the screen's height, or of its width upright), taps land on the game
// pixel under the finger, and a round is played by taps until a fly is swatted.
async function phoneScreens() {
  const server = await serve(site);
  try {
    for (const [width, height, name] of [[844, 390, 'phone-landscape'], [390, 844, 'phone-portrait']]) {
      const context = await launch({ width, height }, { deviceScaleFactor: 3, isMobile: true });
      const page = (await context.pages())[0] || await context.newPage();
      try {
        await page.goto(server.url + '?trace');
        check(`${name}: the page shows the title`, await waitForScene(page, 2));
        const box = await page.locator('#canvas').boundingBox();
        const fills = width > height ? box.height / height : box.width / width;
        check(`${name}: the picture fills ${(100 * fills).toFixed(0)}% of the screen's ${width > height ? 'height' : 'width'}`,
              fills >= 0.85 && box.x >= 0 && box.y >= 0 && box.x + box.width <= width + 0.5 && box.y + box.height <= height + 0.5,
              JSON.stringify(box));
        const rendering = await page.evaluate(() => getComputedStyle(document.getElementById('canvas')).imageRendering);
        check(`${name}: 4:3, drawn with hard pixel edges`, Math.abs(box.width * 3 - box.height * 4) < 1 &&
              /^(pixelated|crisp-edges)$/.test(rendering), `${JSON.stringify(box)} ${rendering}`);
        if (width < height) {
          const notice = await page.locator('#notice');
          check(`${name}: the page says once to turn the phone`,
                await notice.isVisible() && /Turn your phone/.test(await notice.textContent()));
        }
        const before = await layoutOf(page);
        const faults = layoutFaults(before, true);
        check(`${name}: every control is a finger's size and off the picture`, faults.length === 0, faults.join('; '));
        const help = await page.locator('#howto').isVisible();
        check(`${name}: the help waits behind "?"`, !help && await page.locator('#help').isVisible());
        await page.locator('#help').tap();
        const said = await page.locator('#howto').isVisible() ? await page.locator('#howto').innerText() : '';
        check(`${name}: "?" shows what a tap does, not the keys`, /Tap the flies/.test(said) && !/Enter|Escape/.test(said),
              said);
        await page.locator('#help').tap();
        check(`${name}: "?" puts it away again`, !(await page.locator('#howto').isVisible()));
        await page.locator('#help').tap();
        await page.touchscreen.tap(width - 5, height - 5);  // away, beside the controls
        check(`${name}: a tap elsewhere puts it away`, !(await page.locator('#howto').isVisible()));
        await page.locator('#help').tap();
        await page.keyboard.press('Escape');
        check(`${name}: Escape puts it away and the game keeps its screen`,
              !(await page.locator('#howto').isVisible()) && traceField(await lastTraceLine(page), 'scene') === '2');
        const tap = async (x, y) => {
          await page.touchscreen.tap(box.x + (x + 0.5) * box.width / 640, box.y + (y + 0.5) * box.height / 480);
          await page.waitForTimeout(150);
        };
        await tap(300, 300);
        check(`${name}: a tap on START reaches mode select`, await waitForScene(page, 5));
        const trace = await page.evaluate(() => window.zumbleTrace());
        check(`${name}: the tap landed on game pixel (300, 300)`, /cursor=300,300 /.test(trace));
        if (width < height) {
          check(`${name}: the note has gone with the tap`, !(await page.locator('#notice').isVisible()));
        }
        await tap(320, 320);
        check(`${name}: a tap on start begins a round`, await waitForScene(page, 8));
        // Taps at the oldest fly, aimed a few frames ahead of it, until one is swatted.
        let swatted = 0;
        for (let i = 0; i < 80 && swatted === 0; ++i) {
          const lines = ((await page.evaluate(() => window.zumbleTrace())) || '').trimEnd().split('\n');
          const [a, b] = lines.slice(-2).map((l) => (traceField(l, 'fly') || '').split(',').map(Number));
          swatted = Number(traceField(lines[lines.length - 1], 'swatted') || 0);
          if (swatted || !b || b.length !== 2 || Number.isNaN(b[0])) { await page.waitForTimeout(100); continue; }
          // Without the fly on the line before (it was just born), aim at where it is: a
          // step from a missing position would be NaN, which no tap can take.
          const from = a && a.length === 2 && !Number.isNaN(a[0]) && !Number.isNaN(a[1]) ? a : b;
          const x = Math.max(0, Math.min(639, b[0] + 5 * (b[0] - from[0])));
          const y = Math.max(0, Math.min(479, b[1] + 5 * (b[1] - from[1])));
          await page.touchscreen.tap(box.x + (x + 0.5) * box.width / 640, box.y + (y + 0.5) * box.height / 480);
          await page.waitForTimeout(120);
        }
        await page.waitForTimeout(300);
        swatted = Number(traceField(await lastTraceLine(page), 'swatted') || 0);
        check(`${name}: taps swat a fly (swatted=${swatted})`, swatted > 0);
        if (process.env.ZUMBLE_SCREENSHOTS) {
          await page.screenshot({ path: path.join(path.resolve(process.env.ZUMBLE_SCREENSHOTS), name + '.png') });
        }
        const inRound = await layoutOf(page);
        const roundFaults = layoutFaults(inRound, true);
        check(`${name}: Leave and Retry beside the picture, a finger's size`,
              roundFaults.length === 0 && ['leave', 'retry'].every((id) => inRound.controls.some((c) => c.name === id)),
              roundFaults.join('; ') || JSON.stringify(inRound.controls.map((c) => c.name)));
        // Retry mid-round: the round so far ends as a left one, a new one starts at once.
        await page.locator('#retry').tap();
        const left = await page.waitForFunction(() => {
          const h = new TextDecoder().decode(window.zumbleFile('history.txt') || new Uint8Array());
          return /time_ms=left/.test(h) ? h : null;
        }, null, { timeout: 20000, polling: 100 }).then((h) => h.jsonValue(), () => '');
        check(`${name}: a tap on Retry ends the round as a left one`,
              /^played=\d+ flies=\d+ speed=\d time_ms=left swatted=[1-9]\d* round=[0-9a-f]{64}\n$/.test(left), left);
        let fresh = false;
        for (let i = 0; i < 100 && !fresh; ++i) {
          const line = await lastTraceLine(page);
          fresh = traceField(line, 'scene') === '8' && traceField(line, 'swatted') === '0';
          if (!fresh) await page.waitForTimeout(100);
        }
        check(`${name}: and a new round starts`, fresh);
        await page.locator('#leave').tap();
        check(`${name}: a tap on Leave leaves the round`, await waitForScene(page, 5));
        const after = await layoutOf(page);
        check(`${name}: the picture is where it was before the round`,
              JSON.stringify(after.picture) === JSON.stringify(before.picture), JSON.stringify([before.picture, after.picture]));
        if (width > height) await everySize(page, true, 'a touch screen');
        const awake = await page.evaluate(() => ({ api: !!navigator.wakeLock, held: window.zumbleAwake() }));
        console.log(`note: ${name}: screen wake lock ${awake.api ? (awake.held ? 'held' : 'refused by this browser') : 'not offered'}`);
      } finally {
        await context.close();
      }
    }
    // A desktop screen of 1280x800 with a mouse: a round played and over leaves every
    // control where it was and the picture as it was.
    const desk = await launch({ width: 1280, height: 800 }, { hasTouch: false });
    try {
      const page = (await desk.pages())[0] || await desk.newPage();
      const play = await serve(site, { 'play.txt': ['0 move 300 300', '3 click', '10 move 120 80', '11 click',
                                                    '14 move 320 320', '15 click', ''].join('\n') });
      try {
        await page.goto(play.url + '?script=play.txt&autoplay&trace&time=77');
        // The test player leaves the title after three frames: any line of it will do.
        check('1280x800 desktop: the page shows the title',
              await page.waitForFunction(() => / scene=2 /.test(window.zumbleTrace() || ''), null,
                                         { timeout: 20000, polling: 100 }).then(() => true, () => false));
        const before = await layoutOf(page);
        const roundOver = await page.waitForFunction(() => {
          const lines = (window.zumbleTrace() || '').trimEnd().split('\n');
          return / phase=2 /.test(lines.join('\n')) && / scene=5 /.test(lines[lines.length - 1]);
        }, null, { timeout: 120000, polling: 200 }).then(() => true, () => false);
        check('1280x800 desktop: the round is played and over', roundOver);
        await page.waitForFunction(() => document.getElementById('download').getAttribute('aria-disabled') === 'false',
                                   null, { timeout: 5000 }).catch(() => {});
        const after = await layoutOf(page);
        const faults = layoutFaults(before, false).concat(layoutFaults(after, false));
        check('1280x800 desktop: no control on the picture', faults.length === 0, faults.join('; '));
        check('1280x800 desktop: the picture and every control are where they were before the round',
              JSON.stringify(after) === JSON.stringify(before), JSON.stringify([before, after]));
        check('1280x800 desktop: the help lists the keys, M among them',
              /M: sound off and on/.test(await page.locator('#howto').innerText()));
        await everySize(page, false, 'a screen with a mouse');
      } finally {
        await play.close();
      }
    } finally {
      await desk.close();
    }
    // A desktop screen: a whole factor still fills it well. (With a mouse alone: a
    // touch screen gets the help behind "?".)
    const context = await launch({ width: 1920, height: 1080 }, { hasTouch: false });
    const page = (await context.pages())[0] || await context.newPage();
    try {
      await page.goto(server.url);
      const box = await page.locator('#canvas').boundingBox();
      check('1920x1080 desktop: the picture at a whole factor (2x)', box.width === 1280 && box.height === 960,
            JSON.stringify(box));
      check('1920x1080 desktop: the help is shown below the picture', await page.locator('#howto').isVisible() &&
            !(await page.locator('#help').isVisible()));
      // Opened as a file, the browser refuses the game its data: the page says how to serve it.
      await page.goto('file://' + path.join(site, 'index.html'));
      const notice = page.locator('#notice');
      await notice.waitFor({ timeout: 10000 }).catch(() => {});
      const said = await notice.isVisible() ? await notice.textContent() : '';
      check('opened as a file, the page says to serve it and how', /make play-web/.test(said) && /web server/.test(said), said);
    } finally {
      await context.close();
    }
  } finally {
    await server.close();
  }
}

// 6. Offline and installed. A copy of the site is served, visited once (the service
// worker keeps it), and the server stopped: the page comes back and plays. Chromium finds
// the manifest whole and the page installable. Then the copy becomes a new build, served
// at the same address, and opened in a second tab while the old build's page is still
// open: it plays the new build whole, and its worker waits until the old page is closed,
// after which the offline copy is the new build alone.
async function offlineAndInstalled() {
  const copy = scratch('zumble-build-');
  fs.cpSync(site, copy, { recursive: true });
  const buildOf = (dir) => /<meta name="zumble-build" content="([0-9a-f]+)">/.exec(fs.readFileSync(path.join(dir, 'index.html'), 'utf8'))?.[1];
  const first = buildOf(copy);
  check('the site is named from its build', /^[0-9a-f]{16}$/.test(first || ''), String(first));
  let server = await serve(copy);
  const url = server.url;
  const port = Number(new URL(url).port);
  const context = await launch({ width: 1000, height: 800 });
  const offlineCopy = (page) => page.evaluate(async () => {
    const names = await caches.keys();
    const files = names.length ? (await (await caches.open(names[0])).keys()).map((r) => r.url.replace(location.origin + '/', '')) : [];
    return { names: names.sort(), files: files.sort() };
  });
  // Asks again every quarter second until `test` holds for the offline copy, or `ms` pass.
  const offlineCopyWhen = async (page, test, ms) => {
    const end = Date.now() + ms;
    for (;;) {
      const kept = await offlineCopy(page).catch(() => null);
      if ((kept && test(kept)) || Date.now() > end) return kept;
      await new Promise((resolve) => setTimeout(resolve, 250));
    }
  };
  const pageBuild = (page) => page.evaluate(() => ({
    build: document.querySelector('meta[name=zumble-build]').content,
    mark: window.zumbleBuildMark || null,
    loaded: performance.getEntriesByType('resource').map((e) => e.name.replace(location.origin + '/', ''))
      .filter((n) => /^(index|audio-worklet)\./.test(n)),
  }));
  const plays = async (page, what) => {
    check(`${what}: the title shows`, await waitForScene(page, 2));
    const box = await page.locator('#canvas').boundingBox();
    const click = (x, y) => page.mouse.click(box.x + (x + 0.5) * box.width / 640, box.y + (y + 0.5) * box.height / 480);
    await click(300, 300);
    check(`${what}: a click on START reaches mode select`, await waitForScene(page, 5));
    await click(320, 320);
    check(`${what}: start begins a round`, await waitForScene(page, 8));
  };
  const want = (build) => ['icon-192.png', 'icon-512.png', 'index.html', 'manifest.webmanifest',
                           ...['audio-worklet.js', 'index.data', 'index.js', 'index.wasm', 'wave-bgm1.wav']
                             .map((f) => `${f}?v=${build}`)].sort();
  try {
    const old = await context.newPage();
    await old.goto(url + '?trace');
    const ready = await old.evaluate(() => Promise.race([navigator.serviceWorker.ready.then(() => true),
                                                         new Promise((resolve) => setTimeout(() => resolve(false), 60000))]));
    const kept = await offlineCopy(old);
    check('the first visit keeps every file of the build, and only those',
          ready && JSON.stringify(kept) === JSON.stringify({ names: [`zumble-${first}`], files: want(first) }),
          JSON.stringify({ ready, kept }));
    const cdp = await context.newCDPSession(old);
    const manifest = await cdp.send('Page.getAppManifest');
    check('Chromium reads the manifest without errors', manifest.errors.length === 0 && /"Zumble"/.test(manifest.data || ''),
          JSON.stringify(manifest.errors));
    const installable = await cdp.send('Page.getInstallabilityErrors');
    check('Chromium finds the page installable', installable.installabilityErrors.length === 0,
          JSON.stringify(installable.installabilityErrors));
    await cdp.detach();

    await server.close();
    const refused = await fetch(url).then(() => false, () => true);
    check('the server is stopped', refused);
    await old.reload();
    await plays(old, 'offline');
    const offline = await pageBuild(old);
    check('offline, the page is the build it was', offline.build === first, JSON.stringify(offline));

    // A new build of the same page: its script says so; its build named again.
    fs.appendFileSync(path.join(copy, 'index.js'), "\nwindow.zumbleBuildMark = 'second';\n");
    fs.appendFileSync(path.join(copy, 'audio-worklet.js'), '\n// the second build\n');
    const made = spawnSync('cmake', [`-DSITE=${copy}`, `-DSERVICE_WORKER=${repoRoot}/platform/web/page/service-worker.js`,
                                     '-P', path.join(repoRoot, 'cmake/web_site.cmake')], { encoding: 'utf8' });
    const second = buildOf(copy);
    check('the new build has a new name', made.status === 0 && /^[0-9a-f]{16}$/.test(second || '') && second !== first,
          made.stderr);
    server = await serve(copy, {}, port);
    const next = await context.newPage();
    await next.goto(url + '?trace');
    await plays(next, 'the next visit');
    const loaded = await pageBuild(next);
    check('the next visit plays the new build, every file of it',
          loaded.build === second && loaded.mark === 'second' && loaded.loaded.length >= 3 &&
          loaded.loaded.every((n) => n.endsWith(`?v=${second}`)) && loaded.loaded.some((n) => n.startsWith('index.data')),
          JSON.stringify(loaded));
    // The new build's worker, asked to take over as the page asks it, does not while the
    // old build's page is open: that page may still load files of its build.
    const waiting = await next.evaluate(async () => {
      const r = await navigator.serviceWorker.getRegistration();
      await r.update().catch(() => {});
      for (let i = 0; i < 200 && !(r.waiting && r.waiting.state === 'installed'); ++i) {
        await new Promise((resolve) => setTimeout(resolve, 100));
      }
      if (!r.waiting) return { state: 'none' };
      const answer = new Promise((resolve) => {
        navigator.serviceWorker.addEventListener('message', (e) => { if (e.data && e.data.zumble === 'take-over') resolve(e.data.taken); });
        setTimeout(() => resolve('no answer'), 20000);
      });
      r.waiting.postMessage({ zumble: 'take-over', build: document.querySelector('meta[name=zumble-build]').content });
      return { state: r.waiting.state, taken: await answer };
    });
    const both = await offlineCopy(next);
    check('with a page of the old build open, the new build\'s worker waits and the old copy stays',
          waiting.state === 'installed' && waiting.taken === false &&
          JSON.stringify(both.names) === JSON.stringify([`zumble-${first}`, `zumble-${second}`].sort()),
          JSON.stringify({ waiting, names: both.names }));
    await old.close();
    const replaced = await offlineCopyWhen(next, (c) => c.names.length === 1 && c.names[0] === `zumble-${second}`, 90000);
    check('once the old page is closed, the offline copy is the new build alone',
          JSON.stringify(replaced) === JSON.stringify({ names: [`zumble-${second}`], files: want(second) }),
          JSON.stringify(replaced));
    await server.close();
    await next.reload();
    await plays(next, 'offline again');
    const again = await pageBuild(next);
    check('offline again, the page is the new build', again.build === second && again.mark === 'second',
          JSON.stringify(again));
  } finally {
    await context.close();
    await server.close();
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
    await page.waitForFunction(() => / scene=8 .* phase=2 /.test(window.zumbleTrace() || ''), null,
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
      await page.waitForFunction(() => / scene=2 /.test(window.zumbleTrace() || ''), null, { timeout: 20000 });
      const status = await page.locator('#status').textContent();
      check(`${way}: the page says that best times will not be kept`, /best times will not be kept/i.test(status),
            status);
      const end = await waitForEnd(page, 120000);
      check(`${way}: a round is played and the run ends with code 0`, end.code === 0 &&
            / scene=8 .* phase=2 /.test(await page.evaluate(() => window.zumbleTrace())), JSON.stringify(end));
      check(`${way}: it is said once, not at every save`, said.length === 1, JSON.stringify(said));
    } finally {
      await page.close();
      server.close();
    }
  }
}

// 9. A browser that runs its sound at another rate than the game's 22050 Hz (here 48000 Hz,
// whatever the page asks): the mix is brought to that rate, so it keeps its pitch and its
// length. Each frame's mix and what reaches the audio thread are recorded.
async function soundAtAnotherRate(context) {
  const server = await serve(site);
  const page = await context.newPage();
  await page.addInitScript(() => {
    const Real = window.AudioContext;
    window.AudioContext = class extends Real {
      constructor(options) { super({ ...(options || {}), sampleRate: 48000 }); }
    };
    window.posted = [];
    const post = MessagePort.prototype.postMessage;
    MessagePort.prototype.postMessage = function (data, ...rest) {
      if (data instanceof Float32Array) window.posted.push(Float32Array.from(data));
      return post.call(this, data, ...rest);
    };
  });
  try {
    await page.goto(server.url);
    await page.waitForFunction(() => window.Module && window.Module.calledRun && window.zumbleFeedAudio, null,
                               { timeout: 20000 });
    await page.evaluate(() => {
      window.mixed = [];
      const feed = window.zumbleFeedAudio;
      window.zumbleFeedAudio = (samples) => {
        const a = window.zumbleAudio;
        if (a.context && a.context.state === 'running' && a.node) window.mixed.push(Int16Array.from(samples));
        feed(samples);
      };
    });
    const box = await page.locator('#canvas').boundingBox();
    await page.mouse.click(box.x + 300.5 * box.width / 640, box.y + 300.5 * box.height / 480);
    await page.waitForFunction(() => window.zumbleAudioState().loud > 20, null, { timeout: 20000 }).catch(() => {});
    const got = await page.evaluate(() => {
      // The left channel of the mix and of what was posted; the posted sound read back at
      // the mix's rate (linear steps) and matched with the mix (correlation).
      const left = (chunks, scale) => {
        const a = [];
        for (const c of chunks) for (let i = 0; i < c.length; i += 2) a.push(c[i] / scale);
        return a;
      };
      const mix = left(window.mixed, 32768), out = left(window.posted, 1);
      const step = 22050 / 48000;
      let xy = 0, xx = 0, yy = 0;
      for (let j = 0; j < mix.length; ++j) {
        const at = j / step, i = Math.floor(at);
        if (i + 1 >= out.length) break;
        const y = out[i] + (out[i + 1] - out[i]) * (at - i);
        xy += mix[j] * y; xx += mix[j] * mix[j]; yy += y * y;
      }
      return { rate: window.zumbleAudio.context.sampleRate, mixFrames: mix.length, outFrames: out.length,
               loudness: Math.sqrt(xx / Math.max(1, mix.length)), match: xy / Math.sqrt(xx * yy || 1) };
    });
    // Played at 48000 Hz, the posted frames last as long as the mix's at 22050 Hz, and read
    // back at 22050 Hz they are the mix; left at 22050 Hz they would play 2.18 times too
    // fast and too high, and match nothing.
    const length = (got.outFrames / 48000) / Math.max(1e-9, got.mixFrames / 22050);
    check(`at 48000 Hz the sound keeps its length (${length.toFixed(4)} of the mix's)`,
          got.rate === 48000 && got.mixFrames > 4000 && Math.abs(length - 1) < 0.01, JSON.stringify(got));
    check(`at 48000 Hz the sound keeps its pitch (read back at 22050 Hz it matches the mix: ${got.match.toFixed(3)})`,
          got.loudness > 0.001 && got.match > 0.95, JSON.stringify(got));
  } finally {
    await page.close();
    server.close();
  }
}

// 11. Progress: a round the test player finishes and two left by Escape are three points
// in the Progress panel's chart of their mode, named in the game's words: the finished
// one at the native game's time, the left ones apart, with a line for the best so far.
async function progressChart(context) {
  const first = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');
  const alone = runNative(zumble, ['--autoplay', '--frames', '1200', '--time', '77', '--script', 'play.txt',
                                   '--trace', 'trace.txt'], { 'play.txt': first });
  const lines = fs.readFileSync(path.join(alone.dir, 'trace.txt'), 'utf8').split('\n');
  const board = lines.findIndex((l) => / scene=8 .* phase=2 /.test(l));
  const back = lines.findIndex((l, i) => i > board && / scene=5 /.test(l)) + 1;  // the frame at mode select
  check(`the test player's round ends back at mode select (frame ${back})`, board > 0 && back > board);
  const script = first + [back + 5, back + 40, back + 70, back + 100].map((f, i) =>
    i % 2 ? `${f} key escape` : `${f - 1} move 320 320\n${f} click`).join('\n') + '\n';
  const frames = back + 130;
  const native = runNative(zumble, ['--autoplay', '--frames', String(frames), '--time', '77', '--script', 'play.txt'],
                           { 'play.txt': script });
  const history = fs.readFileSync(path.join(native.dir, 'history.txt'), 'utf8').trim().split('\n');
  const time = Number((/ time_ms=(\d+) /.exec(history[0]) || [])[1]);
  check(`natively the three rounds are three lines of history, the first finished in ${time} ms`,
        history.length === 3 && time > 0 && history.slice(1).every((l) => / time_ms=left /.test(l)), history.join('\n'));
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
      return { shown: !panel.hidden, modes: titles('section .facts'), points: titles('svg circle.point'),
               left: panel.querySelectorAll('svg circle.point.left').length,
               best: Array.from(panel.querySelectorAll('svg polyline.best')).map((e) => e.getAttribute('points')) };
    });
    const seconds = `${Math.floor(time / 1000)}.${String(time % 1000).padStart(3, '0')} s`;
    check(`the Progress panel has one chart, its mode in the game's words (${chart.modes.join(' | ')})`,
          chart.shown && chart.modes.length === 1 && /^10 flies, NORMAL · 3 rounds \(2 left\) · best /.test(chart.modes[0]));
    check(`the chart shows three points, the finished round's at ${seconds}, two left (${chart.points.join(' | ')})`,
          chart.points.length === 3 && chart.left === 2 && chart.points[0].endsWith(': ' + seconds) &&
          chart.points.slice(1).every((t) => /: left after \d+ of 10 flies$/.test(t)));
    check(`and a best-so-far line (${chart.best.join(' | ')})`,
          chart.best.length === 1 && chart.best[0].trim().split(' ').length === 2);
  } finally {
    await page.close();
    server.close();
  }
}

// 12. The page shows its loading bar before any file of the game is in; the server fails
// the game's data once: the bar says which file did not load and offers Retry, the game
// does not start, and Retry brings the game's first frame with the bar gone. The server
// holds the music meanwhile: the title shows without it, and once it comes the game's
// folder holds its very bytes and the game has read them.
async function loadingBar(context) {
  const server = await serveWithFaults(site, { failOnce: ['index.data'], hold: ['wave-bgm1.wav'] });
  const music = fs.readFileSync(path.join(repoRoot, 'wave/bgm1.wav'));
  const page = await context.newPage();
  // Every text the bar's line shows, from the page's first look on.
  await page.addInitScript(() => {
    window.zumbleLoadingTexts = [];
    new MutationObserver(() => {
      const line = document.getElementById('loading-text');
      const texts = window.zumbleLoadingTexts;
      if (line && texts[texts.length - 1] !== line.textContent) texts.push(line.textContent);
    }).observe(document, { childList: true, subtree: true, characterData: true });
  });
  try {
    await page.goto(server.url + '?trace');
    const bar = await page.evaluate(() => {
      const b = document.getElementById('loading-bar');
      return { tag: b.tagName, shown: b.checkVisibility(), texts: window.zumbleLoadingTexts };
    });
    check(`a loading bar shows at once, saying what it waits for and how far it is (${bar.texts[1]})`,
          bar.tag === 'PROGRESS' && bar.shown &&
          /^Loading the game's code, its pictures and sounds, the page's script: 0\.0 of \d+\.\d MB$/.test(bar.texts[1]),
          JSON.stringify(bar));
    await page.locator('#loading-retry').waitFor({ state: 'visible', timeout: 60000 });
    const failed = await page.evaluate(() => {
      const b = document.getElementById('loading-bar');
      const sizes = document.querySelector('meta[name=zumble-sizes]').content.match(/\d+/g).map(Number);
      return { text: document.getElementById('loading-text').textContent, value: b.value, max: b.max,
               total: sizes.reduce((a, n) => a + n, 0), running: !!(window.Module && window.Module.calledRun) };
    });
    check(`a failed download says which and why (${failed.text})`,
          /^The game's pictures and sounds \(index\.data\) did not load: the server answered 503\.$/.test(failed.text));
    check(`the bar counts the bytes received against the files' sizes (${failed.value} of ${failed.max})`,
          failed.max === failed.total && failed.value > 0 && failed.value < failed.max, JSON.stringify(failed));
    check('the game does not start without its data', !failed.running);
    await page.click('#loading-retry');
    const first = await page.waitForFunction(() => /(^|\n)frame=1 /.test((window.zumbleTrace && window.zumbleTrace()) || ''),
                                             null, { timeout: 60000, polling: 100 }).then(() => true, () => false);
    check("Retry asks again and the game's first frame follows", first);
    check('the bar is gone once the game runs', await page.locator('#loading').isHidden());
    const before = await page.evaluate(() => ({ state: zumbleLoad.late[0].state,
                                                bytes: Array.from(window.zumbleFile('wave/bgm1.wav') || []) }));
    const standIn = Buffer.from(before.bytes);
    check(`the title shows before the music has come (${before.state}), the game's folder holding a stand-in of its size`,
          before.state === 'waiting' && standIn.length === music.length && !standIn.equals(music) &&
          standIn.subarray(0, 44).equals(music.subarray(0, 44)) && standIn.subarray(44).every((b) => b === 0));
    server.release();
    const read = await page.waitForFunction(() => zumbleLoad.late[0].state === 'read', null,
                                            { timeout: 60000, polling: 100 }).then(() => true, () => false);
    const after = Buffer.from(Object.values(await page.evaluate(() => window.zumbleFile('wave/bgm1.wav')) || {}));
    check('once the music comes the game reads it again, and its folder holds the very bytes of wave/bgm1.wav',
          read && after.equals(music), `${after.length} bytes`);
  } finally {
    await page.close();
    await server.close();
  }
}

const only = process.env.ZUMBLE_WEB_TESTS ? process.env.ZUMBLE_WEB_TESTS.split(',') : null;
const chosen = (tests) => tests.filter((t) => !only || only.includes(t.name));
const context = await launch({ width: 800, height: 600 }, { hasTouch: false });
try {
  for (const test of chosen([scriptedRun, clickedRun, keptBestTime, fastDisplayAndHiddenTab, recordKeptWhenClosedOnBoard,
                             withoutIndexedDB, soundAtAnotherRate, replays, progressChart, loadingBar])) {
    try {
      await test(context);
    } catch (e) {
      check(test.name, false, e.stack || String(e));
    }
  }
} finally {
  await context.close();
}
for (const test of chosen([phoneScreens, offlineAndInstalled])) {
  try {
    await test();
  } catch (e) {
    check(test.name, false, e.stack || String(e));
  }
}
finish();
