// Turns the unpacked `projectiles` package into our bullet data file and its
// source note. Values are copied as published; nothing is estimated. Usage:
//   node convert.js <package dir> <extra_records.tsv> <bullets.tsv> <SOURCE.md> <sha1>
'use strict';
const fs = require('fs');
const path = require('path');

const [pkgDir, extraFile, outTsv, outSource, sha1] = process.argv.slice(2);
if (!outSource) {
    console.error('usage: node convert.js <package dir> <extra.tsv> <bullets.tsv> <SOURCE.md> <sha1>');
    process.exit(2);
}

const MAX_MAKER = 29;
const MAX_NAME = 35;
const RANGES = {
    weight_gr: [20, 1100], diameter_in: [0.172, 0.510],
    length_in: [0.163, 5.0], bc_g1: [0.101, 1.225], bc_g7: [0.051, 0.612],
};
// Wording left out everywhere it occurs, to keep names within the width.
const SHORTER = [[/ Personal Protection\b/, '']];
const COLUMNS = ['manufacturer', 'name', 'diameter_in', 'weight_gr', 'length_in',
                 'bc_g1', 'bc_g7', 'source'];

const pkg = JSON.parse(fs.readFileSync(path.join(pkgDir, 'package.json'), 'utf8'));
const licenceText = fs.readFileSync(path.join(pkgDir, 'LICENSE'), 'utf8').trim();
const source = JSON.parse(fs.readFileSync(path.join(pkgDir, 'data', 'projectiles.json'), 'utf8'));

const fail = (msg) => { console.error('convert.js: ' + msg); process.exit(1); };

// A published number, or '' when the field is empty or "null".
function number(text) {
    const t = String(text || '').trim();
    if (t === '' || t === 'null') return '';
    if (!/^[0-9]*\.?[0-9]+$/.test(t)) fail('not a number: "' + t + '"');
    return t.startsWith('.') ? '0' + t : t;
}

// Trademark signs go; what is left must be printable ASCII.
function clean(text) {
    const t = String(text || '').replace(/[\u00ae\u2122]/g, '').replace(/\s+/g, ' ').trim();
    if (!/^[\x20-\x7e]*$/.test(t)) fail('non-ASCII text left: "' + t + '"');
    return t;
}

// Packaging notes describe the box, not the bullet.
function dropPackaging(text) {
    return text
        .replace(/\(\s*Bulk [^)]*\)/gi, '')
        .replace(/\(\s*\d+ bullets\s*\)/gi, '')
        .replace(/\b(Bulk )?box of [0-9,]+/gi, '')
        .replace(/\s+/g, ' ').trim();
}

// The maker's style words from the long name: what follows the weight.
function styleFromName(name) {
    const m = /\bgr(?:ain|\.)?\s+(.*)$/i.exec(name);
    return m ? m[1] : '';
}

function shortName(rec) {
    const product = clean(rec.product_name);
    let style = dropPackaging(clean(styleFromName(rec.name || '')));
    style = style.replace(/\s*\(TMK\)/, '').trim(); // repeats "Tipped MatchKing"
    let name;
    if (style === '') name = product;
    else if (style.toLowerCase().includes(product.toLowerCase())) name = style;
    else name = (product + ' ' + style).trim();
    for (const [from, to] of SHORTER) name = name.replace(from, to);
    return name;
}

// Sierra publishes G1 per velocity band: {"<bc>": [v1, v2], ...}, null for an
// open end. We take the band reaching the highest velocity (null counts as
// unbounded), and of bands reaching equally high the one starting highest.
// Parsed by pattern because the package's text is not always valid JSON.
function sierraTopBand(text, notes, label) {
    const re = /0?"([0-9]*\.[0-9]+)"\s*:\s*\[\s*([0-9]+|null)\s*,\s*([0-9]+|null)\s*\]/g;
    const bands = [];
    let m;
    while ((m = re.exec(text)) !== null) {
        const ends = [m[2], m[3]].filter((v) => v !== 'null').map(Number);
        const open = m[2] === 'null' || m[3] === 'null';
        bands.push({ bc: m[1], lo: Math.min(...ends), hi: open ? Infinity : Math.max(...ends),
                     raw: m[0] });
    }
    if (bands.length === 0) return '';
    if (!/^\{\s*"/.test(text) || bands.some((b) => b.raw.startsWith('0')))
        notes.push(label + ': band text is not valid JSON (`' + text + '`); read by pattern');
    const open = bands.filter((b) => b.hi === Infinity).length;
    const best = bands.slice().sort((a, b) => (b.hi - a.hi) || (b.lo - a.lo))[0];
    if (open !== 1)
        notes.push(label + ': ' + open + ' open-ended bands in `' + text + '`; took ' +
                   best.bc + ' (band ' + best.lo + '-' + (best.hi === Infinity ? 'open' : best.hi) + ')');
    return number(best.bc);
}

function readTsv(file) {
    const lines = fs.readFileSync(file, 'utf8').split('\n').filter((l) => l && !l.startsWith('#'));
    const head = lines.shift().split('\t');
    if (head.join() !== COLUMNS.join()) fail(file + ': columns must be ' + COLUMNS.join(' '));
    return lines.map((l) => {
        const cells = l.split('\t');
        const row = {};
        COLUMNS.forEach((c, i) => { row[c] = cells[i] || ''; });
        return row;
    });
}

const rows = [];
const dropped = [];
const bandNotes = [];
const perMaker = {};
for (const rec of source) {
    const maker = clean(rec.company);
    const label = maker + ' ' + rec.sku + ' (' + clean(rec.description) + ')';
    const s = perMaker[maker] || (perMaker[maker] = { all: 0, g1: 0, g7: 0, bands: 0 });
    s.all++;
    if (number(rec.bc_g1)) s.g1++;
    if (number(rec.bc_g7)) s.g7++;
    if (rec.bc_fn) s.bands++;
    const row = {
        manufacturer: maker,
        name: shortName(rec),
        diameter_in: number(rec.diameter_in),
        weight_gr: number(rec.weight_gr),
        length_in: '', // the package publishes no lengths
        bc_g1: number(rec.bc_g1),
        bc_g7: number(rec.bc_g7),
        source: 'projectiles ' + pkg.version + ' ' + maker + ' ' + rec.sku,
        sku: String(rec.sku).replace(/\s+/g, ''),
        label,
    };
    if (row.bc_g1 === '' && rec.bc_fn) row.bc_g1 = sierraTopBand(rec.bc_fn, bandNotes, label);
    if (row.diameter_in === '' || row.weight_gr === '') {
        dropped.push(label + ': no ' + (row.diameter_in === '' ? 'diameter' : 'weight') + ' published');
        continue;
    }
    if (row.bc_g1 === '' && row.bc_g7 === '') {
        dropped.push(label + ': no ballistic coefficient published, so it would be on no list');
        continue;
    }
    rows.push(row);
}

for (const extra of readTsv(extraFile)) rows.push(Object.assign(extra, { sku: '', label: extra.manufacturer + ' ' + extra.name }));

// Same maker, name, diameter and weight: one bullet sold in several boxes is
// kept once; different published values keep both, told apart by part number.
const suffixed = [];
const groups = new Map();
for (const r of rows) {
    const key = [r.manufacturer.toLowerCase(), r.name.toLowerCase(), +r.diameter_in, +r.weight_gr].join('|');
    if (!groups.has(key)) groups.set(key, []);
    groups.get(key).push(r);
}
const kept = new Set();
for (const group of groups.values()) {
    const distinct = [];
    for (const r of group) {
        const twin = distinct.find((d) => ['length_in', 'bc_g1', 'bc_g7'].every((c) => +d[c] === +r[c]));
        if (twin) dropped.push(r.label + ': same bullet and values as ' + twin.label);
        else distinct.push(r);
    }
    if (distinct.length > 1) {
        for (const r of distinct) {
            if (!r.sku) fail('cannot tell apart ' + r.label);
            r.name = r.name + ' #' + r.sku;
            suffixed.push(r.label + ' -> "' + r.name + '"');
        }
    }
    distinct.forEach((r) => kept.add(r));
}
const out = rows.filter((r) => kept.has(r));

const outside = [];
for (const r of out) {
    if (r.manufacturer.length > MAX_MAKER) fail('manufacturer too long: ' + r.manufacturer);
    if (r.name.length > MAX_NAME) fail('name too long (' + r.name.length + '): ' + r.name);
    for (const [c, [lo, hi]] of Object.entries(RANGES)) {
        if (r[c] !== '' && (+r[c] < lo || +r[c] > hi))
            outside.push(r.label + ': ' + c + ' ' + r[c] + ' (usual range ' + lo + ' to ' + hi + ')');
    }
}

fs.writeFileSync(outTsv, COLUMNS.join('\t') + '\n' +
    out.map((r) => COLUMNS.map((c) => r[c]).join('\t')).join('\n') + '\n');

const count = (f) => out.filter(f).length;
const list = (items) => items.length ? items.map((i) => '- ' + i).join('\n') : '- none';
const makerTable = Object.entries(perMaker).map(([m, s]) =>
    '| ' + m + ' | ' + s.all + ' | ' + s.g1 + ' | ' + s.g7 + ' | ' + s.bands + ' |').join('\n');

fs.writeFileSync(outSource, `# Bullet data: source and licence

\`bullets.tsv\` is generated by \`tools/bullets/convert.sh\`; do not edit it by
hand. Re-run the script after changing the conversion rules.

## Source

- Package: \`${pkg.name}\` version ${pkg.version} on the npm registry
  (npm tarball sha1 ${sha1}), "${pkg.description}"
- Author as the package states it: ${pkg.author}; repository ${pkg.repository}
- Licence as the package states it: ${pkg.license}. Its LICENSE file reads:

\`\`\`
${licenceText}
\`\`\`

The package holds \`data/projectiles.json\` (all ${source.length} records; the
same records as the per-maker files \`data/<maker>.json\` and the CSV files,
in another order) with the fields type, company, description, sku,
diameter_in, weight_gr, sectional_density, name, product_name, bc_g1, bc_g7
and bc_fn (G1 per velocity band). It publishes no bullet lengths and no drag
curves. All values are texts.

| Maker | Records | G1 | G7 | G1 bands |
|---|---|---|---|---|
${makerTable}

One record more, Aguila "SniperSubsonic" (\`tools/bullets/extra_records.tsv\`),
has the values supplied by the project owner for this program's bullet
library.

## Columns of bullets.tsv

manufacturer, name (ASCII, at most ${MAX_MAKER} and ${MAX_NAME} characters),
diameter_in, weight_gr, length_in, bc_g1, bc_g7 (numbers as published; an
empty cell is a value that is not published), source (where the row comes from:
package, version, maker and the maker's part number).

## Conversion rules

- Numbers are copied as published texts (a leading "0" is added to ".221").
  "null" and empty fields stay empty. No value is derived or estimated: no G7
  from G1, no lengths, no drag curves.
- Sierra publishes G1 in velocity bands; we take the band for the highest
  velocity (an open end counts as unbounded; of bands reaching equally high,
  the one starting highest).
- Names: trademark signs are dropped. The name is the product line
  (product_name), joined with the maker's style words that follow the weight in
  the long name (for example "BTHP Match", "Pro-Hunter SPT"), unless those
  already contain the product line. Caliber and weight have their own columns.
  Packaging notes ("Bulk box of 3,000", "(50 bullets)") and Sierra's "(TMK)" are
  left out.
- Records with the same maker, name, diameter and weight and the same values
  are one bullet in several boxes: the first is kept. Where their published
  values differ, both are kept and the maker's part number is added to the name.

## Result

${out.length} records: ${count((r) => r.bc_g1)} with G1, ${count((r) => r.bc_g7)} with G7,
${count((r) => r.length_in)} with a length.

## Records dropped

${list(dropped)}

## Names given a part number

${list(suffixed)}

## Sierra band notes

${list(bandNotes)}

## Values outside the usual ranges, kept as published

These are real products (large-bore and wadcutter or lead pistol bullets) and
their values are kept unchanged.

${list(outside)}
`);

console.log('convert.js: ' + out.length + ' records, ' + dropped.length + ' dropped');
