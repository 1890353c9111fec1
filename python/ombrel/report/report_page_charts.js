// Drawing: elements and SVG, the matrices with their clickable cells, the
// histograms of the winning probability and the charts of one signal.
// Text from files only ever reaches the page as text nodes.

const SVG = "http://www.w3.org/2000/svg";
const BINS = 20;

function el(tag, attrs, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (v === null || v === undefined || v === false) continue;
    if (k.startsWith("on")) e.addEventListener(k.slice(2), v);
    else if (k === "class") e.className = v;
    else e.setAttribute(k, v === true ? "" : String(v));
  }
  for (const c of children) if (c !== null && c !== undefined) e.append(typeof c === "object" ? c : String(c));
  return e;
}

function svg(tag, attrs, text) {
  const e = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, String(v));
  if (text !== undefined) e.textContent = text;
  return e;
}

function matrixTable(id, rowTitle, colTitle, cell) {
  const head = el("tr", null, el("th", { class: "axis-label" }, rowTitle + " \u2193 / " + colTitle + " \u2192"));
  for (const name of names) head.append(el("th", null, name));
  const body = el("tbody");
  for (let r = 0; r < 4; r++) {
    const tr = el("tr", null, el("th", null, names[r]));
    for (let c = 0; c < 4; c++) tr.append(el("td", null, cell(r, c)));
    body.append(tr);
  }
  return el("table", { class: "matrix", id }, el("thead", null, head), body);
}

function cellButton(value, total, diagonal, onclick, attrs) {
  const share = total ? value / total : 0;
  const colour = diagonal ? "31, 95, 191" : "198, 40, 40";
  return el("button", Object.assign({ type: "button", onclick, style: "background: rgba(" + colour + ", " + (0.08 + 0.55 * share).toFixed(3) + ")" }, attrs),
    count(value), el("small", null, total ? (100 * share).toFixed(1) + " %" : "\u2013"));
}

// Bars of the winning probability in BINS bins from 0 to 1, and after a
// gap one bar of its own for NaN: a NaN probability is no probability.
const NAN_SLOT = BINS + 1;

function histogram(k) {
  const W = 280, H = 150, L = 34, B = 22, T = 8, R = 6;
  const right = new Array(NAN_SLOT + 1).fill(0), wrong = new Array(NAN_SLOT + 1).fill(0);
  const run = runs[0];
  for (let i = 0; i < n; i++) {
    if (run.given[i] !== k + 1) continue;
    const v = run.best[i];
    const bin = Number.isNaN(v) ? NAN_SLOT : Math.min(BINS - 1, Math.max(0, Math.floor(v * BINS)));
    if (labels && labels[i] !== run.given[i]) wrong[bin]++; else right[bin]++;
  }
  const top = Math.max(1, ...right.map((r, j) => r + wrong[j]));
  const s = svg("svg", { viewBox: "0 0 " + W + " " + H, width: W, height: H, role: "img" });
  const bw = (W - L - R) / (NAN_SLOT + 1), scale = (H - T - B) / top;
  for (let j = 0; j <= NAN_SLOT; j++) {
    if (j === BINS) continue;
    const x = L + j * bw, bin = j === NAN_SLOT ? "nan" : j;
    const hr = right[j] * scale, hw = wrong[j] * scale;
    const range = j === NAN_SLOT ? "NaN: " : (j / BINS).toFixed(2) + " to " + ((j + 1) / BINS).toFixed(2) + ": ";
    if (hr > 0) {
      s.append(svg("rect", { x: x + 0.5, y: H - B - hr, width: bw - 1, height: hr, fill: labels ? "var(--right)" : "var(--accent)", "data-bin": bin, "data-count": right[j] }));
      s.lastChild.append(svg("title", null, range + count(right[j]) + (labels ? " right" : "")));
    }
    if (hw > 0) {
      s.append(svg("rect", { x: x + 0.5, y: H - B - hr - hw, width: bw - 1, height: hw, fill: "var(--wrong)", "data-bin": bin, "data-count": wrong[j] }));
      s.lastChild.append(svg("title", null, range + count(wrong[j]) + " wrong"));
    }
  }
  const one = L + BINS * bw;
  s.append(svg("line", { x1: L, y1: H - B, x2: one, y2: H - B, stroke: "#999" }),
    svg("line", { x1: L + NAN_SLOT * bw, y1: H - B, x2: W - R, y2: H - B, stroke: "#999" }),
    svg("text", { x: L, y: H - 6, "text-anchor": "middle" }, "0"), svg("text", { x: (L + one) / 2, y: H - 6, "text-anchor": "middle" }, "0.5"),
    svg("text", { x: one, y: H - 6, "text-anchor": "end" }, "1"), svg("text", { x: L + (NAN_SLOT + 0.5) * bw, y: H - 6, "text-anchor": "middle" }, "NaN"),
    svg("text", { x: L - 4, y: T + 8, "text-anchor": "end" }, String(top)), svg("text", { x: L - 4, y: H - B, "text-anchor": "end" }, "0"));
  const total = right.reduce((x, y) => x + y, 0) + wrong.reduce((x, y) => x + y, 0);
  return el("figure", { style: "margin: 0", "data-class": k + 1 }, el("h3", null, "Classified as " + names[k] + (comparing ? " under K" : "") + " (" + count(total) + ")"), s);
}

function lineChart(data, colour) {
  const W = 420, H = 150, L = 40, R = 6, T = 8, B = 20;
  let lo = Infinity, hi = -Infinity;
  for (const v of data) if (Number.isFinite(v)) { lo = Math.min(lo, v); hi = Math.max(hi, v); }
  if (lo === Infinity) { lo = -1; hi = 1; }
  if (lo === hi) { lo -= 1; hi += 1; }
  const x = (j) => L + j * (W - L - R) / (data.length - 1);
  const y = (v) => T + (hi - v) * (H - T - B) / (hi - lo);
  const s = svg("svg", { viewBox: "0 0 " + W + " " + H, width: W, height: H, role: "img" });
  if (lo < 0 && hi > 0) s.append(svg("line", { x1: L, x2: W - R, y1: y(0), y2: y(0), stroke: "#ccc" }));
  let points = [];
  const flush = () => {
    if (points.length) s.append(svg("polyline", { points: points.join(" "), fill: "none", stroke: colour, "stroke-width": 1.5 }));
    points = [];
  };
  data.forEach((v, j) => { if (Number.isFinite(v)) points.push(x(j).toFixed(1) + "," + y(v).toFixed(1)); else flush(); });
  flush();
  s.append(svg("text", { x: L - 4, y: T + 8, "text-anchor": "end" }, String(+hi.toPrecision(3))),
    svg("text", { x: L - 4, y: H - B, "text-anchor": "end" }, String(+lo.toPrecision(3))),
    svg("text", { x: L, y: H - 4 }, "1"), svg("text", { x: W - R, y: H - 4, "text-anchor": "end" }, String(data.length)));
  return s;
}

function barChart(data) {
  const W = 420, H = 120, L = 28, R = 6, T = 6, B = 6;
  const s = svg("svg", { viewBox: "0 0 " + W + " " + H, width: W, height: H, role: "img" });
  const mid = T + (H - T - B) / 2, half = (H - T - B) / 2;
  const bw = (W - L - R) / Math.max(1, data.length);
  s.append(svg("line", { x1: L, x2: W - R, y1: mid, y2: mid, stroke: "#999" }),
    svg("text", { x: L - 4, y: T + 8, "text-anchor": "end" }, "1"), svg("text", { x: L - 4, y: H - B, "text-anchor": "end" }, "-1"));
  data.forEach((v, j) => {
    const h = Number.isFinite(v) ? Math.min(1, Math.abs(v)) * half : 0;
    s.append(svg("rect", { x: L + j * bw + 0.5, y: v >= 0 ? mid - h : mid, width: Math.max(1, bw - 1), height: h, fill: v >= 0 ? "var(--accent)" : "#e08a00" }));
  });
  return s;
}

function valueGrid(data, digits, gridClass, itemClass) {
  const grid = el("div", { class: "values mono " + (gridClass || "") });
  data.forEach((v) => grid.append(el("span", { class: itemClass || null }, fmt(v, digits))));
  return grid;
}
