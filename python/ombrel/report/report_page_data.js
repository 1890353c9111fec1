// The report's data, decoded from the JSON in #report-data: the signals'
// lines and labels, each knowledge's classes, probabilities, winning
// probability and margin, what a comparison changes, and the traces kept.
// Number formats shared by every part of the page.

const D = JSON.parse(document.getElementById("report-data").textContent);
const root = document.getElementById("report");
const names = D.class_names;
const n = D.n;

function bytes(text) {
  const raw = atob(text);
  const out = new Uint8Array(raw.length);
  for (let i = 0; i < raw.length; i++) out[i] = raw.charCodeAt(i);
  return out.buffer;
}

// Non-finite floats print as the command prints them.
function fmt(x, digits) {
  if (Number.isNaN(x)) return "nan";
  if (x === Infinity) return "inf";
  if (x === -Infinity) return "-inf";
  return x.toFixed(digits);
}
const pct = (x) => (100 * x).toFixed(2) + " %";
const count = (x) => x.toLocaleString("en-US");

const lines = new Float64Array(bytes(D.lines));
const labels = D.labels === null ? null : new Uint8Array(bytes(D.labels));
const runs = D.runs.map((r, index) => {
  const given = new Uint8Array(bytes(r.given));
  const p = new Float32Array(bytes(r.probabilities));
  const best = new Float64Array(n);
  const margin = new Float64Array(n);
  const nanP = new Uint8Array(n);   // 1: a probability of the signal is NaN
  for (let i = 0; i < n; i++) {
    let a = -Infinity, b = -Infinity;
    for (let k = 0; k < 4; k++) {
      const v = p[4 * i + k];
      if (Number.isNaN(v)) nanP[i] = 1;
      if (v > a) { b = a; a = v; } else if (v > b) b = v;
    }
    best[i] = p[4 * i + given[i] - 1];
    margin[i] = a - b;
  }
  const name = D.runs.length > 1 ? (index === 0 ? "K" : "K2") : "K";
  return { facts: r.knowledge, summary: r.summary, traces: r.traces, given, p, best, margin, nanP, name, decoded: null };
});
const comparing = runs.length > 1;
let changed = null, delta = null, changedCount = 0, largest = -1;
if (comparing) {
  changed = new Uint8Array(n);
  delta = new Float64Array(n);
  const [a, b] = runs;
  for (let i = 0; i < n; i++) {
    if (a.given[i] !== b.given[i]) { changed[i] = 1; changedCount++; }
    let d = 0;
    for (let k = 0; k < 4; k++) {
      const v = Math.abs(b.p[4 * i + k] - a.p[4 * i + k]);
      if (v > d) d = v;
    }
    delta[i] = d;
    if (largest < 0 || d > delta[largest]) largest = i;
  }
}
const traced = new Uint32Array(bytes(D.traced));
const traceRow = new Int32Array(n).fill(-1);
for (let r = 0; r < traced.length; r++) traceRow[traced[r]] = r;
let values = null;

function trace(run, row) {
  if (run.decoded === null) {
    const t = run.traces;
    run.decoded = { standardised: new Float32Array(bytes(t.standardised)), hidden: new Float32Array(bytes(t.hidden)),
      scores: new Float32Array(bytes(t.scores)), probabilities: new Float32Array(bytes(t.probabilities)) };
  }
  if (values === null) values = new Float32Array(bytes(D.values));
  const d = run.decoded, units = run.facts.units;
  return { values: values.subarray(64 * row, 64 * row + 64), standardised: d.standardised.subarray(64 * row, 64 * row + 64),
    hidden: d.hidden.subarray(units * row, units * row + units), scores: d.scores.subarray(4 * row, 4 * row + 4),
    probabilities: d.probabilities.subarray(4 * row, 4 * row + 4) };
}
