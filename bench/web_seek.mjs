// How long a seek takes in the page's replay viewer in headless Chromium: the corpus's
// 1000-fly round watched in the page, paused; each seek is timed in the page from the
// request (as the seek bar makes it) to the animation frame that shows the target.
// First the cold seeks (to the last frame before any snapshot but the start's is kept,
// then back to the start), then random frames in random order once the round has been
// played through to the end (its snapshots kept).
// Usage: node bench/web_seek.mjs build-web/site [SEEKS]
import fs from 'node:fs';
import path from 'node:path';
import { launch, repoRoot, serve } from '../tests/web/harness.mjs';

const [site] = process.argv.slice(2, 3).map((p) => path.resolve(p));
const seeks = Number(process.argv[3] || 200);
const corpus = fs.readFileSync(path.join(repoRoot, 'tests/replays/1000-flies-speed-2.zrp'));

const server = await serve(site, { 'round.zrp': corpus });
const context = await launch({ width: 1024, height: 768 });
try {
  const page = await context.newPage();
  await page.goto(server.url + '?replay=round.zrp');
  await page.waitForFunction(() => { const s = window.zumbleViewerState && window.zumbleViewerState(); return s && s.frame > 2; },
                             null, { timeout: 60000, polling: 100 });
  await page.keyboard.press('Space');
  await page.waitForFunction(() => window.zumbleViewerState().paused, null, { timeout: 20000, polling: 50 });
  const frames = (await page.evaluate(() => window.zumbleViewerState())).frames;

  // One seek, timed in the page: ms until the target's picture is shown.
  const seek = (frame) => page.evaluate((f) => new Promise((resolve) => {
    const t0 = performance.now();
    window.zumbleViewerSeek(f);
    const look = () => {
      const s = window.zumbleViewerState();
      if (s && s.frame === f && !s.seeking) resolve(performance.now() - t0);
      else requestAnimationFrame(look);
    };
    requestAnimationFrame(look);
  }), frame);

  const cold = await seek(frames - 1);
  const back = await seek(0);
  console.log(`round: ${frames} frames`);
  console.log(`cold seek to the last frame: ${cold.toFixed(0)} ms; back to the start: ${back.toFixed(0)} ms`);

  // Random frames in random order (a fixed sequence, so runs compare).
  let x = 12345;
  const next = () => { x = (x * 1103515245 + 12345) % 2147483648; return x; };
  const times = [];
  for (let i = 0; i < seeks; ++i) times.push(await seek(next() % frames));
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
  console.log(`${seeks} random seeks: median ${at(0.5).toFixed(0)} ms, 90% ${at(0.9).toFixed(0)} ms, ` +
              `slowest ${times[times.length - 1].toFixed(0)} ms`);
} finally {
  await context.close();
  await server.close();
}
