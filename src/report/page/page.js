// The script of a kestrel-report page: the section index with search, one
// timeline per target, the sampler charts (drawn with uPlot) and the text
// viewer. Everything it shows comes from the JSON in #report-data.
(function () {
  "use strict";

  const pageErrors = [];
  function noteError(message) {
    pageErrors.push(message);
    document.body.dataset.errors = String(pageErrors.length);
    const item = document.createElement("li");
    item.textContent = message;
    document.getElementById("page-errors").appendChild(item);
  }
  window.addEventListener("error", (e) => noteError("script error: " + e.message));
  window.addEventListener("unhandledrejection", (e) => noteError("script error: " + e.reason));

  const started = performance.now();
  const timings = [];
  function lap(name) { timings.push(name + " " + Math.round(performance.now() - started)); }
  const data = JSON.parse(document.getElementById("report-data").textContent);
  lap("data");
  const sections = data.sections;
  // Row fields of data.sections.
  const ITER = 0, PHASE = 1, TARGET = 2, KIND = 3, COMMAND = 4, SECONDS = 5, FLAGS = 6,
    LINE = 7, START = 8, END = 9, OFFSET = 10, LENGTH = 11, STATUS = 12, MESSAGE = 13;
  const PHASES = ["", "PRESTATS", "POSTSTATS"];
  const COLORS = ["#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2",
    "#7f7f7f", "#bcbd22", "#17becf"];

  function make(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  // ------------------------------------------------------------- viewer
  const viewer = document.getElementById("viewer");
  function openSection(index) {
    const s = sections[index];
    if (!s) return;
    const where = [s[ITER] ? "iteration " + s[ITER] : "", PHASES[s[PHASE]], data.targets[s[TARGET]]]
      .filter(Boolean).join(" ");
    document.getElementById("viewer-title").textContent =
      s[COMMAND] + " \u2014 " + where + " (line " + s[LINE] + ")";
    const message = document.getElementById("viewer-message");
    message.textContent = s[MESSAGE] ? s[STATUS] + ": " + s[MESSAGE] : "";
    message.hidden = !s[MESSAGE];
    document.getElementById("viewer-text").textContent = data.text.substr(s[OFFSET], s[LENGTH]);
    viewer.dataset.section = String(index);
    viewer.hidden = false;
  }
  document.getElementById("viewer-close").addEventListener("click", () => { viewer.hidden = true; });
  document.addEventListener("keydown", (e) => { if (e.key === "Escape") viewer.hidden = true; });
  document.querySelectorAll("[data-section] a.open-section").forEach((link) => {
    link.addEventListener("click", (e) => {
      e.preventDefault();
      openSection(Number(link.closest("[data-section]").dataset.section));
    });
  });

  // Whole seconds as the report has them: a command under a second reads "<1 s".
  function duration(seconds) {
    return seconds < 0 ? "" : seconds === 0 ? "<1 s" : seconds + " s";
  }

  // -------------------------------------------------------------- index
  const PAGE_ROWS = 2000;
  const table = document.getElementById("index-table");
  const body = table.tBodies[0];
  const search = document.getElementById("search");
  let matches = sections.map((_, i) => i);
  let page = 0;
  let haystacks = null;

  function haystack(i) {
    const s = sections[i];
    return (data.targets[s[TARGET]] + " " + s[COMMAND] + " " + data.kinds[s[KIND]] + " " +
      s[FLAGS] + " " + PHASES[s[PHASE]]).toLowerCase();
  }

  function renderIndex() {
    const pages = Math.max(1, Math.ceil(matches.length / PAGE_ROWS));
    page = Math.min(page, pages - 1);
    const rows = document.createDocumentFragment();
    const first = page * PAGE_ROWS;
    const last = Math.min(matches.length, first + PAGE_ROWS);
    for (let m = first; m < last; m++) {
      const i = matches[m];
      const s = sections[i];
      const row = make("tr", s[FLAGS] ? "flagged" : "");
      row.dataset.index = String(i);
      row.dataset.status = s[STATUS];
      const cells = [i, s[ITER], PHASES[s[PHASE]], data.targets[s[TARGET]], data.kinds[s[KIND]],
        s[COMMAND], duration(s[SECONDS]), s[FLAGS], s[LINE]];
      for (const value of cells) row.appendChild(make("td", "", String(value)));
      if (s[MESSAGE]) row.cells[7].title = s[MESSAGE];
      rows.appendChild(row);
    }
    body.replaceChildren(rows);
    table.dataset.total = String(sections.length);
    table.dataset.shown = String(matches.length);
    table.dataset.rows = String(last - first);
    document.getElementById("index-count").textContent =
      matches.length + " of " + sections.length + " sections";
    const pager = document.getElementById("pager");
    pager.replaceChildren();
    if (pages > 1) {
      const previous = make("button", "", "\u2190");
      const next = make("button", "", "\u2192");
      previous.disabled = page === 0;
      next.disabled = page === pages - 1;
      previous.addEventListener("click", () => { page--; renderIndex(); });
      next.addEventListener("click", () => { page++; renderIndex(); });
      pager.append(previous, make("span", "", " page " + (page + 1) + " of " + pages + " "), next);
    }
  }

  let searchTimer = 0;
  search.addEventListener("input", () => {
    clearTimeout(searchTimer);
    searchTimer = setTimeout(() => {
      const words = search.value.toLowerCase().split(/\s+/).filter(Boolean);
      if (!haystacks) haystacks = sections.map((_, i) => haystack(i));
      matches = [];
      for (let i = 0; i < sections.length; i++) {
        if (words.every((w) => haystacks[i].includes(w))) matches.push(i);
      }
      page = 0;
      renderIndex();
    }, 150);
  });
  body.addEventListener("click", (e) => {
    const row = e.target.closest("tr");
    if (row) openSection(Number(row.dataset.index));
  });

  // ---------------------------------------------------------- timelines
  // Timed sections grouped by target, then by iteration and phase.
  function timelineLanes(target) {
    const lanes = new Map();
    sections.forEach((s, i) => {
      if (s[TARGET] !== target || s[START] < 0 || s[END] < 0 || s[SECONDS] < 0) return;
      if (s[KIND] > 1) return;  // commands and file dumps only
      const key = s[ITER] + " " + PHASES[s[PHASE]];
      if (!lanes.has(key)) lanes.set(key, []);
      lanes.get(key).push(i);
    });
    return lanes;
  }

  function drawLane(container, key, members) {
    let from = Infinity, to = -Infinity, total = 0;
    for (const i of members) {
      from = Math.min(from, sections[i][START]);
      to = Math.max(to, sections[i][END]);
      total += sections[i][SECONDS];
    }
    // Times are whole seconds: a command under a second is drawn half a second long.
    const span = Math.max(1, to - from) + 0.5;
    const lane = make("div", "lane");
    lane.dataset.lane = key;
    lane.appendChild(make("div", "lane-label", "iteration " + key + ": " + members.length +
      " commands, " + total + " s of commands in " + Math.max(1, to - from) + " s"));
    const track = make("div", "track");
    let bars = 0;
    for (const i of members) {
      const s = sections[i];
      const bar = make("div", "bar" + (s[STATUS] === "killed" || s[STATUS] === "failed" ?
        " " + s[STATUS] : ""));
      bar.style.left = (100 * (s[START] - from) / span) + "%";
      bar.style.width = (100 * Math.max(0.5, s[SECONDS]) / span) + "%";
      bar.title = s[COMMAND] + ": " + duration(s[SECONDS]) +
        (s[MESSAGE] ? " \u2014 " + s[STATUS] + ": " + s[MESSAGE] : "");
      bar.dataset.index = String(i);
      bar.addEventListener("click", () => openSection(i));
      track.appendChild(bar);
      bars++;
    }
    lane.dataset.bars = String(bars);
    lane.appendChild(track);
    container.appendChild(lane);
  }

  function buildTimelines() {
    const root = document.getElementById("timelines");
    const large = sections.length > 20000;
    data.targets.forEach((name, target) => {
      const lanes = timelineLanes(target);
      if (lanes.size === 0) return;
      let commands = 0, seconds = 0;
      lanes.forEach((members) => {
        commands += members.length;
        for (const i of members) seconds += sections[i][SECONDS];
      });
      const box = make("details", "timeline");
      box.dataset.target = name;
      box.dataset.commands = String(commands);
      box.appendChild(make("summary", "", name + " \u2014 " + commands + " timed sections, " +
        seconds + " s"));
      const draw = () => {
        if (box.dataset.drawn) return;
        box.dataset.drawn = "1";
        lanes.forEach((members, key) => drawLane(box, key, members));
      };
      if (large) {
        box.addEventListener("toggle", draw);
      } else {
        box.open = true;
        draw();
      }
      root.appendChild(box);
    });
  }

  // ------------------------------------------------------------- charts
  // Charts share the window's width: as many of at least 440 px as fit a row.
  let chartWidth = 460;
  function measureChartWidth() {
    const root = document.getElementById("charts");
    const room = Math.max(320, root.clientWidth - 40);
    const perRow = Math.max(1, Math.floor(room / 440));
    chartWidth = Math.floor((room - 8 * (perRow - 1)) / perRow);
  }

  // Room for the y axis values as drawn, so that none is cut.
  function yAxisSize(self, values) {
    if (!values) return 50;
    let longest = 0;
    for (const v of values) longest = Math.max(longest, String(v).length);
    return Math.min(120, 16 + 7 * longest);
  }

  // A title longer than the chart is cut with an ellipsis; the whole of it
  // stays in the tooltip.
  function fitTitle(holder, title) {
    const node = holder.querySelector(".u-title");
    if (node) node.title = title;
    holder.title = title;
  }

  function drawChart(holder, chart) {
    const series = [{ label: chart.x_label }];
    chart.names.forEach((name, k) => {
      series.push({ label: name, stroke: COLORS[k % COLORS.length], width: 1, spanGaps: false });
    });
    const plot = new uPlot({
      title: chart.title,
      width: chartWidth,
      height: 220,
      scales: { x: { time: false } },
      legend: { show: chart.names.length <= 12 },
      series: series,
      axes: [{ label: chart.x_label }, { size: yAxisSize }],
    }, chart.data, holder);
    fitTitle(holder, chart.title);
    holder.dataset.drawnPoints = String(plot.data[0].length * (plot.series.length - 1));
    holder.dataset.rendered = "1";
  }

  function buildCharts() {
    const root = document.getElementById("charts");
    const total = data.files.reduce((sum, f) => sum + f.charts.length, 0);
    root.dataset.charts = String(total);
    if (total === 0) {
      root.appendChild(make("p", "", data.config_only ?
        "A configuration-only report: nothing was sampled over time." :
        "No sampler files with series over time in this report."));
      return;
    }
    measureChartWidth();
    const eager = total <= 400;
    const observer = eager ? null : new IntersectionObserver((entries) => {
      for (const entry of entries) {
        if (!entry.isIntersecting) continue;
        observer.unobserve(entry.target);
        const [f, c] = entry.target.dataset.chart.split(":").map(Number);
        drawChart(entry.target, data.files[f].charts[c]);
      }
    }, { rootMargin: "300px" });
    const groups = new Map();
    data.files.forEach((file, f) => {
      const key = file.target + "\u0000" + file.iteration;
      if (!groups.has(key)) groups.set(key, []);
      groups.get(key).push(f);
    });
    groups.forEach((members) => {
      const first = data.files[members[0]];
      const box = make("details", "chart-group");
      box.open = true;
      box.appendChild(make("summary", "", first.target + " \u2014 iteration " + first.iteration));
      for (const f of members) {
        const file = data.files[f];
        const heading = make("h4", "", file.file + " (" + file.kind + ") ");
        const link = make("a", "", "text");
        link.href = "#";
        link.addEventListener("click", (e) => { e.preventDefault(); openSection(file.section); });
        heading.appendChild(link);
        box.appendChild(heading);
        const grid = make("div", "chart-grid");
        grid.dataset.file = file.file;
        file.charts.forEach((chart, c) => {
          const holder = make("div", "chart");
          holder.dataset.chart = f + ":" + c;
          holder.dataset.title = chart.title;
          holder.style.width = chartWidth + "px";
          holder.dataset.points = String(chart.data[0].length * (chart.data.length - 1));
          grid.appendChild(holder);
          if (eager) {
            drawChart(holder, chart);
          } else {
            observer.observe(holder);
          }
        });
        box.appendChild(grid);
      }
      root.appendChild(box);
    });
  }

  renderIndex();
  lap("index");
  buildTimelines();
  lap("timelines");
  buildCharts();
  lap("charts");
  // Milliseconds since the script started, per step, for the benchmark.
  timings.push("since navigation " + Math.round(performance.now()));
  document.body.dataset.timings = timings.join(", ");
  document.body.dataset.ready = "1";
})();
