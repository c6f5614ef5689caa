// A room's page (/rooms/ID) in headless Chromium while its race is run: it lists the
// racers, shows each one's swats as the board plays their rounds (from the room's live
// link: the page is never reloaded), then each verified time linking the run's page and
// clip; at a phone's width its links are 44 px each way.
// Usage: node room_page.mjs BOARD_URL ROOM NAME...   (exit 0 when every check passed)
import { launch } from '../../tests/web/harness.mjs';

const [url, room, ...names] = process.argv.slice(2);
let failures = 0;
function check(what, ok, detail = '') {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${!ok && detail ? ': ' + detail : ''}`);
  if (!ok) failures += 1;
}

const context = await launch({ width: 360, height: 740 });
try {
  const page = await context.newPage();
  const blocked = [];
  page.on('console', (m) => { if (/Content Security Policy/.test(m.text())) blocked.push(m.text()); });
  await page.goto(`${url}/rooms/${room}`);
  const listed = await page.$$eval('#racers tbody tr', (rows) => rows.map((r) => r.dataset.name));
  check('the page lists the racers', names.every((n) => listed.includes(n)), listed.join(','));
  const watch = await page.getAttribute(`#racers tr[data-name="${names[0]}"] a`, 'href');
  check('"Watch" beside a racer plays their round in the page', watch === `/play/?room=${room}&watch=${encodeURIComponent(names[0])}`, watch);
  const join = await page.getAttribute('.nav a', 'href');
  check('"Join this race" leads to the game in the page', join === `/play/?room=${room}`, join);
  // Every racer's swats as the board plays them, then the result: waited for, a few
  // minutes at most (the race itself is run in real time).
  const counted = await page.waitForFunction((who) => who.every((n) => {
    const cell = document.querySelector(`#racers tr[data-name="${n}"] td.swats`);
    return cell && Number(cell.textContent) === 10;
  }), names, { timeout: 180000, polling: 100 }).then(() => true, () => false);
  check('each racer\'s swats counted up live', counted);
  const linked = await page.waitForFunction((n) => document.querySelectorAll('#races table.results a[href^="/runs/"]').length >= 2 * n,
                                            names.length, { timeout: 180000, polling: 100 }).then(() => true, () => false);
  const runs = await page.$$eval('#races table.results a', (links) => links.map((a) => `${a.textContent} ${a.getAttribute('href')}`));
  check('the result links each verified time to its run and clip', linked &&
        runs.filter((r) => /^\d+\.\d{3} s \/runs\/\d+$/.test(r)).length === names.length &&
        runs.filter((r) => /^clip \/runs\/\d+\/clip\.webm$/.test(r)).length === names.length, runs.join(' | '));
  const small = await page.$$eval('.nav a, #racers a, #races a', (links) => links.map((a) => a.getBoundingClientRect())
    .filter((r) => r.width < 44 || r.height < 44).length);
  check('at a phone\'s width every link is 44 px each way', small === 0, `${small} smaller`);
  check('the page\'s policy lets its script run', blocked.length === 0, blocked.join(' | '));
} finally {
  await context.close();
}
process.exit(failures ? 1 : 0);
