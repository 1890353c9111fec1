"use strict";
// Draws the evaluation report from the JSON in #report-data. Text from files
// (paths, class names, the command) only ever reaches the page as text nodes
// (textContent, append of strings): never as markup.
(function () {
  const D = JSON.parse(document.getElementById("report-data").textContent);
  const root = document.getElementById("report");
  const names = D.class_names;
  const n = D.n;
  const SVG = "http://www.w3.org/2000/svg";
  const PAGE_ROWS = 100;
  const BINS = 20;

  function bytes(text) {
    const raw = atob(text);
    const out = new Uint8Array(raw.length);
    for (let i = 0; i < raw.length; i++) out[i] = raw.charCodeAt(i);
    return out.buffer;
  }

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

  // Non-finite floats print as the command prints them.
  function fmt(x, digits) {
    if (Number.isNaN(x)) return "nan";
    if (x === Infinity) return "inf";
    if (x === -Infinity) return "-inf";
    return x.toFixed(digits);
  }
  const pct = (x) => (100 * x).toFixed(2) + " %";
  const count = (x) => x.toLocaleString("en-US");

  // ---- data --------------------------------------------------------------
  const lines = new Float64Array(bytes(D.lines));
  const labels = D.labels === null ? null : new Uint8Array(bytes(D.labels));
  const runs = D.runs.map((r, index) => {
    const given = new Uint8Array(bytes(r.given));
    const p = new Float32Array(bytes(r.probabilities));
    const best = new Float64Array(n);
    const margin = new Float64Array(n);
    for (let i = 0; i < n; i++) {
      let a = -Infinity, b = -Infinity;
      for (let k = 0; k < 4; k++) {
        const v = p[4 * i + k];
        if (v > a) { b = a; a = v; } else if (v > b) b = v;
      }
      best[i] = p[4 * i + given[i] - 1];
      margin[i] = a - b;
    }
    const name = D.runs.length > 1 ? (index === 0 ? "K" : "K2") : "K";
    return { facts: r.knowledge, summary: r.summary, traces: r.traces, given, p, best, margin, name, decoded: null };
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

  // ---- filter, sort, page ------------------------------------------------
  const NO_FILTER = { truth: 0, given: 0, given2: 0, wrong: false, changed: false, traced: false, line: null, below: null };
  const filter = Object.assign({}, NO_FILTER);
  let sortKey = "line", sortUp = true, view = new Uint32Array(0), page = 0;
  const keys = {};
  const columns = [{ key: "line", title: "Line" }];
  if (labels) columns.push({ key: "truth", title: "True" });
  columns.push({ key: "given", title: comparing ? "Classified as (K)" : "Classified as" });
  if (comparing) columns.push({ key: "given2", title: "Classified as (K2)" });
  // A first click sorts the probabilities and changes highest first, the
  // rest (the margin too: the closest calls) lowest first.
  for (let k = 0; k < 4; k++) columns.push({ key: "p" + k, title: names[k], highFirst: true });
  columns.push({ key: "margin", title: "Margin" });
  if (comparing) columns.push({ key: "delta", title: "Largest change", highFirst: true });
  columns.push({ key: "trace", title: "Trace", highFirst: true });

  function keyOf(key) {
    if (keys[key]) return keys[key];
    const k = new Float64Array(n);
    for (let i = 0; i < n; i++) {
      let v;
      if (key === "line") v = lines[i];
      else if (key === "truth") v = labels[i];
      else if (key === "given") v = runs[0].given[i];
      else if (key === "given2") v = runs[1].given[i];
      else if (key === "margin") v = runs[0].margin[i];
      else if (key === "delta") v = delta[i];
      else if (key === "trace") v = traceRow[i] >= 0 ? 1 : 0;
      else v = runs[0].p[4 * i + Number(key.slice(1))];
      k[i] = Number.isNaN(v) ? -Infinity : v;   // a total order: NaN sorts lowest
    }
    return (keys[key] = k);
  }

  function applyFilter() {
    const g = runs[0].given, g2 = comparing ? runs[1].given : null;
    const out = new Uint32Array(n);
    let m = 0;
    for (let i = 0; i < n; i++) {
      if (filter.truth && labels[i] !== filter.truth) continue;
      if (filter.given && g[i] !== filter.given) continue;
      if (filter.given2 && g2[i] !== filter.given2) continue;
      if (filter.wrong && g[i] === labels[i]) continue;
      if (filter.changed && !changed[i]) continue;
      if (filter.traced && traceRow[i] < 0) continue;
      if (filter.line !== null && lines[i] !== filter.line) continue;
      if (filter.below !== null && !(runs[0].margin[i] < filter.below)) continue;
      out[m++] = i;
    }
    view = out.slice(0, m);
    sortView();
  }

  function sortView() {
    if (sortKey !== "line") {
      const k = keyOf(sortKey);
      view.sort((a, b) => (k[a] - k[b]) || (a - b));
    } else {
      view.sort();
    }
    if (!sortUp) view.reverse();
    page = 0;
    drawTable();
  }

  // ---- header --------------------------------------------------------------
  function facts(pairs) {
    const dl = el("dl", { class: "facts" });
    for (const [term, value] of pairs) dl.append(el("dt", null, term), el("dd", null, value));
    return dl;
  }

  function knowledgeText(f) {
    return (f.path === null ? "(an array)" : f.path) + " \u2014 N = " + f.units + " hidden units";
  }

  function header() {
    const s = D.signals;
    const knowledge = [["Knowledge" + (comparing ? " K" : ""), knowledgeText(runs[0].facts)],
      ["SHA-256", el("code", null, runs[0].facts.sha256)]];
    if (comparing) knowledge.push(["Compared with K2", knowledgeText(runs[1].facts)], ["SHA-256", el("code", null, runs[1].facts.sha256)]);
    knowledge.push(["Library id", el("code", null, D.library_id)]);
    const run = [["Signals", (s.path === null ? "(an array)" : s.path) + (s.line_count === null ? "" : " \u2014 " + count(s.line_count) + " lines")],
      ["Window", s.window === null ? "no signal" : "lines " + count(s.window[0]) + " to " + count(s.window[1]) + ", " + count(n) + " signals"],
      ["Labels", labels ? "from the labels file" : "none: no accuracy, the classes chosen are shown"],
      ["Date", D.date],
      ["Traces", D.trace_rule]];
    return el("header", null, el("h1", null, "Evaluation report"), el("div", { class: "grid" }, facts(knowledge), facts(run)),
      facts([["Command", el("code", null, D.command === null ? "" : D.command)]]));
  }

  // ---- summary -------------------------------------------------------------
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

  function summary() {
    const section = el("section", { id: "summary" }, el("h2", null, "Summary"));
    const s = runs[0].summary;
    if (s === null) {
      const counts = [0, 0, 0, 0], sums = [0, 0, 0, 0];
      for (let i = 0; i < n; i++) { counts[runs[0].given[i] - 1]++; sums[runs[0].given[i] - 1] += runs[0].best[i]; }
      const body = el("tbody");
      for (let k = 0; k < 4; k++) {
        body.append(el("tr", null, el("td", null, el("button", { type: "button", class: "link", onclick: () => setFilter({ given: k + 1 }) }, names[k])),
          el("td", null, count(counts[k])), el("td", null, n ? pct(counts[k] / n) : "\u2013"),
          el("td", null, counts[k] ? (sums[k] / counts[k]).toFixed(4) : "\u2013")));
      }
      section.append(el("p", { class: "muted" }, "No labels: how many signals are classified as each class."),
        el("table", { id: "distribution" }, el("thead", null, el("tr", null, el("th", null, "Classified as"), el("th", null, "Signals"),
          el("th", null, "Share"), el("th", null, "Mean winning probability"))), body));
      return section;
    }
    const perClass = el("tbody");
    for (let k = 0; k < 4; k++) {
      perClass.append(el("tr", null, el("td", null, names[k]), el("td", null, s.precision[k].toFixed(4)), el("td", null, s.recall[k].toFixed(4)),
        el("td", null, s.f1[k].toFixed(4)), el("td", null, count(s.support[k]))));
    }
    const cm = s.confusion_matrix;
    const matrix = matrixTable("confusion", "true", "classified as", (t, g) => {
      const total = cm[t].reduce((x, y) => x + y, 0);
      return cellButton(cm[t][g], total, t === g, () => setFilter({ truth: t + 1, given: g + 1 }),
        { "data-true": t + 1, "data-given": g + 1, "data-count": cm[t][g], title: "show these signals" });
    });
    section.append(el("div", { class: "grid" },
      el("div", null, el("div", { class: "muted" }, "Accuracy" + (comparing ? " (K)" : "")),
        el("div", { class: "big", id: "accuracy", "data-value": s.accuracy }, pct(s.accuracy)),
        el("div", { class: "muted" }, count(s.correct) + " of " + count(s.signals) + " signals right"),
        el("h3", null, "Per class"),
        el("table", { id: "per-class" }, el("thead", null, el("tr", null, el("th", null, "Class"), el("th", null, "Precision"),
          el("th", null, "Recall"), el("th", null, "F1"), el("th", null, "Support"))), perClass)),
      el("div", null, el("h3", null, "Confusion matrix"), el("p", { class: "muted" }, "Counts and shares of the row; click a cell for its signals."), matrix)));
    return section;
  }

  // ---- comparison --------------------------------------------------------
  function comparison() {
    const [a, b] = runs;
    const moves = [[0, 0, 0, 0], [0, 0, 0, 0], [0, 0, 0, 0], [0, 0, 0, 0]];
    for (let i = 0; i < n; i++) moves[a.given[i] - 1][b.given[i] - 1]++;
    const rows = [];
    if (a.summary) {
      rows.push(["Accuracy under K", el("span", { id: "accuracy-k" }, pct(a.summary.accuracy))],
        ["Accuracy under K2", el("span", { id: "accuracy-k2" }, pct(b.summary.accuracy))]);
    }
    rows.push(["Signals that change class", el("span", null, el("span", { id: "changed-count" }, count(changedCount)), " of " + count(n) + " ",
      el("button", { type: "button", onclick: () => setFilter({ changed: true }) }, "show them"))]);
    if (largest >= 0) {
      rows.push(["Largest probability change", el("span", null, el("span", { id: "largest-change" }, delta[largest].toFixed(4)),
        " at line " + count(lines[largest]) + " ", el("button", { type: "button", onclick: () => openSignal(largest) }, "open it"))]);
    }
    const matrix = matrixTable("transitions", "class under K", "under K2", (r, c) => {
      const total = moves[r].reduce((x, y) => x + y, 0);
      return cellButton(moves[r][c], total, r === c, () => setFilter({ given: r + 1, given2: c + 1 }),
        { "data-from": r + 1, "data-to": c + 1, "data-count": moves[r][c], title: "show these signals" });
    });
    return el("section", { id: "comparison" }, el("h2", null, "K \u2192 K2"),
      el("div", { class: "grid" }, facts(rows),
        el("div", null, el("h3", null, "Transitions"), el("p", { class: "muted" }, "Class under K (rows) and under K2 (columns); click a cell for its signals."), matrix)));
  }

  // ---- histograms --------------------------------------------------------
  function histogram(k) {
    const W = 280, H = 150, L = 34, B = 22, T = 8, R = 6;
    const right = new Array(BINS).fill(0), wrong = new Array(BINS).fill(0);
    const run = runs[0];
    for (let i = 0; i < n; i++) {
      if (run.given[i] !== k + 1) continue;
      const v = run.best[i];
      const bin = Number.isNaN(v) ? 0 : Math.min(BINS - 1, Math.max(0, Math.floor(v * BINS)));
      if (labels && labels[i] !== run.given[i]) wrong[bin]++; else right[bin]++;
    }
    let top = 1;
    for (let j = 0; j < BINS; j++) top = Math.max(top, right[j] + wrong[j]);
    const s = svg("svg", { viewBox: "0 0 " + W + " " + H, width: W, height: H, role: "img" });
    const bw = (W - L - R) / BINS, scale = (H - T - B) / top;
    for (let j = 0; j < BINS; j++) {
      const x = L + j * bw;
      const hr = right[j] * scale, hw = wrong[j] * scale;
      const range = (j / BINS).toFixed(2) + " to " + ((j + 1) / BINS).toFixed(2) + ": ";
      if (hr > 0) {
        s.append(svg("rect", { x: x + 0.5, y: H - B - hr, width: bw - 1, height: hr, fill: labels ? "var(--right)" : "var(--accent)" }));
        s.lastChild.append(svg("title", null, range + count(right[j]) + (labels ? " right" : "")));
      }
      if (hw > 0) {
        s.append(svg("rect", { x: x + 0.5, y: H - B - hr - hw, width: bw - 1, height: hw, fill: "var(--wrong)" }));
        s.lastChild.append(svg("title", null, range + count(wrong[j]) + " wrong"));
      }
    }
    s.append(svg("line", { x1: L, y1: H - B, x2: W - R, y2: H - B, stroke: "#999" }),
      svg("text", { x: L, y: H - 6, "text-anchor": "middle" }, "0"), svg("text", { x: (L + W - R) / 2, y: H - 6, "text-anchor": "middle" }, "0.5"),
      svg("text", { x: W - R, y: H - 6, "text-anchor": "end" }, "1"), svg("text", { x: L - 4, y: T + 8, "text-anchor": "end" }, String(top)),
      svg("text", { x: L - 4, y: H - B, "text-anchor": "end" }, "0"));
    const total = right.reduce((x, y) => x + y, 0) + wrong.reduce((x, y) => x + y, 0);
    return el("figure", { style: "margin: 0" }, el("h3", null, "Classified as " + names[k] + " (" + count(total) + ")"), s);
  }

  function histograms() {
    const legend = el("p", { class: "muted" }, "The winning probability of the signals classified as each class" + (comparing ? " under K" : "") + ":");
    if (labels) {
      legend.append(el("span", { class: "legend", style: "background: var(--right)" }), "right",
        el("span", { class: "legend", style: "background: var(--wrong)" }), "wrong");
    }
    const grid = el("div", { class: "grid", style: "grid-template-columns: repeat(auto-fit, minmax(280px, 1fr))" });
    for (let k = 0; k < 4; k++) grid.append(histogram(k));
    return el("section", { id: "histograms" }, el("h2", null, "Winning probability per class"), legend, grid);
  }

  // ---- signal table --------------------------------------------------------
  const table = { body: null, head: null, count: null, note: null, pager: null, controls: {} };

  function classSelect(id, title, key) {
    const select = el("select", { id, onchange: () => { filter[key] = Number(select.value); applyFilter(); describe(); } },
      el("option", { value: 0 }, "any"));
    names.forEach((name, k) => select.append(el("option", { value: k + 1 }, name)));
    table.controls[key] = select;
    return el("label", null, title, select);
  }

  function checkbox(id, title, key) {
    const box = el("input", { type: "checkbox", id, onchange: () => { filter[key] = box.checked; applyFilter(); describe(); } });
    table.controls[key] = box;
    return el("label", null, box, title);
  }

  function setFilter(values) {
    Object.assign(filter, NO_FILTER, values);
    for (const [key, control] of Object.entries(table.controls)) {
      if (control.type === "checkbox") control.checked = filter[key];
      else if (key === "line" || key === "below") control.value = filter[key] === null ? "" : String(filter[key]);
      else control.value = String(filter[key]);
    }
    applyFilter();
    describe();
    document.getElementById("signals").scrollIntoView({ block: "start" });
  }

  function describe() {
    const parts = [];
    if (filter.truth) parts.push("true " + names[filter.truth - 1]);
    if (filter.given) parts.push("classified as " + names[filter.given - 1] + (comparing ? " under K" : ""));
    if (filter.given2) parts.push("classified as " + names[filter.given2 - 1] + " under K2");
    if (filter.wrong) parts.push("wrong");
    if (filter.changed) parts.push("changed class");
    if (filter.traced) parts.push("traced");
    if (filter.line !== null) parts.push("line " + filter.line);
    if (filter.below !== null) parts.push("margin below " + filter.below);
    table.note.textContent = parts.length ? "filter: " + parts.join(", ") : "";
    table.note.hidden = parts.length === 0;
  }

  function signalTable() {
    const controls = el("div", { class: "controls" });
    if (labels) controls.append(classSelect("filter-true", "True ", "truth"));
    controls.append(classSelect("filter-given", comparing ? "Classified as (K) " : "Classified as ", "given"));
    if (comparing) controls.append(classSelect("filter-given2", "Classified as (K2) ", "given2"));
    if (labels) controls.append(checkbox("filter-wrong", " wrong only", "wrong"));
    if (comparing) controls.append(checkbox("filter-changed", " changed only", "changed"));
    controls.append(checkbox("filter-traced", " traced only", "traced"));
    const line = el("input", { type: "number", id: "filter-line", min: 1, style: "width: 8em", placeholder: "line",
      onchange: () => { filter.line = line.value === "" ? null : Number(line.value); applyFilter(); describe(); } });
    table.controls.line = line;
    const below = el("input", { type: "number", id: "filter-margin", min: 0, max: 1, step: 0.05, style: "width: 6em",
      onchange: () => { filter.below = below.value === "" ? null : Number(below.value); applyFilter(); describe(); } });
    table.controls.below = below;
    controls.append(el("label", null, "Line ", line), el("label", null, "Margin below ", below),
      el("button", { type: "button", id: "clear-filter", onclick: () => setFilter({}) }, "clear"),
      el("button", { type: "button", id: "download", onclick: download, title: "the rows the filter shows, in this order" }, "download CSV"));
    table.count = el("span", { id: "row-count" });
    table.note = el("span", { class: "filter-note", hidden: true });
    const head = el("tr");
    for (const c of columns) {
      head.append(el("th", { "data-key": c.key, onclick: () => {
        if (sortKey === c.key) sortUp = !sortUp; else { sortKey = c.key; sortUp = !c.highFirst; }
        sortView();
      } }, c.title));
    }
    table.head = head;
    table.body = el("tbody");
    table.pager = el("div", { class: "pager" });
    return el("section", { id: "signals" }, el("h2", null, "Signals"), controls,
      el("p", null, table.count, " signals ", table.note),
      el("div", { style: "overflow-x: auto" }, el("table", { id: "signal-table" }, el("thead", null, head), table.body)), table.pager);
  }

  function className(id) { return names[id - 1]; }

  // Every column of the rows shown, probabilities with all their digits.
  function download() {
    const quote = (text) => /[",\r\n]/.test(text) ? '"' + text.replace(/"/g, '""') + '"' : text;
    const out = [columns.filter((c) => c.key !== "trace").map((c) => quote(c.title)).join(",")];
    for (const i of view) {
      const row = [String(lines[i])];
      if (labels) row.push(quote(className(labels[i])));
      row.push(quote(className(runs[0].given[i])));
      if (comparing) row.push(quote(className(runs[1].given[i])));
      for (let k = 0; k < 4; k++) row.push(String(runs[0].p[4 * i + k]));
      row.push(String(runs[0].margin[i]));
      if (comparing) row.push(String(delta[i]));
      out.push(row.join(","));
    }
    const link = el("a", { href: URL.createObjectURL(new Blob([out.join("\n") + "\n"], { type: "text/csv" })), download: "signals.csv" });
    document.body.append(link);
    link.click();
    link.remove();
  }

  function drawTable() {
    const pages = Math.max(1, Math.ceil(view.length / PAGE_ROWS));
    page = Math.min(Math.max(page, 0), pages - 1);
    table.count.textContent = count(view.length);
    table.count.setAttribute("data-count", view.length);
    for (const th of table.head.children) {
      th.className = th.getAttribute("data-key") === sortKey ? (sortUp ? "sorted-up" : "sorted-down") : "";
    }
    const rows = [];
    const run = runs[0];
    for (let j = page * PAGE_ROWS; j < Math.min(view.length, (page + 1) * PAGE_ROWS); j++) {
      const i = view[j];
      const tracedHere = traceRow[i] >= 0;
      const tr = el("tr", { "data-index": i, class: tracedHere ? null : "untraced", title: tracedHere ? "open its trace" : "no trace kept for this signal" });
      for (const c of columns) {
        let cell;
        if (c.key === "line") cell = el("td", null, String(lines[i]));
        else if (c.key === "truth") cell = el("td", null, className(labels[i]));
        else if (c.key === "given") cell = el("td", { class: labels ? (labels[i] === run.given[i] ? "is-right" : "is-wrong") : null }, className(run.given[i]));
        else if (c.key === "given2") {
          const verdict = labels ? (labels[i] === runs[1].given[i] ? "is-right" : "is-wrong") : "";
          cell = el("td", { class: verdict + (changed[i] ? " is-changed" : ""), title: changed[i] ? "changed class" : null }, className(runs[1].given[i]));
        }
        else if (c.key === "margin") cell = el("td", null, fmt(run.margin[i], 4));
        else if (c.key === "delta") cell = el("td", null, fmt(delta[i], 4));
        else if (c.key === "trace") cell = el("td", null, tracedHere ? "open" : "\u2013");
        else cell = el("td", null, fmt(run.p[4 * i + Number(c.key.slice(1))], 4));
        tr.append(cell);
      }
      if (tracedHere) {
        tr.tabIndex = 0;
        tr.addEventListener("click", () => openSignal(i));
        tr.addEventListener("keydown", (event) => { if (event.key === "Enter") openSignal(i); });
      }
      rows.push(tr);
    }
    table.body.replaceChildren(...rows);
    const first = view.length ? page * PAGE_ROWS + 1 : 0;
    const go = (p) => () => { page = p; drawTable(); };
    table.pager.replaceChildren(
      el("button", { type: "button", onclick: go(0), disabled: page === 0 }, "\u00AB first"),
      el("button", { type: "button", onclick: go(page - 1), disabled: page === 0 }, "\u2039 previous"),
      el("span", null, "rows " + count(first) + " to " + count(Math.min(view.length, (page + 1) * PAGE_ROWS)) + " of " + count(view.length) +
        ", page " + (page + 1) + " of " + pages),
      el("button", { type: "button", onclick: go(page + 1), disabled: page >= pages - 1 }, "next \u203A"),
      el("button", { type: "button", onclick: go(pages - 1), disabled: page >= pages - 1 }, "last \u00BB"));
  }

  // ---- one signal --------------------------------------------------------
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

  function traceColumn(run, t, i) {
    const p = t.probabilities;
    let a = 0;
    for (let k = 1; k < 4; k++) if (p[k] > p[a]) a = k;
    let second = -Infinity;
    for (let k = 0; k < 4; k++) if (k !== a && p[k] > second) second = p[k];
    const decision = run.given[i];
    const body = el("tbody");
    for (let k = 0; k < 4; k++) {
      body.append(el("tr", { style: k + 1 === decision ? "font-weight: 600" : null }, el("td", null, names[k]),
        el("td", { class: "mono score" }, fmt(t.scores[k], 6)), el("td", { class: "mono probability" }, fmt(p[k], 6))));
    }
    const verdict = labels ? el("span", { class: labels[i] === decision ? "is-right" : "is-wrong" }, labels[i] === decision ? " right" : " wrong (true " + names[labels[i] - 1] + ")") : null;
    return el("div", { class: "trace", "data-run": run.name },
      el("h3", null, (comparing ? run.name + ": " : "") + (run.facts.path === null ? "knowledge" : run.facts.path)),
      el("p", null, "Decision: ", el("strong", { class: "decision" }, names[decision - 1] + " (class " + decision + ")"), verdict,
        el("br"), "Margin (best minus second): ", el("span", { class: "mono margin" }, fmt(p[a] - second, 6))),
      el("table", null, el("thead", null, el("tr", null, el("th", null, "Class"), el("th", null, "Score"), el("th", null, "Probability"))), body),
      el("h3", null, "Standardised values"), lineChart(Array.from(t.standardised), "#7b3fb8"),
      el("details", null, el("summary", null, "the 64 values"), valueGrid(Array.from(t.standardised), 4)),
      el("h3", null, "Hidden activations (N = " + run.facts.units + ")"), barChart(Array.from(t.hidden)),
      valueGrid(Array.from(t.hidden), 6, "hidden-values", "hidden-value"));
  }

  const viewer = el("section", { id: "signal-view", hidden: true });

  function openSignal(i) {
    const row = traceRow[i];
    const close = el("button", { type: "button", style: "float: right", onclick: () => {
      viewer.hidden = true;
      document.getElementById("signals").scrollIntoView({ block: "start" });
    } }, "close");
    viewer.replaceChildren(close, el("h2", null, "Signal at line " + count(lines[i])));
    viewer.setAttribute("data-index", i);
    if (row < 0) {
      viewer.append(el("p", null, "No trace was kept for this signal. Traces: " + D.trace_rule + "."));
    } else {
      const first = trace(runs[0], row);
      viewer.append(el("h3", null, "The 64 values"), lineChart(Array.from(first.values), "var(--accent)"),
        el("details", null, el("summary", null, "the 64 values"), valueGrid(Array.from(first.values), 4)));
      const grid = el("div", { class: "traces" });
      runs.forEach((run) => grid.append(traceColumn(run, run === runs[0] ? first : trace(run, row), i)));
      viewer.append(grid);
    }
    viewer.hidden = false;
    viewer.scrollIntoView({ block: "start" });
  }

  // ---- page ----------------------------------------------------------------
  document.title = "Evaluation: " + (runs[0].facts.path === null ? "knowledge" : runs[0].facts.path);
  root.append(header(), summary());
  if (comparing) root.append(comparison());
  root.append(histograms(), signalTable(), viewer);
  applyFilter();
  describe();
  document.documentElement.setAttribute("data-ready", performance.now().toFixed(1));
})();
