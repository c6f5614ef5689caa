// Phones held sideways and upright (touch, 3 device pixels a CSS pixel): the picture fills
// the screen held either way, and taps play a round, Retry it and Leave it; a desktop
// screen keeps a whole factor. (ZUMBLE_SCREENSHOTS=DIR keeps the phones' screenshots
// there, as docs/screens/phone-*.png were made.)
// Usage: node phone_test.mjs build-web/site build/zumble
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  check, comparePng, everySize, firstDifference, lastTraceLine, launch, layoutFaults, layoutOf, repoRoot,
  runNative, runTests, scratch, serve, serveWithFaults, siteAndGame, traceField, waitForEnd, waitForScene,
} from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = siteAndGame('phone_test.mjs');

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
        const trace = await page.evaluate(() => (window.zumbleTrace && window.zumbleTrace()));
        check(`${name}: the tap landed on game pixel (300, 300)`, /cursor=300,300 /.test(trace));
        if (width < height) {
          check(`${name}: the note has gone with the tap`, !(await page.locator('#notice').isVisible()));
        }
        await tap(320, 320);
        check(`${name}: a tap on start begins a round`, await waitForScene(page, 8));
        // Taps at the oldest fly, aimed a few frames ahead of it, until one is swatted.
        let swatted = 0;
        for (let i = 0; i < 80 && swatted === 0; ++i) {
          const lines = ((await page.evaluate(() => (window.zumbleTrace && window.zumbleTrace()))) || '').trimEnd().split('\n');
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
        const panelsOffered = () => page.evaluate(() => ['replays-button', 'progress-button'].map((id) => document.getElementById(id).disabled));
        const waiting = JSON.stringify(await panelsOffered());
        check(`${name}: Replays and Progress wait for the round's end`, waiting === '[true,true]',
              waiting + ' ' + await lastTraceLine(page));
        // Retry mid-round: the round so far ends as a left one, a new one starts at once.
        await page.locator('#retry').tap();
        const left = await page.waitForFunction(() => {
          const h = new TextDecoder().decode(window.zumbleFile('history.txt') || new Uint8Array());
          return /time_ms=left/.test(h) ? h : null;
        }, null, { timeout: 20000, polling: 100 }).then((h) => h.jsonValue(), () => '');
        check(`${name}: a tap on Retry ends the round as a left one`,
              /^played=\d+ flies=\d+ speed=\d time_ms=left swatted=[1-9]\d* round=[0-9a-f]{64} keys=0\n$/.test(left), left);
        let fresh = false;
        for (let i = 0; i < 100 && !fresh; ++i) {
          const line = await lastTraceLine(page);
          fresh = traceField(line, 'scene') === '8' && traceField(line, 'swatted') === '0';
          if (!fresh) await page.waitForTimeout(100);
        }
        check(`${name}: and a new round starts`, fresh);
        await page.locator('#leave').tap();
        check(`${name}: a tap on Leave leaves the round`, await waitForScene(page, 5));
        check(`${name}: and Replays and Progress are there again`, await page.waitForFunction(
          () => ['replays-button', 'progress-button'].every((id) => !document.getElementById(id).disabled), null,
          { timeout: 10000, polling: 100 }).then(() => true, () => false));
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
              await page.waitForFunction(() => / scene=2 /.test((window.zumbleTrace && window.zumbleTrace()) || ''), null,
                                         { timeout: 20000, polling: 100 }).then(() => true, () => false));
        const before = await layoutOf(page);
        const roundOver = await page.waitForFunction(() => {
          const lines = ((window.zumbleTrace && window.zumbleTrace()) || '').trimEnd().split('\n');
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

await runTests([], [phoneScreens]);
