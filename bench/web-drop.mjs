// How long the web page takes from being handed all the fixture documents
// at once to every card read and its preview drawn, in headless Chromium, with
// the engine loaded; and the size of the WebAssembly module, gzipped.
//
// node bench/web-drop.mjs [SITE] [RUNS]   (SITE: scripts/build-web's folder, build/web)
import { readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';
import { fixtureDocuments, launch, serve } from '../tests/web/browser.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const site = resolve(process.argv[2] ?? join(root, 'build/web'));
const runs = Number(process.argv[3] ?? 10);
const documents = fixtureDocuments();

const wasm = readFileSync(join(site, 'engine.wasm'));
console.log(`engine.wasm: ${wasm.length} bytes, ${gzipSync(wasm, { level: 9 }).length} gzipped`);

const server = await serve(site);
const browser = await launch(join(root, 'web'));
const times = [];
for (let i = 0; i < runs; ++i) {
    const page = await browser.newPage();
    await page.goto(server.origin + '/');
    await page.waitForFunction(() => document.documentElement.dataset.engine === 'ready');
    // The clock runs from the moment the page is handed the files (the
    // file input's change, which a drop of files equally goes through) to
    // the frame after the last card is drawn. Handed as files on the disk,
    // as a drop hands them: a drop made up in the page would first have to
    // copy its made-up files into the browser's blob store.
    await page.evaluate((count) => {
        const cards = document.getElementById('cards');
        window.benchDone = new Promise((resolve) => {
            document.getElementById('files').addEventListener('change', () => {
                const start = performance.now();
                const observer = new MutationObserver(() => {
                    const all = cards.querySelectorAll('.card');
                    if (all.length === count && [...all].every((c) => c.dataset.state !== 'reading')) {
                        observer.disconnect();
                        requestAnimationFrame(() => resolve(performance.now() - start));
                    }
                });
                observer.observe(cards, { subtree: true, childList: true, attributes: true });
            }, { capture: true, once: true });
        });
    }, documents.length);
    await page.setInputFiles('input[type=file]', documents);
    const ms = await page.evaluate(() => window.benchDone);
    times.push(ms);
    await page.close();
}
await browser.close();
await server.close();
times.sort((a, b) => a - b);
console.log(`${documents.length} documents handed at once, every preview shown: ` +
            `median ${times[times.length >> 1].toFixed(0)} ms, fastest ${times[0].toFixed(0)} ms, ` +
            `slowest ${times[times.length - 1].toFixed(0)} ms over ${runs} runs (goal: under 1000 ms)`);
