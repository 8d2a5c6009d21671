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
  // The bytes of a packed block (see pack.h): lines of base64, each a
  // piece of its own, and the pieces one after another.
  function unpackBlock(id) {
    const pieces = document.getElementById(id).textContent.split("\n").filter(Boolean)
      .map(unpackPiece);
    if (pieces.length === 1) return pieces[0];
    const all = new Uint8Array(pieces.reduce((size, piece) => size + piece.length, 0));
    let at = 0;
    for (const piece of pieces) {
      all.set(piece, at);
      at += piece.length;
    }
    return all;
  }
  // One piece: a size, then sequences of literals and of matches that copy
  // from up to 16 MiB back.
  function unpackPiece(line) {
    const base64 = atob(line);
    const src = new Uint8Array(base64.length);
    for (let i = 0; i < base64.length; i++) src[i] = base64.charCodeAt(i);
    const size = (src[0] | src[1] << 8 | src[2] << 16 | src[3] << 24) >>> 0;
    const out = new Uint8Array(size);
    let i = 4, o = 0;
    const more = (n) => {
      let b;
      do { b = src[i++]; n += b; } while (b === 255);
      return n;
    };
    while (i < src.length) {
      const token = src[i++];
      let n = token >> 4;
      if (n === 15) n = more(n);
      if (n > 32) {
        out.set(src.subarray(i, i + n), o);
      } else {
        for (let k = 0; k < n; k++) out[o + k] = src[i + k];
      }
      i += n;
      o += n;
      if (i >= src.length) break;
      const distance = src[i] | src[i + 1] << 8 | src[i + 2] << 16;
      i += 3;
      let m = (token & 15) + 4;
      if (m === 19) m = more(m);
      let from = o - distance;
      if (distance >= m && m > 32) {
        out.copyWithin(o, from, from + m);
        o += m;
      } else {
        // A match may overlap what it writes: byte by byte.
        for (let k = 0; k < m; k++) out[o++] = out[from++];
      }
    }
    if (o !== size || i !== src.length) throw new Error("the page's packed data is damaged");
    return out;
  }
  // A large report's page holds its data packed, and its texts in a block
  // of their own that is unpacked when a text is first opened.
  const packed = document.getElementById("report-data-packed") !== null;
  const data = JSON.parse(packed ? new TextDecoder().decode(unpackBlock("report-data-packed")) :
    document.getElementById("report-data").textContent);
  lap("data");
  // A packed page keeps each file's chart columns apart, a line each,
  // parsed when one of its charts is first drawn.
  let chartBytes = null, chartLines = null;
  function loadColumns(file) {
    if (file.values == null || file.charts.every((chart) => chart.data)) return;
    if (!chartBytes) {
      chartBytes = unpackBlock("report-charts-packed");
      chartLines = [0];
      for (let i = 0; i < chartBytes.length; i++) if (chartBytes[i] === 10) chartLines.push(i + 1);
    }
    const at = chartLines[file.values], end = chartLines[file.values + 1] - 1;
    const columns = JSON.parse(new TextDecoder().decode(chartBytes.subarray(at, end)));
    file.charts.forEach((chart, c) => { chart.data = columns[c]; });
  }
  let textBytes = null;
  function sectionText(s) {
    if (!packed) return data.text.substr(s[OFFSET], s[LENGTH]);
    if (!textBytes) textBytes = unpackBlock("report-text-packed");
    return new TextDecoder().decode(textBytes.subarray(s[OFFSET], s[OFFSET] + s[LENGTH]));
  }
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
    document.getElementById("viewer-text").textContent = sectionText(s);
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

  // A long counter list of the Changes block is made when first opened.
  const counterList = document.querySelector("#changes .counter-list[data-deferred]");
  if (counterList && data.changes_counters) {
    counterList.addEventListener("toggle", () => {
      if (!counterList.open || !counterList.dataset.deferred) return;
      delete counterList.dataset.deferred;
      counterList.insertAdjacentHTML("beforeend", data.changes_counters);
    });
  }

  // Whole seconds as the report has them: a command under a second reads "<1 s".
  function duration(seconds) {
    return seconds < 0 ? "" : seconds === 0 ? "<1 s" : seconds + " s";
  }

  // -------------------------------------------------------------- index
  // A large report's index shows fewer rows at a time: the rows are laid
  // out as the page opens.
  const PAGE_ROWS = sections.length > 20000 ? 250 : 2000;
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

  // -------------------------------------------------------------- clock
  // Times are seconds since 1970 UTC; the page shows them as HH:MM:SS UTC.
  function hms(t) {
    if (t == null || !isFinite(t)) return "--";
    const d = new Date(Math.round(t * 1000));
    return d.toISOString().substr(11, 8);
  }
  // Tick steps of a time axis, in seconds: splits fall on whole minutes and hours.
  const TIME_STEPS = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800,
    21600, 43200, 86400];
  function number(v) {
    if (v == null || !isFinite(v)) return "--";
    const a = Math.abs(v);
    return a >= 1e6 || (a > 0 && a < 1e-3) ? v.toExponential(2) :
      String(Math.round(v * 1000) / 1000);
  }
  function withUnit(v, unit) {
    if (v == null || !isFinite(v)) return "--";
    return number(v) + (unit ? (unit === "%" ? "%" : " " + unit) : "");
  }

  // Per iteration: its bands, its events, and the whole span its charts share.
  const clocks = new Map();
  function clockOf(iteration) {
    if (!clocks.has(iteration)) {
      clocks.set(iteration, { iteration: iteration, bands: [], events: [], from: Infinity,
        to: -Infinity, zoom: null, plots: [], holders: [], lanes: [], start: null });
    }
    return clocks.get(iteration);
  }
  function widen(c, from, to) {
    if (from != null && isFinite(from)) c.from = Math.min(c.from, from);
    if (to != null && isFinite(to)) c.to = Math.max(c.to, to);
  }
  (data.bands || []).forEach(([iteration, kind, from, to]) => {
    const c = clockOf(iteration);
    c.bands.push({ kind: kind, from: from, to: to });
    if (kind === "sampling") c.start = from;
    widen(c, from, to);
  });
  (data.events || []).forEach(([time, iteration, kind, section, text]) => {
    clockOf(iteration).events.push({ time: time, kind: kind, section: section, text: text });
  });
  data.files.forEach((file) => {
    if (!file.anchored) return;
    const c = clockOf(file.iteration);
    for (const list of file.times) {
      let first = null, last = null;
      for (let i = 0; i < list.length && first == null; i++) first = list[i];
      for (let i = list.length - 1; i >= 0 && last == null; i--) last = list[i];
      widen(c, first, last);
    }
  });
  for (const [iteration, begin, end] of data.iterations) {
    const c = clockOf(iteration);
    if (c.start == null && begin != null) c.start = begin;
    if (!isFinite(c.from)) widen(c, begin, end);
  }
  function spanOf(c) {
    if (c.zoom) return c.zoom;
    // A second more at the end: a command of the last second shows whole.
    return isFinite(c.from) && c.to > c.from ? [c.from, c.to + 1] : null;
  }

  const BAND_COLORS = { prestats: "rgba(255, 193, 7, 0.16)", sampling: "rgba(76, 175, 80, 0.10)",
    poststats: "rgba(33, 150, 243, 0.14)" };
  const EVENT_COLORS = { killed: "#c62828", failed: "#ef6c00", excluded: "#757575",
    log: "#8e24aa" };

  // One zoom per iteration: every chart and lane of it follows. A chart
  // tells of a new window of its own (a drag, a double-click) through its
  // setScale hook, which runs after uPlot commits the change.
  function fitPlot(c, plot) {
    const span = spanOf(c);
    if (span) plot.setScale("x", { min: span[0], max: span[1] });
  }
  function zoomIteration(c, range) {
    c.zoom = range;
    for (const plot of c.plots) fitPlot(c, plot);
    layoutLanes(c);
  }

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

  // Tick marks under a lane: the iteration's time axis, as the charts have it.
  function drawScale(scale, from, to) {
    scale.replaceChildren();
    const span = Math.max(1, to - from);
    let step = TIME_STEPS[TIME_STEPS.length - 1];
    for (const s of TIME_STEPS) {
      if (span / s <= 8) { step = s; break; }
    }
    for (let t = Math.ceil(from / step) * step; t <= to; t += step) {
      const tick = make("span", "tick", hms(t));
      tick.style.left = (100 * (t - from) / span) + "%";
      scale.appendChild(tick);
    }
    scale.dataset.from = String(from);
    scale.dataset.to = String(to);
  }

  function layoutLane(view, span) {
    const from = span ? span[0] : view.from;
    const to = span ? span[1] : view.to;
    const width = Math.max(1, to - from);
    for (const bar of view.bars) {
      const s = sections[Number(bar.dataset.index)];
      // Times are whole seconds: a command under a second is drawn half a second long.
      const start = s[END] - s[SECONDS];
      bar.style.left = (100 * (start - from) / width) + "%";
      bar.style.width = (100 * Math.max(0.5, s[SECONDS]) / width) + "%";
    }
    drawScale(view.scale, from, to);
  }
  function layoutLanes(c) {
    for (const view of c.lanes) layoutLane(view, spanOf(c));
  }

  function drawLane(container, key, members) {
    let from = Infinity, to = -Infinity, total = 0;
    for (const i of members) {
      from = Math.min(from, sections[i][END] - sections[i][SECONDS]);
      to = Math.max(to, sections[i][END]);
      total += sections[i][SECONDS];
    }
    const lane = make("div", "lane");
    lane.dataset.lane = key;
    lane.appendChild(make("div", "lane-label", "iteration " + key + ": " + members.length +
      " commands, " + total + " s of commands in " + Math.max(1, to - from) + " s, " +
      hms(from) + "\u2013" + hms(to) + " UTC"));
    const track = make("div", "track");
    const bars = [];
    for (const i of members) {
      const s = sections[i];
      const bar = make("div", "bar" + (s[STATUS] === "killed" || s[STATUS] === "failed" ?
        " " + s[STATUS] : ""));
      bar.title = s[COMMAND] + ": " + duration(s[SECONDS]) + " at " + hms(s[END] - s[SECONDS]) +
        (s[MESSAGE] ? " \u2014 " + s[STATUS] + ": " + s[MESSAGE] : "");
      bar.dataset.index = String(i);
      bar.addEventListener("click", () => openSection(i));
      track.appendChild(bar);
      bars.push(bar);
    }
    lane.dataset.bars = String(bars.length);
    lane.appendChild(track);
    const scale = make("div", "scale");
    lane.appendChild(scale);
    container.appendChild(lane);
    const c = clockOf(sections[members[0]][ITER]);
    const view = { bars: bars, scale: scale, from: from, to: to + 0.5 };
    c.lanes.push(view);
    layoutLane(view, spanOf(c));
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
  let chartWidth = 460, perRow = 1;
  function measureChartWidth() {
    const root = document.getElementById("charts");
    const room = Math.max(320, root.clientWidth - 40);
    perRow = Math.max(1, Math.floor(room / 440));
    chartWidth = Math.floor((room - 8 * (perRow - 1)) / perRow);
  }

  // Room for the y axis values as drawn, so that none is cut.
  function yAxisSize(self, values) {
    if (!values) return 50;
    let longest = 0;
    for (const v of values) longest = Math.max(longest, String(v).length);
    return Math.min(140, 22 + 8 * longest);
  }

  // A title longer than the chart is cut with an ellipsis; the whole of it
  // stays in the tooltip.
  function fitTitle(holder, title) {
    const node = holder.querySelector(".u-title");
    if (node) node.title = title;
    holder.title = title;
  }

  // The chart's columns as uPlot takes them: x the sample times, samples
  // that have no place on the clock left out.
  function chartColumns(file, chart) {
    loadColumns(file);
    const times = file.times[chart.time] || chart.data[0];
    let placed = true;
    for (let i = 0; i < times.length && placed; i++) placed = times[i] != null;
    if (placed && times.length === chart.data[0].length) return [times].concat(chart.data.slice(1));
    const keep = [];
    for (let i = 0; i < chart.data[0].length; i++) if (times[i] != null) keep.push(i);
    return [keep.map((i) => times[i])].concat(chart.data.slice(1).map((s) => keep.map((i) => s[i])));
  }

  // Bands under the series, event marks over them.
  function drawBands(c) {
    return (u) => {
      const ctx = u.ctx, top = u.bbox.top, height = u.bbox.height;
      const left = u.bbox.left, right = left + u.bbox.width;
      ctx.save();
      for (const band of c.bands) {
        const x0 = Math.max(left, u.valToPos(band.from, "x", true));
        const x1 = Math.min(right, u.valToPos(band.to, "x", true));
        if (x1 <= x0) continue;
        ctx.fillStyle = BAND_COLORS[band.kind] || "rgba(0,0,0,0.05)";
        ctx.fillRect(x0, top, x1 - x0, height);
      }
      ctx.restore();
    };
  }
  function drawEvents(c) {
    return (u) => {
      if (c.events.length === 0) return;
      const ctx = u.ctx, top = u.bbox.top, height = u.bbox.height;
      const left = u.bbox.left, right = left + u.bbox.width;
      ctx.save();
      ctx.lineWidth = Math.max(1, devicePixelRatio);
      ctx.setLineDash([4 * devicePixelRatio, 3 * devicePixelRatio]);
      for (const e of c.events) {
        const x = Math.round(u.valToPos(e.time, "x", true));
        if (x < left || x > right) continue;
        ctx.strokeStyle = EVENT_COLORS[e.kind] || "#000";
        ctx.beginPath();
        ctx.moveTo(x, top);
        ctx.lineTo(x, top + height);
        ctx.stroke();
      }
      ctx.restore();
    };
  }

  function noteScale(holder) {
    return (u, key) => {
      if (key !== "x") return;
      holder.dataset.xMin = String(u.scales.x.min);
      holder.dataset.xMax = String(u.scales.x.max);
      const c = u.clock;
      if (!c) return;
      // A drag on this chart: every chart of the iteration takes its window.
      const span = spanOf(c);
      const min = u.scales.x.min, max = u.scales.x.max;
      if (span && Math.abs(span[0] - min) < 1e-6 && Math.abs(span[1] - max) < 1e-6) return;
      zoomIteration(c, [min, max]);
    };
  }

  // Above this many series a chart's legend is compact and its series are
  // highlighted by the cursor.
  const MANY_SERIES = 12;

  function drawChart(holder, file, chart) {
    const anchored = file.anchored;
    const c = anchored ? clockOf(file.iteration) : null;
    const unit = chart.unit || "";
    const series = [{
      label: anchored ? "UTC" : "elapsed",
      value: anchored ? (u, v) => hms(v) : (u, v) => (v == null ? "--" : number(v) + " s"),
    }];
    chart.names.forEach((name, k) => {
      series.push({ label: name, stroke: COLORS[k % COLORS.length], width: 1, spanGaps: false,
        value: (u, v) => withUnit(v, unit) });
    });
    const xAxis = anchored ?
      { label: "time (UTC)", incrs: TIME_STEPS, space: 70, values: (u, splits) => splits.map(hms) } :
      { label: "elapsed seconds (no Begin stamp)" };
    const hooks = { setScale: [noteScale(holder)] };
    if (c) {
      hooks.drawClear = [drawBands(c)];
      hooks.draw = [drawEvents(c)];
    }
    const opts = {
      title: chart.title + (unit ? " (" + unit + ")" : ""),
      width: chartWidth,
      height: 220,
      scales: { x: { time: false } },
      // Every chart keeps its legend: a click on a name hides or shows that
      // series. Many series (one per processor, disk or LUN) get a compact,
      // scrolling legend, and the series nearest the cursor is highlighted.
      legend: { show: true, live: true },
      series: series,
      axes: [xAxis, { size: yAxisSize, values: (u, splits) => splits.map((v) => withUnit(v, unit)) }],
      hooks: hooks,
    };
    const many = chart.names.length > MANY_SERIES;
    if (many) {
      holder.classList.add("many-series");
      opts.focus = { alpha: 0.25 };
    }
    if (c || many) opts.cursor = {};
    if (many) opts.cursor.focus = { prox: 12 };
    if (c) {
      opts.cursor.sync = { key: "kestrel-iteration-" + file.iteration, setSeries: false };
      // Double-click: the whole iteration again, on every chart of it (seen
      // before the chart's own handler, which then keeps that window).
      holder.addEventListener("dblclick", () => zoomIteration(c, null), true);
    }
    // The iteration's window from the start, in place of the chart's own
    // data range (which uPlot asks for first, and on a double-click): no
    // second drawing. Any other window (a drag, a zoom) is taken as it is.
    const columns = chartColumns(file, chart);
    const xs = columns[0];
    if (c && xs.length) {
      opts.scales.x.range = (u, min, max) => {
        const span = spanOf(c);
        return span && min === xs[0] && max === xs[xs.length - 1] ? span.slice() : [min, max];
      };
    }
    const plot = new uPlot(opts, columns, holder);
    plot.clock = c;
    if (c) c.plots.push(plot);
    fitTitle(holder, chart.title);
    holder.dataset.drawnPoints = String(plot.data[0].length * (plot.series.length - 1));
    holder.dataset.rendered = "1";
  }

  // The legend of an iteration's bands and marks, with its events listed.
  function clockNote(c) {
    const note = make("div", "clock-note");
    note.dataset.iteration = String(c.iteration);
    for (const band of c.bands) {
      const key = make("span", "band-key " + band.kind, band.kind + " " + hms(band.from) +
        "\u2013" + hms(band.to));
      key.style.background = BAND_COLORS[band.kind];
      note.appendChild(key);
    }
    note.appendChild(make("span", "", " UTC; drag on a chart to zoom every chart of the " +
      "iteration, double-click to see it whole."));
    if (c.events.length) {
      const list = make("details", "events");
      list.dataset.events = String(c.events.length);
      list.appendChild(make("summary", "", c.events.length + " event(s) marked on the charts"));
      const items = make("ul");
      for (const e of c.events.slice(0, 200)) {
        const item = make("li", "event " + e.kind);
        const at = make("a", "", hms(e.time));
        at.href = "#zoom=" + (e.time - 30) + "-" + (e.time + 30);
        item.append(at, " " + e.text);
        item.style.borderLeftColor = EVENT_COLORS[e.kind];
        if (e.section >= 0) {
          const open = make("a", "", " text");
          open.href = "#";
          open.addEventListener("click", (ev) => { ev.preventDefault(); openSection(e.section); });
          item.appendChild(open);
        }
        items.appendChild(item);
      }
      list.appendChild(items);
      note.appendChild(list);
    }
    return note;
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
    buildOverlay(root);
    const eager = total <= 400;
    const observer = eager ? null : new IntersectionObserver((entries) => {
      for (const entry of entries) {
        if (!entry.isIntersecting) continue;
        observer.unobserve(entry.target);
        const [f, c] = entry.target.dataset.chart.split(":").map(Number);
        drawChart(entry.target, data.files[f], data.files[f].charts[c]);
      }
    }, { rootMargin: "300px" });
    // Many charts: each group's files and charts are made when the group
    // comes near the window; until then it keeps about the room they take.
    const groupObserver = eager ? null : new IntersectionObserver((entries) => {
      for (const entry of entries) {
        if (!entry.isIntersecting) continue;
        groupObserver.unobserve(entry.target);
        entry.target.style.minHeight = "";
        fills.get(entry.target)();
      }
    }, { rootMargin: "600px" });
    const fills = new Map();
    const groups = new Map();
    data.files.forEach((file, f) => {
      const key = file.target + "\u0000" + file.iteration;
      if (!groups.has(key)) groups.set(key, []);
      groups.get(key).push(f);
    });
    const noted = new Set();
    groups.forEach((members) => {
      const first = data.files[members[0]];
      const box = make("details", "chart-group");
      box.open = true;
      box.dataset.iteration = String(first.iteration);
      box.appendChild(make("summary", "", first.target + " \u2014 iteration " + first.iteration));
      if (!noted.has(first.iteration) && clocks.has(first.iteration)) {
        noted.add(first.iteration);
        box.appendChild(clockNote(clockOf(first.iteration)));
      }
      if (eager) {
        members.forEach((f) => fillFile(box, f));
      } else {
        let room = 0;
        for (const f of members) room += 40 + 270 * Math.ceil(data.files[f].charts.length / perRow);
        box.style.minHeight = room + "px";
        box.dataset.lazy = "1";
        if (members.some((f) => data.files[f].anchored)) clockOf(first.iteration).holders.push(box);
        fills.set(box, () => members.forEach((f) => fillFile(box, f)));
        groupObserver.observe(box);
      }
      root.appendChild(box);
    });

    function fillFile(box, f) {
      const file = data.files[f];
      const heading = make("h4", "", file.file + " (" + file.kind + ") ");
      // Files without a Begin stamp: their rows' own seconds, counted from
      // the iteration's sampling start where the report has one.
      if (!file.anchored) {
        heading.appendChild(make("span", "elapsed", "elapsed time: the file has no Begin stamp "));
      } else if (file.clock === "elapsed") {
        heading.appendChild(make("span", "elapsed",
          "no Begin stamp: elapsed seconds from the sampling start "));
      }
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
        holder.dataset.target = file.target;
        holder.dataset.iteration = String(file.iteration);
        holder.dataset.unit = chart.unit;
        holder.dataset.kind = file.kind;
        holder.dataset.clock = file.anchored ? "utc" : "elapsed";
        holder.style.width = chartWidth + "px";
        holder.dataset.points = String((chart.data ? chart.data[0].length : chart.rows) *
          chart.names.length);
        grid.appendChild(holder);
        if (eager) {
          if (file.anchored) clockOf(file.iteration).holders.push(holder);
          drawChart(holder, file, chart);
        } else {
          observer.observe(holder);
        }
      });
      box.appendChild(grid);
    }
  }

  // ----------------------------------------------------------- overlay
  // One column of one target in every iteration on one chart, each
  // iteration counted from its own sampling start.
  // The columns are gathered when the overlay is first opened, so that a
  // large report does not pay for them on opening.
  function buildOverlay(root) {
    const box = make("details", "overlay");
    box.id = "overlay";
    box.appendChild(make("summary", "", "Iteration overlay: one column of every iteration " +
      "on one chart, each counted from its iteration's sampling start"));
    root.appendChild(box);
    let choices = null;
    const pick = make("select");
    pick.id = "overlay-column";
    const instance = make("select");
    instance.id = "overlay-series";
    const holder = make("div", "chart overlay-chart");
    box.append(pick, " ", instance, holder);
    const prepare = () => {
      if (choices) return;
      const columns = new Map();
      data.files.forEach((file, f) => {
        if (!file.anchored) return;
        file.charts.forEach((chart, c) => {
          const key = file.target + "\u0000" + file.file + "\u0000" + chart.title;
          if (!columns.has(key)) columns.set(key, []);
          columns.get(key).push([f, c]);
        });
      });
      choices = [];
      columns.forEach((list, key) => {
        const iterations = new Set(list.map(([f]) => data.files[f].iteration));
        if (iterations.size >= 2) choices.push([key, list]);
      });
      box.dataset.choices = String(choices.length);
      pick.appendChild(make("option", "", choices.length ? "choose a column (" + choices.length +
        " in two iterations or more)" : "no column is in two iterations"));
      choices.forEach(([key], k) => {
        const option = make("option", "", key.split("\u0000").join(" \u2014 "));
        option.value = String(k);
        pick.appendChild(option);
      });
    };
    box.addEventListener("toggle", prepare);
    let plot = null;
    const show = () => {
      const choice = choices[Number(pick.value)];
      if (plot) { plot.destroy(); plot = null; }
      holder.replaceChildren();
      delete holder.dataset.iterations;
      if (!choice) return;
      const [f0, c0] = choice[1][0];
      const names = data.files[f0].charts[c0].names;
      if (instance.dataset.key !== pick.value) {
        instance.replaceChildren(...names.map((n, k) => {
          const option = make("option", "", n);
          option.value = String(k);
          return option;
        }));
        instance.dataset.key = pick.value;
      }
      const name = names[Number(instance.value) || 0];
      const tables = [], labels = [];
      let unit = "";
      for (const [f, c] of choice[1]) {
        const file = data.files[f], chart = file.charts[c];
        const k = chart.names.indexOf(name);
        if (k < 0) continue;
        const columns = chartColumns(file, chart);
        const start = clockOf(file.iteration).start != null ? clockOf(file.iteration).start :
          columns[0][0];
        tables.push([columns[0].map((t) => t - start), columns[k + 1]]);
        labels.push("iteration " + file.iteration);
        unit = chart.unit || unit;
      }
      if (tables.length === 0) return;
      const joined = uPlot.join(tables);
      const series = [{ label: "since sampling start", value: (u, v) => (v == null ? "--" : number(v) + " s") }];
      labels.forEach((label, k) => series.push({ label: label, stroke: COLORS[k % COLORS.length],
        width: 1, spanGaps: true, value: (u, v) => withUnit(v, unit) }));
      plot = new uPlot({
        title: choice[0].split("\u0000").join(" \u2014 ") + " \u2014 " + name +
          (unit ? " (" + unit + ")" : ""),
        width: Math.min(chartWidth * 2, Math.max(320, root.clientWidth - 40)), height: 260,
        scales: { x: { time: false } }, series: series,
        axes: [{ label: "seconds since each iteration's sampling start" },
          { size: yAxisSize, values: (u, splits) => splits.map((v) => withUnit(v, unit)) }],
      }, joined, holder);
      holder.dataset.iterations = String(tables.length);
      holder.dataset.title = choice[0];
    };
    pick.addEventListener("change", () => { instance.dataset.key = ""; show(); });
    instance.addEventListener("change", show);
    overlayColumn = (target, fileName, title) => {
      prepare();
      const k = choices.findIndex(([key]) => key === target + "\u0000" + fileName + "\u0000" + title);
      if (k < 0) return false;
      box.open = true;
      pick.value = String(k);
      instance.dataset.key = "";
      show();
      box.scrollIntoView();
      return true;
    };
  }
  let overlayColumn = () => false;
  window.kestrelOverlay = (target, fileName, title) => overlayColumn(target, fileName, title);

  // ------------------------------------------------------------- zoom
  // kestrelZoom(from, to): every chart whose iteration overlaps the window
  // (seconds since 1970 UTC) shows that window; the first of them is
  // scrolled to. The same from the address: #zoom=FROM-TO.
  window.kestrelZoom = (from, to) => {
    from = Number(from);
    to = Number(to);
    if (!isFinite(from) || !isFinite(to) || to <= from) return 0;
    let zoomed = 0, first = null;
    clocks.forEach((c) => {
      if (!isFinite(c.from) || c.to < from || c.from > to) return;
      zoomIteration(c, [from, to]);
      zoomed++;
      if (!first && c.holders.length) first = c.holders[0];
    });
    if (first) first.scrollIntoView({ block: "center" });
    return zoomed;
  };
  function zoomFromHash() {
    const m = /^#zoom=(\d+(?:\.\d+)?)-(\d+(?:\.\d+)?)$/.exec(location.hash);
    if (m) window.kestrelZoom(Number(m[1]), Number(m[2]));
  }
  window.addEventListener("hashchange", zoomFromHash);

  renderIndex();
  lap("index");
  buildTimelines();
  lap("timelines");
  buildCharts();
  lap("charts");
  zoomFromHash();
  // Milliseconds since the script started, per step, for the benchmark.
  timings.push("since navigation " + Math.round(performance.now()));
  document.body.dataset.timings = timings.join(", ");
  document.body.dataset.ready = "1";
})();
