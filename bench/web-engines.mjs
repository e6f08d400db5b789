// How long the web page takes to read COUNT documents (the fixture
// documents over and over, under new names in a temporary folder)
// in each of the three browser engines (tests/web/engines.mjs), once its
// engine is ready: from the file input's change to the last card read,
// measured in the page; the median of RUNS.
//
// node bench/web-engines.mjs [SITE] [RUNS] [COUNT] [ENGINE...]   (SITE: build/web; 5, 144)
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { engines } from '../tests/web/engines.mjs';
import { repeatedFixtures, serve } from '../tests/web/browser.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const [siteArg, runsArg, countArg, ...only] = process.argv.slice(2);
const site = resolve(siteArg ?? join(root, 'build/web'));
const runs = Number(runsArg ?? 5);
const webModules = join(root, 'web');
const count = Number(countArg ?? 144);
const { files: chosen, remove } = repeatedFixtures(count);

// In the page, before the files are chosen: resolves to the milliseconds
// from the input's change to the moment every one of `n` cards is read.
function clock(n) {
    window.glimmerClock = new Promise((done) => {
        let start = 0;
        document.querySelector('input[type=file]').addEventListener('change', () => (start = performance.now()), { capture: true, once: true });
        const check = () => {
            const cards = document.querySelectorAll('#cards .card');
            if (start && cards.length === n && [...cards].every((c) => c.dataset.state !== 'reading')) {
                observer.disconnect();
                done(performance.now() - start);
            }
        };
        const observer = new MutationObserver(check);
        observer.observe(document.getElementById('cards'), { subtree: true, childList: true, attributes: true });
    });
}

const median = (xs) => [...xs].sort((a, b) => a - b)[xs.length >> 1];
const server = await serve(site);
const results = {};
for (const engine of engines.filter((e) => !only.length || only.includes(e.name))) {
    const why = engine.missing(webModules);
    if (why) {
        console.log(`${engine.name}: skipped, ${why}`);
        continue;
    }
    const browser = await engine.launch(webModules);
    const times = [];
    for (let i = 0; i < runs; ++i) {
        const page = await browser.newPage();
        await page.goto(server.origin + '/');
        const ready = Date.now() + 60000;
        while (!await page.evaluate(() => document.documentElement.dataset.engine === 'ready') && Date.now() < ready)
            await new Promise((r) => setTimeout(r, 50));
        await page.evaluate(clock, chosen.length);
        await page.choose('input[type=file]', chosen);
        times.push(await page.evaluate(() => window.glimmerClock));
        await page.close();
    }
    await browser.close();
    results[engine.name] = median(times);
    console.log(`${engine.name}: ${chosen.length} documents in ${median(times).toFixed(0)} ms (median of ${runs}: ${times.map((t) => t.toFixed(0)).join(' ')})`);
}
if (results.chromium)
    for (const [name, ms] of Object.entries(results))
        console.log(`${name}: ${(ms / results.chromium).toFixed(2)}× Chromium`);
await server.close();
remove();
