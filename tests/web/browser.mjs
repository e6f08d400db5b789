// Shared by the browser tests, the drop benchmark and the screenshot: the
// built page served on the loopback address, and Debian's Chromium, headless,
// driven by playwright-core.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { copyFileSync, existsSync, linkSync, mkdtempSync, readdirSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, dirname, extname, join, normalize, resolve } from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
export const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';
const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
                '.webmanifest': 'application/manifest+json', '.png': 'image/png' };

// Serves `dir` on 127.0.0.1 at a free port; resolves to { origin, close }.
// `appended` maps a file's path ('/engine.js') to text served after it.
export function serve(dir, appended = {}) {
    const server = createServer(async (request, response) => {
        let path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname)).replace(/^(\.\.[/\\])+/, '');
        if (path.endsWith('/'))
            path += 'index.html';
        try {
            const body = Buffer.concat([await readFile(join(dir, path)), Buffer.from(appended[path] ?? '')]);
            response.writeHead(200, { 'content-type': types[extname(path)] ?? 'application/octet-stream' });
            response.end(body);
        } catch {
            response.writeHead(404);
            response.end();
        }
    });
    return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
        origin: `http://127.0.0.1:${server.address().port}`,
        close: () => new Promise((done) => server.close(done)),
    })));
}

// Why the browser cannot be driven here, or null when it can.
export function missing(webModules) {
    if (!existsSync(chromiumPath))
        return `no Chromium at ${chromiumPath} (Debian package chromium)`;
    try {
        require.resolve('playwright-core', { paths: [webModules] });
    } catch {
        return `no playwright-core in ${webModules} (npm ci in web/)`;
    }
    return null;
}

// Launches headless Chromium with no network of its own beyond the page's.
export async function launch(webModules) {
    const { chromium } = require(require.resolve('playwright-core', { paths: [webModules] }));
    return chromium.launch({
        executablePath: chromiumPath,
        args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
               '--disable-component-update', '--disable-sync'],
    });
}

// The fixture documents (../shared/fixtures/documents beside the project),
// every one below it in name order.
export function fixtureDocuments() {
    const documents = [];
    const walk = (dir) => readdirSync(dir).sort().forEach((name) => {
        const path = join(dir, name);
        if (statSync(path).isDirectory())
            walk(path);
        else if (/\.(ipt|iam|idw|ipn|ide)$/i.test(name))
            documents.push(path);
    });
    walk(resolve(dirname(fileURLToPath(import.meta.url)), '../../../shared/fixtures/documents'));
    return documents;
}

// `count` documents for the benchmarks: the fixtures over and over, each
// under a name of its own (its number before its name) in a temporary
// folder, hard links where they can be; `remove()` removes them.
export function repeatedFixtures(count) {
    const documents = fixtureDocuments();
    const folder = mkdtempSync(join(tmpdir(), 'glimmer-bench-'));
    const files = [...Array(count).keys()].map((i) => {
        const from = documents[i % documents.length];
        const to = join(folder, `${String(i).padStart(5, '0')} ${basename(from)}`);
        try {
            linkSync(from, to);
        } catch {
            copyFileSync(from, to);
        }
        return to;
    });
    return { files, remove: () => rmSync(folder, { recursive: true, force: true }) };
}

// Waits until every card on the page has been read.
export async function allRead(page, count) {
    await page.waitForFunction((n) => {
        const cards = document.querySelectorAll('#cards .card');
        return cards.length === n && [...cards].every((c) => c.dataset.state !== 'reading');
    }, count, { timeout: 60000 });
}
