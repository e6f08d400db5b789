// The web page in real headless Chromium: every fixture's preview shown with
// the fixture's pixels, the documents without a preview and damaged ones
// with their message, a worker that dies while it reads, BMP and WMF bytes
// equal to glimmerbox-convert's, the batch's picture names, a drop of files
// and of folders, the page opened as a file, no request to another origin,
// and the app it installs as: its manifest and icons, offline, and a new
// build's cache in place of the old.
//
// node tests/web/run.mjs SITE CONVERTER
// SITE: the folder scripts/build-web wrote; CONVERTER: glimmerbox-convert.
// Exits 77 (skipped) when Chromium, playwright-core or the fixtures are absent.
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { appendFileSync, cpSync, existsSync, mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { basename, dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { allRead, launch, missing, serve } from './browser.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const webModules = join(root, 'web');
const require = createRequire(join(webModules, 'package.json'));
const [site, converter] = process.argv.slice(2);
const fixtures = resolve(root, '../shared/fixtures/documents');

const skip = (why) => {
    console.log(`web tests skipped: ${why}`);
    process.exit(77);
};
if (!existsSync(fixtures))
    skip(`no fixtures at ${fixtures}`);
const why = missing(webModules);
if (why)
    skip(why);

const { unzipSync } = require('fflate');
const { PNG } = require('pngjs');

// The fixtures' table: document, version, preview size and pixel hash.
const table = readFileSync(join(fixtures, '../README.md'), 'utf8').split('\n')
    .map((line) => line.match(/^\| `([^`]+)` \| \d+ \| (\d+) \| ([^|]+) \| ([^|]+) \| ([0-9a-f]{64}|-) \|/))
    .filter(Boolean)
    .map(([, path, version, preview, size, hash]) => ({ path, version, hasPreview: hash !== '-', size: size.trim(), hash }));

let passed = 0, failed = 0;
async function check(name, body) {
    try {
        await body();
        ++passed;
        console.log(`ok: ${name}`);
    } catch (error) {
        ++failed;
        console.log(`FAILED: ${name}\n  ${String(error.stack || error).split('\n').join('\n  ')}`);
    }
}
function expectEqual(actual, expected, what) {
    if (JSON.stringify(actual) !== JSON.stringify(expected))
        throw new Error(`${what}: ${JSON.stringify(actual)}, expected ${JSON.stringify(expected)}`);
}

// SHA-256 of a PNG's pixels as 8-bit RGB triples, rows top-down.
function pixelSha256(pngBytes) {
    const png = PNG.sync.read(Buffer.from(pngBytes));
    const rgb = Buffer.alloc(png.width * png.height * 3);
    for (let i = 0, j = 0; i < png.data.length; i += 4, j += 3)
        png.data.copy(rgb, j, i, i + 3);
    return { hash: createHash('sha256').update(rgb).digest('hex'), size: `${png.width}x${png.height}` };
}

async function downloaded(page, click) {
    const [download] = await Promise.all([page.waitForEvent('download'), click()]);
    return { name: download.suggestedFilename(), bytes: readFileSync(await download.path()) };
}

async function chooseSaveOptions(page, type, size) {
    await page.getByLabel('Type', { exact: true }).selectOption(type);
    await page.getByLabel('Size', { exact: true }).selectOption(String(size));
}

// The picture names in "Download all"'s ZIP at `type` and `size`, with their bytes.
async function downloadAll(page, type, size) {
    await chooseSaveOptions(page, type, size);
    return unzipSync((await downloaded(page, () => page.getByRole('button', { name: 'Download all' }).click())).bytes);
}

// The cards of `documents` (rows of the fixtures' table, all of the page's
// cards in order): their names, versions, kinds and sizes, or "No preview"
// alone.
async function expectCards(page, documents) {
    const cards = await page.$$eval('#cards .card', (cs) => cs.map((c) => ({
        state: c.dataset.state, name: c.querySelector('.name').textContent,
        facts: c.querySelector('.facts').textContent, shown: !!c.querySelector('canvas'),
        message: c.querySelector('.message')?.textContent ?? null,
    })));
    expectEqual(cards.map((c) => c.name), documents.map((d) => basename(d.path)), 'names');
    for (const [i, d] of documents.entries()) {
        const c = cards[i];
        expectEqual([c.state, c.shown, c.message], d.hasPreview ? ['ok', true, null] : ['none', false, 'No preview'], d.path);
        if (!c.facts.includes(`Version ${d.version}`) || (d.hasPreview && !c.facts.includes(d.size.replace('x', ' × '))))
            throw new Error(`${d.path}: facts "${c.facts}"`);
    }
}

const server = await serve(resolve(site));
const browser = await launch(webModules);
const context = await browser.newContext({ acceptDownloads: true });
const requests = [];
context.on('request', (r) => requests.push(r.url()));
const fresh = async (origin = server.origin, into = context, before = () => {}) => {
    const page = await into.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    await page.addInitScript(before);
    await page.goto(origin + '/');
    return { page, errors };
};

try {
    const { page, errors } = await fresh();
    await check('the page\'s contract: one file input for many files, Type, Size, "Download all"', async () => {
        expectEqual(await page.$$eval('input[type=file]', (inputs) => inputs.map((i) => i.multiple)), [true], 'file inputs');
        const values = (label) => page.getByLabel(label, { exact: true }).evaluate((s) => [...s.options].map((o) => o.value));
        expectEqual(await values('Type'), ['bmp', 'jpg', 'wmf', 'png'], 'Type');
        expectEqual(await values('Size'), ['96', '120', '240', '0'], 'Size');
        expectEqual(await page.getByRole('button', { name: 'Download all' }).isDisabled(), true, 'Download all before any document');
    });
    await page.setInputFiles('input[type=file]', table.map((d) => join(fixtures, d.path)));
    await allRead(page, table.length);

    await check('every fixture: its card, with its version, kind and size, or "No preview"', async () => {
        await expectCards(page, table);
        expectEqual(errors, [], 'page errors');
    });

    // The page keeps each picture as its card shows it (240 pixels at most
    // here, scaled down, never up); "Download all" below still has the
    // full-size pixels, from the documents read again.
    await check('every card\'s picture is drawn at the size it is shown, not its own', async () => {
        const drawn = await page.$$eval('#cards .card canvas', (cs) => cs.map((c) => `${c.width}x${c.height}`));
        expectEqual(drawn, table.filter((d) => d.hasPreview).map((d) => (d.size === '512x512' ? '240x240' : d.size)), 'canvas sizes');
    });

    await check('every fixture: "Download all" as PNG at its own size has the fixture pixels, batch names', async () => {
        const zip = await downloadAll(page, 'png', 0);
        const withPreview = table.filter((d) => d.hasPreview);
        const names = withPreview.map((d) => basename(d.path).slice(0, -4) + '.png');
        names[names.indexOf('Cooling_Plate-body.png', names.indexOf('Cooling_Plate-body.png') + 1)] = 'Cooling_Plate-body.ipt.png';
        expectEqual(Object.keys(zip), names, 'pictures in the ZIP');
        for (const [i, d] of withPreview.entries())
            expectEqual(pixelSha256(zip[names[i]]), { hash: d.hash, size: d.size }, d.path);
    });

    // One document of each kind of preview, at a box size and at its own.
    const tmp = mkdtempSync(join(tmpdir(), 'glimmer-web-'));
    for (const path of ['Rou7e-typhlogyroscope/SOLID_10.ipt', 'kdizon-2P-OPM/AA AOTF subassy.iam']) {
        for (const [type, size] of [['bmp', 120], ['bmp', 0], ['wmf', 240]]) {
            await check(`${path}: .${type} at ${size} equals glimmerbox-convert's`, async () => {
                const out = join(tmp, `${type}${size}`);
                execFileSync(converter, ['-q', '-t', type, '-s', String(size), '-o', out, join(fixtures, path)]);
                const expected = readFileSync(join(out, basename(path).slice(0, -4) + '.' + type));
                await chooseSaveOptions(page, type, size);
                const card = page.locator('#cards .card', { has: page.locator('.name', { hasText: basename(path) }) });
                const got = await downloaded(page, () => card.getByRole('button', { name: 'Save' }).click());
                expectEqual(got.name, basename(path).slice(0, -4) + '.' + type, 'name');
                if (!got.bytes.equals(expected))
                    throw new Error(`${got.bytes.length} bytes differ from the converter's ${expected.length}`);
            });
        }
    }
    rmSync(tmp, { recursive: true, force: true });
    await page.close();

    await check('damaged documents show why; the next document still reads; three of one name', async () => {
        const { page, errors } = await fresh();
        const good = readFileSync(join(fixtures, 'Rou7e-typhlogyroscope/Part3.ipt'));
        const files = [
            { name: 'half.ipt', mimeType: 'application/octet-stream', buffer: good.subarray(0, 512 * 3) },
            { name: 'notes.ipt', mimeType: 'application/octet-stream', buffer: Buffer.from('not a document\n') },
            { name: 'empty.ipt', mimeType: 'application/octet-stream', buffer: Buffer.alloc(0) },
            ...[1, 2, 3].map(() => ({ name: 'lid.ipt', mimeType: 'application/octet-stream', buffer: good })),
        ];
        await page.setInputFiles('input[type=file]', files);
        await allRead(page, files.length);
        const cards = await page.$$eval('#cards .card', (cs) => cs.map((c) => [c.dataset.state,
            c.querySelector('.message strong')?.textContent ?? '', c.querySelector('.reason')?.textContent ?? '']));
        for (const [state, headline, reason] of cards.slice(0, 3))
            if (state !== 'unreadable' || headline !== 'Cannot be read' || reason.length < 5)
                throw new Error(`a damaged document's card: ${state} "${headline}" "${reason}"`);
        expectEqual(cards.slice(3).map((c) => c[0]), ['ok', 'ok', 'ok'], 'the documents after them');
        expectEqual(Object.keys(await downloadAll(page, 'jpg', 96)), ['lid.jpg', 'lid.ipt.jpg', 'lid (3).jpg'], 'names');
        expectEqual(errors, [], 'page errors');
        await page.close();
    });

    // Two deaths of a worker while it reads, neither of which the page can
    // cause: a trap in the engine (served with an engine.js whose
    // glimmer_read traps on a document that begins "trap"), an error the
    // worker did not handle and an answer that cannot arrive (the page's
    // Worker, wrapped before its scripts run, is ended in place of answering
    // a document that begins "dies" or "lost", once sent one after it, then
    // gives its `error` or `messageerror` event).
    await check('a worker that dies while it reads: that card "the reader stopped", the rest read and saved', async () => {
        const trapping = await serve(resolve(site), { '/engine.js': `
            createEngine = ((create) => (options) => create(options).then((m) => {
                const cwrap = m.cwrap;
                let at = 0;
                m.cwrap = (name, ...types) => {
                    const f = cwrap(name, ...types);
                    const trap = () => String.fromCharCode(...m.HEAPU8.subarray(at, at + 4)) === 'trap';
                    return { glimmer_input: (length) => (at = f(length)),
                             glimmer_read: (name) => { if (trap()) throw new WebAssembly.RuntimeError('unreachable'); return f(name); } }[name] ?? f;
                };
                return m;
            }))(createEngine);` });
        const elsewhere = await browser.newContext({ acceptDownloads: true });   // its requests are another origin's
        const { page, errors } = await fresh(trapping.origin, elsewhere, () => {
            window.Worker = class extends Worker {
                constructor(url) {
                    super(url);
                    this.addEventListener('message', (event) => {   // before the page's onmessage
                        if (this.dies && event.data.seq === this.dies) {
                            event.stopImmediatePropagation();
                            this.answered = true;
                            this.die();
                        }
                    });
                }
                die() {
                    if (this.answered && this.more) {
                        this.terminate();
                        setTimeout(() => this.dispatchEvent(this.death));
                    }
                }
                postMessage(message) {
                    super.postMessage(message);
                    if (message.op === 'read' && this.dies) {
                        this.more = true;
                        this.die();
                    } else if (message.op === 'read') {
                        const marker = String.fromCharCode(...new Uint8Array(message.bytes, 0, 4));
                        this.death = { dies: new ErrorEvent('error', { message: 'Out of memory' }), lost: new MessageEvent('messageerror') }[marker];
                        this.dies = this.death && message.seq;
                    }
                }
            };
        });
        // Slots alternate: the trap ends the first worker after one picture,
        // the error the second after two, the lost answer the first's next
        // after two, each with documents still to read.
        const read = table.filter((d) => d.hasPreview).slice(0, 8);
        const file = (d) => ({ name: basename(d.path), mimeType: 'application/octet-stream', buffer: readFileSync(join(fixtures, d.path)) });
        const dying = (marker) => ({ name: `${marker}.ipt`, mimeType: 'application/octet-stream', buffer: Buffer.from(marker) });
        await page.setInputFiles('input[type=file]', [file(read[0]), file(read[1]), dying('trap'), file(read[2]), file(read[3]),
            dying('dies'), file(read[4]), file(read[5]), dying('lost'), file(read[6]), file(read[7])]);
        await allRead(page, 11);
        const ok = ['ok', ''], stopped = ['unreadable', 'Cannot be readthe reader stopped'];
        expectEqual(await page.$$eval('#cards .card', (cs) => cs.map((c) => [c.dataset.state, c.querySelector('.message')?.textContent ?? ''])),
            [ok, ok, stopped, ok, ok, stopped, ok, ok, stopped, ok, ok], 'cards');
        // Those read before a death are read again for their pictures.
        const zip = await downloadAll(page, 'png', 0);
        expectEqual(Object.keys(zip), read.map((d) => basename(d.path).slice(0, -4) + '.png'), 'pictures in the ZIP');
        for (const d of read)
            expectEqual(pixelSha256(zip[basename(d.path).slice(0, -4) + '.png']), { hash: d.hash, size: d.size }, d.path);
        expectEqual(errors, [], 'page errors');
        await elsewhere.close();
        await trapping.close();
    });

    await check('dropped files are read like chosen ones', async () => {
        const { page } = await fresh();
        const bytes = readFileSync(join(fixtures, table[1].path));
        await page.evaluate(([name, data]) => {
            const transfer = new DataTransfer();
            transfer.items.add(new File([new Uint8Array(data)], name));
            document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
        }, [basename(table[1].path), [...bytes]]);
        await allRead(page, 1);
        expectEqual(await page.$eval('#cards .card', (c) => c.dataset.state), 'ok', 'state');
        expectEqual(await page.getByRole('button', { name: 'Download all' }).isEnabled(), true, 'Download all enabled');
        await page.close();
    });

    // A drop of a folder, as Chromium's entries give it: each folder's
    // entries in batches of at most 100, then an empty one; the documents
    // below it in name order, their pictures named within their folders.
    await check('a dropped folder: every document below it, in name order, named within its folders', async () => {
        const { page, errors } = await fresh();
        const bytes = readFileSync(join(fixtures, 'jessedusty-2014-15-Robotux-CAD-Files/tetrix spacer.ipt'));
        const numbered = [...Array(105).keys()].map((i) => `p${String(i).padStart(3, '0')}.ipt`);
        await page.evaluate(([data, numbered]) => {
            const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
            const file = (name) => ({ isFile: true, isDirectory: false, name, file: (ok) => setTimeout(() => ok(new File([bytes], name))) });
            const folder = (name, entries, batch) => ({
                isFile: false, isDirectory: true, name,
                createReader: () => {
                    let at = 0;
                    return { readEntries: (ok) => setTimeout(() => ok(entries.slice(at, at += batch))) };
                },
            });
            const sub = folder('sub', [file('lid.ipt'), file('notes.txt'), file('p000.ipt'), file('lid.iam')], 3);
            const parts = folder('parts', [...numbered.reverse().map(file), file('readme.txt'), sub], 100);
            const items = [
                { kind: 'file', webkitGetAsEntry: () => parts },
                { kind: 'string', webkitGetAsEntry: () => null },
                { kind: 'file', webkitGetAsEntry: () => file('loose.ipt'), getAsFile: () => new File([bytes], 'loose.ipt') },
            ];
            const drop = new Event('drop', { bubbles: true, cancelable: true });
            Object.defineProperty(drop, 'dataTransfer', { value: { items } });
            document.body.dispatchEvent(drop);
        }, [bytes.toString('base64'), numbered]);
        const names = [...numbered, 'lid.iam', 'lid.ipt', 'p000.ipt', 'loose.ipt'];
        await allRead(page, names.length);
        expectEqual(await page.$$eval('#cards .card', (cs) => cs.map((c) => [c.querySelector('.name').textContent, c.dataset.state])),
            names.map((n) => [n, 'ok']), 'cards');
        expectEqual(Object.keys(await downloadAll(page, 'jpg', 96)),
            [...numbered.map((n) => `parts/${n.slice(0, -4)}.jpg`), 'parts/sub/lid.jpg', 'parts/sub/lid.ipt.jpg', 'parts/sub/p000.jpg', 'loose.jpg'],
            'pictures in the ZIP');
        expectEqual(errors, [], 'page errors');
        await page.close();
    });

    await check('no request left the page\'s origin', async () => {
        const foreign = requests.filter((u) => !u.startsWith(server.origin + '/') && !u.startsWith('blob:') && !u.startsWith('data:'));
        expectEqual(foreign, [], 'requests elsewhere');
        if (!requests.some((u) => u.endsWith('/engine.wasm')))
            throw new Error('the engine was never loaded');
    });

    await check('opened as a file, the page reads documents and asks nothing beyond its folder', async () => {
        const page = await context.newPage();
        const errors = [], asked = [];
        page.on('pageerror', (e) => errors.push(String(e)));
        page.on('request', (r) => asked.push(r.url()));
        const folder = pathToFileURL(resolve(site)).href + '/';
        await page.goto(folder + 'index.html');
        const documents = table.filter((d) => /Part3|AA AOTF|003550_2|Sapphire/.test(d.path));
        await page.setInputFiles('input[type=file]', documents.map((d) => join(fixtures, d.path)));
        await allRead(page, documents.length);
        await expectCards(page, documents);
        const zip = await downloadAll(page, 'png', 0);
        expectEqual(Object.keys(zip).length, 3, 'pictures in the ZIP');
        for (const d of documents.filter((d) => d.hasPreview))
            expectEqual(pixelSha256(zip[basename(d.path).slice(0, -4) + '.png']), { hash: d.hash, size: d.size }, d.path);
        expectEqual(errors, [], 'page errors');
        expectEqual(asked.filter((u) => !u.startsWith(folder) && !u.startsWith('blob:') && !u.startsWith('data:')), [], 'requests elsewhere');
        await page.close();
    });

    await check('the page\'s Content-Security-Policy refuses other origins', async () => {
        const { page } = await fresh();
        const refused = await page.evaluate(() => new Promise((resolve) => {
            document.addEventListener('securitypolicyviolation', (e) => resolve(e.effectiveDirective));
            fetch('http://127.0.0.2:9/').catch(() => {});
        }));
        expectEqual(refused, 'connect-src', 'the directive that refused it');
        await page.close();
    });

    // "Open with" hands the installed app file handles through
    // window.launchQueue. Chromium's own queue is handed files only in an
    // installed app's window, which a test's browser cannot install: a
    // stand-in queue, defined before the page's scripts run, keeps the
    // consumer the page gives it, and the test hands that what Chromium
    // would, handles (kind, name, getFile()) of the fixtures' bytes; then,
    // as to an open app, one of a file gone since.
    await check('documents handed to the installed app are read as a drop\'s; a file gone since says so', async () => {
        const { page, errors } = await fresh(server.origin, context, () => {
            Object.defineProperty(window, 'launchQueue', { value: { setConsumer: (consumer) => (window.launched = consumer) } });
        });
        const documents = table.filter((d) => /Part3|AA AOTF|Sapphire/.test(d.path));
        const hand = (files) => page.evaluate((files) => window.launched({ files: files.map(([name, data]) => ({
            kind: 'file', name, getFile: async () => {
                if (!data)
                    throw new DOMException('A requested file or directory could not be found at the time an operation was processed.', 'NotFoundError');
                return new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], name);
            },
        })) }), files);
        await hand(documents.map((d) => [basename(d.path), readFileSync(join(fixtures, d.path)).toString('base64')]));
        await allRead(page, documents.length);
        await expectCards(page, documents);
        await hand([['gone.ipt', null]]);
        await allRead(page, documents.length + 1);
        expectEqual(await page.$eval('#cards .card:last-child', (c) => [c.dataset.state, c.querySelector('.name').textContent, c.querySelector('.reason')?.textContent]),
            ['unreadable', 'gone.ipt', 'A requested file or directory could not be found at the time an operation was processed.'], 'the card of the file gone');
        expectEqual(errors, [], 'page errors');
        await page.close();
    });

    // The app the page installs as, each time in a browser of its own (a
    // context keeps its service workers) on a server of its own.
    const visit = async (origin) => {
        const into = await browser.newContext({ acceptDownloads: true });
        const asked = [];
        into.on('request', (r) => asked.push(new URL(r.url()).pathname));
        return { into, asked, ...await fresh(origin, into) };
    };
    // The names of the caches once the page's service worker controls it.
    const kept = async (page) => {
        await page.waitForFunction(() => navigator.serviceWorker.controller, null, { timeout: 30000 });
        return page.evaluate(() => caches.keys());
    };
    const engineReady = (page) => page.waitForFunction(() => document.documentElement.dataset.engine === 'ready', null, { timeout: 60000 });

    await check('installable: Chromium finds nothing in the way, the icons have their sizes, the maskable one no clear corner; it opens the desktop\'s document types', async () => {
        const { into, page } = await visit(server.origin);
        const cdp = await into.newCDPSession(page);
        await kept(page);
        // The tests' browser contexts are all incognito, where none installs.
        const errors = (await cdp.send('Page.getInstallabilityErrors')).installabilityErrors;
        expectEqual(errors.filter((e) => e.errorId !== 'in-incognito'), [], 'installability errors');
        const manifest = await (await fetch(`${server.origin}/manifest.webmanifest`)).json();
        for (const icon of manifest.icons) {
            const png = PNG.sync.read(Buffer.from(await (await fetch(`${server.origin}/${icon.src}`)).arrayBuffer()));
            expectEqual([`${png.width}x${png.height}`, png.data[3] === 255], [icon.sizes, icon.purpose === 'maskable'], icon.src);
        }
        const types = [...readFileSync(join(root, 'desktop/glimmerbox-mime.xml'), 'utf8').matchAll(/<mime-type type="([^"]+)"[^]*?<glob pattern="\*([^"]+)"/g)];
        expectEqual(manifest.file_handlers.map((h) => [h.action, h.accept]), [['./', Object.fromEntries(types.map(([, type, ext]) => [type, [ext]]))]], 'file handlers');
        await into.close();
    });

    // Offline with its server gone too: no answer but the service worker's.
    await check('offline, the page opens again and reads a document with its pixels; it had kept all it asked for', async () => {
        const alone = await serve(resolve(site));
        const { into, asked, page, errors } = await visit(alone.origin);
        await engineReady(page);
        const [name] = await kept(page);
        const cached = await page.evaluate(async (name) => (await (await caches.open(name)).keys()).map((r) => new URL(r.url).pathname), name);
        expectEqual(asked.filter((p) => !cached.includes(p) && !['/', '/sw.js'].includes(p)), [], 'asked for and not kept');
        await into.setOffline(true);
        await alone.close();
        await page.reload();
        await engineReady(page);
        const d = table.find((d) => d.hasPreview);
        await page.setInputFiles('input[type=file]', join(fixtures, d.path));
        await allRead(page, 1);
        expectEqual(pixelSha256((await downloadAll(page, 'png', 0))[basename(d.path).slice(0, -4) + '.png']), { hash: d.hash, size: d.size }, d.path);
        expectEqual(errors, [], 'page errors');
        await into.close();
    });

    // A second build: the first's copy with style.css changed and its
    // sw.js written again, as the web build writes it.
    await check('a new build: its cache replaces the old at the next visit, which says "Updated" once', async () => {
        const copy = mkdtempSync(join(tmpdir(), 'glimmer-web-'));
        cpSync(resolve(site), copy, { recursive: true });
        const builds = await serve(copy);
        const { into, page } = await visit(builds.origin);
        const [first] = await kept(page);
        const status = () => page.$eval('#status', (s) => s.textContent);
        const seen = [await status()];
        appendFileSync(join(copy, 'style.css'), '#status { --build: next; }\n');
        const files = JSON.parse(readFileSync(join(copy, 'sw.js'), 'utf8').match(/^const files = (.*);$/m)[1]);
        execFileSync(process.execPath, [join(root, 'web/make-service-worker.mjs'), join(root, 'web/sw.js'), copy, ...files]);
        // The page the new build's worker takes over opens again, as the
        // new build's: its style is the new one.
        for (const _ of [1, 2]) {
            await page.reload();
            if (seen.length === 1)
                await page.waitForFunction(() => document.getElementById('status').textContent !== '', null, { timeout: 30000 });
            await engineReady(page);
            seen.push([await status(), await page.$eval('#status', (s) => getComputedStyle(s).getPropertyValue('--build'))]);
        }
        expectEqual(seen, ['', ['Updated', 'next'], ['', 'next']], 'status at the first visit and the two after the new build');
        const names = await kept(page);
        if (names.length !== 1 || names[0] === first || !/^glimmerbox-[0-9a-f]{16}$/.test(names[0]))
            throw new Error(`caches ${JSON.stringify(names)} after ${first}`);
        await into.close();
        await builds.close();
        rmSync(copy, { recursive: true, force: true });
    });
} finally {
    await browser.close();
    await server.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
