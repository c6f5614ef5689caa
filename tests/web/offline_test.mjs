// The offline copy of the page where the game is part of a larger site, as the best-times
// board serves it: the game at /play/, the board's own pages at /. With a page of the
// board open all along:
//   1. a new build whose files fail to load (its data, code or script is missing on the
//      server) gives way to the whole build the offline copy keeps, which plays;
//   2. once the old build's game page is closed, the new build's worker takes over and the
//      offline copy becomes the new build alone: the board's page does not hold it back.
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
    })).catch(() => null);
    if ((seen && test(seen)) || Date.now() > end) return seen;
    await new Promise((resolve) => setTimeout(resolve, 250));
  }
}

async function offlineCopyWhen(page, test, ms) {
  const end = Date.now() + ms;
  for (;;) {
    const kept = await page.evaluate(async () => {
      const names = await caches.keys();
      const files = names.length ? (await (await caches.open(names[0])).keys()).length : 0;
      return { names: names.sort(), files };
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
  for (const missing of ['index.data', 'index.wasm', 'index.js']) {
    fs.renameSync(path.join(copy, missing), path.join(copy, missing + '.away'));
    await old.reload();
    const fellBack = await pageWhen(old, (p) => p.build === first && p.running, 60000);
    check(`a new build whose ${missing} fails to load falls back to the kept build, which runs`,
          fellBack && fellBack.build === first && fellBack.running && !fellBack.mark, JSON.stringify(fellBack));
    check(`the kept build plays (${missing})`, await waitForScene(old, 2, 60000));
    fs.renameSync(path.join(copy, missing + '.away'), path.join(copy, missing));
  }

  // The new build whole on the server; the old game page closed, the board's still open.
  await old.close();
  const next = await context.newPage();
  await next.goto(game + '?trace');
  const loaded = await pageWhen(next, (p) => p.running, 60000);
  check('the next visit plays the new build', loaded && loaded.build === second && loaded.mark === 'second',
        JSON.stringify(loaded));
  await next.evaluate(() => navigator.serviceWorker.getRegistration().then((r) => r && r.update()).catch(() => {}));
  const replaced = await offlineCopyWhen(next, (c) => c.names.length === 1 && c.names[0] === `zumble-${second}`, 90000);
  check("with only the board's page beside it, the new build takes over the offline copy",
        JSON.stringify(replaced?.names) === JSON.stringify([`zumble-${second}`]), JSON.stringify(replaced));
} catch (e) {
  check('the offline copy in a larger site', false, e.stack || String(e));
} finally {
  await context.close();
  await server.close();
}
finish();
