// Racing friends in the page, against a real zumble-board on 127.0.0.1 that serves the
// built page at /play/: one page makes a room ("Race with friends") and joins it, a phone
// opens its link and joins too, both see each other beside the picture (never on it,
// upright and sideways), a third page follows the room watching one racer; both race a
// 10-fly round by taps, see each other's counts, and every page shows both checked times
// and the winner; the third page watches its racer's round in its viewer while she plays
// it, a moment behind, and once it has ended stands on its last frame at the time the
// board checked; the relayed round is the replay the board stored; Rematch, the
// creator's Start now (the racer's new round offered to the watcher), and a lost
// connection said.
// Usage: node rooms_test.mjs build-web/site build/zumble   (the board: build-board/zumble-board,
// or ZUMBLE_BOARD)
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { check, finish, launch, layoutFaults, layoutOf, repoRoot, scratch, siteAndGame, startBoard } from './harness.mjs';

process.setMaxListeners(0);
const [site, zumble] = siteAndGame('rooms_test.mjs');
const board = path.resolve(process.env.ZUMBLE_BOARD || path.join(repoRoot, 'build-board/zumble-board'));
if (!fs.existsSync(board)) {
  console.log(`SKIP: no board at ${board} (cmake --build build-board)`);
  process.exit(77);
}

const work = scratch('zumble-rooms-page-');
const siteDir = path.join(work, 'site');
fs.mkdirSync(siteDir);
for (const name of fs.readdirSync(site)) fs.symlinkSync(path.join(site, name), path.join(siteDir, name));
const { server, url } = await startBoard(board, ['--db', path.join(work, 'board.db'), '--zumble', zumble, '--site', siteDir,
                                                 '--work-dir', work, '--review-top', '0']);

// Waits (a minute at most) until the page's function of `arg` is true; whether it came.
const until = (page, fn, arg, timeout = 60000) =>
  page.waitForFunction(fn, arg, { timeout, polling: 100 }).then(() => true, () => false);
// The racers' rows as the page shows them: {name: words}.
const rowsOf = (page) => page.evaluate(() => Object.fromEntries([...document.querySelectorAll('#room-racers li')]
  .map((li) => [li.dataset.name, li.querySelector('.where').textContent])));
// Whether the room's panel lies clear of the picture, inside the screen.
const panelClear = (page) => page.evaluate(() => {
  const p = document.getElementById('canvas').getBoundingClientRect();
  const r = document.getElementById('room').getBoundingClientRect();
  const apart = r.right <= p.left + 0.5 || r.left >= p.right - 0.5 || r.bottom <= p.top + 0.5 || r.top >= p.bottom - 0.5;
  return { ok: r.width > 0 && r.height > 0 && apart && r.left >= -0.5 && r.right <= innerWidth + 0.5 &&
               r.bottom <= innerHeight + 0.5, panel: [r.left, r.top, r.width, r.height], picture: [p.left, p.top, p.width, p.height] };
});

// A racer's round by taps: Start on the title, Start on the mode screen, then the oldest
// fly the game's trace shows, tapped where it is, until the round's results; the most
// the other racer's row showed meanwhile.
async function race(page, other) {
  const box = await page.locator('#canvas').boundingBox();
  const tap = (x, y) => page.touchscreen.tap(box.x + (x + 0.5) * box.width / 640, box.y + (y + 0.5) * box.height / 480);
  const line = async () => (await page.evaluate(() => {
    const t = (window.zumbleTrace && window.zumbleTrace()) || '';
    return t.slice(t.lastIndexOf('\n', t.length - 2) + 1);
  }));
  const r = { heldAtStart: false, finished: false, swats: 0, otherMost: 0, cueSwats: '', tapAt: 0, flyAt: null };
  const deadline = Date.now() + 180000;
  await until(page, () => / scene=/.test((window.zumbleTrace && window.zumbleTrace()) || ''));
  while (Date.now() < deadline && !/ scene=5 /.test(await line())) { await tap(300, 300); await page.waitForTimeout(300); }
  await tap(320, 320);
  // Start pressed: the round waits for the countdown's end, the page shows it counting.
  r.heldAtStart = await until(page, () => /The race starts in \d/.test(document.getElementById('room-line').textContent) ||
                                          /Race \d+ is on/.test(document.getElementById('room-line').textContent), null, 60000) &&
                  !/ scene=8 .* phase=0 .* swatted=[1-9]/.test(await line());
  while (Date.now() < deadline) {
    const now = await line();
    const shown = await page.evaluate((name) => {
      const li = document.querySelector(`#room-racers li[data-name="${name}"]`);
      return li ? Number(li.dataset.swats) : -1;
    }, other);
    r.otherMost = Math.max(r.otherMost, shown);
    if (/ scene=8 .* phase=[23] /.test(now)) { r.finished = / swatted=10 /.test(now); break; }
    // A person's finger: it sees a fly (or its last swat), takes a while to react and reach
    // it, and lands somewhere on it, not on the same pixel each time, so the board's signs
    // of machine play see a hand.
    const fly = / scene=8 .* phase=0 .* swatted=(\d+) .* fly=(\d+),(\d+)/.exec(now);
    if (!fly) { r.flyAt = null; await page.waitForTimeout(50); continue; }
    // A cue: a swat, or another fly coming first (one that just showed, or one far from
    // where the oldest was a moment ago).
    // The oldest fly may still be coming in from beyond the edge, not shown yet: a person
    // goes for it once it is well inside.
    const [x, y] = [Number(fly[2]), Number(fly[3])];
    if (x < 16 || x > 600 || y < 16 || y > 440) { r.flyAt = null; await page.waitForTimeout(30); continue; }
    if (fly[1] !== r.cueSwats || !r.flyAt || Math.abs(x - r.flyAt[0]) + Math.abs(y - r.flyAt[1]) > 40) {
      r.tapAt = Math.max(r.tapAt, Date.now() + 450 + Math.random() * 350);
    }
    r.cueSwats = fly[1];
    r.flyAt = [x, y];
    if (Date.now() < r.tapAt) { await page.waitForTimeout(30); continue; }
    const off = () => Math.max(-14, Math.min(14, Math.round((Math.random() + Math.random() + Math.random() - 1.5) * 12)));
    // The cursor's reach on a fly at (x, y) is x - 24 to x + 26 (and so for y).
    await tap(Math.max(0, Math.min(639, x + 1 + off())), Math.max(0, Math.min(479, y + 1 + off())));
    r.tapAt = Date.now() + 300 + Math.random() * 250;  // a miss: another try, a moment later
  }
  r.swats = Number((/ swatted=(\d+)/.exec(await line()) || [0, 0])[1]);
  // The round ends as its results board is left (a tap once it takes one): the game then
  // sends the round's end, and the board checks the whole round.
  while (Date.now() < deadline && / scene=8 /.test(await line())) { await tap(320, 240); await page.waitForTimeout(250); }
  return r;
}

// The watcher's side of the race: "Watch Ann live" once her round begins, then the
// viewer's state every 150 ms until some seconds after her round has ended (`ended()`,
// its time, once known) and the viewer has the whole round.
async function watchLive(page, ended) {
  const w = { offered: false, url: '', samples: [], error: '' };
  try {
    w.offered = await until(page, () => {
      const b = document.getElementById('room-watch');
      return !b.hidden && b.textContent === 'Watch Ann live';
    }, null, 180000);
    if (!w.offered) return w;
    await Promise.all([page.waitForURL(/&live$/, { timeout: 30000 }), page.locator('#room-watch').click()]);
    w.url = page.url();
    const deadline = Date.now() + 240000;
    while (Date.now() < deadline) {
      const s = await page.evaluate(() => window.zumbleViewerState && window.zumbleViewerState()).catch(() => null);
      const at = Date.now();
      if (s) w.samples.push({ at, frame: s.frame, frames: s.frames, live: s.live, waiting: s.waiting, top: s.top });
      if (ended() && at > ended() + 1000 && s && !s.live) break;
      await page.waitForTimeout(150);
    }
  } catch (e) {
    w.error = String(e.stack || e);
  }
  return w;
}

const desk = await launch({ width: 1024, height: 768 });
const phone = await launch({ width: 390, height: 844 }, { isMobile: true, deviceScaleFactor: 3 });
const watcher = await launch({ width: 1024, height: 768 }, { hasTouch: false });
try {
  // Making a room: the button shows where a board serves the page; its panel asks the mode.
  const ann = await desk.newPage();
  await ann.goto(`${url}/play/`);
  check('"Race with friends" shows where a board serves the page',
        await until(ann, () => !document.getElementById('rooms-button').hidden));
  await ann.locator('#rooms-button').tap();
  await ann.selectOption('#rooms-flies', '10');
  await ann.selectOption('#rooms-speed', '2');
  await ann.fill('#rooms-name', 'Friday');
  await Promise.all([ann.waitForURL(/\/play\/\?room=/, { timeout: 30000 }), ann.locator('#rooms-make-submit').tap()]);
  const room = new URL(ann.url()).searchParams.get('room');
  check(`the page made a room and went to its link (${room})`, /^[0-9a-f]+$/.test(room || ''));
  check('the room\'s link to share is shown, with a copy button',
        await until(ann, (id) => document.getElementById('room-link').value === location.origin + '/play/?room=' + id, room) &&
        await ann.locator('#room-copy').isVisible());
  await ann.locator('#room-copy').tap();
  check('"Copy link" copies it and says so', await until(ann, () => /link is copied/.test(
    document.getElementById('status').textContent)), await ann.textContent('#status'));
  check('the room shows its name and mode', await until(ann, () => document.getElementById('room-title').textContent ===
                                                        'Friday: 10 flies, NORMAL'), await ann.textContent('#room-title'));
  check('the maker keeps the room\'s host pass', await ann.evaluate((id) => /^[0-9a-f]{32}$/.test(
    JSON.parse(localStorage.getItem('zumble-room-hosts'))[id].pass), room));
  // Joining: the name asked, then the racer is in the room.
  await until(ann, () => !document.getElementById('room-join').hidden);
  await ann.fill('#room-name', 'Ann');
  await ann.locator('#room-join-button').tap();
  check('Ann joins and sees herself in the panel',
        await until(ann, () => /Ann \(you\)/.test(document.getElementById('room-racers').textContent)),
        await ann.textContent('#room'));

  // The link opened on a phone: the name asked; a name in the room already is refused in words.
  const bo = await phone.newPage();
  await bo.goto(`${url}/play/?room=${room}`);
  await until(bo, () => !document.getElementById('room-join').hidden);
  await bo.fill('#room-name', 'Ann');
  await bo.locator('#room-join-button').tap();
  check('a name already in the room is refused, said in words',
        await until(bo, () => /Someone in the room has that name/.test(document.getElementById('status').textContent)),
        await bo.textContent('#status'));
  await bo.fill('#room-name', 'Bo');
  await bo.locator('#room-join-button').tap();
  check('Bo joins from the link', await until(bo, () => document.getElementById('room-join').hidden &&
                                                        /Bo \(you\)/.test(document.getElementById('room-racers').textContent)));
  check('each page shows both racers, not ready',
        await until(ann, () => document.querySelectorAll('#room-racers li').length === 2) &&
        await until(bo, () => document.querySelectorAll('#room-racers li').length === 2) &&
        JSON.stringify(await rowsOf(ann)) === JSON.stringify({ Ann: 'not ready', Bo: 'not ready' }),
        JSON.stringify(await rowsOf(ann)));
  check('only the maker is offered "Start now"', await ann.locator('#room-start').isVisible() &&
        !(await bo.locator('#room-start').isVisible()));

  // The panel beside the picture, never on it: a phone upright and sideways, and the desk.
  for (const [w, h] of [[390, 844], [844, 390]]) {
    await bo.setViewportSize({ width: w, height: h });
    await until(bo, ([x, y]) => innerWidth === x && innerHeight === y, [w, h]);
    await bo.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    const faults = layoutFaults(await layoutOf(bo), true);
    const clear = await panelClear(bo);
    check(`at ${w}x${h} the room's panel is beside the picture and every control a finger's size, off the picture`,
          faults.length === 0 && clear.ok, faults.join('; ') + ' ' + JSON.stringify(clear));
  }
  const deskClear = await panelClear(ann);
  check('at 1024x768 the room\'s panel is off the picture', deskClear.ok &&
        layoutFaults(await layoutOf(ann), true).length === 0, JSON.stringify(deskClear));

  // A third page follows the room.
  const cy = await watcher.newPage();
  await cy.goto(`${url}/play/?room=${room}&watch=Ann`);
  check('a third page follows the room without joining it',
        await until(cy, () => document.querySelectorAll('#room-racers li').length === 2 &&
                              document.getElementById('room-join').hidden));

  // The race, by taps: each racer taps Start on the title and on the mode screen (the
  // room's mode), the countdown runs, then each swats the oldest fly the game shows until
  // the round's results; each sees the other's count beside the picture as the board
  // plays it, and the result lists both checked times.
  await Promise.all([ann.goto(`${url}/play/?room=${room}&trace`), bo.goto(`${url}/play/?room=${room}&trace`)]);
  let annEnded = 0;
  const watching = watchLive(cy, () => annEnded);
  const seen = await Promise.all([race(ann, 'Bo').then((r) => { annEnded = Date.now(); return r; }), race(bo, 'Ann')]);
  const live = await watching;
  for (const [who, r] of [['Ann', seen[0]], ['Bo', seen[1]]]) {
    check(`${who} is at the room's mode on the mode screen, and Start holds the round until the countdown ends`,
          r.heldAtStart, JSON.stringify(r));
    check(`${who} swatted all ten flies (${r.swats} taps that hit)`, r.finished, JSON.stringify(r));
    check(`${who} saw the other racer's count rise beside the picture (up to ${r.otherMost})`, r.otherMost >= 1,
          JSON.stringify(r));
  }
  for (const [who, page] of [['Ann', ann], ['Bo', bo], ['the follower', cy]]) {
    const done = await until(page, () => [...document.querySelectorAll('#room-racers li .where')]
      .filter((w) => /^ready|^not ready/.test(w.textContent) && /last race: \d+\.\d{3} s$/.test(w.textContent)).length === 2 &&
      / won race 1 in \d+\.\d{3} s\./.test(document.getElementById('room-line').textContent), null, 120000);
    check(`${who} sees the result: both racers' checked times and the winner`, done,
          (await page.textContent('#room-racers')) + ' / ' + (await page.textContent('#room-line')));
  }
  const state = await (await fetch(`${url}/api/rooms/${room}`)).json();
  const results = (state.races[0] || {}).results || [];
  check('the board holds both rounds verified, on the room\'s seed', results.length === 2 &&
        results.every((r) => r.status === 'verified' && r.time_ms > 0),
        JSON.stringify(results) + (results.some((r) => r.status === 'held')
          ? ' ' + execFileSync(board, ['admin', '--db', path.join(work, 'board.db'), 'held']).toString() : ''));
  // The follower watching Ann: offered her round live once it began, then her round in
  // the viewer while she played it, from the relayed inputs alone.
  check('the follower of Ann is offered to watch her round live once it begins, and the page goes to it',
        live.offered && /[?&]watch=Ann&live$/.test(live.url), live.error || live.url);
  const during = live.samples.filter((s) => s.live && s.at < annEnded);
  const shownDuring = [...new Set(during.map((s) => s.frame))];
  check(`the viewer plays Ann's round while she plays it: ${shownDuring.length} frames shown before her round ended, ` +
        `up to frame ${Math.max(0, ...shownDuring)}`,
        shownDuring.length >= 10 && Math.max(0, ...shownDuring) >= 120 &&
        during.every((s, i) => i === 0 || s.frame >= during[i - 1].frame),
        JSON.stringify(during.slice(-5)) + ' ' + live.error);
  const waits = during.filter((s) => s.waiting);
  check(`where the frames that came end, the viewer stands on the last one and says it waits (${waits.length} of ` +
        `${during.length} looks)`,
        during.every((s) => !s.waiting === (s.frame < s.frames - 1)) &&
        waits.every((s) => / so far {3}1x, waiting for the round to go on/.test(s.top)) &&
        during.every((s) => / of \d+ so far /.test(s.top)),
        JSON.stringify(waits.slice(0, 3)));
  const annRun = results.find((r) => r.name === 'Ann') || {};
  const relayed = Buffer.from(await cy.evaluate(() => Array.from(window.zumbleRoomWatchedRound() || [])));
  const stored = Buffer.from(await (await fetch(`${url}/api/runs/${annRun.run}/replay`)).arrayBuffer());
  check('the round put together from the relayed records is the replay the board stored',
        relayed.length > 68 && relayed.equals(stored), `${relayed.length} and ${stored.length} bytes`);
  // Once her round has ended the viewer has it whole: it plays to its last picture (the
  // results board; the leave's black frame is none of its pictures) and stands there at
  // the round's time, the one the board checked.
  const storedFrames = stored.length > 68 ? stored.readUInt32LE(52) : -1;
  const clock = (ms) => `${Math.floor(ms / 60000)}:${String(Math.floor(ms / 1000) % 60).padStart(2, '0')}.` +
                        String(ms % 1000).padStart(3, '0');
  const atEnd = await until(cy, () => {
    const s = window.zumbleViewerState();
    return s && !s.live && s.frame === s.frames - 1;
  }, null, 60000);
  const last = await cy.evaluate(() => window.zumbleViewerState());
  check(`after the round's end the viewer stands on its last frame (${last && last.frame} of ${last && last.frames}, ` +
        `the stored round's ${storedFrames} less the leave's) at the checked time ${clock(annRun.time_ms || 0)}`,
        atEnd && last.frames === storedFrames - 1 && stored[31] === 0 &&
        last.top.includes(`   ${clock(annRun.time_ms)}   frame ${last.frames - 1} of ${last.frames}   `),
        `${last && last.top} / ${await cy.textContent('#status')} / ${JSON.stringify(await cy.evaluate(() => window.zumbleRoomLiveState()))}`);
  check('Rematch is offered to the racers', await until(ann, () => !document.getElementById('room-rematch').hidden));
  await ann.locator('#room-rematch').tap();
  check('a tap on Rematch makes Ann ready again, as Bo\'s page shows', await until(bo, () => /^ready/.test(
    (document.querySelector('#room-racers li[data-name="Ann"] .where') || {}).textContent || '')),
        await bo.textContent('#room-racers'));

  // The maker starts the next race without waiting for Bo: every page sees the countdown.
  await ann.locator('#room-start').tap();
  for (const [who, page] of [['Ann', ann], ['Bo', bo], ['the follower', cy]]) {
    check(`${who} sees the countdown`, await until(page, () => /The race starts in \d/.test(
      document.getElementById('room-line').textContent)), await page.textContent('#room-line'));
  }
  check('then the race is on, on every page', await until(cy, () => /Race 2 is on/.test(
    document.getElementById('room-line').textContent)) && await until(ann, () => /Race 2 is on/.test(
    document.getElementById('room-line').textContent)), await cy.textContent('#room-line'));
  check('the watcher is offered Ann\'s new round live, her last one staying in the viewer', await until(cy, () => {
    const b = document.getElementById('room-watch');
    return !b.hidden && b.textContent === 'Watch Ann\'s new round live' && window.zumbleViewerState().frame > 0;
  }), await cy.textContent('#room-watch'));

  // The board gone without a word: each page says the connection is lost and tries again.
  server.kill('SIGKILL');
  for (const [who, page] of [['Ann', ann], ['the follower', cy]]) {
    check(`${who}'s page says the connection is lost`, await until(page, () => /connection to the room is lost/.test(
      document.getElementById('room-conn').textContent) && !document.getElementById('room-conn').hidden),
          await page.textContent('#room-conn'));
  }
} catch (e) {
  check('the rooms test ran through', false, e.stack || String(e));
} finally {
  await Promise.all([desk.close(), phone.close(), watcher.close()]);
}
finish();
