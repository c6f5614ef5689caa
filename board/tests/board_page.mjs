// The page served by the board, in headless Chromium: a round played in the page (a
// person's inputs, as tests/e2e/human_round.py plays them headless, given to the page as
// its script, on the virtual clock, up to its results board, which then stays); the bar
// offers "Submit to the board" on the results board and sends it; the board stores the
// time the page's own hiscoa.sav holds and lists it, and the bar and the replays' list
// say it was sent, with its place. A round of the page's test player (?autoplay) is
// refused, and the page says why. The board's pages read at a glance (the mode in words,
// no cell wrapping at 320 and 1280 px, headers over their columns, 44 px targets on a
// phone, the favicon, a 404 as a page), and a run watched from it says whose it is and
// leads back.
// Usage: node board_page.mjs BOARD GAME SITE   (needs tests/web's node modules)
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { launch, scratch, startBoard, waitForScene } from '../../tests/web/harness.mjs';

const [board, game, site] = process.argv.slice(2).map((p) => path.resolve(p));
if (!fs.existsSync(path.join(site || '', 'index.html'))) {
  console.log('SKIP: no page built (make web)');
  process.exit(77);
}
let failures = 0;
let passes = 0;
function check(what, ok, detail = '') {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${!ok && detail ? ': ' + detail : ''}`);
  if (ok) passes += 1; else failures += 1;
}

// The page's files and the round's script, served by the board at /play/.
const work = scratch('zumble-board-page-');
const siteDir = path.join(work, 'site');
fs.mkdirSync(siteDir);
for (const name of fs.readdirSync(site)) fs.symlinkSync(path.join(site, name), path.join(siteDir, name));
// A person's round: reactions, smooth reaches, presses and releases (never the test
// player), played headless first to write its script.
const seed = 1700000000;
const source = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const played = execFileSync('python3', [path.join(source, 'tests/e2e/human_round.py'), game, source,
                                        path.join(work, 'headless.zrp'), '--time', String(seed),
                                        '--script', path.join(siteDir, 'round.script')]).toString();
// A game whose --verify does not say how a round was dealt (keys=) puts no round on a board.
if (!/ keys=\d/.test(execFileSync(game, ['--verify', path.join(work, 'headless.zrp')]).toString())) {
  console.log('SKIP: the game\'s --verify does not say keys= yet');
  process.exit(77);
}
// The round up to the click that leaves its results board: the board then stays.
const roundLines = fs.readFileSync(path.join(siteDir, 'round.script'), 'utf8').trim().split('\n');
const leaveFrame = Math.max(...roundLines.filter((line) => / down$/.test(line)).map((line) => Number(line.split(' ')[0])));
fs.writeFileSync(path.join(siteDir, 'board.script'),
                 roundLines.filter((line) => Number(line.split(' ')[0]) < leaveFrame).join('\n') + '\n');
fs.writeFileSync(path.join(siteDir, 'autoplay.script'),
                 ['0 move 300 300', '3 click', '10 move 120 80', '12 click', '16 move 320 320', '18 click',
                  '1800 key escape', '1810 key escape', ''].join('\n'));

const { url } = await startBoard(board, ['--db', path.join(work, 'board.db'), '--zumble', game, '--site', siteDir,
                                       '--work-dir', work, '--review-top', '0']);

const context = await launch({ width: 900, height: 640 });
try {
  const page = await context.newPage();
  // The board's Content-Security-Policy must let the page do all it does.
  const refused = [];
  page.on('console', (m) => { if (/Content Security Policy/.test(m.text())) refused.push(m.text()); });
  await page.goto(`${url}/play/?script=board.script&frames=${leaveFrame + 7200}&time=${seed}`);
  // The results board shows, and the bar offers the round from there.
  await page.waitForFunction(() => typeof zumbleBoardRoundTime === 'function' && zumbleBoardRoundTime() >= 0 &&
                                   !document.getElementById('board').hidden, null, { timeout: 240000, polling: 100 });
  check('the bar offers "Submit to the board" on the results board', true);
  const saved = await page.evaluate(() => Array.from(window.zumbleSave() || []));
  // The first time of the 10-fly, speed 2 row: after 4 header words, 5 times a mode.
  const want = saved.length >= 36 ? Buffer.from(saved).readUInt32LE(12 + 4 * 5) : -1;
  check('the round left a time in the page\'s hiscoa.sav', want > 0 && want < 0xFFFFFFFF, String(want));
  check('the page\'s round is the one played headless', played.startsWith(`time_ms=${want} `), played);

  await page.fill('#board-name', 'Page Player');
  await page.click('#board-submit');
  await page.waitForFunction(() => /On the board|Not on the board/.test(document.getElementById('status').textContent),
                             null, { timeout: 30000 });
  const status = await page.textContent('#status');
  check('the board took it', /^On the board: /.test(status), status);
  check('the page shows the verified time', status.includes((want / 1000).toFixed(3) + ' s'), status);
  // The name's first run claims it: the page keeps the key and says so.
  const key = await page.evaluate(() => window.zumbleBoardKey('page player'));
  check('the page keeps the name\'s key', /^zk-[A-Za-z0-9_-]{43}$/.test(key), key);
  check('the page tells the player the name is theirs', status.includes('is yours now'), status);
  check('the page names the mode in words', status.includes('of 10 flies, NORMAL.'), status);
  const sentNote = await page.evaluate(() => {
    const a = document.querySelector('#board-sent a.sent');
    return a ? { text: a.textContent, href: a.getAttribute('href'),
                 submit: !document.getElementById('board-submit').hidden } : null;
  });
  check('the bar says the round was sent, with its place and a link to the board',
        sentNote && sentNote.text === 'sent, place 1' && sentNote.href === '/boards/10/2?name=Page%20Player' &&
        !sentNote.submit, JSON.stringify(sentNote));
  await page.evaluate(() => { document.getElementById('board').hidden = false; });
  await page.click('#board-key-open');
  check('"Key" shows the key to copy', (await page.inputValue('#board-key-text')) === key);

  // The same round again under another name: refused, and said in words.
  const again = await page.evaluate(() => window.zumbleBoardSubmit('Someone Else'));
  check('the same round under another name is a duplicate', again.status === 409 && again.body.error === 'duplicate',
        JSON.stringify(again));
  const words = await page.evaluate((b) => window.zumbleBoardSays(409, b), again.body);
  check('the page says why in words', /on the board already \(run \d+\)/.test(words), words);
  // The list of kept replays: the round sent (its best time; its last round is the same
  // file, listed once) says so; once this browser forgets it was sent, it is offered,
  // and sent again from there under the same name the best time's replay is that run,
  // at its time.
  await page.click('#replays-button');
  const sentInList = await page.locator('#replays-list li[data-name] a.sent[href="/boards/10/2?name=Page%20Player"]').count();
  const offeredSent = await page.locator('#replays-list li[data-name] button.submit').count();
  check(`the kept replays' list says it was sent (${sentInList}, ${offeredSent} offered)`,
        sentInList === 1 && offeredSent === 0);
  await page.evaluate(() => localStorage.removeItem('zumble-board-sent'));
  await page.click('#replays-close');
  await page.click('#replays-button');
  const offered = await page.locator('#replays-list li[data-name] button.submit').count();
  check(`the kept replays' list offers it to the board again (${offered})`, offered === 1);
  await page.evaluate(() => { document.getElementById('status').textContent = ''; });
  await page.click('#replays-list li[data-name="best-10-2-1.zrp"] button.submit');
  await page.waitForFunction(() => /On the board|Not on the board/.test(document.getElementById('status').textContent),
                             null, { timeout: 30000 });
  const fromList = await page.textContent('#status');
  check('"Submit" in the list sends that replay under the form\'s name',
        fromList.startsWith('On the board: ' + (want / 1000).toFixed(3) + ' s, place 1 '), fromList);
  check('then the list says it was sent', await page.locator('#replays-list li[data-name="best-10-2-1.zrp"] a.sent').count() === 1);
  // Each refusal's code in words (the JSON as the board sends it).
  const inWords = await page.evaluate(() => [
    window.zumbleBoardSays(422, { error: 'desync', frame: 452 }),
    window.zumbleBoardSays(422, { error: 'invalid', rule: 'the cursor is outside the screen' }),
    window.zumbleBoardSays(422, { error: 'autoplay' }),
    window.zumbleBoardSays(403, { error: 'name_taken', name: 'Ann' }),
    window.zumbleBoardSays(403, { error: 'banned', what: 'address', reason: 'a bot farm' }),
    window.zumbleBoardSays(202, { error: 'held', id: 4, signs: ['frame_perfect:1.00'] }),
    window.zumbleBoardSays(500, { error: 'something_new', message: 'a sentence' }),
    window.zumbleBoardSays(429, { error: 'too_many_held' }),
    window.zumbleBoardSays(202, { error: 'awaiting_review', id: 5, rank: 1, key: 'zk-k', name: 'Ann' })]);
  check('refusals in words', inWords[0].includes('frame 452') &&
        inWords[1].includes('cursor is outside the screen') && inWords[2].includes('autoplay') &&
        inWords[3].includes('belongs to another player') && inWords[4].includes('a bot farm') &&
        inWords[5].includes('operator') && inWords[6] === 'a sentence' &&
        inWords[7].includes('reviewed') &&
        /awaiting a moderator's review: it would be place 1 .*once a moderator approves it/.test(inWords[8]),
        inWords.join(' | '));
  // The rest needs no more of this page (its results board would go on for a while).
  await page.close();

  // The page's test player: its round is refused as such, and the page says so.
  const bot = await context.newPage();
  await bot.goto(`${url}/play/?autoplay&script=autoplay.script&frames=1900&time=${seed + 500}`);
  await bot.waitForFunction(() => window.zumbleEnded && window.zumbleEnded(), null,
                            { timeout: 240000, polling: 250 });
  const botSent = await bot.evaluate(() => window.zumbleBoardSubmit('Page Robot'));
  check('the test player\'s round: 422 autoplay', botSent.status === 422 && botSent.body.error === 'autoplay',
        JSON.stringify(botSent));
  const botWords = await bot.evaluate((b) => window.zumbleBoardSays(422, b), botSent.body);
  check('the page says the test player\'s round is not taken', /autoplay/.test(botWords), botWords);
  await bot.close();

  // The key copied to another device (a browser with empty storage): pasted under "Key".
  const other = await (await launch({ width: 900, height: 640 })).newPage();
  await other.goto(`${url}/play/`);
  await other.waitForSelector('#board', { state: 'attached', timeout: 60000 });
  await other.evaluate(() => { document.getElementById('board').hidden = false; });
  await other.fill('#board-name', 'Page Player');
  await other.click('#board-key-open');
  check('another device has no key yet', (await other.inputValue('#board-key-text')) === '');
  await other.fill('#board-key-text', key);
  await other.click('#board-key-use');
  check('the other device keeps the pasted key', await other.evaluate(() => window.zumbleBoardKey('Page Player')) === key);
  await other.context().close();

  const boards = await (await fetch(`${url}/api/boards/10/2`)).json();
  const run = boards.runs[0] || {};
  check('the board lists it with the time hiscoa.sav holds', run.name === 'Page Player' && run.time_ms === want,
        JSON.stringify(run));
  check('the JSON keeps the numbers and adds the word', run.speed === 2 && run.speed_word === 'NORMAL' &&
        boards.speed_word === 'NORMAL', JSON.stringify(run));
  const html = await (await fetch(`${url}/`)).text();
  check('the board\'s page shows it with its watch and race links',
        html.includes('Page Player</a></td>') && html.includes(`/play/?replay=/api/runs/${run.id}/replay`) &&
        html.includes(`/play/?race=/api/runs/${run.id}/replay`));
  check('the board\'s page leads with the mode played, in words', html.includes('>10 flies, NORMAL</a></h2>'));
  const folded = /<p class="none" id="empty">No times yet: (.*?)<\/p>/.exec(html);
  check('the empty boards are one line', folded && (folded[1].match(/<a href/g) || []).length === 15 &&
        folded[1].includes('1000 flies, CRAZY'), folded && folded[1]);
  const replay = Buffer.from(await (await fetch(`${url}/api/runs/${run.id}/replay`)).arrayBuffer());
  fs.writeFileSync(path.join(work, 'stored.zrp'), replay);
  const verified = execFileSync(game, ['--verify', path.join(work, 'stored.zrp')]).toString();
  check('the stored replay, sent from the results board, verifies to its time',
        verified.includes(`flies=10 speed=2 time_ms=${want} `), verified);

  // The board's pages at a phone's width and a desktop's: every cell one line, the page
  // itself never wider than the screen (a table wider than its box scrolls in it), each
  // header over its column (its left edge and alignment its cells'), and on the phone
  // every link in a table or a line of links, and every button, 44 px each way at least.
  for (const width of [320, 1280]) {
    for (const where of ['/', '/boards/10/2', '/players/Page%20Player', `/runs/${run.id}`]) {
      const front = await context.newPage();
      await front.setViewportSize({ width, height: 700 });
      await front.goto(`${url}${where}`);
      const got = await front.evaluate(() => {
        const wrapped = [], misplaced = [], small = [];
        // A cell's text wraps when one of its words' runs takes two boxes (a run page's
        // facts may wrap: a name and a value a row).
        for (const td of document.querySelectorAll('td')) {
          if (td.closest('table.facts')) continue;
          const walk = document.createTreeWalker(td, NodeFilter.SHOW_TEXT);
          for (let text = walk.nextNode(); text; text = walk.nextNode()) {
            const range = document.createRange();
            range.selectNodeContents(text);
            if (new Set(Array.from(range.getClientRects(), (r) => Math.round(r.top))).size > 1) wrapped.push(td.textContent);
          }
        }
        for (const table of document.querySelectorAll('table')) {
          const head = table.rows[0];
          // A table of columns (not a run page's rows of a name and a value).
          if (!head || !Array.from(head.cells).every((c) => c.tagName === 'TH') || head.cells.length < 2) continue;
          const starts = new Map();
          let column = 0;
          for (const th of head.cells) { starts.set(column, th); column += th.colSpan; }
          for (const row of Array.from(table.rows).slice(1)) {
            let at = 0;
            for (const cell of row.cells) {
              const th = starts.get(at);
              if (th && (Math.abs(th.getBoundingClientRect().left - cell.getBoundingClientRect().left) > 1 ||
                         getComputedStyle(th).textAlign !== getComputedStyle(cell).textAlign))
                misplaced.push(`${th.textContent} over ${cell.textContent}`);
              at += cell.colSpan;
            }
            if (at !== column) misplaced.push(`a row of ${at} columns under ${column} headers`);
          }
        }
        for (const e of document.querySelectorAll('td a, .nav a, .pager a, button')) {
          const r = e.getBoundingClientRect();
          if (r.width > 0 && (r.height < 44 || r.width < 44)) small.push(`${e.textContent} ${r.width}x${r.height}`);
        }
        const icon = document.querySelector('link[rel="icon"]');
        return { cells: document.querySelectorAll('td').length, wrapped, misplaced, small,
                 icon: icon && icon.getAttribute('href'),
                 wide: document.documentElement.scrollWidth - window.innerWidth };
      });
      check(`${where} at ${width} px: each of its ${got.cells} cells one line`, got.cells >= 5 && got.wrapped.length === 0,
            JSON.stringify(got));
      check(`${where} at ${width} px: no wider than the screen`, got.wide <= 0, JSON.stringify(got));
      check(`${where} at ${width} px: each header over its column`, got.misplaced.length === 0, got.misplaced.join(' | '));
      if (width < 400)
        check(`${where} at ${width} px: links and buttons 44 px each way`, got.small.length === 0, got.small.join(' | '));
      check(`${where}: links the favicon`, got.icon === '/favicon.ico', String(got.icon));
      await front.close();
    }
  }
  // The favicon is an icon Chromium draws, at the game's 16 and 32 px.
  const iconPage = await context.newPage();
  await iconPage.goto(`${url}/`);
  const drawn = await iconPage.evaluate(() => new Promise((resolve) => {
    const img = new Image();
    img.onload = () => resolve(img.naturalWidth);
    img.onerror = () => resolve(0);
    img.src = '/favicon.ico';
  }));
  check(`the favicon draws (${drawn} px wide)`, drawn === 16 || drawn === 32);
  // A page that is not there, to a browser: a page of its own leading home, 404 still.
  const missing = await iconPage.goto(`${url}/players/Nobody%20Here`);
  check('a missing page is a page with a way home (404)', missing.status() === 404 &&
        await iconPage.locator('a[href="/"]').count() === 1, String(missing.status()));
  await iconPage.close();

  // "watch": the board's link plays the run in the page, to the same result, says whose
  // run it is on the top line, and leads back to the board's page it came from.
  const watch = await context.newPage();
  const from = `${url}/players/Page%20Player`;
  const printed = [];
  watch.on('console', (m) => printed.push(m.text()));
  await watch.goto(`${url}/play/?replay=/api/runs/${run.id}/replay`, { referer: from });
  // The viewer stays on the round's last frame until the player leaves it.
  await watch.waitForFunction(() => {
    const s = window.zumbleViewerState && window.zumbleViewerState();
    return s && s.frame === s.frames - 1;
  }, null, { timeout: 240000, polling: 250 });
  const top = await watch.evaluate(() => zumbleViewer.last && zumbleViewer.last.top);
  check('the top line says whose run it is, its place and time',
        typeof top === 'string' && top.startsWith(`Page Player, place 1, ${(want / 1000).toFixed(3)} s   `), top);
  await watch.keyboard.press('Escape');
  // Left, the viewer goes back to the page it came from; the game said the run's result.
  await watch.waitForURL(from, { timeout: 60000 });
  check('leaving the run goes back to the page it came from', watch.url() === from, watch.url());
  const said = printed.join('\n');
  check('"watch" plays the run in the page to its time', said.includes(`ok flies=10 speed=2 time_ms=${want} `), said);

  // "race": the board's link leads to mode select in the run's mode; its start begins a
  // round against the run, whose it is and its time on the top line.
  const race = await context.newPage();
  await race.goto(`${url}/play/?race=/api/runs/${run.id}/replay&trace`);
  check('"race" leads to mode select', await waitForScene(race, 5, 60000));
  // The top line as it shows `lead`: mode select names the race, the round races it.
  const topLine = (lead) => race.waitForFunction((lead) => {
    const s = window.zumbleSplitsState && window.zumbleSplitsState();
    return s && s.race.startsWith(lead) ? s : null;
  }, lead, { timeout: 60000, polling: 100 }).then((h) => h.jsonValue(), () => null);
  const clock = `${Math.floor(want / 60000)}:${String(Math.floor(want / 1000) % 60).padStart(2, '0')}.${String(want % 1000).padStart(3, '0')}`;
  const named = await topLine('racing ');
  check('mode select names the run raced and its time',
        named && named.race === `racing Page Player, ${clock}`, JSON.stringify(named));
  const box = await race.locator('#canvas').boundingBox();
  await race.mouse.click(box.x + 320.5 * box.width / 640, box.y + 320.5 * box.height / 480);
  const raced = await topLine('race: ');
  check('a round of the run\'s mode races it, its player and time on the top line',
        raced && raced.race === `race: Page Player  ${clock}`, JSON.stringify(raced));
  await race.close();
  check('the page\'s security policy refused nothing it does', refused.length === 0, refused.join(' | '));
} finally {
  await context.close();
}
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
