// One run: the case and the verdict, the animated side view of the truck, and the time plots of
// every column, grouped, with one cursor and one zoom shared by all plots and by the side view.
(function () {
  "use strict";
  var L = Liftsim;

  var GROUP_ORDER = ["positions", "angles", "velocities", "accelerations", "forces", "engine",
    "observation points"];
  var PALETTE = ["#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2",
    "#17becf", "#7f7f7f", "#bcbd22"];
  var DRAWN = ["X_01.3", "Z_01.3", "Fi_1", "Fi_3", "Z_02", "X_C4"];  // the side view needs these
  var SHOWN = ["X_01.3", "Z_01.3", "Fi_1", "Fi_3", "Z_02", "X_C4", "Fi_tk", "F_kp"];
  var SPEEDS = [0.1, 0.25, 0.5, 1, 2, 5];
  var PLOT_HEIGHT = 220;
  var SYNC_KEY = "liftsim-run";

  // A column's values, decoded from little-endian binary64 or binary32 in base64; values that
  // are not finite become null, which the plots show as gaps.
  function decodeColumn(column, rows) {
    var width = column.type === "f64" ? 8 : 4;
    var bin = atob(column.data);
    if (bin.length !== rows * width) {
      throw new Error("column " + column.name + " holds " + bin.length + " bytes for " + rows + " rows");
    }
    var bytes = new Uint8Array(bin.length);
    for (var k = 0; k < bin.length; k++) bytes[k] = bin.charCodeAt(k);
    var view = new DataView(bytes.buffer);
    var out = new Array(rows);
    for (var i = 0; i < rows; i++) {
      var v = width === 8 ? view.getFloat64(8 * i, true) : view.getFloat32(4 * i, true);
      out[i] = isFinite(v) ? v : null;
    }
    return out;
  }

  // Column indices by group, the groups in their usual order, the others as they come.
  function groupColumns(columns) {
    var byGroup = {};
    var order = [];
    columns.forEach(function (c, j) {
      if (j === 0) return;
      if (!byGroup.hasOwnProperty(c.group)) {
        byGroup[c.group] = [];
        order.push(c.group);
      }
      byGroup[c.group].push(j);
    });
    function rank(g) {
      var r = GROUP_ORDER.indexOf(g);
      return r < 0 ? GROUP_ORDER.length + order.indexOf(g) : r;
    }
    order.sort(function (a, b) { return rank(a) - rank(b); });
    return order.map(function (g) { return { name: g, columns: byGroup[g] }; });
  }

  // The last index whose time is at most `time` (0 before the first).
  function indexAtTime(t, time) {
    var lo = 0, hi = t.length - 1;
    if (hi < 0 || !(time >= t[0])) return 0;
    while (lo < hi) {
      var mid = (lo + hi + 1) >> 1;
      if (t[mid] <= time) lo = mid; else hi = mid - 1;
    }
    return lo;
  }

  // Road height under x: linear between the profile's points, level beyond its ends, 0 without.
  function roadHeight(road, x) {
    if (!road.length) return 0;
    if (x <= road[0][0]) return road[0][1];
    var last = road[road.length - 1];
    if (x >= last[0]) return last[1];
    var lo = 0, hi = road.length - 1;
    while (hi - lo > 1) {
      var mid = (lo + hi) >> 1;
      if (road[mid][0] <= x) lo = mid; else hi = mid;
    }
    var a = road[lo], b = road[hi];
    return a[1] + (b[1] - a[1]) * (x - a[0]) / (b[0] - a[0]);
  }

  // The least and largest value, of the first `count` values when given.
  function minMax(values, count) {
    var lo = Infinity, hi = -Infinity;
    var n = count === undefined ? values.length : Math.min(count, values.length);
    for (var i = 0; i < n; i++) {
      var v = values[i];
      if (v === null) continue;
      if (v < lo) lo = v;
      if (v > hi) hi = v;
    }
    return lo <= hi ? [lo, hi] : [0, 0];
  }

  // SVG transform of a frame turned by `angle` (a positive angle turns +z towards +x) with its
  // origin at (x, z): a point (u, w) of the frame lands at (x + u cos + w sin, z - u sin + w cos).
  function frame(x, z, angle) {
    var c = Math.cos(angle), s = Math.sin(angle);
    return "matrix(" + [c, -s, s, c, x, z].join(" ") + ")";
  }

  // The side view: builds the drawing once and moves its parts for each output point.
  function SideView(parent, data, series) {
    var g = data.truck || {};
    var L_b = L.num(g.L_b, 0.9), R_t = L.num(g.R_t, 0.4), R_k = L.num(g.R_k, 0.4);
    var xh_1 = L.num(g.xh_1, 0.25), zh_1 = L.num(g.zh_1, 0.45);
    var xh_3 = L.num(g.xh_3, -0.25), zh_3 = L.num(g.zh_3, 0.38);
    var x_O2 = L.num(g.x_O2, 0.28), zc_4 = L.num(g.zc_4, 0.5);
    var mastHeight = L.num(g.mast_height, 2.2), forkLength = L.num(g.fork_length, 1.1);
    var loadLength = L.num(g.load_length, 1.0), bodyHeight = L.num(g.body_height, 1.1);
    var loadHeight = zc_4 > 0 ? 2 * zc_4 : 0.5;
    var obs = (g.observation_points || []).filter(function (p) {
      return L.isNum(p[0]) && L.isNum(p[1]);
    });
    var road = data.road || [];
    var X = series["X_01.3"], Z = series["Z_01.3"], Fi1 = series["Fi_1"], Fi3 = series["Fi_3"];
    var Z02 = series["Z_02"], XC4 = series["X_C4"];
    var Fitk = series["Fi_tk"] || null, Fkp = series["F_kp"] || null;

    // The view frames the rows up to the decision of the verdict (a certain tip-over, the state
    // leaving the model): what comes after is not a result and may fly off anywhere.
    var decided = data.summary && L.isNum(data.summary.decided_t) ? data.summary.decided_t : Infinity;
    var shown = 0;
    while (shown < series.t.length && !(series.t[shown] > decided)) shown++;
    if (shown === 0) shown = series.t.length;

    // Extents of the body (its frame) and of everything on the mast (the mast's frame).
    var rear = Math.min(-L_b - R_k - 0.25, Math.min.apply(null, obs.map(function (p) { return p[0]; }).concat([0])) - 0.2);
    var roof = Math.max(bodyHeight + 0.9, Math.max.apply(null, obs.map(function (p) { return p[1]; }).concat([0])) + 0.05);
    var xc4Range = minMax(XC4, shown), z02Range = minMax(Z02, shown), xRange = minMax(X, shown);
    var zRange = minMax(Z, shown);
    var front = Math.max(x_O2 + forkLength, x_O2 + xc4Range[1] + loadLength / 2) + 0.3;
    var innerLift = Math.max(0, z02Range[1] + 0.7 - mastHeight);
    var top = Math.max(mastHeight + innerLift, z02Range[1] + loadHeight, roof) + zRange[1] + 0.3;
    var bottom = Math.min(-0.35, zRange[0] - Math.max(R_t, R_k) - 0.2);
    var span = front - rear;
    var follow = xRange[1] - xRange[0] > 2 * span;  // a long drive: the view follows the truck
    var viewX0 = xRange[0] + rear - 0.3;
    var viewWidth = follow ? span + 2.5 : xRange[1] - xRange[0] + span + 0.6;

    var box = L.el("div", { class: "side-view" });
    parent.appendChild(box);
    var root = L.svg("svg", { class: "truck", preserveAspectRatio: "xMidYMid meet", role: "img",
      "aria-label": "side view of the truck" }, box);
    var world = L.svg("g", { transform: "scale(1 -1)" }, root);

    // The road: a ground fill, the surface, and marks every half metre so that motion shows.
    var roadGroup = L.svg("g", { class: "road" }, world);
    // Far enough beyond the truck's path to fill any width the view is stretched to.
    var margin = 3 * viewWidth + 5;
    var roadFrom = xRange[0] + rear - margin, roadTo = xRange[1] + front + margin;
    var surface = [];
    var xs = [roadFrom];
    road.forEach(function (p) { if (p[0] > roadFrom && p[0] < roadTo) xs.push(p[0]); });
    xs.push(roadTo);
    xs.forEach(function (x) { surface.push(x + "," + roadHeight(road, x)); });
    L.svg("polygon", { class: "ground", points: surface.join(" ") + " " + roadTo + "," + (bottom - 1) +
      " " + roadFrom + "," + (bottom - 1) }, roadGroup);
    L.svg("polyline", { class: "surface", points: surface.join(" ") }, roadGroup);
    for (var m = Math.ceil(roadFrom * 2) / 2; m <= roadTo; m += 0.5) {
      var h = roadHeight(road, m);
      L.svg("line", { class: "mark", x1: m, y1: h, x2: m, y2: h - (Math.round(m * 2) % 2 ? 0.05 : 0.12) }, roadGroup);
    }

    // The body in its own frame, with the steered wheel at its axle.
    var body = L.svg("g", { class: "body" }, world);
    var bh = bodyHeight;
    L.svg("polygon", { class: "shell", points: [[rear, -0.12], [0.3, -0.12], [0.3, 0.45], [-0.15, 0.5],
      [-0.3, 0.78 * bh], [rear + 0.6, 0.78 * bh], [rear + 0.5, bh], [rear, bh]].join(" ") }, body);
    L.svg("rect", { class: "counterweight", x: rear, y: 0.1, width: 0.45, height: bh - 0.1 }, body);
    L.svg("polyline", { class: "guard", points: [[rear + 0.55, 0.78 * bh], [rear + 0.45, roof], [0.02, roof],
      [-0.08, 0.55]].join(" ") }, body);
    var steered = L.svg("g", { class: "wheel steered", transform: "translate(" + -L_b + " 0)" }, body);
    L.svg("circle", { class: "tyre", r: R_k }, steered);
    L.svg("circle", { class: "rim", r: 0.55 * R_k }, steered);
    obs.forEach(function (p, n) {
      L.svg("circle", { class: "observation", cx: p[0], cy: p[1], r: 0.035 }, body);
      L.svg("title", { text: "observation point " + (n + 1) }, body.lastChild);
    });

    // The tilt cylinder: the rod reaches the mast, the barrel sits on the body.
    var rod = L.svg("line", { class: "tilt-rod" }, world);
    var barrel = L.svg("line", { class: "tilt-barrel" }, world);

    // The mast in its frame; the carriage moves along it, the load along the forks.
    var mast = L.svg("g", { class: "mast" }, world);
    L.svg("rect", { class: "rail", x: 0.06, y: -0.1, width: 0.14, height: mastHeight + 0.1 }, mast);
    var inner = L.svg("rect", { class: "rail inner", x: 0.09, y: -0.1, width: 0.08, height: mastHeight + 0.1 }, mast);
    L.svg("line", { class: "bracket", x1: 0.2, y1: zh_1, x2: xh_1, y2: zh_1 }, mast);
    L.svg("circle", { class: "pin", cx: xh_1, cy: zh_1, r: 0.03 }, mast);
    var carriage = L.svg("g", { class: "carriage" }, mast);
    L.svg("rect", { class: "plate", x: x_O2 - 0.07, y: -0.05, width: 0.07, height: 0.7 }, carriage);
    L.svg("polygon", { class: "fork", points: [[x_O2, 0.65], [x_O2 + 0.05, 0.65], [x_O2 + 0.05, 0.0],
      [x_O2 + forkLength, 0.0], [x_O2 + forkLength, -0.02], [x_O2 + 0.05, -0.05], [x_O2, -0.05]].join(" ") }, carriage);
    var load = L.svg("g", { class: "load" }, carriage);
    var loadBox = L.svg("rect", { class: "box", y: 0, width: loadLength, height: loadHeight }, load);
    var loadCentre = L.svg("circle", { class: "centre", cy: zc_4 > 0 ? zc_4 : loadHeight / 2, r: 0.04 }, load);

    // The traction wheel at the axle point; its spokes turn with the wheel shaft.
    var traction = L.svg("g", { class: "wheel traction" }, world);
    L.svg("circle", { class: "tyre", r: R_t }, traction);
    L.svg("circle", { class: "rim", r: 0.55 * R_t }, traction);
    var spokes = L.svg("g", { class: "spokes" }, traction);
    for (var k = 0; k < 3; k++) {
      var a = k * Math.PI / 3;
      L.svg("line", { x1: -0.5 * R_t * Math.cos(a), y1: -0.5 * R_t * Math.sin(a),
        x2: 0.5 * R_t * Math.cos(a), y2: 0.5 * R_t * Math.sin(a) }, spokes);
    }
    L.svg("circle", { class: "hub", r: 0.04 }, traction);

    // The direction of travel: +x, towards the forks, is forward; an arrow in the view's top left
    // corner says so, and turns round while the truck moves backwards.
    var VX = series["VX_01.3"] || null;
    var travel = L.svg("g", { class: "travel" }, root);
    var arrow = L.svg("polygon", { class: "travel-arrow", points: "0,-0.04 0.42,-0.04 0.42,-0.1 0.6,0 " +
      "0.42,0.1 0.42,0.04 0,0.04" }, travel);
    var travelText = L.svg("text", { class: "travel-text", x: 0, y: 0.3, "font-size": 0.16 }, travel);
    travelText.textContent = "forward: towards the forks";

    var note = L.el("p", { class: "quiet view-note" });
    box.appendChild(note);

    function setView(xTruck) {
      var x0 = follow ? xTruck + (rear + front) / 2 - viewWidth / 2 : viewX0;
      root.setAttribute("viewBox", [x0, -top, viewWidth, top - bottom].join(" "));
      travel.setAttribute("transform", "translate(" + (x0 + 0.25) + " " + (-top + 0.25) + ")");
    }

    // The arrow points the way the truck goes (forward while it stands), the text says how fast.
    function showTravel(i) {
      var v = VX && VX[i] !== null ? VX[i] : 0;
      var backwards = v < -1e-3;
      arrow.setAttribute("transform", backwards ? "translate(0.6 0) scale(-1 1)" : "");
      travelText.textContent = Math.abs(v) <= 1e-3 ? "forward: towards the forks (standing)" :
        (backwards ? "moving backwards, " : "moving forward, ") + L.formatNumber(Math.abs(v), 3) + " m/s";
    }

    // For each point, the last point up to it whose drawn coordinates are all finite (-1: none).
    var finiteUpTo = new Int32Array(X.length);
    for (var r = 0, last = -1; r < X.length; r++) {
      if (X[r] !== null && Z[r] !== null && Fi1[r] !== null && Fi3[r] !== null && Z02[r] !== null &&
        XC4[r] !== null) last = r;
      finiteUpTo[r] = last;
    }

    // Draws output point i, or the last one before it whose state is finite, and says so.
    this.draw = function (row) {
      var i = finiteUpTo[row];
      if (i < 0) {
        note.textContent = "The state is not finite up to this point; nothing to draw.";
        return;
      }
      note.textContent = i !== row ? "The state at this point is not finite; the drawing shows t = " +
        L.formatNumber(series.t[i], 6) + " s." : follow ? "The view follows the truck." : "";
      var x = X[i], z = Z[i], f1 = Fi1[i], f3 = Fi3[i], z02 = Z02[i], xc4 = XC4[i];
      setView(x);
      showTravel(i);
      body.setAttribute("transform", frame(x, z, f3));
      mast.setAttribute("transform", frame(x, z, f1));
      carriage.setAttribute("transform", "translate(0 " + z02 + ")");
      inner.setAttribute("transform", "translate(0 " + Math.max(0, z02 + 0.7 - mastHeight) + ")");
      loadBox.setAttribute("x", x_O2 + xc4 - loadLength / 2);
      loadCentre.setAttribute("cx", x_O2 + xc4);
      traction.setAttribute("transform", "translate(" + x + " " + z + ")");
      if (Fitk && Fitk[i] !== null) spokes.setAttribute("transform", frame(0, 0, Fitk[i]));
      var c1 = Math.cos(f1), s1 = Math.sin(f1), c3 = Math.cos(f3), s3 = Math.sin(f3);
      var mx = x + xh_1 * c1 + zh_1 * s1, mz = z - xh_1 * s1 + zh_1 * c1;
      var bx = x + xh_3 * c3 + zh_3 * s3, bz = z - xh_3 * s3 + zh_3 * c3;
      rod.setAttribute("x1", bx); rod.setAttribute("y1", bz);
      rod.setAttribute("x2", mx); rod.setAttribute("y2", mz);
      barrel.setAttribute("x1", bx); barrel.setAttribute("y1", bz);
      barrel.setAttribute("x2", bx + 0.6 * (mx - bx)); barrel.setAttribute("y2", bz + 0.6 * (mz - bz));
      steered.classList.toggle("lifted", Fkp !== null && Fkp[i] === 0);
    };

    this.parts = { root: root, body: body, mast: mast, load: loadBox, steered: steered };
  }

  // Time plots: one per group, one y scale per unit within a group (axes for the first two).
  function makePlots(parent, columns, values, t, hooks) {
    var plots = [];
    groupColumns(columns).forEach(function (group) {
      var s = L.el("div", { class: "plot" });
      parent.appendChild(s);
      var scales = { x: { time: false } };
      var units = [];
      var series = [{ label: "t", value: function (u, v) { return v === null ? "—" : L.formatNumber(v, 6) + " s"; } }];
      group.columns.forEach(function (j, n) {
        var c = columns[j];
        var key = "unit:" + c.unit;
        if (!scales.hasOwnProperty(key)) {
          scales[key] = { auto: true };
          units.push({ key: key, unit: c.unit });
        }
        series.push({
          label: c.name + (c.unit ? " [" + c.unit + "]" : ""),
          scale: key,
          stroke: PALETTE[n % PALETTE.length],
          width: 1.25,
          value: function (u, v) { return L.formatNumber(v); }
        });
      });
      var axes = [{ label: "t [s]" }];
      units.slice(0, 2).forEach(function (u, n) {
        axes.push({ scale: u.key, side: n === 0 ? 3 : 1, label: u.unit || "–", size: 64,
          grid: { show: n === 0 } });
      });
      var data = [t].concat(group.columns.map(function (j) { return values[j]; }));
      var plot = new uPlot({
        title: group.name,
        width: Math.max(320, s.clientWidth),
        height: PLOT_HEIGHT,
        scales: scales,
        series: series,
        axes: axes,
        legend: { live: true },
        cursor: { y: false, sync: { key: SYNC_KEY }, drag: { x: true, y: false } },
        hooks: { setCursor: [hooks.setCursor], setScale: [hooks.setScale] }
      }, data, s);
      group.columns.forEach(function (j, n) {
        var item = plot.root.querySelectorAll(".u-legend .u-series")[n + 1];
        if (item && columns[j].meaning) item.title = columns[j].meaning;
      });
      plots.push(plot);
    });
    return plots;
  }

  function init(data) {
    var report = document.getElementById("report");
    document.title = data.title || document.title;
    var rows = data.rows;
    var columns = data.columns;
    var started = performance.now();
    var values = columns.map(function (c) { return decodeColumn(c, rows); });
    var decoded = performance.now();
    var t = values[0];
    var series = {};
    columns.forEach(function (c, j) { series[c.name] = values[j]; });

    var head = L.el("div", { class: "top" });
    report.appendChild(head);
    L.renderCase(head, data.case, data.case_notes);
    L.renderSummary(head, data.summary);

    // A page carries a bounded number of rows; beyond it, a view that keeps every extreme.
    var total = L.num(data.rows_total, rows);
    var sampled = null;
    if (total > rows) {
      sampled = L.el("p", { class: "note downsampled", text: "Downsampled view: the plots and the " +
        "side view show " + rows.toLocaleString("en") + " of the run's " + total.toLocaleString("en") +
        " rows. Over each of " + L.num(data.slices, 0).toLocaleString("en") + " equal time slices " +
        "they show its first and last row and the rows holding each column's least and greatest " +
        "value, so no peak is lost. " + (typeof data.csv === "string"
          ? "Every row is in the CSV file " + data.csv + "."
          : "To have every row, write the CSV with --csv FILE.") });
      report.appendChild(sampled);
    }

    var viewSection = L.section(report, "Side view", "animation");
    var missing = DRAWN.filter(function (n) { return !series.hasOwnProperty(n); });
    var view = null;
    if (rows === 0) {
      viewSection.appendChild(L.el("p", { class: "quiet", text: "The run has no output points." }));
    } else if (missing.length) {
      viewSection.appendChild(L.el("p", { class: "quiet",
        text: "No side view: the output lacks the column(s) " + missing.join(", ") + "." }));
    } else {
      view = new SideView(viewSection, data, series);
    }

    // Controls: play and pause, speed, the time slider, and the drawn state.
    var controls = L.el("div", { class: "controls" });
    var play = L.el("button", { type: "button", class: "play", text: "Play" });
    var speed = L.el("select", { class: "speed", title: "playback speed" });
    SPEEDS.forEach(function (v) {
      speed.appendChild(L.el("option", { value: String(v), text: v + "×" }));
    });
    speed.value = "1";
    var slider = L.el("input", { type: "range", class: "time", min: "0", max: String(Math.max(0, rows - 1)),
      step: "1", value: "0", "aria-label": "time" });
    var clock = L.el("span", { class: "clock" });
    controls.appendChild(play);
    controls.appendChild(speed);
    controls.appendChild(slider);
    controls.appendChild(clock);
    viewSection.appendChild(controls);
    // The drawn state in numbers.
    var readout = L.el("div", { class: "readout" });
    var cells = {};
    var shown = SHOWN.filter(function (n) { return series.hasOwnProperty(n); });
    shown.forEach(function (n) {
      var c = columns[columns.findIndex(function (col) { return col.name === n; })];
      cells[n] = L.el("span", { class: "num" });
      readout.appendChild(L.el("span", { class: "chip", title: c.meaning || "" }, [
        L.el("b", { text: n }), " ", cells[n], " ", L.el("span", { class: "unit", text: c.unit })]));
    });
    viewSection.appendChild(readout);

    var plotSection = L.section(report, "Time histories", "plots");
    plotSection.appendChild(L.el("p", { class: "quiet", text: "Drag across a plot to zoom all plots, " +
      "double-click to zoom out; the cursor moves the side view. Click a legend entry to hide its curve." }));

    var index = 0;
    var fromSlider = false;
    var zooming = false;
    var plots = [];
    // Only a cursor the pointer moves drives the side view; the plots also move their cursors
    // when they first draw or resize.
    var pointerIn = null;
    var hooks = {
      setCursor: function (u) {
        if (fromSlider || u !== pointerIn || u.cursor.idx === null || u.cursor.idx === undefined) return;
        show(u.cursor.idx, "plot");
      },
      setScale: function (u, key) {
        if (key !== "x" || zooming) return;
        zooming = true;
        var min = u.scales.x.min, max = u.scales.x.max;
        plots.forEach(function (p) {
          if (p !== u && (p.scales.x.min !== min || p.scales.x.max !== max)) {
            p.batch(function () { p.setScale("x", { min: min, max: max }); });
          }
        });
        zooming = false;
      }
    };
    var beforePlots = performance.now();
    plots = rows > 0 ? makePlots(plotSection, columns, values, t, hooks) : [];
    var afterPlots = performance.now();
    plots.forEach(function (p) {
      p.over.addEventListener("mouseenter", function () { pointerIn = p; });
      p.over.addEventListener("mouseleave", function () { if (pointerIn === p) pointerIn = null; });
    });

    function moveCursors(i) {
      fromSlider = true;
      plots.forEach(function (p) {
        p.setCursor({ left: p.valToPos(t[i], "x"), top: Math.max(1, p.cursor.top > 0 ? p.cursor.top : PLOT_HEIGHT / 4) });
      });
      fromSlider = false;
    }

    // Shows output point i everywhere but at its source.
    function show(i, source) {
      if (rows === 0) return;
      index = Math.max(0, Math.min(rows - 1, i));
      if (view) view.draw(index);
      if (source !== "slider") slider.value = String(index);
      // At the start the plots have not drawn yet; they do in a microtask queued before this one.
      if (source === "init") Promise.resolve().then(function () { moveCursors(index); });
      else if (source !== "plot") moveCursors(index);
      clock.textContent = "t = " + L.formatNumber(t[index], 6) + " s";
      shown.forEach(function (n) {
        var v = series[n][index];
        cells[n].textContent = L.formatNumber(v) + (n === "F_kp" && v === 0 ? " (lifted)" : "");
      });
    }

    // Playback in real time times the chosen speed.
    var playing = false;
    var simTime = 0;
    var lastStamp = null;
    function advance(seconds) {
      simTime += seconds * Number(speed.value);
      if (simTime >= t[rows - 1]) {
        simTime = t[rows - 1];
        pause();
      }
      show(indexAtTime(t, simTime), "play");
    }
    function tick(stamp) {
      if (!playing) return;
      if (lastStamp !== null) advance((stamp - lastStamp) / 1000);
      lastStamp = stamp;
      if (playing) requestAnimationFrame(tick);
    }
    function start() {
      if (rows === 0 || playing) return;
      if (index >= rows - 1) show(0, "play");
      simTime = t[index];
      playing = true;
      lastStamp = null;
      play.textContent = "Pause";
      requestAnimationFrame(tick);
    }
    function pause() {
      playing = false;
      play.textContent = "Play";
    }
    play.addEventListener("click", function () { if (playing) pause(); else start(); });
    slider.addEventListener("input", function () {
      pause();
      show(Number(slider.value), "slider");
    });

    var resizing = null;
    window.addEventListener("resize", function () {
      clearTimeout(resizing);
      resizing = setTimeout(function () {
        plots.forEach(function (p) {
          p.setSize({ width: Math.max(320, p.root.parentNode.clientWidth), height: PLOT_HEIGHT });
        });
      }, 100);
    });

    // An address ending in #t=7.5 opens at that time.
    var wanted = /(?:^|&)t=([^&]*)/.exec(location.hash.slice(1));
    show(wanted && isFinite(Number(wanted[1])) ? indexAtTime(t, Number(wanted[1])) : 0, "init");
    return {
      // Where the opening time goes, in ms (the plots draw after this, in a microtask).
      timings: { start: started, decode: decoded - started, layout: beforePlots - decoded,
        plots: afterPlots - beforePlots },
      rows: rows, total: total, sampled: sampled,
      t: t, series: series, plots: plots, view: view, slider: slider, groups: groupColumns(columns),
      index: function () { return index; }, advance: advance, start: start, pause: pause,
      isPlaying: function () { return playing; }
    };
  }

  function rect(e) {
    var r = e.getBoundingClientRect();
    return [r.left, r.top, r.width, r.height].map(function (v) { return Math.round(v * 10) / 10; });
  }

  async function checks(check, page, fact) {
    var rows = page.rows, t = page.t, plots = page.plots;
    if (rows === 0) {
      check("a run without output points has no plots and no side view", plots.length === 0 && !page.view);
      return;
    }
    check("one plot per group", plots.length === page.groups.length && plots.length > 0,
      plots.length + " plots for " + page.groups.length + " groups");
    var counts = plots.map(function (p) {
      return p.data.map(function (d) { return d.length; });
    });
    fact("rows", rows);
    fact("rows_total", page.total);
    if (page.total > rows) {
      check("the page says it shows a downsampled view", page.sampled !== null &&
        page.sampled.textContent.indexOf(page.total.toLocaleString("en")) >= 0,
        page.sampled ? page.sampled.textContent : "no note");
    }
    fact("timings", page.timings);
    fact("points", counts);
    check("every plotted series has every row", counts.every(function (c) {
      return c.every(function (n) { return n === rows; });
    }), "rows " + rows + ", points per series " + JSON.stringify(counts));
    check("plots are drawn", plots.every(function (p) {
      var c = p.root.querySelector("canvas");
      return c && c.width > 0 && c.height > 0;
    }));

    function slide(i) {
      page.slider.value = String(i);
      page.slider.dispatchEvent(new Event("input"));
    }
    if (page.view) {
      var parts = page.view.parts;
      slide(0);
      var first = { load: rect(parts.load), mast: parts.mast.getAttribute("transform"), body: rect(parts.body) };
      slide(rows - 1);
      var last = { load: rect(parts.load), mast: parts.mast.getAttribute("transform"), body: rect(parts.body) };
      var moved = first.load.some(function (v, n) { return Math.abs(v - last.load[n]) >= 1; });
      check("the slider moves the drawn truck", moved && first.mast !== last.mast,
        JSON.stringify({ first: first, last: last }));
    }

    var mid = Math.floor(rows / 2);
    slide(mid);
    check("the slider moves every plot's cursor", plots.every(function (p) {
      return Math.abs(p.cursor.left - p.valToPos(t[mid], "x")) < 1;
    }), plots.map(function (p) { return p.cursor.left + " for " + p.valToPos(t[mid], "x"); }).join(", "));

    // The pointer over one plot: every plot's cursor and the slider follow.
    var target = Math.floor(rows / 4);
    var p0 = plots[0];
    var box = p0.over.getBoundingClientRect();
    var at = { clientX: box.left + p0.valToPos(t[target], "x"), clientY: box.top + 10, bubbles: true };
    p0.over.dispatchEvent(new MouseEvent("mouseenter", at));
    p0.over.dispatchEvent(new MouseEvent("mousemove", at));
    await Promise.resolve();
    var perPixel = (t[rows - 1] - t[0]) / box.width;
    var reached = t[Number(page.slider.value)];
    check("a plot's cursor moves the slider", Math.abs(reached - t[target]) <= 2 * perPixel,
      "pointer at t = " + t[target] + ", slider at t = " + reached);
    var times = plots.map(function (p) { return p.cursor.idx === null ? null : t[p.cursor.idx]; });
    check("one cursor for all plots", times.every(function (v) {
      return v !== null && Math.abs(v - t[target]) <= 2 * perPixel;
    }), "pointer at t = " + t[target] + ", cursors at " + times.join(", "));
    p0.over.dispatchEvent(new MouseEvent("mouseleave", at));

    var a = t[Math.floor(rows / 3)], b = t[Math.floor(2 * rows / 3)];
    p0.batch(function () { p0.setScale("x", { min: a, max: b }); });
    await Promise.resolve();
    check("zoom is shared", plots.every(function (p) { return p.scales.x.min === a && p.scales.x.max === b; }),
      plots.map(function (p) { return p.scales.x.min + ".." + p.scales.x.max; }).join(", "));
    p0.batch(function () { p0.setScale("x", { min: t[0], max: t[rows - 1] }); });

    var Fkp = page.series["F_kp"];
    if (page.view && Fkp) {
      var lifted = Fkp.indexOf(0);
      var onRoad = Fkp.findIndex(function (v) { return v !== null && v > 0; });
      var steered = page.view.parts.steered;
      var ok = true, detail = [];
      if (lifted >= 0) {
        slide(lifted);
        ok = ok && steered.classList.contains("lifted");
        detail.push("F_kp = 0 at row " + lifted + ": " + steered.getAttribute("class"));
      }
      if (onRoad >= 0) {
        slide(onRoad);
        ok = ok && !steered.classList.contains("lifted");
        detail.push("F_kp > 0 at row " + onRoad + ": " + steered.getAttribute("class"));
      }
      check(lifted >= 0 ? "steered wheels marked while lifted" : "steered wheels not marked on the road",
        ok, detail.join("; "));
    }

    slide(0);
    page.start();
    page.advance(0.5);
    var now = page.index();
    check("playback advances in time", page.isPlaying() && now > 0 && t[now] <= t[0] + 0.5 + 1e-9 &&
      (now === rows - 1 || t[now + 1] > t[0] + 0.5 - 1e-9), "after 0.5 s at 1×: row " + now + ", t = " + t[now]);
    page.pause();
    slide(0);
  }

  L.start(init, checks);
})();
