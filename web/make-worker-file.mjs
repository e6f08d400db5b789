// Writes worker-file.js for the web build (web/CMakeLists.txt). A page
// opened as a file may not start a worker from a file nor fetch one: it
// starts the worker from this script's one string instead, which holds the
// engine, the WebAssembly (base64, handed over as wasmBinary) and the
// warming documents as well as worker.js.
// node web/make-worker-file.mjs OUTPUT ENGINE_JS ENGINE_WASM WORKER_JS WARM...
import { readFileSync, writeFileSync } from 'node:fs';
import { basename } from 'node:path';

const [output, engine, wasm, worker, ...warm] = process.argv.slice(2);
const base64 = (path) => readFileSync(path).toString('base64');
const source = `var glimmerWasm = ${JSON.stringify(base64(wasm))};\n`
    + `var glimmerWarm = ${JSON.stringify(Object.fromEntries(warm.map((w) => [basename(w), base64(w)])))};\n`
    + readFileSync(engine, 'utf8') + '\n' + readFileSync(worker, 'utf8');
writeFileSync(output,
    '// Written by the web build (web/make-worker-file.mjs): the worker as one string, for the page opened as a file.\n'
    + `var glimmerWorkerSource = ${JSON.stringify(source)};\n`);
