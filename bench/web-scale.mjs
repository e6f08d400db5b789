// What a drop of many documents costs the web page, per document and in
// memory, in headless Chromium: the fixture documents repeated under new
// names up to each COUNT (hard links in a temporary folder, removed after),
// handed to the page at once; the time until every card is drawn, then
// "Download all" at Bitmap, 240 pixels until its ZIP arrives, each divided
// by the count; and the memory after each: the page's JavaScript heap (CDP
// Performance.getMetrics, after a collection) and the proportional set
// size of Chromium's processes from /proc (the renderer holds the page and
// its workers' engines).
//
// node bench/web-scale.mjs [SITE] [COUNT...]   (SITE: build/web; COUNT: 100 2000)
import { readFileSync, readdirSync, statSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { fixtureDocuments, launch, repeatedFixtures, serve } from '../tests/web/browser.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const site = resolve(process.argv[2] ?? join(root, 'build/web'));
const counts = process.argv.length > 3 ? process.argv.slice(3).map(Number) : [100, 2000];
// Chromium's processes (every process below this one), by their --type.
function chromiumMemory() {
    const parent = new Map();
    for (const pid of readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
        try {
            parent.set(pid, readFileSync(`/proc/${pid}/stat`, 'utf8').match(/\) \S (\d+)/)[1]);
        } catch {}
    }
    const below = (pid) => {
        for (let p = parent.get(pid); p; p = parent.get(p))
            if (p === String(process.pid))
                return true;
        return false;
    };
    const out = {};
    for (const pid of parent.keys()) {
        if (!below(pid))
            continue;
        try {
            const command = readFileSync(`/proc/${pid}/cmdline`, 'utf8');
            if (!command.includes('chrom'))
                continue;
            const type = command.match(/--type=([a-z-]+)/)?.[1] ?? 'browser';
            const pss = Number(readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8').match(/^Pss:\s+(\d+)/m)[1]) * 1024;
            out[type] = (out[type] ?? 0) + pss;
        } catch {}
    }
    return out;
}

const mb = (bytes) => (bytes / 1e6).toFixed(0);
const settle = (ms) => new Promise((done) => setTimeout(done, ms));
async function memory(page, cdp) {
    await cdp.send('HeapProfiler.collectGarbage');
    await settle(1500);   // the workers' and the browser's own collections
    const metrics = Object.fromEntries((await cdp.send('Performance.getMetrics')).metrics.map((m) => [m.name, m.value]));
    const processes = chromiumMemory();
    return { heap: metrics.JSHeapUsedSize, renderer: processes.renderer ?? 0,
             all: Object.values(processes).reduce((a, b) => a + b, 0), processes };
}
const said = (m) => `page heap ${mb(m.heap)} MB, renderer ${mb(m.renderer)} MB, all Chromium ${mb(m.all)} MB ` +
    `(${Object.entries(m.processes).map(([t, v]) => `${t} ${mb(v)}`).join(', ')})`;

console.log(`load average ${readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ')}; ` +
            `${fixtureDocuments().length} fixture documents repeated`);
const server = await serve(site);
const browser = await launch(join(root, 'web'));
const results = [];
for (const count of counts) {
    const { files, remove } = repeatedFixtures(count);
    try {
        const context = await browser.newContext({ acceptDownloads: true });
        const page = await context.newPage();
        const cdp = await context.newCDPSession(page);
        await cdp.send('Performance.enable');
        await page.goto(server.origin + '/');
        await page.waitForFunction(() => document.documentElement.dataset.engine === 'ready', null, { timeout: 60000 });
        const before = await memory(page, cdp);
        await page.evaluate((count) => {
            const cards = document.getElementById('cards');
            window.benchDone = new Promise((resolve) => {
                document.getElementById('files').addEventListener('change', () => {
                    const start = performance.now();
                    const observer = new MutationObserver(() => {
                        if (cards.childElementCount === count && !cards.querySelector('.card[data-state=reading]')) {
                            observer.disconnect();
                            requestAnimationFrame(() => resolve(performance.now() - start));
                        }
                    });
                    observer.observe(cards, { subtree: true, childList: true, attributes: true });
                }, { capture: true, once: true });
            });
        }, count);
        await page.setInputFiles('input[type=file]', files);
        const read = await page.evaluate(() => window.benchDone);
        const afterRead = await memory(page, cdp);
        const start = Date.now();
        const [download] = await Promise.all([page.waitForEvent('download', { timeout: 600000 }),
                                              page.getByRole('button', { name: 'Download all' }).click()]);
        const zipBytes = statSync(await download.path()).size;
        const saved = Date.now() - start;
        const afterSave = await memory(page, cdp);
        results.push({ count, read, saved });
        console.log(`${count} documents: read ${(read / count).toFixed(2)} ms each (${(read / 1000).toFixed(1)} s), ` +
                    `"Download all" ${(saved / count).toFixed(2)} ms each (${mb(zipBytes)} MB ZIP)`);
        console.log(`  engine ready: ${said(before)}`);
        console.log(`  all read:     ${said(afterRead)}`);
        console.log(`  ZIP saved:    ${said(afterSave)}`);
        await context.close();
    } finally {
        remove();
    }
}
await browser.close();
await server.close();
if (results.length > 1) {
    const [base, ...rest] = results;
    for (const r of rest)
        console.log(`per document, ${r.count} against ${base.count}: read ${((r.read / r.count) / (base.read / base.count)).toFixed(2)}×, ` +
                    `"Download all" ${((r.saved / r.count) / (base.saved / base.count)).toFixed(2)}× (goal: at most 1.2×)`);
}
console.log(`load average ${readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ')}`);
