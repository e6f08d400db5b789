// Writes sw.js into the built site (web/CMakeLists.txt): the service worker
// with the files it keeps and its cache's name, "glimmerbox-" and the first
// 16 hex digits of the SHA-256 of those files' names and contents and of
// the worker itself, so that any change to the site is a new cache.
// node web/make-service-worker.mjs SW_JS SITE FILE...   (FILEs relative to SITE)
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const [worker, site, ...files] = process.argv.slice(2);
const source = readFileSync(worker, 'utf8');
const hash = createHash('sha256').update(source);
for (const f of files)
    hash.update(`${f}\0${readFileSync(join(site, f)).length}\0`).update(readFileSync(join(site, f)));
const written = source
    .replace(/^const cacheName = .*$/m, `const cacheName = 'glimmerbox-${hash.digest('hex').slice(0, 16)}';`)
    .replace(/^const files = .*$/m, `const files = ${JSON.stringify(files)};`);
if (!/^const cacheName = /m.test(source) || !/^const files = /m.test(source))
    throw new Error(`${worker}: no lines "const cacheName = " and "const files = " to write`);
writeFileSync(join(site, 'sw.js'), written);
