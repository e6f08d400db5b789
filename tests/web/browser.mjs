// Shared by the browser tests, the drop benchmark and the screenshot: the
// built page served on the loopback address, and Debian's Chromium, headless,
// driven by playwright-core.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { existsSync } from 'node:fs';
import { extname, join, normalize } from 'node:path';
import { createRequire } from 'node:module';

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

// Waits until every card on the page has been read.
export async function allRead(page, count) {
    await page.waitForFunction((n) => {
        const cards = document.querySelectorAll('#cards .card');
        return cards.length === n && [...cards].every((c) => c.dataset.state !== 'reading');
    }, count, { timeout: 60000 });
}
