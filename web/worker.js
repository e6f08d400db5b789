// The page's worker: runs the engine (engine.js, engine.wasm) on the
// documents the page sends, one at a time, and answers with what it found,
// the preview's pixels at the size the card shows them, and the picture
// files. The page never waits on it.
// Started from a file, it runs as one string (worker-file.js, written by
// scripts/build-web) that holds the engine, its WebAssembly and the warming
// documents: glimmerWasm and glimmerWarm, in base64.
'use strict';
const fromFile = typeof glimmerWasm === 'string';
const decode = (base64) => Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
if (!fromFile)
    importScripts('engine.js');

// The engine answers whatever it refuses; a call that throws has trapped
// (unreachable code, memory out of bounds, its stack exhausted) or aborted,
// half-way through changing its own state, and must not be called again.
// The worker tells the page, which starts another in its place, and ends.
let trapped = null;
function engineCall(m, name, returns, args) {
    const call = m.cwrap(name, returns, args);
    return (...values) => {
        try {
            return call(...values);
        } catch (error) {
            trapped = trapped ?? error;
            throw error;
        }
    };
}
function stop() {
    self.postMessage({ fatal: String(trapped && trapped.message || trapped) });
    self.close();
}

// The engine's module: from the string started from a file; else compiled
// by the page, which starts its workers named "given" and sends it them
// (one compile for both, begun as the page starts, theirs while they
// start), or fetched here when the page has none to give.
let given = null;
const module = self.name === 'given' ? new Promise((resolve) => (given = resolve)) : Promise.resolve(null);
let failed;
const instantiated = new Promise((_, reject) => (failed = reject));
const options = fromFile ? { wasmBinary: decode(glimmerWasm) } : {
    instantiateWasm: (imports, done) => {
        module.then((compiled) => compiled ? WebAssembly.instantiate(compiled, imports).then((instance) => ({ instance, module: compiled }))
                                           : WebAssembly.instantiateStreaming(fetch('engine.wasm'), imports))
            .then(({ instance, module }) => done(instance, module), failed);
        return {};
    },
};
const ready = Promise.race([createEngine(options), instantiated]).then((m) => ({
    m,
    input: engineCall(m, 'glimmer_input', 'number', ['number']),
    read: engineCall(m, 'glimmer_read', 'string', ['string']),
    forget: engineCall(m, 'glimmer_forget', null, ['number']),
    pixels: engineCall(m, 'glimmer_pixels', 'number', ['number', 'number', 'number']),
    file: engineCall(m, 'glimmer_file', 'number', ['number', 'string', 'number']),
    width: engineCall(m, 'glimmer_width', 'number', []),
    height: engineCall(m, 'glimmer_height', 'number', []),
    length: engineCall(m, 'glimmer_length', 'number', []),
    error: engineCall(m, 'glimmer_error', 'string', []),
}));
// The engine's code is compiled at its first run and again, optimised,
// once it has run for a while: small documents of our own (from
// fuzz/corpus/document), read a few dozen times as it starts, take it
// there, before the page's first document. The worker says it is ready
// once they are read, or once the page's first document comes, which warms
// it from then on; the page may send documents before that (they wait for
// the engine's module only). One read at a time, each its own task: a
// document the page sends is read next.
let sent = false;
const nextTask = () => new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = resolve;
    channel.port2.postMessage(null);
});
async function warm(e) {
    // Each read as many times, and its card's PNG made as the page's
    // documents' are: the large one runs the loops a real preview does
    // (inflating, scaling, deflating) that the small ones hardly enter.
    for (const [name, times] of [['large-png-preview.ipt', 8], ['png-preview.ipt', 20], ['metafile-preview.ipt', 20],
                                 ['standard-set-preview.idw', 20]]) {
        try {
            const bytes = fromFile ? decode(glimmerWarm[name])
                : new Uint8Array(await (await fetch('warm/' + name)).arrayBuffer());
            for (let i = 0; i < times; ++i) {
                await nextTask();
                if (sent || trapped)
                    return;
                const info = read(e, bytes, name);
                if (info.id) {
                    e.file(info.id, 'png', 240);
                    e.forget(info.id);
                }
            }
        } catch {
            // Only slower: the first documents warm it instead.
        }
    }
}
ready.then(warm).then(() => self.postMessage({ ready: true }), () => {});

// What the engine found in the document `bytes` (see glimmer_read): they
// are copied into its memory and read there.
function read(e, bytes, name) {
    const at = e.input(bytes.length);
    if (at)
        e.m.HEAPU8.set(bytes, at);
    return JSON.parse(e.read(name));
}

// RGBA rows of picture `id` (see glimmer_pixels), copied out of the engine.
function pixels(e, id, size, box) {
    const at = e.pixels(id, size, box);
    if (!at)
        throw new Error(e.error());
    const width = e.width(), height = e.height();
    return { width, height, data: e.m.HEAPU8.slice(at, at + width * height * 4) };
}

// A picture file: bmp and wmf from the engine's writers, as the desktop
// programs write them, as bytes; jpg (the box image) and png (scaled down
// to fit, never up) from the browser's encoders, as a Blob.
async function pictureFile(e, id, type, size) {
    if (type === 'bmp' || type === 'wmf')
        return engineFile(e, id, type, size);
    return encoded(pixels(e, id, size, type === 'jpg' ? 1 : 0), type === 'jpg' ? { type: 'image/jpeg', quality: 0.9 } : { type: 'image/png' });
}

// The engine's file of picture `id` (see glimmer_file), copied out of it.
function engineFile(e, id, type, size) {
    const at = e.file(id, type, size);
    if (!at)
        throw new Error(e.error());
    return e.m.HEAPU8.slice(at, at + e.length());
}

// Pixels (see pixels()) encoded by the browser, as a Blob.
function encoded({ width, height, data }, as) {
    const canvas = new OffscreenCanvas(width, height);
    canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(data.buffer), width, height), 0, 0);
    return canvas.convertToBlob(as);
}

// The document `bytes` read and, with a preview, `use` made of its picture,
// which is forgotten then: the worker keeps no picture between documents
// (the page sends a document again for each file it wants of it).
async function withPicture(e, bytes, use) {
    const info = read(e, new Uint8Array(bytes), 'document');
    if (info.status !== 'ok')
        return { info };
    try {
        return { info, made: await use(info.id) };
    } finally {
        if (!trapped)
            e.forget(info.id);
    }
}

let queue = Promise.resolve();
self.onmessage = (event) => {
    const job = event.data;
    if ('module' in job)
        return given && given(job.module);
    sent = true;
    queue = queue.then(async () => {
        try {
            // An engine that cannot start answers each document with why.
            const e = await ready;
            if (trapped)
                return stop();
            if (job.op === 'read') {
                // Its facts, and its picture as the card shows it: scaled
                // down to fit `size`, never up, as the engine's PNG (a few
                // kilobytes the page keeps, where its pixels would be a
                // canvas each; the browser's encoder is slow in WebKit).
                const { info, made: image } = await withPicture(e, job.bytes, (id) => engineFile(e, id, 'png', job.size));
                delete info.id;
                self.postMessage({ seq: job.seq, info, image }, image ? [image.buffer] : []);
            } else if (job.op === 'save') {
                const { info, made: bytes } = await withPicture(e, job.bytes, (id) => pictureFile(e, id, job.type, job.size));
                if (!bytes)
                    throw new Error(info.status === 'none' ? 'No preview' : info.reason);
                // The browser's encoders' files go as the Blobs they make,
                // read by the page: a worker of a page opened as a file may
                // not read a Blob in WebKit.
                self.postMessage({ seq: job.seq, bytes }, bytes instanceof Blob ? [] : [bytes.buffer]);
            }
        } catch (error) {
            if (trapped)
                return stop();
            self.postMessage({ seq: job.seq, error: String(error && error.message || error) });
        }
    });
};
