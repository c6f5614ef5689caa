// Two pages of the game open at once (two tabs of one site), both opened before either
// plays, each setting a best time in the same mode: after both are hidden and closed, in
// either order, the site keeps both records in order, each with its own replay, which
// verifies natively to the time at its place. Each page asks the browser to keep its
// storage. A tab hidden in the middle of a round keeps the round so far where the other
// tabs find it (it plays back as a left round), and plays on unharmed once shown again.
// Usage: node keep_test.mjs build-web/site build/zumble
import fs from 'node:fs';
import path from 'node:path';
import { check, finish, launch, runNative, scratch, serve } from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = process.argv.slice(2).map((p) => path.resolve(p));
if (!site || !zumble || !fs.existsSync(path.join(site, 'index.html'))) {
  console.error('usage: node keep_test.mjs SITE_FOLDER ZUMBLE_BINARY (build the page with make web)');
  process.exit(2);
}

// The test player's round of ten flies at speed 2 (row 1 of the table: entries 5 to 9).
const script = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''].join('\n');
const seeds = { a: 42, b: 77 };

// Each seed's time, from the native game playing the same round alone.
const alone = {};
for (const [name, seed] of Object.entries(seeds)) {
  const run = runNative(zumble, ['--autoplay', '--frames', '3000', '--time', String(seed), '--script', 'play.txt'],
                        { 'play.txt': script });
  alone[name] = fs.readFileSync(path.join(run.dir, 'hiscoa.sav')).readInt32LE(12 + 4 * 5);
}
check(`the two rounds set different times alone (${alone.a} and ${alone.b} ms)`,
      alone.a !== alone.b && Math.max(alone.a, alone.b) < 3599999);

// The page's display, held by the test: animation frames come only while it runs, each a
// frame of 1/60 s later (so the game runs as fast as the page goes), and the page can be
// hidden as a tab in the background is.
function display() {
  const d = window.zumbleTestDisplay = { hold: true, hidden: false, now: 0, waiting: [], pending: false, persist: 0 };
  const channel = new MessageChannel();
  const schedule = () => {
    if (d.pending || d.hold || d.hidden || !d.waiting.length) return;
    d.pending = true;
    channel.port2.postMessage(0);
  };
  channel.port1.onmessage = () => {
    d.pending = false;
    if (d.hold || d.hidden) return;
    const waiting = d.waiting;
    d.waiting = [];
    d.now += 1000 / 60;
    if (d.holdAt && d.now >= d.holdAt) d.hold = true;  // the frames after it wait for run()
    waiting.forEach((f) => f(d.now));
  };
  window.requestAnimationFrame = (f) => { d.waiting.push(f); schedule(); return 1; };
  d.run = () => { d.hold = false; schedule(); };
  d.hide = () => { d.hidden = true; document.dispatchEvent(new Event('visibilitychange')); };
  d.show = () => { d.hidden = false; document.dispatchEvent(new Event('visibilitychange')); schedule(); };
  Object.defineProperty(document, 'hidden', { get: () => d.hidden });
  Object.defineProperty(document, 'visibilityState', { get: () => (d.hidden ? 'hidden' : 'visible') });
  if (navigator.storage && navigator.storage.persist) {
    const persist = navigator.storage.persist.bind(navigator.storage);
    navigator.storage.persist = () => { d.persist += 1; return persist(); };
  }
}

const row = (save) => Array.from({ length: 5 }, (_, k) => (save.length >= 332 ? save.readInt32LE(12 + 4 * (5 + k)) : -1));
const bytesOf = async (page, expression, arg) => {
  const got = await page.evaluate(expression, arg);
  return got ? Buffer.from(Object.values(got)) : null;
};

// Pages a and b play their rounds one after the other, the slower round first, so that the
// second page's record goes above the first's and moves its replay down; then they are
// hidden and closed in `closing` order, and a third page reads what the site kept.
async function twoPages(context, closing) {
  const what = `closed ${closing.join(' then ')}`;
  const server = await serve(site, { 'play.txt': script });
  const pages = {};
  try {
    for (const name of ['a', 'b']) {
      pages[name] = await context.newPage();
      await pages[name].addInitScript(display);
      await pages[name].goto(server.url + `?script=play.txt&autoplay&trace&time=${seeds[name]}`);
    }
    // Both have read the stored files (empty) before either plays. Asked on a timer:
    // Playwright's default polling rides the page's animation frames, which the held
    // display gives out only while a page plays, so a page still loading at the first
    // look was never looked at again.
    for (const name of ['a', 'b']) {
      await pages[name].waitForFunction(() => window.Module && window.Module.calledRun, null,
                                        { timeout: 30000, polling: 100 });
    }
    for (const name of ['a', 'b'].sort((x, y) => alone[y] - alone[x])) {
      const page = pages[name];
      await page.evaluate(() => window.zumbleTestDisplay.run());
      // The round is over and the test player back at mode select: its files are saved.
      const done = await page.waitForFunction(() => {
        const trace = (window.zumbleTrace && window.zumbleTrace()) || '';
        const lines = trace.trimEnd().split('\n');
        return / scene=8 .* phase=2 /.test(trace) && / scene=5 /.test(lines[lines.length - 1]);
      }, null, { timeout: 120000, polling: 100 }).then(() => true, () => false);
      await page.evaluate(() => { window.zumbleTestDisplay.hold = true; });
      const kept = row(await bytesOf(page, () => window.zumbleSave()));
      check(`${what}: page ${name} sets its record ${alone[name]} ms (its table: ${kept.join(' ')})`,
            done && kept.includes(alone[name]));
      check(`${what}: page ${name} asks the browser to keep its storage`,
            await page.evaluate(() => window.zumbleTestDisplay.persist) > 0);
    }
    for (const name of closing) {
      await pages[name].evaluate(() => window.zumbleTestDisplay.hide());
      await pages[name].close();
      delete pages[name];
    }

    const reader = await context.newPage();
    try {
      await reader.goto(server.url);
      await reader.waitForFunction(() => window.Module && window.Module.calledRun, null,
                                  { timeout: 30000, polling: 100 });
      const save = await bytesOf(reader, () => window.zumbleSave());
      const times = row(save || Buffer.alloc(0));
      const want = [alone.a, alone.b].sort((x, y) => x - y);
      check(`${what}: the site keeps both records in order (${times.join(' ')})`,
            times[0] === want[0] && times[1] === want[1] && times.slice(2).every((t) => t === 3599999));
      const names = await reader.evaluate(() => window.zumbleReplays().filter((n) => !/^round-/.test(n)));
      check(`${what}: a replay for each record and the last round's (${names.join(' ')})`,
            JSON.stringify(names) === '["best-10-2-1.zrp","best-10-2-2.zrp","last.zrp"]');
      const dir = scratch('zumble-kept-');
      for (const place of [1, 2]) {
        const name = `best-10-2-${place}.zrp`;
        const bytes = await bytesOf(reader, (n) => window.zumbleFile('replays/' + n), name);
        const file = path.join(dir, name);
        fs.writeFileSync(file, bytes || Buffer.alloc(0));
        const verified = runNative(zumble, ['--verify', file]);
        check(`${what}: ${name} verifies to the time at its place, ${times[place - 1]} ms (${verified.stdout.trim()})`,
              verified.code === 0 && new RegExp(`^ok flies=10 speed=2 time_ms=${times[place - 1]} `).test(verified.stdout));
        // The page's ?autoplay is the test player: its rounds say so, as the desktop's do.
        check(`${what}: ${name}, played by the page's ?autoplay, carries its flag and shows its path`,
              / autoplay=1 touch=0 pad=0 signs=\S*autoplay_path:/.test(verified.stdout));
      }
    } finally {
      await reader.close();
    }
  } finally {
    for (const page of Object.values(pages)) await page.close();
    await server.close();
  }
}

// A page hidden at frame 260, in the middle of its round (which starts near frame 230 and
// ends near 310): the game keeps the round so far between two frames, and the files are
// stored; a second tab reads it, and it plays natively to where it was kept, as a round
// left early. Shown again, the hidden page plays its round on to its end.
async function hiddenMidRound(context) {
  const server = await serve(site, { 'play.txt': script });
  const page = await context.newPage();
  const faults = [];
  page.on('pageerror', (e) => faults.push(String(e)));
  try {
    await page.addInitScript(display);
    await page.goto(server.url + `?script=play.txt&autoplay&trace&time=${seeds.a}`);
    await page.waitForFunction(() => window.Module && window.Module.calledRun, null, { timeout: 30000, polling: 100 });
    await page.evaluate(() => { window.zumbleTestDisplay.holdAt = 260 * 1000 / 60; window.zumbleTestDisplay.run(); });
    const inRound = await page.waitForFunction(() => window.zumbleTestDisplay.hold && window.Module._ZumbleInRound(),
                                               null, { timeout: 60000, polling: 100 }).then(() => true, () => false);
    check('hidden mid-round: the page stands in its round', inRound);
    await page.evaluate(() => window.zumbleTestDisplay.hide());
    const stored = await page.waitForFunction(() => window.zumbleReplays().includes('last.zrp') && !zumbleStore.busy,
                                              null, { timeout: 30000, polling: 100 }).then(() => true, () => false);
    check('hidden mid-round: the round so far is kept and stored', stored, faults.join(' '));

    const reader = await context.newPage();
    try {
      await reader.goto(server.url);
      await reader.waitForFunction(() => window.Module && window.Module.calledRun, null, { timeout: 30000, polling: 100 });
      const bytes = await bytesOf(reader, () => window.zumbleFile('replays/last.zrp'));
      const file = path.join(scratch('zumble-hidden-'), 'last.zrp');
      fs.writeFileSync(file, bytes || Buffer.alloc(0));
      const verified = runNative(zumble, ['--verify', file]);
      check(`hidden mid-round: another tab finds it, and it plays to where it was kept (${verified.stdout.trim()})`,
            verified.code === 1 && /^invalid: the round was left before its last fly/.test(verified.stdout));
    } finally {
      await reader.close();
    }

    await page.evaluate(() => { const d = window.zumbleTestDisplay; d.holdAt = 0; d.show(); d.run(); });
    const ended = await page.waitForFunction(() => {
      const lines = ((window.zumbleTrace && window.zumbleTrace()) || '').trimEnd().split('\n');
      return / scene=8 .* phase=2 /.test(lines.join('\n')) && / scene=5 /.test(lines[lines.length - 1]);
    }, null, { timeout: 60000, polling: 100 }).then(() => true, () => false);
    check('hidden mid-round: shown again, the page plays its round on to its end', ended && !faults.length,
          faults.join(' '));
  } finally {
    await page.close();
    await server.close();
  }
}

const context = await launch({ width: 800, height: 600 });
try {
  try {
    await hiddenMidRound(context);
  } catch (e) {
    check('hidden mid-round', false, e.stack || String(e));
  }
  for (const closing of [['a', 'b'], ['b', 'a']]) {
    try {
      await twoPages(context, closing);
    } catch (e) {
      check(`closed ${closing.join(' then ')}`, false, e.stack || String(e));
    }
  }
} finally {
  await context.close();
}
finish();
