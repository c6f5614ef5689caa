// The kept replays and the replay viewer in the page: a round played in the page shows in
// the list (the last round and its best time, with mode, time and date) and downloads
// under its name; opening a replay during a round asks first; "Watch" opens the viewer,
// whose keys, seek bar (clicked and dragged by mouse, tapped and dragged by a finger) and
// overlay work; with the overlay off the game's canvas is the game's own shot of the
// frame; Escape leaves, and "Play again" then starts a game. The list fits a phone held
// sideways and a wide screen, each round once with its buttons in columns; on the phone
// the viewer is paused, stepped and left by taps on its buttons beside the picture.
// Usage: node viewer_test.mjs build-web/site build/zumble
import fs from 'node:fs';
import path from 'node:path';
import {
  check, comparePng, everySize, finish, lastTraceLine, launch, layoutFaults, layoutOf, runNative, scratch, serve,
  traceField, waitForScene,
} from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = process.argv.slice(2).map((p) => path.resolve(p));
if (!site || !zumble || !fs.existsSync(path.join(site, 'index.html'))) {
  console.error('usage: node viewer_test.mjs SITE_FOLDER ZUMBLE_BINARY (build the page with make web)');
  process.exit(2);
}

// The test player's round of ten flies at speed 2, then back at mode select.
const play = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');
// A round started and left to go on (nobody swats).
const start = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');
const seed = 1000000000;  // 2001-09-09 01:46:40 UTC
const day = '2001-09-09';

// The same round natively: its time, and later its shots.
const alone = runNative(zumble, ['--autoplay', '--frames', '3000', '--time', String(seed), '--script', 'play.txt'],
                        { 'play.txt': play });
const nativeTime = fs.readFileSync(path.join(alone.dir, 'hiscoa.sav')).readInt32LE(12 + 4 * 5);

const server = await serve(site, { 'play.txt': play, 'start.txt': start });
const bytesOf = async (page, name) => {
  const got = await page.evaluate((n) => { const b = window.zumbleFile('replays/' + n); return b ? Array.from(b) : null; }, name);
  return got ? Buffer.from(got) : null;
};
const state = (page) => page.evaluate(() => window.zumbleViewerState && window.zumbleViewerState());
// Waits until the viewer's state passes `test`; the last state seen.
async function viewerUntil(page, test, timeout = 20000) {
  const deadline = Date.now() + timeout;
  let s = null;
  while (Date.now() < deadline) {
    s = await state(page);
    if (s && test(s)) return s;
    await page.waitForTimeout(50);
  }
  return s;
}
// Where a fraction of the seek bar is on the page.
async function barPoint(page, fraction) {
  const box = await page.locator('#canvas').boundingBox();
  const s = await state(page);
  const [x, y, w, h] = s.barRect;
  return { x: box.x + (x + w * fraction) * box.width / 640, y: box.y + (y + h / 2) * box.height / 480 };
}
// The checksum that ends a replay file (CRC-32, reflected, 0xEDB88320).
function crc32(bytes) {
  let c = 0xFFFFFFFF;
  for (const b of bytes) {
    c ^= b;
    for (let k = 0; k < 8; ++k) c = c & 1 ? (c >>> 1) ^ 0xEDB88320 : c >>> 1;
  }
  return (c ^ 0xFFFFFFFF) >>> 0;
}
const near = (frame, fraction, frames) => Math.abs(frame - fraction * (frames - 1)) <= Math.max(3, frames * 0.01);

const context = await launch({ width: 1024, height: 768 }, { timezoneId: 'UTC' });
try {
  const page = await context.newPage();
  // --- a round played in the page: the list -------------------------------------------
  await page.goto(server.url + `?script=play.txt&autoplay&trace&time=${seed}`);
  const roundOver = await page.waitForFunction(() => {
    const lines = ((window.zumbleTrace && window.zumbleTrace()) || '').trimEnd().split('\n');
    return / phase=2 /.test(lines.join('\n')) && / scene=5 /.test(lines[lines.length - 1]);
  }, null, { timeout: 120000, polling: 200 }).then(() => true, () => false);
  check('the round in the page ends at mode select', roundOver);
  await page.locator('#replays-button').click();
  await page.waitForFunction(() => document.querySelectorAll('#replays-list li[data-name]').length >= 1, null,
                             { timeout: 10000 }).catch(() => {});
  const rows = await page.locator('#replays-list li').allTextContents();
  const want = `10 flies, NORMAL · ${Math.floor(nativeTime / 1000)}.${String(nativeTime % 1000).padStart(3, '0')} s · ${day} 01:`;
  const last = await bytesOf(page, 'last.zrp');
  check(`the list shows the round once, as its best time (${rows.join(' | ')})`,
        rows.length === 1 && rows[0].startsWith('Best 1 · ' + want) && !!last && last.equals(await bytesOf(page, 'best-10-2-1.zrp')));
  const [download] = await Promise.all([page.waitForEvent('download'),
                                        page.locator('#replays-list li[data-name="best-10-2-1.zrp"] a.download').click()]);
  const name = download.suggestedFilename();
  check(`the download is named zumble-FLIES-SPEED-TIME-DATE.zrp (${name})`, name === `zumble-10-2-${nativeTime}-${day}.zrp`);
  check('and holds the kept replay', last && fs.readFileSync(await download.path()).equals(last));
  check('no submit without a board', await page.locator('#replays-list button.submit').count() === 0);

  // --- a round going on: no panel over it, a damaged file refused, a replay asks first --
  await page.goto(server.url + `?script=start.txt&trace&time=${seed + 5}`);
  check('a round is going on', await waitForScene(page, 8, 30000));
  check('Replays and Progress wait while the round runs', await page.waitForFunction(
    () => ['replays-button', 'progress-button'].every((id) => document.getElementById(id).disabled), null,
    { timeout: 10000, polling: 100 }).then(() => true, () => false));
  // A panel left open as the round began goes.
  await page.evaluate(() => { for (const id of ['replays', 'progress']) document.getElementById(id).hidden = false; });
  check('a panel open as the round runs is put away', await page.waitForFunction(
    () => document.getElementById('replays').hidden && document.getElementById('progress').hidden, null,
    { timeout: 10000, polling: 100 }).then(() => true, () => false));
  const damaged = Buffer.from(last);
  damaged[damaged.length - 40] ^= 0x55;
  const frameNow = async () => Number(traceField(await lastTraceLine(page), 'frame'));
  const before = await frameNow();
  await page.setInputFiles('#open', { name: 'damaged-round.zrp', mimeType: 'application/octet-stream', buffer: damaged });
  const refused = await page.waitForFunction(() => /damaged-round\.zrp/.test(document.getElementById('status').textContent),
                                             null, { timeout: 10000, polling: 100 }).then(() => true, () => false);
  const said = await page.locator('#status').textContent();
  check(`a damaged file is refused by its own name (${said})`, refused && /not a replay this game can play/.test(said) &&
        !/\/opened\//.test(said) && await page.locator('#ask').isHidden());
  const goesOn = await page.waitForFunction((f) => {
    const lines = ((window.zumbleTrace && window.zumbleTrace()) || '').trimEnd().split('\n');
    const line = lines[lines.length - 1];
    return / scene=8 /.test(line) && Number(/^frame=(\d+)/.exec(line)[1]) > f + 30;
  }, before, { timeout: 20000, polling: 100 }).then(() => true, () => false);
  check('and the round goes on where it was', goesOn && !/opened=/.test(page.url()));
  const opened = { name: 'best-10-2-1.zrp', mimeType: 'application/octet-stream', buffer: last };
  await page.setInputFiles('#open', opened);
  check('watching during a round asks first', await page.locator('#ask').waitFor({ timeout: 10000 }).then(() => true, () => false));
  await page.locator('#ask-no').click();
  check('"Keep playing" stays in the round', !/opened=/.test(page.url()) && await page.locator('#ask').isHidden());
  await page.setInputFiles('#open', opened);
  await Promise.all([page.waitForURL(/opened=best-10-2-1\.zrp/, { timeout: 20000 }), page.locator('#ask-yes').click()]);
  check('"Watch" leaves the round for the viewer', /opened=/.test(page.url()));

  // --- the viewer ---------------------------------------------------------------------
  let s = await viewerUntil(page, (v) => v.frame > 5);
  check(`the viewer plays the replay (${s && s.top})`, !!s && s.frames > 100 && /10 flies, NORMAL/.test(s.top));
  const frames = s.frames;
  check('its overlay is drawn over the picture', await page.evaluate(() => window.zumbleOverlayDrawn()));
  check('the player\'s pointer shows over the picture, for the seek bar',
        await page.evaluate(() => getComputedStyle(Module.canvas).cursor) === 'default');
  await page.keyboard.press('Space');
  s = await viewerUntil(page, (v) => v.paused);
  check('Space pauses', s.paused);
  // The frame in hand when the key came may still be finished: the one it stops on.
  let at = -1;
  for (let n = 0; n < 50 && at !== (await state(page)).frame; ++n) {
    at = (await state(page)).frame;
    await page.waitForTimeout(100);
  }
  await page.waitForTimeout(300);
  check('paused, the frame stands still', (await state(page)).frame === at);
  await page.keyboard.press('.');
  s = await viewerUntil(page, (v) => v.frame === at + 1);
  check(`. steps one frame on (${at} to ${s.frame})`, s.frame === at + 1);
  await page.keyboard.press(',');
  await page.keyboard.press(',');
  s = await viewerUntil(page, (v) => v.frame === at - 1);
  check(`, steps back (${s.frame})`, s.frame === at - 1 && s.paused);
  await page.keyboard.press('End');
  s = await viewerUntil(page, (v) => v.frame === frames - 1);
  check('End goes to the last frame', s.frame === frames - 1);
  await page.keyboard.press('Home');
  s = await viewerUntil(page, (v) => v.frame === 0);
  check('Home goes to the first', s.frame === 0);
  await page.keyboard.press('ArrowRight');
  s = await viewerUntil(page, (v) => v.frame === Math.min(300, frames - 1));
  check(`Right goes 5 s on (${s.frame})`, s.frame === Math.min(300, frames - 1));
  await page.keyboard.press('Shift+ArrowLeft');
  s = await viewerUntil(page, (v) => v.frame === 0);
  check('Shift+Left goes 30 s back, to the start at most', s.frame === 0);
  await page.keyboard.press('+');
  s = await viewerUntil(page, (v) => v.speed === 2);
  check('+ plays faster', s.speed === 2);
  await page.keyboard.press('-');
  await page.keyboard.press('-');
  s = await viewerUntil(page, (v) => v.speed === 0.5);
  check('- plays slower', s.speed === 0.5 && /0\.5x/.test(s.top));
  await page.keyboard.press('?');
  s = await viewerUntil(page, (v) => v.help);
  check('? shows every key', s.help && s.helpLines.length >= 8);
  await page.keyboard.press('?');

  // The seek bar: a click, a mouse drag, a tap and a finger's drag.
  let p = await barPoint(page, 0.5);
  await page.mouse.click(p.x, p.y);
  s = await viewerUntil(page, (v) => near(v.frame, 0.5, frames));
  check(`a click on the bar's middle seeks there (${s.frame} of ${frames})`, near(s.frame, 0.5, frames));
  p = await barPoint(page, 0.2);
  const q = await barPoint(page, 0.8);
  await page.mouse.move(p.x, p.y);
  await page.mouse.down();
  s = await viewerUntil(page, (v) => near(v.frame, 0.2, frames) && v.holdingBar);
  check(`pressed on the bar, the viewer goes there and holds it (${s.frame})`, near(s.frame, 0.2, frames) && s.holdingBar);
  for (let i = 1; i <= 6; ++i) await page.mouse.move(p.x + (q.x - p.x) * i / 6, p.y, { steps: 2 });
  s = await viewerUntil(page, (v) => near(v.frame, 0.8, frames));
  await page.mouse.up();
  check(`dragged along the bar, it follows (${s.frame})`, near(s.frame, 0.8, frames));
  p = await barPoint(page, 0.3);
  await page.touchscreen.tap(p.x, p.y);
  s = await viewerUntil(page, (v) => near(v.frame, 0.3, frames) && !v.holdingBar);
  check(`a tap on the bar seeks there (${s.frame})`, near(s.frame, 0.3, frames));
  const cdp = await context.newCDPSession(page);
  const touch = (type, point) => cdp.send('Input.dispatchTouchEvent', { type, touchPoints: point ? [{ x: point.x, y: point.y }] : [] });
  p = await barPoint(page, 0.6);
  const r = await barPoint(page, 0.1);
  await touch('touchStart', p);
  for (let i = 1; i <= 6; ++i) await touch('touchMove', { x: p.x + (r.x - p.x) * i / 6, y: p.y });
  s = await viewerUntil(page, (v) => near(v.frame, 0.1, frames));
  await touch('touchEnd', null);
  check(`a finger dragged along the bar takes it along (${s.frame})`, near(s.frame, 0.1, frames));

  // Pictures: with the overlay the page shows more than the game's picture; without it
  // the game's canvas is the native game's shot of that frame.
  s = await state(page);
  check('the bar let go, the viewer is paused as before', s.paused);
  if (!s.paused) { await page.keyboard.press('Space'); s = await viewerUntil(page, (v) => v.paused); }
  const target = Math.floor(frames * 0.6);
  await page.evaluate((f) => window.zumbleViewerSeek(f), target);
  s = await viewerUntil(page, (v) => v.frame === target);
  check(`a seek lands on frame ${target} (${s.frame})`, s.frame === target);
  const gamePng = async () => Buffer.from((await page.evaluate(() => Module.canvas.toDataURL('image/png'))).split(',')[1], 'base64');
  const withOverlay = await page.locator('#stage').screenshot();
  const overlayPixels = await page.evaluate(() => {
    const o = document.getElementById('overlay');
    const d = o.getContext('2d').getImageData(0, 0, o.width, o.height).data;
    let n = 0;
    for (let i = 3; i < d.length; i += 4) if (d[i]) ++n;
    return n;
  });
  check(`the overlay is drawn over the picture (${overlayPixels} pixels)`, overlayPixels > 1000);
  await page.keyboard.press('o');
  s = await viewerUntil(page, (v) => !v.shown);
  await page.waitForFunction(() => !window.zumbleOverlayDrawn(), null, { timeout: 5000 }).catch(() => {});
  check('O takes the overlay away', !s.shown && !await page.evaluate(() => window.zumbleOverlayDrawn()));
  const without = await page.locator('#stage').screenshot();
  check('the page\'s picture changes with the overlay', !withOverlay.equals(without));
  const start0 = last.readUInt32LE(36);  // the replay's first frame follows this flip
  const shots = runNative(zumble, ['--autoplay', '--frames', '3000', '--time', String(seed), '--script', 'shots.txt'],
                          { 'shots.txt': play + `${start0 + target + 1} shot frame.png\n${start0 + target + 2} shot next.png\n` });
  const native = fs.readFileSync(path.join(shots.dir, 'frame.png'));
  const shown = await gamePng();
  const differ = await comparePng(page, shown, native);
  check(`without the overlay the game's canvas is the game's own shot of frame ${target} (${differ} pixels differ)`,
        differ === 0);
  const nextDiffer = await comparePng(page, shown, fs.readFileSync(path.join(shots.dir, 'next.png')));
  check(`and not the next frame's (${nextDiffer} pixels differ)`, nextDiffer > 0);
  if (process.env.ZUMBLE_VIEWER_SHOT) {
    fs.writeFileSync(process.env.ZUMBLE_VIEWER_SHOT, withOverlay);
    fs.writeFileSync(process.env.ZUMBLE_VIEWER_SHOT + '.game.png', shown);
    fs.writeFileSync(process.env.ZUMBLE_VIEWER_SHOT + '.native.png', native);
  }
  await page.keyboard.press('o');
  await viewerUntil(page, (v) => v.shown);

  // A replay whose recorder's name (which nothing checks) holds quotes, backslashes and
  // control characters still gives the page a description it can read and draw.
  const odd = Buffer.from(last);
  Buffer.from('a"b\\c\n</x>\u0001\u00ff', 'latin1').copy(odd, 12);
  odd.writeUInt32LE(crc32(odd.subarray(0, odd.length - 4)), odd.length - 4);
  await Promise.all([page.waitForURL(/opened=odd\.zrp/, { timeout: 20000 }),
                     page.setInputFiles('#open', { name: 'odd.zrp', mimeType: 'application/octet-stream', buffer: odd })]);
  s = await viewerUntil(page, (v) => v.frame > 2);
  check(`a recorder's name of any bytes reaches the top line intact (${s && JSON.stringify(s.top)})`,
        !!s && s.top.includes('by zumble a"b\\c\n</x>\u0001\u00ff'));
  check('and the overlay is drawn', await page.evaluate(() => window.zumbleOverlayDrawn()));

  // Escape leaves; "Play again" starts a game.
  await page.keyboard.press('Escape');
  const ended = await page.waitForFunction(() => window.zumbleEnded && window.zumbleEnded(), null,
                                           { timeout: 30000, polling: 200 }).then(() => true, () => false);
  check('Escape leaves the viewer', ended && await page.locator('#again').isVisible());
  await Promise.all([page.waitForURL((u) => !/opened=/.test(u.href), { timeout: 20000 }), page.locator('#again').click()]);
  await page.waitForFunction(() => window.Module && window.Module.calledRun, null, { timeout: 30000 });
  await page.waitForTimeout(500);
  check('"Play again" after watching starts a game, not the replay',
        !/opened=/.test(page.url()) && await page.evaluate(() => window.zumbleViewerState()) === null &&
        !await page.evaluate(() => window.zumbleEnded()));
  // A damaged file that reached the game all the same (opened while no game ran to ask):
  // the page goes back to the game and says why by the file's name.
  await page.evaluate((b64) => sessionStorage.setItem('zumble-opened-replay', b64), damaged.toString('base64'));
  await page.goto(server.url + '?opened=damaged-round.zrp');
  await page.waitForURL((u) => !/opened=/.test(u.href), { timeout: 30000 }).catch(() => {});
  const back = await page.waitForFunction(() => window.Module && Module.calledRun &&
                                                /damaged-round\.zrp/.test(document.getElementById('status').textContent),
                                          null, { timeout: 30000, polling: 200 }).then(() => true, () => false);
  const backSaid = await page.locator('#status').textContent();
  check(`a damaged file the game was given goes back to the game, named (${backSaid})`,
        back && !/opened=/.test(page.url()) && !/\/opened\//.test(backSaid) && !await page.evaluate(() => window.zumbleEnded()));
  await page.close();
} catch (e) {
  check('the viewer in the page', false, e.stack || String(e));
} finally {
  await context.close();
}

// The page as a board serves it (at /play/, with /api/boards answering): after a round
// the bar offers the board's form, and the list a Submit for each timed round.
const boardSite = scratch('zumble-board-site-');
fs.mkdirSync(path.join(boardSite, 'play'));
fs.mkdirSync(path.join(boardSite, 'api'));
for (const name of fs.readdirSync(site)) fs.symlinkSync(path.join(site, name), path.join(boardSite, 'play', name));
fs.writeFileSync(path.join(boardSite, 'play', 'play.txt'), play);
fs.writeFileSync(path.join(boardSite, 'api', 'boards'), '{"boards":[]}');
const boardServer = await serve(boardSite);

// Whether every line of an element's text is there to read: inside the screen, and neither
// cut by a box around it nor under anything laid over it.
const readsWhole = (page, selector) => page.evaluate((sel) => {
  const el = document.querySelector(sel);
  const range = document.createRange();
  range.selectNodeContents(el);
  const lines = [...range.getClientRects()].filter((r) => r.width > 0);
  return lines.length > 0 && lines.every((r) => {
    const at = document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);
    return r.left >= 0 && r.top >= 0 && r.right <= innerWidth && r.bottom <= innerHeight && !!at && el.contains(at);
  });
}, selector);

// After a round and with the viewer, on phones held either way, a desktop screen and a wide
// one: the board's form and every control inside the screen and off the picture, the
// longest message read whole, the list's rounds read on a line or two above their buttons,
// the picture where it was once the viewer opens, and the words over the seek bar those of
// the screen's pointer.
for (const [what, viewport, device] of [['a phone held sideways', { width: 844, height: 390 }, { isMobile: true, deviceScaleFactor: 3 }],
                                        ['a phone held upright', { width: 390, height: 844 }, { isMobile: true, deviceScaleFactor: 3 }],
                                        ['a desktop screen', { width: 1024, height: 768 }, { hasTouch: false }],
                                        ['a wide screen', { width: 2560, height: 1080 }, {}]]) {
  const ctx = await launch(viewport, { timezoneId: 'UTC', ...device });
  try {
    const page = await ctx.newPage();
    await page.goto(boardServer.url + `play/?script=play.txt&autoplay&time=${seed}`);
    const touch = !!device.isMobile;
    await page.waitForFunction(() => window.zumbleReplays && window.zumbleReplays().filter((n) => !/^round-/.test(n)).length === 2 &&
                                     !document.getElementById('board').hidden, null, { timeout: 120000, polling: 250 });
    // The board's words for a held run, the longest the bar says.
    await page.evaluate(() => zumblePage.setStatus('Not on the board: ' + window.zumbleBoardSays(202, { error: 'held', key: 'k' })));
    const faults = layoutFaults(await layoutOf(page), touch);
    check(`on ${what} the board's form and every control are inside the screen, off the picture`, faults.length === 0 &&
          await page.locator('#board a[href="/"]').isVisible(), faults.join('; '));
    check(`on ${what} the message reads whole`, await readsWhole(page, '#status'), await page.locator('#status').textContent());
    await page.locator('#replays-button').click();
    const panel = await page.locator('#replays').boundingBox();
    const buttons = page.locator('#replays-list button.watch, #replays-list a.download');
    let inside = panel && panel.x >= 0 && panel.y >= 0 && panel.x + panel.width <= viewport.width + 1 &&
                 panel.y + panel.height <= viewport.height + 1;
    const every = await Promise.all((await page.locator('#replays-list .actions > :is(button, a)').all()).map((b) => b.boundingBox()));
    for (const box of every) {
      inside = inside && box && box.width >= (touch ? 44 : 30) && box.height >= (touch ? 44 : 20) && box.x >= panel.x &&
               box.x + box.width <= panel.x + panel.width && box.y + box.height <= viewport.height;
    }
    const boxes = await Promise.all((await buttons.all()).map((b) => b.boundingBox()));
    check(`on ${what} the list and its ${every.length} buttons fit the screen (${JSON.stringify(panel)})`,
          inside && await buttons.count() === 2 && every.length === 5);
    check(`on ${what} Watch and Download stand side by side`, boxes.length === 2 && boxes[1].x >= boxes[0].x + boxes[0].width &&
          Math.abs(boxes[0].y - boxes[1].y) < 1, JSON.stringify(boxes));
    const rows = await page.evaluate(() => [...document.querySelectorAll('#replays-list li[data-name]')].map((li) => {
      const facts = li.querySelector('.facts');
      const range = document.createRange();
      range.selectNodeContents(facts);
      const f = facts.getBoundingClientRect();
      return { lines: new Set([...range.getClientRects()].map((r) => Math.round(r.top))).size,
               above: [...li.querySelectorAll('.actions > *')].every((b) => b.getBoundingClientRect().top >= f.bottom - 0.5) };
    }));
    check(`on ${what} each round in the list reads on a line or two, above its buttons`,
          rows.length === 1 && rows.every((r) => r.lines <= 2 && r.above), JSON.stringify(rows));
    const beforeViewer = await page.locator('#canvas').boundingBox();
    // Watched there: the overlay lies on the picture, and a tap on its bar seeks.
    await Promise.all([page.waitForURL(/opened=/, { timeout: 20000 }),
                       device.hasTouch === false ? page.locator('#replays-list li[data-name="best-10-2-1.zrp"] button.watch').click()
                                                 : page.locator('#replays-list li[data-name="best-10-2-1.zrp"] button.watch').tap()]);
    let v = await viewerUntil(page, (x) => x.frame > 2);
    const [picture, overlay] = await Promise.all(['#canvas', '#overlay'].map((id) => page.locator(id).boundingBox()));
    check(`on ${what} the overlay lies exactly on the picture`, JSON.stringify(picture) === JSON.stringify(overlay) &&
          await page.evaluate(() => window.zumbleOverlayDrawn()), JSON.stringify([picture, overlay]));
    const kept = await page.waitForFunction((b) => {
      const r = document.getElementById('canvas').getBoundingClientRect();
      return r.x === b.x && r.y === b.y && r.width === b.width && r.height === b.height;
    }, beforeViewer, { timeout: 10000, polling: 100 }).then(() => true, () => false);
    check(`on ${what} the picture keeps its box as the viewer opens`, kept,
          JSON.stringify([beforeViewer, await page.locator('#canvas').boundingBox()]));
    // A touch screen is one whose main pointer is a finger, as the browser says.
    const coarse = await page.evaluate(() => matchMedia('(pointer: coarse)').matches);
    const helpLine = await page.evaluate(() => window.zumbleViewerHelpLine());
    check(`on ${what} the line over the seek bar speaks of ${coarse ? 'taps' : 'keys'} (${helpLine})`,
          (coarse || !touch) && (coarse ? /^Tap /.test(helpLine) && !/Space|Home|Esc/.test(helpLine) : /^Space pause /.test(helpLine)));
    if (touch) {
      const faults = layoutFaults(await layoutOf(page), true);
      check(`on ${what} the viewer's buttons are beside the picture, a finger's size`,
            faults.length === 0 && await page.locator('#viewer-pause').isVisible(), faults.join('; '));
      await page.locator('#viewer-pause').tap();
    } else {
      await page.keyboard.press('Space');
    }
    v = await viewerUntil(page, (x) => x.paused);
    check(`on ${what} ${touch ? 'a tap on Pause' : 'Space'} pauses`, !!v && v.paused);
    const p = await barPoint(page, 0.75);
    await (device.hasTouch === false ? page.mouse.click(p.x, p.y) : page.touchscreen.tap(p.x, p.y));
    v = await viewerUntil(page, (x) => near(x.frame, 0.75, x.frames));
    check(`on ${what} a ${device.hasTouch === false ? 'click' : 'tap'} on the bar seeks there (${v && v.frame})`, !!v && near(v.frame, 0.75, v.frames));
    if (touch) {
      await page.locator('#viewer-on').tap();
      v = await viewerUntil(page, (x) => x.frame === (v && v.frame) + 1);
      check(`on ${what} a tap on "Frame ›" steps one frame on`, !!v && v.paused);
      await everySize(page, true, `watching on ${what}`);
      await page.setViewportSize(viewport);
      await page.locator('#viewer-leave').tap();
      const left = await page.waitForFunction(() => window.zumbleEnded && window.zumbleEnded(), null,
                                              { timeout: 20000 }).then(() => true, () => false);
      check(`on ${what} a tap on Leave stops watching`, left);
    }
  } catch (e) {
    check(`the list on ${what}`, false, e.stack || String(e));
  } finally {
    await ctx.close();
  }
}
await boardServer.close();
await server.close();
finish();
