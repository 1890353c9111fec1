// The signal table: its filter, sort order and pages, its controls and
// the CSV of the rows it shows.

const PAGE_ROWS = 100;

const NO_FILTER = { truth: 0, given: 0, given2: 0, wrong: false, changed: false, traced: false, nan: false, line: null, below: null };
const filter = Object.assign({}, NO_FILTER);
let sortKey = "line", sortUp = true, view = new Uint32Array(0), page = 0;
const keys = {};
const columns = [{ key: "line", title: "Line" }];
if (labels) columns.push({ key: "truth", title: "True" });
columns.push({ key: "given", title: comparing ? "Classified as (K)" : "Classified as" });
if (comparing) columns.push({ key: "given2", title: "Classified as (K2)" });
// A first click sorts the probabilities and changes highest first, the
// rest (the margin too: the closest calls) lowest first.
// Comparing, the probabilities and the margin are K's, and say so.
const whose = comparing ? " (K)" : "";
for (let k = 0; k < 4; k++) columns.push({ key: "p" + k, title: names[k] + whose, highFirst: true });
columns.push({ key: "margin", title: "Margin" + whose });
if (comparing) columns.push({ key: "delta", title: "Largest change (K \u2192 K2)", highFirst: true });
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
    if (filter.nan && !runs.some((r) => r.nanP[i])) continue;
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
  if (filter.nan) parts.push("NaN probabilities");
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
  controls.append(checkbox("filter-traced", " traced only", "traced"),
    checkbox("filter-nan", " NaN probabilities only" + (comparing ? " (K or K2)" : ""), "nan"));
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
