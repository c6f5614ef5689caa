// Where the browser runs the sound at another rate than the game's 22050 Hz, the mix keeps
// its pitch.
// Usage: node sound_rate_test.mjs build-web/site build/zumble
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  check, comparePng, everySize, firstDifference, lastTraceLine, launch, layoutFaults, layoutOf, repoRoot,
  runNative, runTests, scratch, serve, serveWithFaults, siteAndGame, traceField, waitForEnd, waitForScene,
} from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = siteAndGame('sound_rate_test.mjs');

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
      // What was posted before now has no mix recorded beside it (this Chromium may run the
      // sound before any click): both are recorded from here on.
      window.posted = [];
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
      // The resampler carries its place between chunks, so the recording may begin a
      // fraction of a sample (or a few) into it: the best of those small offsets.
      const step = 22050 / 48000;
      let best = -1, loudness = 0;
      for (let offset = -3; offset <= 3; offset += 0.25) {
        let xy = 0, xx = 0, yy = 0;
        for (let j = 0; j < mix.length; ++j) {
          const at = j / step + offset, i = Math.floor(at);
          if (i < 0) continue;
          if (i + 1 >= out.length) break;
          const y = out[i] + (out[i + 1] - out[i]) * (at - i);
          xy += mix[j] * y; xx += mix[j] * mix[j]; yy += y * y;
        }
        if (offset === 0) loudness = Math.sqrt(xx / Math.max(1, mix.length));
        best = Math.max(best, xy / Math.sqrt(xx * yy || 1));
      }
      return { rate: window.zumbleAudio.context.sampleRate, mixFrames: mix.length, outFrames: out.length,
               loudness, match: best };
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

await runTests([soundAtAnotherRate], []);
