// Loading: a bar that fills with the bytes received and says what it waits for; a
// download that fails says which, and Retry brings the game's first frame; the music comes
// after it, and the game then holds its very bytes.
// Usage: node loading_test.mjs build-web/site build/zumble
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  check, comparePng, everySize, firstDifference, lastTraceLine, launch, layoutFaults, layoutOf, repoRoot,
  runNative, runTests, scratch, serve, serveWithFaults, siteAndGame, traceField, waitForEnd, waitForScene,
} from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = siteAndGame('loading_test.mjs');

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

await runTests([loadingBar], []);
