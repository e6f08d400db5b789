// How soon the web page is ready to read documents, in headless Chromium:
// from the navigation's start to the page saying its engine is ready
// (`data-engine="ready"` on its root element, both workers warmed), at a
// first visit (a browser context of its own, nothing cached) and at a visit
// served by the service worker with the network off. Each run in a fresh
// context; medians. Other builds given after RUNS (an older one, say) are
// measured in turn with it, run by run, each from a server of its own.
//
// node bench/web-start.mjs [SITE] [RUNS] [SITE...]   (SITE: build/web; RUNS: 10)
import { readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, serve } from '../tests/web/browser.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const sites = [process.argv[2] ?? join(root, 'build/web'), ...process.argv.slice(4)].map((s) => resolve(s));
const runs = Number(process.argv[3] ?? 10);

// The time the engine said it was ready, on the page's clock (from the
// start of its navigation).
const watch = () => new MutationObserver((_, observer) => {
    if (document.documentElement.dataset.engine === 'ready') {
        window.readyAt = performance.now();
        observer.disconnect();
    }
}).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-engine'] });
async function visit(server, context, after = async () => {}) {
    const page = await context.newPage();
    await page.goto(server.origin + '/');
    const ms = await (await page.waitForFunction(() => window.readyAt, null, { timeout: 60000 })).jsonValue();
    await after(page);
    await page.close();
    return ms;
}

const load = () => readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
console.log(`load average ${load()}`);
const servers = await Promise.all(sites.map((site) => serve(site)));
const browser = await launch(join(root, 'web'));
const first = sites.map(() => []), offline = sites.map(() => []);
for (let i = 0; i < runs * sites.length; ++i) {
    const at = i % sites.length, server = servers[at];
    const context = await browser.newContext();
    await context.addInitScript(watch);
    // Its service worker in charge, with every file kept, before going
    // offline (a page closed while it installs may take it with it).
    first[at].push(await visit(server, context, (page) => page.waitForFunction(() => navigator.serviceWorker.controller, null, { timeout: 30000 })));
    await context.setOffline(true);
    offline[at].push(await visit(server, context));
    await context.close();
}
await browser.close();
await Promise.all(servers.map((server) => server.close()));
const median = (times) => [...times].sort((a, b) => a - b)[times.length >> 1];
const said = (times, base) => {
    const t = [...times].sort((a, b) => a - b);
    return `median ${median(t).toFixed(0)} ms (${t[0].toFixed(0)}–${t[t.length - 1].toFixed(0)})` +
        (base ? `, ${(median(t) / median(base)).toFixed(2)}× ${sites[0]}'s` : '');
};
for (const [at, site] of sites.entries()) {
    console.log(`${site}, ${runs} runs:`);
    console.log(`  first visit, until the engine is ready: ${said(first[at], at && first[0])} (goal: under 1000 ms)`);
    console.log(`  offline visit, from the service worker: ${said(offline[at], at && offline[0])} (goal: under 500 ms)`);
}
console.log(`load average ${load()}`);
