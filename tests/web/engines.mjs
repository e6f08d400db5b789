// The three browser engines, driven alike: Debian's Chromium through
// playwright-core, Firefox ESR through puppeteer-core over WebDriver BiDi,
// and WebKitGTK's MiniBrowser through WebKitWebDriver over plain W3C
// WebDriver (a client of our own, below), in an Xvfb of its own. All
// headless; none needs a display, a person or a network beyond the page's.
//
//   import { engines, allRead, downloaded } from './engines.mjs';
//   for (const engine of engines) {
//       const why = engine.missing(webModules);      // null when it can run
//       const browser = await engine.launch(webModules);
//       const page = await browser.newPage();
//       await page.goto(url);                         // with downloads caught (and reload())
//       await page.evaluate((n) => n + 1, 1);         // a function and its one argument
//       await page.choose('input[type=file]', paths); // files on the disk
//       await allRead(page, paths.length);
//       const { name, bytes } = await downloaded(page, (id) => document.getElementById(id).click(), 'all');
//       await page.close(); await browser.close();
//   }
//
// A browser has one page open at a time. A page's downloads are caught in
// the page itself: the blob: URLs it makes, and the clicks on links that
// save one, which then save nothing to the disk. errors() is what the page
// threw and did not catch (WebKit's: from the end of its load on, caught in
// the page); requests() the URLs it asked for, as far as the driver sees
// them (WebKit's: its resource timing, nothing its workers ask). CHROMIUM,
// FIREFOX, WEBKIT_WEBDRIVER and MINIBROWSER name other binaries. Node 18 on.
import { spawn } from 'node:child_process';
import { existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import { createServer } from 'node:net';
import { basename } from 'node:path';

const require = createRequire(import.meta.url);
const load = (name, webModules) => require(require.resolve(name, { paths: [webModules] }));
const unresolved = (name, webModules) => {
    try {
        require.resolve(name, { paths: [webModules] });
        return null;
    } catch {
        return `no ${name} in ${webModules} (npm ci in web/)`;
    }
};

// Run in the page after each load: its downloads kept as { name, blob }
// in window.glimmerDownloads, its uncaught errors in window.glimmerErrors.
function catchDownloads() {
    if (window.glimmerDownloads)
        return;
    window.glimmerDownloads = [];
    window.glimmerErrors = [];
    addEventListener('error', (e) => glimmerErrors.push(String(e.error ?? e.message)));
    addEventListener('unhandledrejection', (e) => glimmerErrors.push(String(e.reason)));
    const blobs = new Map();
    const create = URL.createObjectURL;
    URL.createObjectURL = (object) => {
        const url = create.call(URL, object);
        blobs.set(url, object);
        return url;
    };
    const click = HTMLAnchorElement.prototype.click;
    HTMLAnchorElement.prototype.click = function () {
        if (this.hasAttribute('download') && blobs.has(this.href))
            glimmerDownloads.push({ name: this.download, blob: blobs.get(this.href) });
        else
            click.call(this);
    };
}

// The `index`th download's name and bytes (base64), read in the page.
async function downloadBytes(index) {
    const { name, blob } = glimmerDownloads[index];
    const bytes = new Uint8Array(await blob.arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
        text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return { name, base64: btoa(text) };
}

// Resolves once `predicate(arg)`, run in the page, is true; through the
// page's loads of itself, when it cannot be run.
export async function waitFor(page, predicate, arg, timeout = 60000) {
    const end = Date.now() + timeout;
    let failure = '';
    for (;;) {
        try {
            if (await page.evaluate(predicate, arg))
                return;
        } catch (error) {
            failure = `: ${error.message}`;
        }
        if (Date.now() > end)
            throw new Error(`timed out after ${timeout} ms waiting for ${predicate}${failure}`);
        await new Promise((resolve) => setTimeout(resolve, 100));
    }
}

// Waits until every card on the page has been read.
export const allRead = (page, count) => waitFor(page, (n) => {
    const cards = document.querySelectorAll('#cards .card');
    return cards.length === n && [...cards].every((c) => c.dataset.state !== 'reading');
}, count);

// What the page saves once `click(arg)` has run in it: { name, bytes }.
export async function downloaded(page, click, arg) {
    const before = await page.evaluate(() => glimmerDownloads.length);
    await page.evaluate(click, arg);
    await waitFor(page, (n) => glimmerDownloads.length > n, before);
    const { name, base64 } = await page.evaluate(downloadBytes, before);
    return { name, bytes: Buffer.from(base64, 'base64') };
}

const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';
const firefoxPath = process.env.FIREFOX || '/usr/bin/firefox-esr';
const webDriverPath = process.env.WEBKIT_WEBDRIVER || '/usr/bin/WebKitWebDriver';
const miniBrowserPath = process.env.MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';

// playwright-core's page, or puppeteer-core's: alike but for file choosing.
function wrap(native, choose) {
    const errors = [], requests = [];
    native.on('pageerror', (e) => errors.push(String(e)));
    native.on('request', (r) => requests.push(r.url()));
    return {
        native,
        async goto(url) {
            await native.goto(url);
            await native.evaluate(catchDownloads);
        },
        async reload() {
            await native.reload();
            await native.evaluate(catchDownloads);
        },
        evaluate: (f, arg) => native.evaluate(f, arg),
        choose: (selector, paths) => choose(native, selector, paths),
        errors: async () => errors,
        requests: async () => requests,
        close: () => native.close(),
    };
}

const chromium = {
    name: 'chromium',
    missing: (webModules) => existsSync(chromiumPath) ? unresolved('playwright-core', webModules)
        : `no Chromium at ${chromiumPath} (Debian package chromium)`,
    // `native` is playwright-core's browser, `context` the one its pages
    // open in; wrap(page) makes a page of playwright-core's one of these.
    async launch(webModules) {
        const native = await load('playwright-core', webModules).chromium.launch({
            executablePath: chromiumPath,
            args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
                   '--disable-component-update', '--disable-sync'],
        });
        const context = await native.newContext({ acceptDownloads: true });
        const wrapped = (page) => wrap(page, (page, selector, paths) => page.setInputFiles(selector, paths));
        return {
            native, context, wrap: wrapped,
            newPage: async () => wrapped(await context.newPage()),
            close: () => native.close(),
        };
    },
};

const firefox = {
    name: 'firefox',
    missing: (webModules) => existsSync(firefoxPath) ? unresolved('puppeteer-core', webModules)
        : `no Firefox at ${firefoxPath} (Debian package firefox-esr)`,
    async launch(webModules) {
        const native = await load('puppeteer-core', webModules).launch({
            browser: 'firefox', protocol: 'webDriverBiDi', executablePath: firefoxPath, headless: true,
            extraPrefsFirefox: { 'network.proxy.type': 0, 'browser.safebrowsing.malware.enabled': false,
                                 'browser.safebrowsing.phishing.enabled': false, 'app.update.enabled': false },
        });
        return {
            native,
            newPage: async () => wrap(await native.newPage(), async (page, selector, paths) =>
                (await page.$(selector)).uploadFile(...paths)),
            close: () => native.close(),
        };
    },
};

// A free TCP port on the loopback address.
const freePort = () => new Promise((resolve, reject) => {
    const server = createServer().once('error', reject).listen(0, '127.0.0.1', () => {
        const { port } = server.address();
        server.close(() => resolve(port));
    });
});

// An Xvfb of its own on the first free display: { display, stop }.
function xvfb() {
    const server = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
                         { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
    return new Promise((resolve, reject) => {
        let text = '';
        server.once('error', reject);
        server.once('exit', (code) => reject(new Error(`Xvfb ended (${code}) before it had a display`)));
        server.stdio[3].on('data', (data) => {
            text += data;
            if (text.includes('\n'))
                resolve({ display: `:${text.trim()}`, stop: () => server.kill() });
        });
    });
}

const element = 'element-6066-11e4-a52e-4f735466cecf';

const webkit = {
    name: 'webkit',
    missing: () => [webDriverPath, miniBrowserPath].filter((path) => !existsSync(path))
        .map((path) => `no ${basename(path)} at ${path} (Debian package webkit2gtk-driver)`)[0]
        ?? (process.env.PATH.split(':').some((dir) => existsSync(`${dir}/Xvfb`)) ? null : 'no Xvfb (Debian package xvfb)'),
    async launch() {
        const screen = await xvfb();
        const port = await freePort();
        // WebKit's sandbox (bubblewrap) needs user namespaces, which a CI
        // container may not give; the pages it opens are the tests' own.
        const driver = spawn(webDriverPath, [`--port=${port}`], {
            stdio: ['ignore', 'ignore', 'pipe'],
            env: { ...process.env, DISPLAY: screen.display, WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS: '1' },
        });
        let said = '';
        driver.stderr.on('data', (data) => (said = (said + data).slice(-2000)));
        const base = `http://127.0.0.1:${port}`;
        const call = async (method, path, body) => {
            const response = await fetch(base + path, {
                method, headers: { 'content-type': 'application/json' }, body: body && JSON.stringify(body),
            });
            const { value } = await response.json();
            if (!response.ok)
                throw new Error(`WebDriver ${method} ${path}: ${value.error}: ${value.message}`);
            return value;
        };
        const stop = () => {
            driver.kill();
            screen.stop();
        };
        let session;
        try {
            for (let tries = 0; ; ++tries) {
                try {
                    await fetch(base + '/status');
                    break;
                } catch (error) {
                    if (tries === 100)
                        throw new Error(`WebKitWebDriver does not answer: ${said}`);
                    await new Promise((resolve) => setTimeout(resolve, 100));
                }
            }
            session = '/session/' + (await call('POST', '/session', { capabilities: { alwaysMatch: {
                'webkitgtk:browserOptions': { binary: miniBrowserPath, args: ['--automation'] },
                timeouts: { script: 300000, pageLoad: 60000 },
            } } })).sessionId;
        } catch (error) {
            stop();
            throw error;
        }
        // The function's result, or what it threw, as the page's own error.
        const evaluate = async (f, arg) => {
            const { value, error } = await call('POST', `${session}/execute/async`, {
                script: `const done = arguments[1];
                         Promise.resolve(arguments[0]).then(${f}).then((value) => done({ value: value === undefined ? null : value }),
                                                                     (e) => done({ error: String(e && e.stack || e) }));`,
                args: [arg === undefined ? null : arg],
            });
            if (error)
                throw new Error(error);
            return value;
        };
        return {
            newPage: async () => ({
                async goto(url) {
                    await call('POST', `${session}/url`, { url });
                    await evaluate(catchDownloads);
                },
                async reload() {
                    await call('POST', `${session}/refresh`, {});
                    await evaluate(catchDownloads);
                },
                evaluate,
                async choose(selector, paths) {
                    const found = await call('POST', `${session}/element`, { using: 'css selector', value: selector });
                    await call('POST', `${session}/element/${found[element]}/value`, { text: paths.join('\n') });
                },
                errors: () => evaluate(() => glimmerErrors),
                requests: () => evaluate(() => [location.href, ...performance.getEntriesByType('resource').map((e) => e.name)]),
                close: () => call('POST', `${session}/url`, { url: 'about:blank' }),
            }),
            async close() {
                await call('DELETE', session).catch(() => {});
                stop();
            },
        };
    },
};

export const engines = [chromium, firefox, webkit];
