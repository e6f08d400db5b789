// The page: opens documents (chosen, or dropped as files or folders), shows
// a card for each as the worker reads it, and saves one picture or all of
// them as a ZIP. Classic scripts all, so that it runs opened as a file too:
// fflate.js (self.fflate) and names.js (pictureNames) come before it.
'use strict';
(() => {
    const $ = (id) => document.getElementById(id);
    const documents = [];   // { folder, name, card, info, slot, done }
    const waiting = new Map();
    let seq = 0;
    let ready = 0;

    // Two workers read documents in turn, each keeping the pictures it read.
    // A page opened as a file may start no worker from a file: it starts them
    // from worker-file.js's string (the engine and worker.js in one) through a
    // blob: URL instead.
    const workers = (async () => {
        let url = 'worker.js';
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
        return [0, 1].map(() => {
            const worker = new Worker(url);
            worker.onmessage = (event) => {
                if (event.data.ready) {
                    if (++ready === 2)
                        document.documentElement.dataset.engine = 'ready';
                    return;
                }
                const resolve = waiting.get(event.data.seq);
                waiting.delete(event.data.seq);
                resolve(event.data);
            };
            return worker;
        });
    })();
    workers.catch((error) => {
        $('status').textContent = `The page cannot start: ${error.message}`;
    });

    async function ask(slot, message, transfer = []) {
        const worker = (await workers)[slot];
        message.seq = ++seq;
        worker.postMessage(message, transfer);
        return new Promise((resolve) => waiting.set(message.seq, resolve));
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
        const pending = documents.filter((d) => !d.done).length;
        const pictures = documents.filter((d) => d.info && d.info.status === 'ok').length;
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

    async function pictureBytes(d, type, size) {
        const answer = await ask(d.slot, { op: 'save', id: d.info.id, type, size });
        if (answer.error)
            throw new Error(`${d.name}: ${answer.error}`);
        return answer.bytes;
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

    async function saveAll() {
        const { type, size } = chosen();
        const withPicture = documents.filter((d) => d.info && d.info.status === 'ok');
        const names = pictureNames(withPicture, '.' + type);
        const files = {};
        $('all').disabled = true;
        try {
            for (const [i, d] of withPicture.entries())
                files[names[i]] = await pictureBytes(d, type, size);
            download(fflate.zipSync(files, { level: type === 'bmp' || type === 'wmf' ? 6 : 0 }), `previews-${type}.zip`, 'application/zip');
        } catch (error) {
            $('status').textContent = error.message;
        } finally {
            updateControls();
        }
    }

    function showRead(d) {
        const { info, card } = d;
        card.querySelector('.pending').remove();
        const facts = [];
        if (info.version !== undefined)
            facts.push(`Version ${info.version}`);
        if (info.status === 'ok') {
            const canvas = element('canvas');
            canvas.width = d.image.width;
            canvas.height = d.image.height;
            canvas.setAttribute('role', 'img');
            canvas.setAttribute('aria-label', `Preview of ${d.name}`);
            canvas.getContext('2d').putImageData(
                new ImageData(new Uint8ClampedArray(d.image.data.buffer), d.image.width, d.image.height), 0, 0);
            d.image = null;
            card.prepend(canvas);
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
    async function open(entries) {
        if (entries.length === 0)
            return;
        const added = entries.map(({ file, folder }) => {
            const card = element('li', 'card');
            card.dataset.state = 'reading';
            card.append(element('p', 'pending', 'Reading…'), element('p', 'name', file.name), element('p', 'facts'));
            $('cards').append(card);
            const d = { folder, name: file.name, file, card, info: null, slot: documents.length % 2, done: false };
            documents.push(d);
            return d;
        });
        updateControls();
        // All are handed to the worker at once; it reads them in turn while
        // the page draws the cards of those it has read.
        await Promise.all(added.map(async (d) => {
            let answer;
            try {
                const bytes = await d.file.arrayBuffer();
                answer = await ask(d.slot, { op: 'read', bytes }, [bytes]);
            } catch (error) {
                answer = { info: { status: 'unreadable', reason: String(error.message || error) } };
            }
            d.info = answer.error ? { status: 'unreadable', reason: answer.error } : answer.info;
            d.image = answer.image;
            d.file = null;
            d.done = true;
            showRead(d);
            updateControls();
        }));
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
