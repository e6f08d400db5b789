// The web page in real headless browsers, Chromium, Firefox and WebKit alike
// (tests/web/engines.mjs): every fixture's preview shown with the fixture's
// pixels, the documents without a preview and damaged ones with their
// message, BMP and WMF bytes equal to glimmerbox-convert's, the batch's
// picture names, a drop of files, the page opened as a file and its
// Content-Security-Policy. In Chromium alone, each saying why elsewhere: a
// worker that dies while it reads, a drop of folders, no request to another
// origin, a save as the browser's own download, and the app it installs as:
// its manifest and icons, offline, and a new build's cache in place of the
// old.
//
// node tests/web/run.mjs SITE CONVERTER [ENGINE...]
// SITE: the folder scripts/build-web wrote; CONVERTER: glimmerbox-convert;
// ENGINE: chromium, firefox or webkit, all three unless named. An engine
// whose browser or driver is absent is skipped, saying which package brings
// it. Exits 77 (skipped) when none can run, or the fixtures are absent.
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { appendFileSync, cpSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { basename, dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { serve } from './browser.mjs';
import { allRead, downloaded, engines, waitFor } from './engines.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const webModules = join(root, 'web');
const require = createRequire(join(webModules, 'package.json'));
const [site, converter, ...named] = process.argv.slice(2);
const fixtures = resolve(root, '../shared/fixtures/documents');

const skip = (why) => {
    console.log(`web tests skipped: ${why}`);
    process.exit(77);
};
if (!existsSync(fixtures))
    skip(`no fixtures at ${fixtures}`);
for (const name of named)
    if (!engines.some((e) => e.name === name))
        skip(`no engine ${name} (${engines.map((e) => e.name).join(', ')})`);
try {
    require.resolve('fflate');
    require.resolve('pngjs');
} catch {
    skip(`no fflate or pngjs in ${webModules} (npm ci in web/)`);
}

const { unzipSync } = require('fflate');
const { PNG } = require('pngjs');

// The fixtures' table: document, version, preview size and pixel hash.
const table = readFileSync(join(fixtures, '../README.md'), 'utf8').split('\n')
    .map((line) => line.match(/^\| `([^`]+)` \| \d+ \| (\d+) \| ([^|]+) \| ([^|]+) \| ([0-9a-f]{64}|-) \|/))
    .filter(Boolean)
    .map(([, path, version, preview, size, hash]) => ({ path, version, hasPreview: hash !== '-', size: size.trim(), hash }));

let passed = 0, failed = 0, engine = '';
async function check(name, body) {
    try {
        await body();
        ++passed;
        console.log(`ok: ${engine}: ${name}`);
    } catch (error) {
        ++failed;
        console.log(`FAILED: ${engine}: ${name}\n  ${String(error.stack || error).split('\n').join('\n  ')}`);
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
const expectPixels = (zip, documents) => {
    for (const d of documents.filter((d) => d.hasPreview))
        expectEqual(pixelSha256(zip[basename(d.path).slice(0, -4) + '.png']), { hash: d.hash, size: d.size }, d.path);
};

// The page's controls as a person finds them: by their labels and text.
const chooseSaveOptions = (page, type, size) => page.evaluate(([type, size]) => {
    for (const [label, value] of [['Type', type], ['Size', size]]) {
        const select = [...document.querySelectorAll('label')].find((l) => l.textContent === label).control;
        select.value = value;
        select.dispatchEvent(new Event('change', { bubbles: true }));
    }
}, [type, String(size)]);

// The picture names in "Download all"'s ZIP at `type` and `size`, with their bytes.
async function downloadAll(page, type, size) {
    await chooseSaveOptions(page, type, size);
    const { name, bytes } = await downloaded(page, () => [...document.querySelectorAll('button')].find((b) => b.textContent === 'Download all').click());
    expectEqual(name, `previews-${type}.zip`, 'the ZIP\'s name');
    return unzipSync(bytes);
}

// The cards of `documents` (rows of the fixtures' table, all of the page's
// cards in order): their names, versions, kinds and sizes, or "No preview"
// alone.
async function expectCards(page, documents) {
    const cards = await page.evaluate(() => [...document.querySelectorAll('#cards .card')].map((c) => ({
        state: c.dataset.state, name: c.querySelector('.name').textContent,
        facts: c.querySelector('.facts').textContent, shown: !!c.querySelector('img'),
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
const tmp = mkdtempSync(join(tmpdir(), 'glimmer-web-'));
let written = 0;
// `files` ({ name, bytes }) on the disk, each in a folder of its own (two
// may have one name): their paths, to choose.
const onDisk = (files) => files.map(({ name, bytes }) => {
    const folder = join(tmp, `chosen-${++written}`);
    mkdirSync(folder);
    writeFileSync(join(folder, name), bytes);
    return join(folder, name);
});
// glimmerbox-convert's picture of the fixture at `path`.
const converted = (path, type, size) => {
    const out = join(tmp, `converted-${++written}`);
    execFileSync(converter, ['-q', '-t', type, '-s', String(size), '-o', out, join(fixtures, path)]);
    return readFileSync(join(out, basename(path).slice(0, -4) + '.' + type));
};
const opened = async (browser, url) => {
    const page = await browser.newPage();
    await page.goto(url);
    return page;
};

// What holds in every engine.
async function everywhere(browser) {
    const page = await opened(browser, server.origin + '/');
    await check('the page\'s contract: one file input for many files, Type, Size, "Download all"', async () => {
        expectEqual(await page.evaluate(() => {
            const values = (label) => [...[...document.querySelectorAll('label')].find((l) => l.textContent === label).control.options].map((o) => o.value);
            return [[...document.querySelectorAll('input[type=file]')].map((i) => i.multiple), values('Type'), values('Size'),
                    [...document.querySelectorAll('button')].find((b) => b.textContent === 'Download all').disabled];
        }), [[true], ['bmp', 'jpg', 'wmf', 'png'], ['96', '120', '240', '0'], true], 'file inputs, Type, Size, "Download all" disabled before any document');
    });
    await page.choose('input[type=file]', table.map((d) => join(fixtures, d.path)));
    await allRead(page, table.length);

    await check('every fixture: its card, with its version, kind and size, or "No preview"', async () => {
        await expectCards(page, table);
        expectEqual(await page.errors(), [], 'page errors');
    });

    // The page keeps each picture as its card shows it (240 pixels at most
    // here, scaled down, never up); "Download all" below still has the
    // full-size pixels, from the documents read again.
    await check('every card\'s picture is drawn at the size it is shown, not its own', async () => {
        // Each shown once its card comes near the screen: with the rows
        // far apart, the last one is not until the page scrolls to it, and
        // the first is let go then.
        const pictures = '#cards .card img';
        await page.evaluate(() => (document.getElementById('cards').style.rowGap = '5000px'));
        const shown = () => [...document.querySelectorAll('#cards .card img')].map((p) => !!p.src);
        expectEqual((await page.evaluate(shown)).at(-1), false, 'the last picture, far below the screen, before it is scrolled to');
        const drawn = [];
        for (let i = 0; i < table.filter((d) => d.hasPreview).length; ++i) {
            // Scrolled to again while it waits: the cards laid out as they
            // come on the screen may move it.
            await waitFor(page, ([all, i]) => {
                const p = document.querySelectorAll(all)[i];
                p.closest('.card').scrollIntoView({ block: 'center' });
                return p.src && p.naturalWidth > 0;
            }, [pictures, i]);
            drawn.push(await page.evaluate(([all, i]) => { const p = document.querySelectorAll(all)[i]; return `${p.naturalWidth}x${p.naturalHeight}`; }, [pictures, i]));
        }
        expectEqual(drawn, table.filter((d) => d.hasPreview).map((d) => (d.size === '512x512' ? '240x240' : d.size)), 'picture sizes');
        expectEqual((await page.evaluate(shown))[0], false, 'the first picture, far above the screen, once scrolled past');
        await page.evaluate(() => {
            document.getElementById('cards').style.rowGap = '';
            window.scrollTo(0, 0);
        });
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
    for (const path of ['Rou7e-typhlogyroscope/SOLID_10.ipt', 'kdizon-2P-OPM/AA AOTF subassy.iam']) {
        for (const [type, size] of [['bmp', 120], ['bmp', 0], ['wmf', 240]]) {
            await check(`${path}: .${type} at ${size} equals glimmerbox-convert's`, async () => {
                const expected = converted(path, type, size);
                await chooseSaveOptions(page, type, size);
                const got = await downloaded(page, (name) => [...document.querySelectorAll('#cards .card')]
                    .find((c) => c.querySelector('.name').textContent === name).querySelector('button.save').click(), basename(path));
                expectEqual(got.name, basename(path).slice(0, -4) + '.' + type, 'name');
                if (!got.bytes.equals(expected))
                    throw new Error(`${got.bytes.length} bytes differ from the converter's ${expected.length}`);
            });
        }
    }
    await page.close();

    await check('damaged documents show why; the next document still reads; three of one name', async () => {
        const page = await opened(browser, server.origin + '/');
        const good = readFileSync(join(fixtures, 'Rou7e-typhlogyroscope/Part3.ipt'));
        const files = onDisk([
            { name: 'half.ipt', bytes: good.subarray(0, 512 * 3) },
            { name: 'notes.ipt', bytes: Buffer.from('not a document\n') },
            { name: 'empty.ipt', bytes: Buffer.alloc(0) },
            ...[1, 2, 3].map(() => ({ name: 'lid.ipt', bytes: good })),
        ]);
        await page.choose('input[type=file]', files);
        await allRead(page, files.length);
        const cards = await page.evaluate(() => [...document.querySelectorAll('#cards .card')].map((c) => [c.dataset.state,
            c.querySelector('.message strong')?.textContent ?? '', c.querySelector('.reason')?.textContent ?? '']));
        for (const [state, headline, reason] of cards.slice(0, 3))
            if (state !== 'unreadable' || headline !== 'Cannot be read' || reason.length < 5)
                throw new Error(`a damaged document's card: ${state} "${headline}" "${reason}"`);
        expectEqual(cards.slice(3).map((c) => c[0]), ['ok', 'ok', 'ok'], 'the documents after them');
        expectEqual(Object.keys(await downloadAll(page, 'jpg', 96)), ['lid.jpg', 'lid.ipt.jpg', 'lid (3).jpg'], 'names');
        expectEqual(await page.errors(), [], 'page errors');
        await page.close();
    });

    await check('dropped files are read like chosen ones', async () => {
        const page = await opened(browser, server.origin + '/');
        const d = table.find((d) => d.hasPreview);
        await page.evaluate(([name, data]) => {
            const transfer = new DataTransfer();
            transfer.items.add(new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], name));
            document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
        }, [basename(d.path), readFileSync(join(fixtures, d.path)).toString('base64')]);
        await allRead(page, 1);
        await expectCards(page, [d]);
        expectPixels(await downloadAll(page, 'png', 0), [d]);
        await page.close();
    });

    await check('opened as a file, the page reads documents and asks nothing beyond its folder', async () => {
        const folder = pathToFileURL(resolve(site)).href + '/';
        const page = await opened(browser, folder + 'index.html');
        const documents = table.filter((d) => /Part3|AA AOTF|003550_2|Sapphire/.test(d.path));
        await page.choose('input[type=file]', documents.map((d) => join(fixtures, d.path)));
        await allRead(page, documents.length);
        await expectCards(page, documents);
        const bmp = await downloadAll(page, 'bmp', 0);
        expectEqual(Object.keys(bmp).length, 3, 'pictures in the ZIP');
        for (const d of documents.filter((d) => d.hasPreview))
            if (!Buffer.from(bmp[basename(d.path).slice(0, -4) + '.bmp']).equals(converted(d.path, 'bmp', 0)))
                throw new Error(`${d.path}: its .bmp differs from the converter's`);
        expectPixels(await downloadAll(page, 'png', 0), documents);
        expectEqual(await page.errors(), [], 'page errors');
        expectEqual((await page.requests()).filter((u) => !u.startsWith(folder) && !u.startsWith('blob:') && !u.startsWith('data:')), [], 'requests elsewhere');
        await page.close();
    });

    // The ZIP fails as a whole, naming the document, and its reason stays
    // (the count must not write over it).
    await check('a document gone from the disk after it was read: "Download all" says so and saves nothing', async () => {
        const page = await opened(browser, server.origin + '/');
        const d = table.find((d) => d.hasPreview);
        const [path] = onDisk([{ name: basename(d.path), bytes: readFileSync(join(fixtures, d.path)) }]);
        await page.choose('input[type=file]', [path]);
        await allRead(page, 1);
        rmSync(path);
        const saved = await page.evaluate(() => glimmerDownloads.length);
        await page.evaluate(() => document.getElementById('all').click());
        await waitFor(page, () => !document.getElementById('all').disabled);
        const said = await page.evaluate(() => [document.getElementById('status').textContent, glimmerDownloads.length]);
        if (!said[0].startsWith(basename(d.path) + ': ') || said[1] !== saved)
            throw new Error(`"Download all" said "${said[0]}", with ${said[1] - saved} saved`);
        await page.close();
    });

    await check('the page\'s Content-Security-Policy refuses other origins', async () => {
        const page = await opened(browser, server.origin + '/');
        const refused = await page.evaluate(() => new Promise((resolve) => {
            document.addEventListener('securitypolicyviolation', (e) => resolve(e.effectiveDirective));
            fetch('http://127.0.0.2:9/').catch(() => {});
        }));
        expectEqual(refused, 'connect-src', 'the directive that refused it');
        await page.close();
    });
}

// What Chromium alone is tested for, with why the others are not. `browser`
// is engines.mjs's Chromium: its playwright-core browser and context.
const fresh = async (browser, origin = server.origin, into = browser.context, before = () => {}) => {
    const page = browser.wrap(await into.newPage());
    await page.native.addInitScript(before);
    await page.goto(origin + '/');
    return page;
};
// The app the page installs as, each time in a browser of its own (a
// context keeps its service workers) on a server of its own.
const visit = async (browser, origin) => {
    const into = await browser.native.newContext({ acceptDownloads: true });
    const asked = [];
    into.on('request', (r) => asked.push(new URL(r.url()).pathname));
    return { into, asked, page: await fresh(browser, origin, into) };
};
// The names of the caches once the page's service worker controls it.
const kept = async (page) => {
    await waitFor(page, () => navigator.serviceWorker.controller, null, 30000);
    return page.evaluate(() => caches.keys());
};
const engineReady = (page) => waitFor(page, () => document.documentElement.dataset.engine === 'ready');
const byteStrings = (files) => files.map(({ name, bytes }) => [name, bytes && bytes.toString('base64')]);
const requests = [];

const inChromium = [{
    // Two deaths of a worker while it reads, neither of which the page can
    // cause: a trap in the engine (served with an engine.js whose
    // glimmer_read traps on a document that begins "trap"), an error the
    // worker did not handle and an answer that cannot arrive (the page's
    // Worker, wrapped before its scripts run, is ended in place of answering
    // a document that begins "dies" or "lost", once sent one after it, then
    // gives its `error` or `messageerror` event).
    name: 'a worker that dies while it reads: that card "the reader stopped", the rest read and saved',
    why: 'it wraps the page\'s Worker before the page\'s scripts run (playwright-core\'s addInitScript)',
    async body(browser) {
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
        const elsewhere = await browser.native.newContext({ acceptDownloads: true });   // its requests are another origin's
        const page = await fresh(browser, trapping.origin, elsewhere, () => {
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
        const file = (d) => ({ name: basename(d.path), bytes: readFileSync(join(fixtures, d.path)) });
        const dying = (marker) => ({ name: `${marker}.ipt`, bytes: Buffer.from(marker) });
        await page.choose('input[type=file]', onDisk([file(read[0]), file(read[1]), dying('trap'), file(read[2]), file(read[3]),
            dying('dies'), file(read[4]), file(read[5]), dying('lost'), file(read[6]), file(read[7])]));
        await allRead(page, 11);
        const ok = ['ok', ''], stopped = ['unreadable', 'Cannot be readthe reader stopped'];
        expectEqual(await page.evaluate(() => [...document.querySelectorAll('#cards .card')].map((c) => [c.dataset.state, c.querySelector('.message')?.textContent ?? ''])),
            [ok, ok, stopped, ok, ok, stopped, ok, ok, stopped, ok, ok], 'cards');
        // Those read before a death are read again for their pictures.
        const zip = await downloadAll(page, 'png', 0);
        expectEqual(Object.keys(zip), read.map((d) => basename(d.path).slice(0, -4) + '.png'), 'pictures in the ZIP');
        expectPixels(zip, read);
        expectEqual(await page.errors(), [], 'page errors');
        await elsewhere.close();
        await trapping.close();
    },
}, {
    // A drop of a folder, as Chromium's entries give it: each folder's
    // entries in batches of at most 100, then an empty one; the documents
    // below it in name order, their pictures named within their folders.
    name: 'a dropped folder: every document below it, in name order, named within its folders',
    why: 'its folder is made up as Chromium\'s entries give one (batches of up to 100)',
    async body(browser) {
        const page = await fresh(browser);
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
        expectEqual(await page.evaluate(() => [...document.querySelectorAll('#cards .card')].map((c) => [c.querySelector('.name').textContent, c.dataset.state])),
            names.map((n) => [n, 'ok']), 'cards');
        expectEqual(Object.keys(await downloadAll(page, 'jpg', 96)),
            [...numbered.map((n) => `parts/${n.slice(0, -4)}.jpg`), 'parts/sub/lid.jpg', 'parts/sub/lid.ipt.jpg', 'parts/sub/p000.jpg', 'loose.jpg'],
            'pictures in the ZIP');
        expectEqual(await page.errors(), [], 'page errors');
        await page.close();
    },
}, {
    name: 'no request left the page\'s origin',
    why: 'it counts what every page and worker asked, as playwright-core\'s context sees it',
    async body() {
        const folder = pathToFileURL(resolve(site)).href + '/';   // the page opened as a file's
        const foreign = requests.filter((u) => ![server.origin + '/', folder, 'blob:', 'data:'].some((p) => u.startsWith(p)));
        expectEqual(foreign, [], 'requests elsewhere');
        if (!requests.some((u) => u.endsWith('/engine.wasm')))
            throw new Error('the engine was never loaded');
    },
}, {
    // The page's save untouched: the browser's own download.
    name: 'a save is the browser\'s own download, under the page\'s name for it',
    why: 'it takes the browser\'s download as playwright-core sees it (elsewhere the page\'s save is caught in the page)',
    async body(browser) {
        const page = await browser.context.newPage();
        await page.goto(server.origin + '/');
        const d = table.find((d) => d.hasPreview);
        await page.setInputFiles('input[type=file]', join(fixtures, d.path));
        await page.locator('#type').selectOption('png');
        await page.locator('#size').selectOption('0');
        const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: 'Save' }).click()]);
        expectEqual(download.suggestedFilename(), basename(d.path).slice(0, -4) + '.png', 'name');
        expectEqual(pixelSha256(readFileSync(await download.path())), { hash: d.hash, size: d.size }, d.path);
        await page.close();
    },
}, {
    // "Open with" hands the installed app file handles through
    // window.launchQueue. Chromium's own queue is handed files only in an
    // installed app's window, which a test's browser cannot install: a
    // stand-in queue, defined before the page's scripts run, keeps the
    // consumer the page gives it, and the test hands that what Chromium
    // would, handles (kind, name, getFile()) of the fixtures' bytes; then,
    // as to an open app, one of a file gone since.
    name: 'documents handed to the installed app are read as a drop\'s; a file gone since says so',
    why: 'no file_handlers / launchQueue',
    async body(browser) {
        const page = await fresh(browser, server.origin, browser.context, () => {
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
        await hand(byteStrings(documents.map((d) => ({ name: basename(d.path), bytes: readFileSync(join(fixtures, d.path)) }))));
        await allRead(page, documents.length);
        await expectCards(page, documents);
        await hand([['gone.ipt', null]]);
        await allRead(page, documents.length + 1);
        expectEqual(await page.evaluate(() => [...document.querySelectorAll('#cards .card:last-child')].map((c) => [c.dataset.state, c.querySelector('.name').textContent, c.querySelector('.reason')?.textContent])[0]),
            ['unreadable', 'gone.ipt', 'A requested file or directory could not be found at the time an operation was processed.'], 'the card of the file gone');
        expectEqual(await page.errors(), [], 'page errors');
        await page.close();
    },
}, {
    name: 'installable: Chromium finds nothing in the way, the icons have their sizes, the maskable one no clear corner; it opens the desktop\'s document types',
    why: 'no installability check (Chromium\'s Page.getInstallabilityErrors) and no file_handlers',
    async body(browser) {
        const { into, page } = await visit(browser, server.origin);
        const cdp = await into.newCDPSession(page.native);
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
    },
}, {
    // Offline with its server gone too: no answer but the service worker's.
    name: 'offline, the page opens again and reads a document with its pixels; it had kept all it asked for',
    why: 'it takes the network from under the page (playwright-core\'s setOffline)',
    async body(browser) {
        const alone = await serve(resolve(site));
        const { into, asked, page } = await visit(browser, alone.origin);
        await engineReady(page);
        const [name] = await kept(page);
        const cached = await page.evaluate(async (name) => (await (await caches.open(name)).keys()).map((r) => new URL(r.url).pathname), name);
        expectEqual(asked.filter((p) => !cached.includes(p) && !['/', '/sw.js'].includes(p)), [], 'asked for and not kept');
        await into.setOffline(true);
        await alone.close();
        await page.reload();
        await engineReady(page);
        const d = table.find((d) => d.hasPreview);
        await page.choose('input[type=file]', [join(fixtures, d.path)]);
        await allRead(page, 1);
        expectPixels(await downloadAll(page, 'png', 0), [d]);
        expectEqual(await page.errors(), [], 'page errors');
        await into.close();
    },
}, {
    // A second build: the first's copy with style.css changed and its
    // sw.js written again, as the web build writes it.
    name: 'a new build: its cache replaces the old at the next visit, which says "Updated" once',
    why: 'each visit is in a browser of its own, with its service workers (playwright-core\'s contexts)',
    async body(browser) {
        const copy = mkdtempSync(join(tmpdir(), 'glimmer-web-'));
        cpSync(resolve(site), copy, { recursive: true });
        const builds = await serve(copy);
        const { into, page } = await visit(browser, builds.origin);
        const [first] = await kept(page);
        const status = () => page.evaluate(() => document.getElementById('status').textContent);
        const seen = [await status()];
        appendFileSync(join(copy, 'style.css'), '#status { --build: next; }\n');
        const files = JSON.parse(readFileSync(join(copy, 'sw.js'), 'utf8').match(/^const files = (.*);$/m)[1]);
        execFileSync(process.execPath, [join(root, 'web/make-service-worker.mjs'), join(root, 'web/sw.js'), copy, ...files]);
        // The page the new build's worker takes over opens again, as the
        // new build's: its style is the new one.
        for (const _ of [1, 2]) {
            await page.native.reload();
            if (seen.length === 1)
                await waitFor(page, () => document.getElementById('status').textContent !== '', null, 30000);
            await engineReady(page);
            seen.push([await status(), await page.evaluate(() => getComputedStyle(document.getElementById('status')).getPropertyValue('--build'))]);
        }
        expectEqual(seen, ['', ['Updated', 'next'], ['', 'next']], 'status at the first visit and the two after the new build');
        const names = await kept(page);
        if (names.length !== 1 || names[0] === first || !/^glimmerbox-[0-9a-f]{16}$/.test(names[0]))
            throw new Error(`caches ${JSON.stringify(names)} after ${first}`);
        await into.close();
        await builds.close();
        rmSync(copy, { recursive: true, force: true });
    },
}];

let ran = 0;
try {
    for (const e of engines.filter((e) => named.length === 0 || named.includes(e.name))) {
        engine = e.name;
        const why = e.missing(webModules);
        if (why) {
            console.log(`web tests in ${engine} skipped: ${why}`);
            continue;
        }
        ++ran;
        const began = Date.now(), before = passed + failed;
        let browser;
        await check('the browser starts', async () => (browser = await e.launch(webModules)));
        if (!browser)
            continue;
        browser.context?.on('request', (r) => requests.push(r.url()));
        try {
            await everywhere(browser);
            for (const test of inChromium) {
                if (engine === 'chromium')
                    await check(test.name, () => test.body(browser));
                else
                    console.log(`skipped in ${engine}: ${test.name}: ${test.why}`);
            }
        } finally {
            await browser.close();
        }
        console.log(`${engine}: ${passed + failed - before} tests in ${((Date.now() - began) / 1000).toFixed(1)} s`);
    }
} finally {
    await server.close();
    rmSync(tmp, { recursive: true, force: true });
}
if (!ran)
    skip('no browser to run them in');
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
