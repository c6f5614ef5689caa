// Replays in the page: the page's round is the native game's replay, which verifies
// natively; a replay given by address or opened as a file plays in the page to its result;
// the splits drawn after a swat against the best, and Race from the replays list.
// Usage: node replays_test.mjs build-web/site build/zumble
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  check, comparePng, everySize, firstDifference, lastTraceLine, launch, layoutFaults, layoutOf, repoRoot,
  runNative, runTests, scratch, serve, serveWithFaults, siteAndGame, traceField, waitForEnd, waitForScene,
} from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = siteAndGame('replays_test.mjs');

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
    const pageRound = roundLines(await page.evaluate(() => (window.zumbleTrace && window.zumbleTrace())), replayFrames);
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

await runTests([replays], []);
