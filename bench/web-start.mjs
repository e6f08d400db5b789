// How soon the web page is ready to read documents, in headless Chromium:
// from the navigation's start to the page saying its engine is ready
// (`data-engine="ready"` on its root element, both workers warmed), at a
// first visit (a browser context of its own, nothing cached) and at a visit
// served by the service worker with the network off. Each run in a fresh
// context; medians.
//
// node bench/web-start.mjs [SITE] [RUNS]   (SITE: build/web; RUNS: 10)
import { readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, serve } from '../tests/web/browser.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const site = resolve(process.argv[2] ?? join(root, 'build/web'));
const runs = Number(process.argv[3] ?? 10);

// The time the engine said it was ready, on the page's clock (from the
// start of its navigation).
const watch = () => new MutationObserver((_, observer) => {
    if (document.documentElement.dataset.engine === 'ready') {
        window.readyAt = performance.now();
        observer.disconnect();
    }
}).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-engine'] });
async function visit(context) {
    const page = await context.newPage();
    await page.goto(server.origin + '/');
    const ms = await (await page.waitForFunction(() => window.readyAt, null, { timeout: 60000 })).jsonValue();
    await page.close();
    return ms;
}

const load = () => readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
console.log(`load average ${load()}`);
const server = await serve(site);
const browser = await launch(join(root, 'web'));
const first = [], offline = [];
for (let i = 0; i < runs; ++i) {
    const context = await browser.newContext();
    await context.addInitScript(watch);
    first.push(await visit(context));
    // Its service worker in charge, with every file kept, before going offline.
    const page = await context.newPage();
    await page.goto(server.origin + '/');
    await page.waitForFunction(() => navigator.serviceWorker.controller, null, { timeout: 30000 });
    await page.close();
    await context.setOffline(true);
    offline.push(await visit(context));
    await context.close();
}
await browser.close();
await server.close();
const said = (times) => {
    const t = [...times].sort((a, b) => a - b);
    return `median ${t[t.length >> 1].toFixed(0)} ms (${t[0].toFixed(0)}–${t[t.length - 1].toFixed(0)})`;
};
console.log(`first visit, until the engine is ready: ${said(first)} over ${runs} runs (goal: under 1000 ms)`);
console.log(`offline visit, from the service worker: ${said(offline)} (goal: under 500 ms)`);
console.log(`load average ${load()}`);
