// The frame rate of the browser build in headless Chromium: a whole 1000-fly round at
// the top speed, played by the test player with no pacing (?autoplay&timedemo), beside
// the same round in the native headless game.
// Usage: node bench/web_timedemo.mjs build-web/site build-release/zumble
import path from 'node:path';
import { launch, runNative, serve, waitForEnd } from '../tests/web/harness.mjs';

const [site, zumble] = process.argv.slice(2).map((p) => path.resolve(p));
const round = ['0 move 300 300', '3 click', '10 move 515 84', '11 click', '15 click', '19 move 515 200',
               '20 click', '24 click', '28 move 320 320', '29 click', '40 key return', ''].join('\n');
const frames = 8000;

const native = runNative(zumble, ['--autoplay', '--timedemo', '--frames', String(frames), '--script', 'round.txt'],
                         { 'round.txt': round });
console.log('native headless: ' + native.stdout.trim());

const server = await serve(site, { 'round.txt': round });
const context = await launch({ width: 800, height: 600 });
try {
  const page = await context.newPage();
  await page.goto(server.url + `?script=round.txt&autoplay&timedemo&frames=${frames}`);
  await waitForEnd(page, 600000);
  console.log('browser (canvas shown 10 times a second): ' + await page.evaluate(() => window.zumbleOutput()));
} finally {
  await context.close();
  server.close();
}
