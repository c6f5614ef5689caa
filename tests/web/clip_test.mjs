// A replay's clip plays in headless Chromium: its <video> tells the round's length, and a
// frame drawn from it to a canvas is the game's own shot of that frame, within what the
// video's compression loses, and nearer to it than to the shots of the frames either side.
// Usage: node clip_test.mjs build-web/site build/zumble   (the page itself is not used)
import fs from 'node:fs';
import path from 'node:path';
import { check, finish, launch, repoRoot, runNative, scratch, serve } from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const zumble = path.resolve(process.argv[3] || '');
if (!process.argv[3] || !fs.existsSync(zumble)) {
  console.error('usage: node clip_test.mjs SITE_FOLDER ZUMBLE_BINARY');
  process.exit(2);
}
const replay = path.join(repoRoot, 'tests/replays/10-flies-speed-2.zrp');
// A frame of the round, 4 s in: the clock on the board changes every frame.
const frame = 240;
// The mean difference, per colour channel of 0..255, that the clip may show against the
// game's own picture. VP9 at the clip's quality keeps the flat wood within a level or
// two; what it loses is at the hard dark outlines, where 4:2:0 also halves the colour's
// resolution: 1.5 measured on this round, so twice that. A wrong picture is far beyond
// it (the mode-select screen, where the round's frame 240 should be: 80). Beside it, the
// count of pixels off by more than 64 tells the frame from its neighbours (the clock's
// digits): 412 against 583 for the next frame.
const threshold = 3;

const made = runNative(zumble, ['--replay', replay, '--clip', 'round.webm']);
const verified = /^ok .* frames=(\d+) /m.exec(made.stdout);
check(`the clip is made (exit ${made.code}): ${made.stdout.trim().split('\n').pop()}`,
      made.code === 0 && verified && fs.existsSync(path.join(made.dir, 'round.webm')), made.stderr);
if (!verified) finish();
const frames = Number(verified[1]);

// The round's frame F is shown at the flip that ends it: the trace's first flip of play
// (scene 6 going to 7) ends frame 0.
const traced = runNative(zumble, ['--replay', replay, '--trace', 'round.trace']);
const start = Number(/^frame=(\d+) .* scene=6 next=7 /m.exec(fs.readFileSync(path.join(traced.dir, 'round.trace'),
                                                                            'utf8'))[1]);
const shots = runNative(zumble, ['--replay', replay, '--script', 'shots.txt'],
                        { 'shots.txt': [-1, 0, 1].map((d) => `${start + frame + d} shot frame${d}.png\n`).join('') });
check(`the game's shots of frames ${frame - 1} to ${frame + 1} (exit ${shots.code})`,
      shots.code === 0 && fs.existsSync(path.join(shots.dir, 'frame1.png')), shots.stderr);

const folder = scratch('zumble-clip-');
fs.copyFileSync(path.join(made.dir, 'round.webm'), path.join(folder, 'round.webm'));
for (const name of ['frame-1.png', 'frame0.png', 'frame1.png']) fs.copyFileSync(path.join(shots.dir, name), path.join(folder, name));
fs.writeFileSync(path.join(folder, 'clip.html'), '<!DOCTYPE html><title>clip</title>');
const server = await serve(folder);
const context = await launch({ width: 800, height: 600 });
try {
  const page = await context.newPage();
  await page.goto(server.url + 'clip.html');
  const seen = await page.evaluate(async (at) => {
    const video = document.createElement('video');
    video.muted = true;
    video.preload = 'auto';
    const loaded = new Promise((ok, bad) => {
      video.onloadeddata = ok;
      video.onerror = () => bad(new Error('the video does not play: ' + (video.error && video.error.message)));
    });
    // From memory: the test's server answers no ranges, without which nothing seeks.
    video.src = URL.createObjectURL(await (await fetch('round.webm')).blob());
    await loaded;
    const seeked = new Promise((ok) => { video.onseeked = ok; });
    video.currentTime = (at + 0.5) / 60;  // the middle of the frame's 1/60 s
    await seeked;
    const picture = new OffscreenCanvas(640, 480).getContext('2d');
    picture.drawImage(video, 0, 0, 640, 480);
    const got = picture.getImageData(0, 0, 640, 480).data;
    async function shot(name) {
      const bitmap = await createImageBitmap(await (await fetch(name)).blob(),
                                             { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
      const c = new OffscreenCanvas(640, 480).getContext('2d');
      c.drawImage(bitmap, 0, 0);
      return c.getImageData(0, 0, 640, 480).data;
    }
    function meanDifference(a, b) {
      let sum = 0, far = 0;
      for (let i = 0; i < a.length; i += 4) {
        const d = [Math.abs(a[i] - b[i]), Math.abs(a[i + 1] - b[i + 1]), Math.abs(a[i + 2] - b[i + 2])];
        sum += d[0] + d[1] + d[2];
        if (Math.max(...d) > 64) ++far;
      }
      return [sum / (a.length / 4 * 3), far];
    }
    const [before, own, after] = [await shot('frame-1.png'), await shot('frame0.png'), await shot('frame1.png')];
    return { duration: video.duration, width: video.videoWidth, height: video.videoHeight,
             before: meanDifference(got, before), own: meanDifference(got, own), after: meanDifference(got, after) };
  }, frame);
  check(`the <video> lasts the round's ${frames} frames (${(frames / 60).toFixed(3)} s): ${seen.duration} s`,
        Math.abs(seen.duration - frames / 60) < 0.05);
  check(`the video is 640x480: ${seen.width}x${seen.height}`, seen.width === 640 && seen.height === 480);
  const [mean, far] = seen.own;
  check(`frame ${frame} drawn from the video is the game's shot of it within ${threshold}: ${mean.toFixed(2)}`,
        mean < threshold);
  check(`it is nearer to that shot than to those of the frames either side: ${far} pixels off by more than 64, ` +
        `against ${seen.before[1]} and ${seen.after[1]}`, far < seen.before[1] && far < seen.after[1]);
} catch (e) {
  check('the clip plays in Chromium', false, e.message);
} finally {
  await context.close();
  await server.close();
}
finish();
