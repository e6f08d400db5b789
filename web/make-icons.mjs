// Writes the installed page's icons for the web build (web/CMakeLists.txt)
// from the desktop's icon (desktop/glimmerbox.svg): icon-192.png and
// icon-512.png as it is, on a clear ground, and icon-maskable-512.png, the
// picture within the middle circle that a system's mask keeps, on the
// page's background to the edges. The icon is a few rects, circles and
// polygons filled and stroked in plain colours, which is all this draws:
// each pixel the mean of 4 × 4 samples. PNGs written with Node's own zlib.
// node web/make-icons.mjs SVG SITE BACKGROUND
//
// With --ico, the Windows program's icon instead (app/win32): the picture at
// 16, 32 and 48 pixels as 32-bit bitmaps with their masks, and at 256 as a
// PNG, in one .ico file.
// node web/make-icons.mjs --ico SVG ICO
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { deflateSync } from 'node:zlib';

const ico = process.argv[2] === '--ico';
const [svgPath, site, background] = process.argv.slice(ico ? 3 : 2);
const svg = readFileSync(svgPath, 'utf8');

const rgb = (hex) => [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16));
const number = (attributes, name) => Number(attributes[name] ?? 0);
const viewBox = svg.match(/viewBox="([^"]+)"/)[1].split(/[\s,]+/).map(Number);
// Each shape as "is this point inside" for its fill and for its stroke.
const shapes = [...svg.matchAll(/<(rect|circle|polygon)\b([^>]*)>/g)].map(([, tag, text]) => {
    const a = Object.fromEntries([...text.matchAll(/([\w-]+)="([^"]*)"/g)].map(([, k, v]) => [k, v]));
    const half = a.stroke ? number(a, 'stroke-width') / 2 : 0;
    let inside;
    if (tag === 'rect') {
        const [x, y, w, h] = ['x', 'y', 'width', 'height'].map((k) => number(a, k));
        inside = (px, py, grow) => px >= x - grow && px <= x + w + grow && py >= y - grow && py <= y + h + grow;
    } else if (tag === 'circle') {
        const [cx, cy, r] = ['cx', 'cy', 'r'].map((k) => number(a, k));
        inside = (px, py, grow) => Math.hypot(px - cx, py - cy) <= r + grow;
    } else {
        if (half)
            throw new Error(`${svgPath}: a stroked polygon is beyond this drawing`);
        const p = a.points.trim().split(/[\s,]+/).map(Number);
        inside = (px, py) => {
            let odd = false;
            for (let i = 0, j = p.length - 2; i < p.length; j = i, i += 2)
                if ((p[i + 1] > py) !== (p[j + 1] > py) && px < p[j] + ((py - p[j + 1]) * (p[i] - p[j])) / (p[i + 1] - p[j + 1]))
                    odd = !odd;
            return odd;
        };
    }
    return {
        fill: a.fill && a.fill !== 'none' ? rgb(a.fill) : null, stroke: half ? rgb(a.stroke) : null,
        inFill: (x, y) => inside(x, y, 0), inStroke: (x, y) => inside(x, y, half) && !inside(x, y, -half),
    };
});

// The colour at a point of the picture, or null where nothing is drawn.
function colourAt(x, y) {
    let colour = null;
    for (const s of shapes) {
        if (s.fill && s.inFill(x, y))
            colour = s.fill;
        if (s.stroke && s.inStroke(x, y))
            colour = s.stroke;
    }
    return colour;
}

// `size` pixels square, the view box drawn `scale` of it wide in its middle.
function draw(size, scale, ground) {
    const pixels = Buffer.alloc(size * size * 4);
    const unit = viewBox[2] / (size * scale), offset = (size * (1 - scale)) / 2, n = 4;
    for (let py = 0; py < size; ++py) {
        for (let px = 0; px < size; ++px) {
            const sum = [0, 0, 0, 0];
            for (let sy = 0; sy < n; ++sy) {
                for (let sx = 0; sx < n; ++sx) {
                    const c = colourAt(viewBox[0] + (px + (sx + 0.5) / n - offset) * unit,
                                       viewBox[1] + (py + (sy + 0.5) / n - offset) * unit) ?? ground;
                    if (c) {
                        c.forEach((v, i) => (sum[i] += v));
                        sum[3] += 255;
                    }
                }
            }
            // Colours averaged over the covered samples only: the edge of a
            // clear ground fades, not darkens.
            const covered = sum[3] / 255, at = (py * size + px) * 4;
            for (let i = 0; i < 3; ++i)
                pixels[at + i] = covered ? Math.round(sum[i] / covered) : 0;
            pixels[at + 3] = Math.round(sum[3] / (n * n));
        }
    }
    return pixels;
}

const crcTable = Array.from({ length: 256 }, (_, n) => {
    for (let k = 0; k < 8; ++k)
        n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
    return n >>> 0;
});
function chunk(type, data) {
    const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
    let crc = 0xffffffff;
    for (const byte of body)
        crc = crcTable[(crc ^ byte) & 0xff] ^ (crc >>> 8);
    const out = Buffer.alloc(body.length + 8);
    out.writeUInt32BE(data.length, 0);
    body.copy(out, 4);
    out.writeUInt32BE((crc ^ 0xffffffff) >>> 0, body.length + 4);
    return out;
}
// An 8-bit RGBA PNG, each row unfiltered.
function png(size, pixels) {
    const header = Buffer.alloc(13);
    header.writeUInt32BE(size, 0);
    header.writeUInt32BE(size, 4);
    header.set([8, 6, 0, 0, 0], 8);
    const rows = Buffer.alloc(size * (size * 4 + 1));
    for (let y = 0; y < size; ++y)
        pixels.copy(rows, y * (size * 4 + 1) + 1, y * size * 4, (y + 1) * size * 4);
    return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
        chunk('IHDR', header), chunk('IDAT', deflateSync(rows, { level: 9 })), chunk('IEND', Buffer.alloc(0))]);
}

// The mask keeps at least the circle of 80% of the icon's width: the
// picture's corners (the view box's, at most) lie on it at 0.8 / √2.
// An icon's image as Windows' own format: a BITMAPINFOHEADER of twice the
// height (the colours, then the mask), BGRA rows bottom-up, and the mask,
// one bit a pixel set where the picture is clear, rows of whole 32-bit words.
function iconBitmap(size, pixels) {
    const maskRow = Math.ceil(size / 32) * 4;
    const out = Buffer.alloc(40 + size * size * 4 + maskRow * size);
    out.writeUInt32LE(40, 0);
    out.writeInt32LE(size, 4);
    out.writeInt32LE(size * 2, 8);
    out.writeUInt16LE(1, 12);
    out.writeUInt16LE(32, 14);
    out.writeUInt32LE(size * size * 4 + maskRow * size, 20);
    for (let y = 0; y < size; ++y) {
        const row = 40 + (size - 1 - y) * size * 4, mask = 40 + size * size * 4 + (size - 1 - y) * maskRow;
        for (let x = 0; x < size; ++x) {
            const at = (y * size + x) * 4;
            out.set([pixels[at + 2], pixels[at + 1], pixels[at], pixels[at + 3]], row + x * 4);
            if (pixels[at + 3] === 0)
                out[mask + (x >> 3)] |= 0x80 >> (x & 7);
        }
    }
    return out;
}

// The .ico file: its header, a directory entry for each image, the images.
function icoFile(sizes) {
    const images = sizes.map((size) => (size >= 256 ? png : iconBitmap)(size, draw(size, 1, null)));
    const header = Buffer.alloc(6 + 16 * sizes.length);
    header.writeUInt16LE(1, 2);
    header.writeUInt16LE(sizes.length, 4);
    let offset = header.length;
    sizes.forEach((size, i) => {
        const entry = 6 + 16 * i;
        header[entry] = header[entry + 1] = size >= 256 ? 0 : size;   // 0 is 256
        header.writeUInt16LE(1, entry + 4);
        header.writeUInt16LE(32, entry + 6);
        header.writeUInt32LE(images[i].length, entry + 8);
        header.writeUInt32LE(offset, entry + 12);
        offset += images[i].length;
    });
    return Buffer.concat([header, ...images]);
}

if (ico) {
    writeFileSync(site, icoFile([16, 32, 48, 256]));
    process.exit(0);
}

const icons = { 'icon-192.png': [192, 1, null], 'icon-512.png': [512, 1, null], 'icon-maskable-512.png': [512, 0.8 / Math.SQRT2, rgb(background)] };
for (const [name, [size, scale, ground]] of Object.entries(icons))
    writeFileSync(join(site, name), png(size, draw(size, scale, ground)));
