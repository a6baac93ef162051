// A parameter sweep: the verdict of each case as a coloured cell over the one or two varied
// parameters; hovering a cell shows that case's summary.
(function () {
  "use strict";
  var L = Liftsim;

  function axisLabel(axis) {
    return axis.name + (axis.unit ? " [" + axis.unit + "]" : "");
  }

  function init(data) {
    var report = document.getElementById("report");
    document.title = data.title || document.title;
    var xAxis = data.x, yAxis = data.y;
    var nx = xAxis.values.length, ny = yAxis ? yAxis.values.length : 1;
    var cases = data.cases;

    var head = L.el("div", { class: "top" });
    report.appendChild(head);
    L.renderCase(head, data.case, data.case_notes);

    // The legend: every verdict the sweep holds, with its count.
    var counts = {};
    cases.forEach(function (c) { counts[c.verdict] = (counts[c.verdict] || 0) + 1; });
    var legendSection = L.section(head, "Verdicts", "legend");
    var legend = L.el("ul", { class: "verdicts" });
    Object.keys(counts).forEach(function (v) {
      legend.appendChild(L.el("li", { "data-verdict": v }, [L.verdictBadge(v), " " + counts[v] + " of " + cases.length]));
    });
    legendSection.appendChild(legend);

    var mapSection = L.section(report, yAxis ? "Stability map" : "Stability strip", "map");
    var cellW = Math.max(14, Math.min(64, Math.floor(900 / Math.max(1, nx))));
    var cellH = yAxis ? Math.max(14, Math.min(48, Math.floor(480 / Math.max(1, ny)))) : 48;
    var left = yAxis ? 90 : 20, topPad = 10, bottomPad = 70;
    var width = left + nx * cellW + 20, height = topPad + ny * cellH + bottomPad;
    var root = L.svg("svg", { class: "sweep", width: width, height: height, viewBox: [0, 0, width, height].join(" "),
      role: "img", "aria-label": "verdict of each case" }, mapSection);

    // Empty cells first, then the cases over them.
    for (var i = 0; i < nx; i++) {
      for (var j = 0; j < ny; j++) {
        L.svg("rect", { class: "empty", x: left + i * cellW, y: topPad + (ny - 1 - j) * cellH, width: cellW, height: cellH }, root);
      }
    }
    var cells = cases.map(function (c, n) {
      var cell = L.svg("rect", { class: "cell", x: left + c.ix * cellW, y: topPad + (ny - 1 - c.iy) * cellH,
        width: cellW, height: cellH, fill: L.verdictInfo(c.verdict).colour, "data-case": n,
        "data-verdict": c.verdict }, root);
      return cell;
    });

    // Axis values: every one when they fit, else every k-th.
    var every = Math.max(1, Math.ceil(40 / cellW));
    xAxis.values.forEach(function (v, n) {
      if (n % every) return;
      var x = left + (n + 0.5) * cellW, y = topPad + ny * cellH + 8;
      L.svg("text", { class: "tick", x: x, y: y, transform: "rotate(45 " + x + " " + y + ")", text: L.formatNumber(v) }, root);
    });
    L.svg("text", { class: "axis-name", x: left + nx * cellW / 2, y: height - 6, "text-anchor": "middle", text: axisLabel(xAxis) }, root);
    if (yAxis) {
      var everyY = Math.max(1, Math.ceil(16 / cellH));
      yAxis.values.forEach(function (v, n) {
        if (n % everyY) return;
        L.svg("text", { class: "tick", x: left - 6, y: topPad + (ny - 1 - n + 0.5) * cellH + 4, "text-anchor": "end",
          text: L.formatNumber(v) }, root);
      });
      var cy = topPad + ny * cellH / 2;
      L.svg("text", { class: "axis-name", x: 14, y: cy, "text-anchor": "middle", transform: "rotate(-90 14 " + cy + ")",
        text: axisLabel(yAxis) }, root);
    }

    // The case under the pointer.
    var tip = L.el("div", { class: "tooltip", role: "status" });
    tip.hidden = true;
    document.body.appendChild(tip);
    function describe(c) {
      var body = L.el("tbody");
      function row(k, v) {
        body.appendChild(L.el("tr", {}, [L.el("th", { text: k }), L.el("td", { class: "num", text: v })]));
      }
      row(axisLabel(xAxis), L.formatNumber(xAxis.values[c.ix], 6));
      if (yAxis) row(axisLabel(yAxis), L.formatNumber(yAxis.values[c.iy], 6));
      Object.keys(c.summary || {}).forEach(function (k) {
        if (k !== "verdict") row(k, L.formatValue(c.summary[k]));
      });
      return [L.el("p", {}, [L.verdictBadge(c.verdict)]), L.el("table", { class: "kv" }, [body])];
    }
    function hover(e) {
      var n = e.target.getAttribute("data-case");
      if (n === null) return;
      tip.replaceChildren.apply(tip, describe(cases[Number(n)]));
      tip.hidden = false;
      var x = (e.pageX || 0) + 14, y = (e.pageY || 0) + 14;
      if (!e.pageX) {
        var r = e.target.getBoundingClientRect();
        x = r.right + window.scrollX + 8;
        y = r.top + window.scrollY;
      }
      tip.style.left = x + "px";
      tip.style.top = y + "px";
    }
    root.addEventListener("mouseover", hover);
    root.addEventListener("mousemove", hover);
    root.addEventListener("mouseleave", function () { tip.hidden = true; });

    return { cases: cases, cells: cells, tip: tip, legend: legend };
  }

  function checks(check, page) {
    check("one cell per case", page.cells.length === page.cases.length &&
      document.querySelectorAll("svg.sweep rect.cell").length === page.cases.length,
      page.cells.length + " cells for " + page.cases.length + " cases");
    var wrong = page.cases.filter(function (c, n) {
      return page.cells[n].getAttribute("fill") !== L.verdictInfo(c.verdict).colour;
    });
    check("cells coloured by verdict", wrong.length === 0, wrong.length + " cells in the wrong colour");
    var verdicts = {};
    page.cases.forEach(function (c) { verdicts[c.verdict] = true; });
    var listed = Array.prototype.map.call(page.legend.children, function (li) { return li.getAttribute("data-verdict"); });
    check("the legend lists every verdict", Object.keys(verdicts).every(function (v) { return listed.indexOf(v) >= 0; }),
      listed.join(", "));
    if (page.cases.length) {
      var n = page.cases.length - 1;
      page.cells[n].dispatchEvent(new MouseEvent("mouseover", { bubbles: true }));
      var text = page.tip.textContent;
      var c = page.cases[n];
      var shows = !page.tip.hidden && text.indexOf(L.verdictInfo(c.verdict).label) >= 0 &&
        Object.keys(c.summary || {}).every(function (k) { return k === "verdict" || text.indexOf(k) >= 0; });
      check("hovering a cell shows its case", shows, text);
      page.cells[n].dispatchEvent(new MouseEvent("mouseleave"));
      page.tip.hidden = true;
    }
  }

  L.start(init, checks);
})();
