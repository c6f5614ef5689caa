// The page installed: it plays offline once visited, installs as an app, and a new build
// at the same address is fetched in the background at the next start and replaces every
// file at the start after it.
// Usage: node install_test.mjs build-web/site build/zumble
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  check, comparePng, everySize, firstDifference, lastTraceLine, launch, layoutFaults, layoutOf, repoRoot,
  runNative, runTests, scratch, serve, serveWithFaults, siteAndGame, traceField, waitForEnd, waitForScene,
} from './harness.mjs';

process.setMaxListeners(0);  // every scratch folder removes itself at exit

const [site, zumble] = siteAndGame('install_test.mjs');

// 6. Offline and installed. A copy of the site is served, visited once (the service
// worker keeps it), and the server stopped: the page comes back and plays. Chromium finds
// the manifest whole and the page installable. Then the copy becomes a new build, served
// at the same address, and opened in a second tab while the old build's page is still
// open: that start plays the kept build at once while the new build's worker fetches its
// files; the start after it plays the new build whole, and the old copy stays until the
// old page is closed, after which the offline copy is the new build alone.
async function offlineAndInstalled() {
  const copy = scratch('zumble-build-');
  fs.cpSync(site, copy, { recursive: true });
  const buildOf = (dir) => /<meta name="zumble-build" content="([0-9a-f]+)">/.exec(fs.readFileSync(path.join(dir, 'index.html'), 'utf8'))?.[1];
  const first = buildOf(copy);
  check('the site is named from its build', /^[0-9a-f]{16}$/.test(first || ''), String(first));
  let server = await serve(copy);
  const url = server.url;
  const port = Number(new URL(url).port);
  const context = await launch({ width: 1000, height: 800 });
  const offlineCopy = (page) => page.evaluate(async () => {
    const names = await caches.keys();
    const files = names.length ? (await (await caches.open(names[0])).keys()).map((r) => r.url.replace(location.origin + '/', '')) : [];
    return { names: names.sort(), files: files.sort() };
  });
  // Asks again every quarter second until `test` holds for the offline copy, or `ms` pass.
  const offlineCopyWhen = async (page, test, ms) => {
    const end = Date.now() + ms;
    for (;;) {
      const kept = await offlineCopy(page).catch(() => null);
      if ((kept && test(kept)) || Date.now() > end) return kept;
      await new Promise((resolve) => setTimeout(resolve, 250));
    }
  };
  const pageBuild = (page) => page.evaluate(() => ({
    build: document.querySelector('meta[name=zumble-build]').content,
    mark: window.zumbleBuildMark || null,
    loaded: performance.getEntriesByType('resource').map((e) => e.name.replace(location.origin + '/', ''))
      .filter((n) => /^(index|audio-worklet)\./.test(n)),
  }));
  const plays = async (page, what) => {
    check(`${what}: the title shows`, await waitForScene(page, 2));
    const box = await page.locator('#canvas').boundingBox();
    const click = (x, y) => page.mouse.click(box.x + (x + 0.5) * box.width / 640, box.y + (y + 0.5) * box.height / 480);
    await click(300, 300);
    check(`${what}: a click on START reaches mode select`, await waitForScene(page, 5));
    await click(320, 320);
    check(`${what}: start begins a round`, await waitForScene(page, 8));
  };
  const want = (build) => ['icon-192.png', 'icon-512.png', 'index.html', 'manifest.webmanifest',
                           ...['audio-worklet.js', 'index.data', 'index.js', 'index.wasm', 'wave-bgm1.wav']
                             .map((f) => `${f}?v=${build}`)].sort();
  try {
    const old = await context.newPage();
    await old.goto(url + '?trace');
    const ready = await old.evaluate(() => Promise.race([navigator.serviceWorker.ready.then(() => true),
                                                         new Promise((resolve) => setTimeout(() => resolve(false), 60000))]));
    const kept = await offlineCopy(old);
    check('the first visit keeps every file of the build, and only those',
          ready && JSON.stringify(kept) === JSON.stringify({ names: [`zumble-${first}`], files: want(first) }),
          JSON.stringify({ ready, kept }));
    const cdp = await context.newCDPSession(old);
    const manifest = await cdp.send('Page.getAppManifest');
    check('Chromium reads the manifest without errors', manifest.errors.length === 0 && /"Zumble"/.test(manifest.data || ''),
          JSON.stringify(manifest.errors));
    const installable = await cdp.send('Page.getInstallabilityErrors');
    check('Chromium finds the page installable', installable.installabilityErrors.length === 0,
          JSON.stringify(installable.installabilityErrors));
    await cdp.detach();

    await server.close();
    const refused = await fetch(url).then(() => false, () => true);
    check('the server is stopped', refused);
    await old.reload();
    await plays(old, 'offline');
    const offline = await pageBuild(old);
    check('offline, the page is the build it was', offline.build === first, JSON.stringify(offline));

    // A new build of the same page: its script says so; its build named again.
    fs.appendFileSync(path.join(copy, 'index.js'), "\nwindow.zumbleBuildMark = 'second';\n");
    fs.appendFileSync(path.join(copy, 'audio-worklet.js'), '\n// the second build\n');
    const made = spawnSync('cmake', [`-DSITE=${copy}`, `-DSERVICE_WORKER=${repoRoot}/platform/web/page/service-worker.js`,
                                     '-P', path.join(repoRoot, 'cmake/web_site.cmake')], { encoding: 'utf8' });
    const second = buildOf(copy);
    check('the new build has a new name', made.status === 0 && /^[0-9a-f]{16}$/.test(second || '') && second !== first,
          made.stderr);
    server = await serve(copy, {}, port);
    const next = await context.newPage();
    await next.goto(url + '?trace');
    await plays(next, 'the first start after the change');
    const stale = await pageBuild(next);
    check('the first start after the change plays the kept build, every file of it',
          stale.build === first && stale.mark === null && stale.loaded.length >= 3 &&
          stale.loaded.every((n) => n.endsWith(`?v=${first}`)), JSON.stringify(stale));
    // The new build's copy is whole once its page is in it (the page goes in last).
    let fetched = false;
    for (const end = Date.now() + 60000; !fetched && Date.now() < end; await next.waitForTimeout(250)) {
      fetched = await next.evaluate((name) => caches.match('index.html', { cacheName: name }).then((p) => !!p), `zumble-${second}`);
    }
    check('meanwhile the new build is fetched in the background, whole', fetched);
    await next.reload();
    await plays(next, 'the second start after the change');
    const loaded = await pageBuild(next);
    check('the second start after the change plays the new build, every file of it',
          loaded.build === second && loaded.mark === 'second' && loaded.loaded.length >= 3 &&
          loaded.loaded.every((n) => n.endsWith(`?v=${second}`)) && loaded.loaded.some((n) => n.startsWith('index.data')),
          JSON.stringify(loaded));
    // The new build's worker, asked to take over as the page asks it, does not while the
    // old build's page is open: that page may still load files of its build.
    const waiting = await next.evaluate(async () => {
      const r = await navigator.serviceWorker.getRegistration();
      if (!r.waiting) return { state: 'none' };
      const answer = new Promise((resolve) => {
        navigator.serviceWorker.addEventListener('message', (e) => { if (e.data && e.data.zumble === 'take-over') resolve(e.data.taken); });
        setTimeout(() => resolve('no answer'), 20000);
      });
      r.waiting.postMessage({ zumble: 'take-over', build: document.querySelector('meta[name=zumble-build]').content });
      return { state: r.waiting.state, taken: await answer };
    });
    const both = await offlineCopy(next);
    check('with a page of the old build open, the new build\'s worker waits and the old copy stays',
          waiting.state === 'installed' && waiting.taken === false &&
          JSON.stringify(both.names) === JSON.stringify([`zumble-${first}`, `zumble-${second}`].sort()),
          JSON.stringify({ waiting, names: both.names }));
    await old.close();
    const replaced = await offlineCopyWhen(next, (c) => c.names.length === 1 && c.names[0] === `zumble-${second}`, 60000);
    check('once the old page is closed, the offline copy is the new build alone',
          JSON.stringify(replaced) === JSON.stringify({ names: [`zumble-${second}`], files: want(second) }),
          JSON.stringify(replaced));
    await server.close();
    await next.reload();
    await plays(next, 'offline again');
    const again = await pageBuild(next);
    check('offline again, the page is the new build', again.build === second && again.mark === 'second',
          JSON.stringify(again));
  } finally {
    await context.close();
    await server.close();
  }
}

await runTests([], [offlineAndInstalled]);
