// The offline copy of the page where the game is part of a larger site, as the best-times
// board serves it: the game at /play/, the board's own pages at /. With a page of the
// board open all along:
//   1. while a new build cannot be had whole (its data, code or script is missing on the
//      server), every start plays the whole build the offline copy keeps, and no part of
//      the new build is kept;
//   2. with the new build whole on the server, the next start still plays the kept build
//      at once while the new build is fetched in the background, and the start after that
//      plays the new build; once the old build's game page is closed, the offline copy
//      becomes the new build alone: the board's page does not hold it back.
// Usage: node offline_test.mjs build-web/site build/zumble
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { check, finish, launch, repoRoot, scratch, serveWithFaults, waitForScene } from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site] = process.argv.slice(2).map((p) => path.resolve(p));
if (!site || !fs.existsSync(path.join(site, 'index.html'))) {
  console.error('usage: node offline_test.mjs SITE_FOLDER [ZUMBLE_BINARY] (build the page with make web)');
  process.exit(2);
}

const buildOf = (dir) => /<meta name="zumble-build" content="([0-9a-f]+)">/.exec(fs.readFileSync(path.join(dir, 'index.html'), 'utf8'))?.[1];

// What the page is, asked until `test` holds or `ms` pass (the page may be between loads).
async function pageWhen(page, test, ms) {
  const end = Date.now() + ms;
  let seen = null;
  for (;;) {
    seen = await page.evaluate(() => ({
      build: document.querySelector('meta[name=zumble-build]').content,
      mark: window.zumbleBuildMark || null,
      running: !!(window.Module && window.Module.calledRun),
      loaded: performance.getEntriesByType('resource').map((e) => e.name.replace(location.href.replace(/[^/]*$/, ''), ''))
        .filter((n) => /^(index|audio-worklet)\./.test(n)),
    })).catch(() => null);
    if ((seen && test(seen)) || Date.now() > end) return seen;
    await new Promise((resolve) => setTimeout(resolve, 250));
  }
}

// One whole build: its name, and every file the page loaded asked for under that name.
const whole = (p, build, mark) => !!p && p.build === build && p.mark === mark && p.loaded.length >= 3 &&
  p.loaded.every((n) => n.endsWith(`?v=${build}`));

async function offlineCopyWhen(page, test, ms) {
  const end = Date.now() + ms;
  for (;;) {
    const kept = await page.evaluate(async () => {
      const names = await caches.keys();
      const files = names.length ? (await (await caches.open(names[0])).keys()).length : 0;
      // A copy is whole once its page is in it (the page goes in last).
      const whole = [];
      for (const name of names) if (await caches.match('index.html', { cacheName: name })) whole.push(name);
      return { names: names.sort(), files, whole };
    }).catch(() => null);
    if ((kept && test(kept)) || Date.now() > end) return kept;
    await new Promise((resolve) => setTimeout(resolve, 250));
  }
}

const copy = scratch('zumble-build-');
fs.cpSync(site, copy, { recursive: true });
const first = buildOf(copy);
const board = scratch('zumble-board-site-');
fs.symlinkSync(copy, path.join(board, 'play'));
fs.writeFileSync(path.join(board, 'index.html'), '<!doctype html><title>Best times</title><p>The board.</p>\n');
// Asked of the server at every load, as the board serves it: a file missing on the server
// is missing for the page, whatever the browser's cache holds from before.
const server = await serveWithFaults(board);
const game = server.url + 'play/';
const context = await launch({ width: 1000, height: 800 });
try {
  const boardPage = await context.newPage();
  await boardPage.goto(server.url);
  const old = await context.newPage();
  await old.goto(game + '?trace');
  const kept = await offlineCopyWhen(old, (c) => c.names.length === 1 && c.files >= 8, 60000);
  check('the first visit keeps the build offline', JSON.stringify(kept?.names) === JSON.stringify([`zumble-${first}`]),
        JSON.stringify(kept));

  // A new build on the server, whose data cannot be had.
  fs.appendFileSync(path.join(copy, 'index.js'), "\nwindow.zumbleBuildMark = 'second';\n");
  const made = spawnSync('cmake', [`-DSITE=${copy}`, `-DSERVICE_WORKER=${repoRoot}/platform/web/page/service-worker.js`,
                                   '-P', path.join(repoRoot, 'cmake/web_site.cmake')], { encoding: 'utf8' });
  const second = buildOf(copy);
  check('the new build has a new name', made.status === 0 && second && second !== first, made.stderr);
  // Each file is taken away before the one before it comes back, so the new build is never
  // whole on the server in between.
  const away = ['index.data', 'index.wasm', 'index.js'];
  const move = (name, back) => fs.renameSync(path.join(copy, name + (back ? '.away' : '')),
                                             path.join(copy, name + (back ? '' : '.away')));
  move(away[0], false);
  for (const [i, missing] of away.entries()) {
    if (i > 0) {
      move(missing, false);
      move(away[i - 1], true);
    }
    await old.reload();
    const kept = await pageWhen(old, (p) => p.running, 60000);
    check(`with the new build's ${missing} missing, a start plays the kept build whole, which runs`,
          whole(kept, first, null) && kept.running, JSON.stringify(kept));
    check(`the kept build plays (${missing})`, await waitForScene(old, 2, 60000));
    const copies = await offlineCopyWhen(old, () => true, 0);
    check(`no part of the new build is kept (${missing})`,
          JSON.stringify(copies?.names) === JSON.stringify([`zumble-${first}`]), JSON.stringify(copies));
  }
  move(away[away.length - 1], true);

  // The new build whole on the server; the old game page closed, the board's still open.
  await old.close();
  const next = await context.newPage();
  await next.goto(game + '?trace');
  const started = await pageWhen(next, (p) => p.running, 60000);
  check('the next start plays the kept build at once, whole', whole(started, first, null), JSON.stringify(started));
  const fetched = await offlineCopyWhen(next, (c) => c.whole.includes(`zumble-${second}`), 60000);
  check('meanwhile the new build is fetched in the background, whole',
        fetched && fetched.whole.includes(`zumble-${second}`), JSON.stringify(fetched));
  await next.reload();
  const loaded = await pageWhen(next, (p) => p.running, 60000);
  check('the start after it plays the new build, whole', whole(loaded, second, 'second'), JSON.stringify(loaded));
  const replaced = await offlineCopyWhen(next, (c) => c.names.length === 1 && c.names[0] === `zumble-${second}`, 60000);
  check("with only the board's page beside it, the new build takes over the offline copy",
        JSON.stringify(replaced?.names) === JSON.stringify([`zumble-${second}`]), JSON.stringify(replaced));
} catch (e) {
  check('the offline copy in a larger site', false, e.stack || String(e));
} finally {
  await context.close();
  await server.close();
}
finish();
