// The page's sections: the header, the summary, the comparison, the
// histograms and one signal's trace; then the page is drawn.

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

// The run's warnings, first on the page: whatever makes its figures look
// valid when they may not be.
function banner() {
  if (!D.warnings.length) return null;
  const list = el("ul");
  for (const w of D.warnings) {
    const where = [w.line === null ? null : "line " + count(w.line), w.count === null ? null : count(w.count) + " concerned"].filter((x) => x);
    list.append(el("li", { "data-kind": w.kind }, w.message, where.length ? el("span", { class: "muted" }, " (" + where.join(", ") + ")") : null));
  }
  return el("section", { id: "warnings", role: "alert" },
    el("h2", null, D.warnings.length === 1 ? "Warning: read this before the figures" : D.warnings.length + " warnings: read these before the figures"), list);
}

function distribution() {
  const counts = [0, 0, 0, 0], sums = [0, 0, 0, 0];
  for (let i = 0; i < n; i++) { counts[runs[0].given[i] - 1]++; sums[runs[0].given[i] - 1] += runs[0].best[i]; }
  const body = el("tbody");
  for (let k = 0; k < 4; k++) {
    body.append(el("tr", null, el("td", null, el("button", { type: "button", class: "link", onclick: () => setFilter({ given: k + 1 }) }, names[k])),
      el("td", null, count(counts[k])), el("td", null, n ? pct(counts[k] / n) : "\u2013"),
      el("td", null, counts[k] ? fmt(sums[k] / counts[k], 4) : "\u2013")));
  }
  return [el("p", { class: "muted" }, "No labels: how many signals are classified as each class" + (comparing ? " under K." : ".")),
    el("table", { id: "distribution" }, el("thead", null, el("tr", null, el("th", null, "Classified as" + (comparing ? " (K)" : "")), el("th", null, "Signals"),
      el("th", null, "Share"), el("th", null, "Mean winning probability"))), body)];
}

// One knowledge's figures: accuracy, per-class table and confusion matrix.
// Comparing, every title names the knowledge (K or K2) and the ids of K2's
// end in "-k2"; a cell of K2's matrix filters on the class under K2.
function runFigures(run, index) {
  const s = run.summary, of = comparing ? " (" + run.name + ")" : "", id = (base) => index ? base + "-k2" : base;
  const perClass = el("tbody");
  for (let k = 0; k < 4; k++) {
    perClass.append(el("tr", null, el("td", null, names[k]), el("td", null, s.precision[k].toFixed(4)), el("td", null, s.recall[k].toFixed(4)),
      el("td", null, s.f1[k].toFixed(4)), el("td", null, count(s.support[k]))));
  }
  const cm = s.confusion_matrix, given = index ? "given2" : "given";
  const matrix = matrixTable(id("confusion"), "true", "classified as" + of, (t, g) => {
    const total = cm[t].reduce((x, y) => x + y, 0);
    return cellButton(cm[t][g], total, t === g, () => setFilter({ truth: t + 1, [given]: g + 1 }),
      { "data-true": t + 1, "data-given": g + 1, "data-count": cm[t][g], title: "show these signals" });
  });
  // Comparing, each knowledge's figures are one column, K2's beside K's.
  return el("div", { class: comparing ? "run-figures" : "grid", "data-run": run.name },
    el("div", null, el("div", { class: "muted" }, "Accuracy" + of),
      el("div", { class: "big", id: id("accuracy"), "data-value": s.accuracy }, pct(s.accuracy)),
      el("div", { class: "muted" }, count(s.correct) + " of " + count(s.signals) + " signals right"),
      el("h3", null, "Per class" + of),
      el("table", { id: id("per-class") }, el("thead", null, el("tr", null, el("th", null, "Class"), el("th", null, "Precision" + of),
        el("th", null, "Recall" + of), el("th", null, "F1" + of), el("th", null, "Support"))), perClass)),
    el("div", null, el("h3", null, "Confusion matrix" + of), el("p", { class: "muted" }, "Counts and shares of the row; click a cell for its signals."), matrix));
}

function summary() {
  const section = el("section", { id: "summary" }, el("h2", null, "Summary"));
  if (runs[0].summary === null) {
    section.append(...distribution());
    return section;
  }
  const figures = runs.map(runFigures);
  section.append(comparing ? el("div", { class: "grid" }, ...figures) : figures[0]);
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

// ---- one signal --------------------------------------------------------

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
const warned = banner();
if (warned) root.append(warned);
root.append(header(), summary());
if (comparing) root.append(comparison());
root.append(histograms(), signalTable(), viewer);
applyFilter();
describe();
document.documentElement.setAttribute("data-ready", performance.now().toFixed(1));
