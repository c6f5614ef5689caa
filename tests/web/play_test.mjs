// The game played in the page, in headless Chromium against a local server: a scripted run
// gives the trace, sound log and last picture of the same headless run; real clicks on the
// scaled canvas lead through the scenes and start the sound; a 144 Hz display runs the game
// at 60 frames a second, and a hidden tab holds it.
// Usage: node play_test.mjs build-web/site build/zumble
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  check, comparePng, everySize, firstDifference, lastTraceLine, launch, layoutFaults, layoutOf, repoRoot,
  runNative, runTests, scratch, serve, serveWithFaults, siteAndGame, traceField, waitForEnd, waitForScene,
} from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = siteAndGame('play_test.mjs');

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
    const trace = await page.evaluate(() => (window.zumbleTrace && window.zumbleTrace()));
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
    // The game's own picture: the overlay above it (a notice of what a key did) set aside.
    await page.evaluate(() => { document.getElementById('overlay').style.visibility = 'hidden'; });
    const shot = await page.locator('#canvas').screenshot();
    await page.evaluate(() => { document.getElementById('overlay').style.visibility = ''; });
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
                                    ['?frames=0', /--frames wants a whole number from 1 to/],
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
    // The page unlocks its sound at the first click or key; before it, sound plays only where
    // the browser itself runs a page's sound unasked (headless Chromium here may, sooner or
    // later: its context then says 'running').
    check(`the page waits for the first click to unlock its sound (the browser's context: ${before.state})`,
          !before.unlocked && (before.state === 'running' || before.fed === 0), JSON.stringify(before));

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
    const trace = await page.evaluate(() => (window.zumbleTrace && window.zumbleTrace()));
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
      const lines = ((await page.evaluate(() => (window.zumbleTrace && window.zumbleTrace()))) || '').trimEnd().split('\n');
      const m = /^frame=(\d+) tick=(\d+) scene=(\d+) /.exec(lines[lines.length - 1]);
      return m ? { frame: Number(m[1]), tick: Number(m[2]), scene: Number(m[3]) } : { frame: 0, tick: 0, scene: -1 };
    };
    await page.waitForFunction(() => ((window.zumbleTrace && window.zumbleTrace()) || '').split('\n').length > 10, null, { timeout: 20000 });
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
    await page.waitForFunction(() => / scene=5 /.test((window.zumbleTrace && window.zumbleTrace()) || ''), null, { timeout: 10000 })
      .then(() => check('after the tab came back a click still leads to mode select', true),
            () => check('after the tab came back a click still leads to mode select', false));
  } finally {
    await page.close();
    server.close();
  }
}

await runTests([scriptedRun, clickedRun, fastDisplayAndHiddenTab], []);
