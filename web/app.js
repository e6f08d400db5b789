// The page: opens documents (chosen, or dropped as files or folders), shows
// a card for each as the worker reads it, and saves one picture or all of
// them as a ZIP. Classic scripts all, so that it runs opened as a file too:
// fflate.js (self.fflate) and names.js (pictureNames) come before it.
'use strict';
(() => {
    const $ = (id) => document.getElementById(id);
    const documents = [];   // { folder, name, file, card, info, slot, done }
    let seq = 0;
    let ready = 0;
    let pending = 0, pictures = 0;

    // Two workers read documents in turn; neither keeps what it read. The
    // page keeps each document's File, no bytes and no full-size pixels:
    // a picture file is made from the document sent again. A page opened as
    // a file may start no worker from a file: it starts them from
    // worker-file.js's string (the engine and worker.js in one) through a
    // blob: URL instead.
    //
    // Each worker has a few requests at a time (the next ones ready as it
    // ends one), answered in turn; the slot's others wait on the page, in
    // its queue, their documents still unread: a document's bytes are read
    // from its file as its request is sent, and let go once answered, so
    // that a drop of thousands holds a few at a time. A worker dies of an
    // error it does not handle, of an answer that cannot reach the page, or
    // of a trap in its engine (it says `fatal` then, and ends): the request
    // it was on fails with "the reader stopped", and a fresh worker in its
    // slot takes the rest, sent again (copied to it, never moved, for
    // that). A slot starts its next worker only for a request waiting, so
    // one that cannot start costs each request one worker, never a loop.
    //
    // Over http(s) the page compiles the engine's WebAssembly itself as it
    // starts, while its workers start, and gives each the module (a worker
    // named "given" waits for it); a module it cannot compile is null, and
    // the worker fetches its own.
    const slots = [0, 1].map(() => ({ worker: null, queue: [], sent: [] }));
    // Eight, so that a worker never waits on a file still being read, nor
    // on a page still drawing the cards before (slower at that in WebKit
    // than the engine is at reading their documents).
    const sentAtOnce = 8;
    let url = 'worker.js';
    const compiled = location.protocol === 'file:' ? null
        : WebAssembly.compileStreaming(fetch('engine.wasm')).catch(() => null);
    const started = (async () => {
        if (location.protocol === 'file:') {
            await new Promise((resolve, reject) => {
                const script = element('script');
                script.src = 'worker-file.js';
                script.onload = resolve;
                script.onerror = () => reject(new Error('worker-file.js is missing beside the page'));
                document.head.append(script);
            });
            url = URL.createObjectURL(new Blob([self.glimmerWorkerSource], { type: 'text/javascript' }));
        }
        slots.forEach(start);
    })();
    started.catch((error) => {
        $('status').textContent = `The page cannot start: ${error.message}`;
    });

    function start(slot) {
        const worker = new Worker(url, compiled ? { name: 'given' } : {});
        if (compiled)
            compiled.then((module) => worker.postMessage({ module }));
        const stopped = () => {
            if (slot.worker === worker)
                replace(slot);
        };
        worker.onmessage = (event) => {
            if (slot.worker !== worker)
                return;   // the answers of one replaced are another's pictures' numbers
            if (event.data.ready) {
                if (++ready === 2)
                    document.documentElement.dataset.engine = 'ready';
                return;
            }
            if (event.data.fatal)
                return stopped();
            const request = slot.sent[0];
            if (!request || event.data.seq !== request.message.seq)
                return;
            slot.sent.shift();
            send(slot);
            request.resolve(event.data);
        };
        worker.onerror = stopped;
        worker.addEventListener('messageerror', stopped);   // Chromium's Worker has no onmessageerror
        worker.posted = Promise.resolve();
        slot.worker = worker;
    }

    function replace(slot) {
        slot.worker.terminate();
        slot.worker = null;
        const [request, ...unread] = slot.sent;
        slot.sent = [];
        slot.queue.unshift(...unread);
        send(slot);
        if (request)
            request.reject(new Error('the reader stopped'));
    }

    // Posts each request as its document's bytes are read, in the order
    // sent; one whose file cannot be read fails with that, never posted.
    function send(slot) {
        while (slot.sent.length < sentAtOnce && slot.queue.length > 0) {
            if (!slot.worker)
                start(slot);
            const request = slot.queue.shift();
            const worker = slot.worker;
            slot.sent.push(request);
            request.bytes ??= request.file.arrayBuffer();
            worker.posted = worker.posted.then(() => request.bytes).then((bytes) => {
                if (slot.worker === worker && slot.sent.includes(request))
                    worker.postMessage({ ...request.message, bytes });
            }, (error) => {
                if (slot.worker === worker && slot.sent.includes(request)) {
                    slot.sent.splice(slot.sent.indexOf(request), 1);
                    send(slot);
                    request.reject(error);
                }
            });
        }
    }

    // The worker's answer to `message` about the document in `file`, asked
    // in the order of the calls.
    function ask(slot, message, file) {
        return started.then(() => new Promise((resolve, reject) => {
            message.seq = ++seq;
            slots[slot].queue.push({ message, file, bytes: null, resolve, reject });
            send(slots[slot]);
        }));
    }

    const isDocument = (name) => /\.(ipt|iam|idw|ipn|ide)$/i.test(name);
    const kinds = { png: 'PNG', metafile: 'Metafile', dib: 'Bitmap' };

    function element(tag, className, text) {
        const e = document.createElement(tag);
        if (className)
            e.className = className;
        if (text !== undefined)
            e.textContent = text;
        return e;
    }

    function updateControls() {
        $('all').disabled = pending > 0 || pictures === 0;
        $('status').textContent = pending > 0
            ? `Reading ${documents.length - pending + 1} of ${documents.length}…`
            : documents.length ? `${documents.length} document(s), ${pictures} with a preview.` : '';
    }

    function download(bytes, name, type) {
        const url = URL.createObjectURL(new Blob([bytes], { type }));
        const a = element('a');
        a.href = url;
        a.download = name;
        document.body.append(a);
        a.click();
        a.remove();
        setTimeout(() => URL.revokeObjectURL(url), 10000);
    }

    const chosen = () => ({ type: $('type').value, size: Number($('size').value) });

    // Its picture as a file, made from the document read again; a file
    // that cannot be read, or a reader that stopped, is its error.
    async function pictureBytes(d, type, size) {
        const answer = await ask(d.slot, { op: 'save', type, size }, d.file)
            .catch((error) => ({ error: String(error.message || error) }));
        if (answer.error)
            throw new Error(`${d.name}: ${answer.error}`);
        return answer.bytes instanceof Blob ? new Uint8Array(await answer.bytes.arrayBuffer()) : answer.bytes;
    }

    async function saveOne(d) {
        const { type, size } = chosen();
        try {
            const [name] = pictureNames([{ name: d.name }], '.' + type);
            download(await pictureBytes(d, type, size), name, 'application/octet-stream');
        } catch (error) {
            $('status').textContent = error.message;
        }
    }

    // The ZIP of every picture, written as they come: a few asked ahead of
    // the one it takes, each let go once in the ZIP.
    async function saveAll() {
        const { type, size } = chosen();
        const withPicture = documents.filter((d) => d.info && d.info.status === 'ok');
        const names = pictureNames(withPicture, '.' + type);
        const level = type === 'bmp' || type === 'wmf' ? 6 : 0;
        const parts = [];
        const zip = new fflate.Zip((error, chunk) => parts.push(chunk));
        const asked = [];
        const ahead = 2 * slots.length * sentAtOnce;
        $('all').disabled = true;
        try {
            for (const [i, name] of names.entries()) {
                while (asked.length < Math.min(names.length, i + ahead)) {
                    const bytes = pictureBytes(withPicture[asked.length], type, size);
                    bytes.catch(() => {});   // taken in turn below
                    asked.push(bytes);
                }
                const file = level ? new fflate.ZipDeflate(name, { level }) : new fflate.ZipPassThrough(name);
                zip.add(file);
                file.push(await asked[i], true);
                asked[i] = null;
            }
            zip.end();
            download(new Blob(parts), `previews-${type}.zip`, 'application/zip');
            updateControls();
        } catch (error) {
            updateControls();
            $('status').textContent = error.message;   // not hidden by the count
        }
    }

    // A card's picture is kept as its PNG, a Blob, and shown only while the
    // card is on the screen or near it: a drop of thousands holds the
    // pixels of a screenful, and the page does not decode the rest.
    const inView = new IntersectionObserver((entries) => {
        for (const { target: picture, isIntersecting } of entries) {
            if (isIntersecting && !picture.src) {
                picture.src = URL.createObjectURL(picture.png);
            } else if (!isIntersecting && picture.src) {
                URL.revokeObjectURL(picture.src);
                picture.removeAttribute('src');
            }
        }
    }, { rootMargin: '100% 0px' });

    function showRead(d) {
        const { info, card } = d;
        card.querySelector('.pending').remove();
        const facts = [];
        if (info.version !== undefined)
            facts.push(`Version ${info.version}`);
        if (info.status === 'ok') {
            ++pictures;
            const picture = element('img');
            picture.alt = `Preview of ${d.name}`;
            picture.decoding = 'async';
            picture.png = new Blob([d.image], { type: 'image/png' });
            d.image = null;
            card.prepend(picture);
            inView.observe(picture);
            facts.push(`${kinds[info.kind] ?? info.kind} ${info.width} × ${info.height}`);
            const save = element('button', 'save', 'Save');
            save.type = 'button';
            save.setAttribute('aria-label', `Save the preview of ${d.name}`);
            save.onclick = () => saveOne(d);
            card.append(save);
        } else {
            const message = element('p', 'message');
            // "No preview" says it all; a document that cannot be read says why.
            message.append(element('strong', '', info.status === 'none' ? 'No preview' : 'Cannot be read'));
            if (info.status !== 'none' && info.reason)
                message.append(element('span', 'reason', info.reason));
            card.prepend(message);
            card.classList.add(info.status === 'none' ? 'none' : 'unreadable');
        }
        card.querySelector('.facts').textContent = facts.join(' · ');
        card.dataset.state = info.status;
    }

    // Reads the documents in order, a card for each at once.
    function open(entries) {
        if (entries.length === 0)
            return;
        const added = entries.map(({ file, folder }) => {
            const card = element('li', 'card');
            card.dataset.state = 'reading';
            card.append(element('p', 'pending', 'Reading…'), element('p', 'name', file.name), element('p', 'facts'));
            $('cards').append(card);
            const d = { folder, name: file.name, file, card, info: null, slot: documents.length % 2, done: false };
            documents.push(d);
            ++pending;
            return d;
        });
        updateControls();
        // All are handed to the workers at once, in their order; they read
        // them in turn while the page draws the cards of those read, each
        // picture at the size its card shows it (the picture box's most, in the
        // screen's pixels).
        const shown = Math.round(240 * (window.devicePixelRatio || 1));
        for (const d of added) {
            ask(d.slot, { op: 'read', size: shown }, d.file)
                .catch((error) => ({ info: { status: 'unreadable', reason: String(error.message || error) } })).then((answer) => {
                    d.info = answer.error ? { status: 'unreadable', reason: answer.error } : answer.info;
                    d.image = answer.image;
                    d.done = true;
                    --pending;
                    drawSoon(d);
                });
        }
    }

    // The cards read are drawn together, ten times a second: each drawing
    // lays the cards out again, all of them, which a drop of thousands
    // would do at every frame else.
    const toDraw = [];
    let drawing = 0;
    function drawSoon(d) {
        toDraw.push(d);
        drawing ||= setTimeout(() => {
            drawing = 0;
            toDraw.splice(0).forEach(showRead);
            updateControls();
        }, 100);
    }

    // Every document below a dropped folder, with the folder path it lies in.
    async function filesBelow(entry, folder, out) {
        if (entry.isFile) {
            if (isDocument(entry.name))
                out.push({ file: await new Promise((resolve, reject) => entry.file(resolve, reject)), folder });
            return;
        }
        const path = folder ? `${folder}/${entry.name}` : entry.name;
        const reader = entry.createReader();
        // A reader gives a folder's entries in batches (of up to 100 in
        // Chromium) until an empty one; all of them, in name order.
        const entries = [];
        for (;;) {
            const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
            if (batch.length === 0)
                break;
            entries.push(...batch);
        }
        entries.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
        for (const e of entries)
            await filesBelow(e, path, out);
    }

    async function dropped(dataTransfer) {
        const out = [];
        const items = [...dataTransfer.items].filter((i) => i.kind === 'file');
        const entries = items.map((i) => (i.webkitGetAsEntry ? i.webkitGetAsEntry() : null));
        for (const [i, entry] of entries.entries()) {
            if (entry && entry.isDirectory)
                await filesBelow(entry, '', out);
            else
                out.push({ file: items[i].getAsFile(), folder: '' });
        }
        return out;
    }

    // The documents the system hands the installed app (its "Open with",
    // the manifest's file_handlers), read as a drop's are. Each is a file
    // handle, whose file is asked for as it is read: one gone since is
    // that document's error alone. An open app is handed those opened
    // after it too (launch_handler), beside the cards it has.
    if ('launchQueue' in window) {
        launchQueue.setConsumer((launch) => open(launch.files.filter((h) => h.kind === 'file').map((h) => ({
            file: { name: h.name, arrayBuffer: () => h.getFile().then((file) => file.arrayBuffer()) }, folder: '',
        }))));
    }

    // Over http(s) the page is an app that keeps itself for offline use
    // (sw.js); opened as a file it has no service worker. A new build's
    // worker that takes over a page another build's kept says "Updated".
    // A page with no documents yet opens again first, all of it the new
    // build's: its files and its workers' would be of two builds else. One
    // with documents goes on as it is (a worker it starts after this is
    // the new build's).
    if (/^https?:$/.test(location.protocol) && 'serviceWorker' in navigator) {
        const updated = 'glimmerbox-updated';
        if (sessionStorage.getItem(updated)) {
            sessionStorage.removeItem(updated);
            $('status').textContent = 'Updated';
        }
        let kept = navigator.serviceWorker.controller;
        navigator.serviceWorker.addEventListener('controllerchange', () => {
            if (kept && documents.length === 0) {
                sessionStorage.setItem(updated, 'yes');
                location.reload();
            } else if (kept) {
                $('status').textContent = 'Updated';
            }
            kept = navigator.serviceWorker.controller;
        });
        navigator.serviceWorker.register('sw.js').catch(() => {});
    }

    $('files').addEventListener('change', () => {
        open([...$('files').files].map((file) => ({ file, folder: '' })));
        $('files').value = '';
    });
    $('all').addEventListener('click', saveAll);
    document.addEventListener('dragover', (event) => {
        event.preventDefault();
        $('drop').classList.add('over');
    });
    document.addEventListener('dragleave', () => $('drop').classList.remove('over'));
    document.addEventListener('drop', async (event) => {
        event.preventDefault();
        $('drop').classList.remove('over');
        open(await dropped(event.dataTransfer));
    });
})();
