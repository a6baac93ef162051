// Capacity against load height, drawn like the load chart on a truck: at each height a bar as long
// as the heaviest load that stays stable, and a lighter one up to the heaviest that does not tip.
(function () {
  "use strict";
  var L = Liftsim;
  var NOT_BRACKETED = "not bracketed";

  // The capacity plate of a chart drawn across a second parameter (the load centre): capacity
  // against it, one line per load height, the stable capacity solid and the one against tipping
  // dashed.
  function plateView(report, data, rows) {
    var hu = data.height_unit ? " " + data.height_unit : "", au = data.across_unit ? " " + data.across_unit : "";
    var cu = data.capacity_unit ? " " + data.capacity_unit : "";
    var plate = L.el("div", { class: "plate" });
    L.section(report, "Capacity plate", "capacity").appendChild(plate);
    plate.appendChild(L.el("div", { class: "plate-title",
      text: "Rated capacity by " + (data.across_name || "load centre") + ", one line per " + (data.height_name || "height") }));
    var heights = [], xs = [], maxCap = 0;
    rows.forEach(function (r) {
      if (heights.indexOf(r.height) < 0) heights.push(r.height);
      if (L.isNum(r.across) && xs.indexOf(r.across) < 0) xs.push(r.across);
      [r.capacity_stable, r.capacity_no_tip].forEach(function (c) { if (L.isNum(c) && c > maxCap) maxCap = c; });
    });
    heights.sort(function (a, b) { return a - b; });
    xs.sort(function (a, b) { return a - b; });
    maxCap = maxCap > 0 ? maxCap : 1;
    var W = 760, H = 380, left = 70, right = 150, top = 20, bottom = 50;
    var x0 = xs[0], x1 = xs.length > 1 ? xs[xs.length - 1] : xs[0] + 1;
    function px(x) { return left + (x - x0) / (x1 - x0) * (W - left - right); }
    function py(c) { return H - bottom - c / maxCap * (H - top - bottom); }
    var root = L.svg("svg", { class: "load-chart plate-lines", width: W, height: H, viewBox: [0, 0, W, H].join(" "),
      role: "img", "aria-label": "capacity against load centre, a line per height" }, plate);
    L.svg("line", { class: "axis", x1: left, y1: H - bottom, x2: W - right, y2: H - bottom }, root);
    L.svg("line", { class: "axis", x1: left, y1: top, x2: left, y2: H - bottom }, root);
    xs.forEach(function (x) {
      L.svg("text", { class: "height", x: px(x), y: H - bottom + 18, "text-anchor": "middle", text: L.formatNumber(x) }, root);
    });
    L.svg("text", { class: "height", x: (left + W - right) / 2, y: H - 8, "text-anchor": "middle",
      text: (data.across_name || "load centre") + au }, root);
    [0, 0.25, 0.5, 0.75, 1].forEach(function (f) {
      L.svg("text", { class: "height", x: left - 8, y: py(f * maxCap) + 4, "text-anchor": "end",
        text: L.formatNumber(f * maxCap, 4) }, root);
    });
    L.svg("text", { class: "height", x: 10, y: top + 4, text: "kg" }, root);
    var lines = [];
    heights.forEach(function (h, n) {
      var hue = Math.round(n * 300 / Math.max(1, heights.length));
      ["capacity_stable", "capacity_no_tip"].forEach(function (key) {
        var pts = rows.filter(function (r) { return r.height === h && L.isNum(r[key]) && L.isNum(r.across); })
          .sort(function (a, b) { return a.across - b.across; })
          .map(function (r) { return px(r.across) + "," + py(r[key]); });
        if (!pts.length) return;
        lines.push(L.svg("polyline", { class: "plate-line " + key, points: pts.join(" "), fill: "none",
          stroke: "hsl(" + hue + ",65%,40%)", "stroke-width": 2, "stroke-dasharray": key === "capacity_no_tip" ? "5 4" : "" }, root));
      });
      L.svg("text", { class: "value", x: W - right + 10, y: top + 16 * n + 10, style: "fill: hsl(" + hue + ",65%,40%)",
        text: (data.height_name || "height") + " " + L.formatNumber(h) + hu }, root);
    });
    plate.appendChild(L.el("p", { class: "plate-legend", text: "solid: stable; dashed: does not tip over" + (cu ? " (capacity in" + cu + ")" : "") }));
    return { lines: lines, heights: heights };
  }

  function init(data) {
    var report = document.getElementById("report");
    document.title = data.title || document.title;
    var rows = data.rows.slice().sort(function (a, b) { return a.height - b.height || L.num(a.across, 0) - L.num(b.across, 0); });
    var hu = data.height_unit ? " " + data.height_unit : "", cu = data.capacity_unit ? " " + data.capacity_unit : "";
    var drawnAcross = rows.some(function (r) { return L.isNum(r.across); });

    var head = L.el("div", { class: "top" });
    report.appendChild(head);
    L.renderCase(head, data.case, data.case_notes);
    if (drawnAcross) {
      var plateLines = plateView(report, data, rows);
      var tbody = L.el("tbody");
      rows.forEach(function (r) {
        tbody.appendChild(L.el("tr", {}, [
          L.el("td", { class: "num", text: L.formatNumber(r.height) }),
          L.el("td", { class: "num", text: L.formatNumber(r.across) }),
          L.el("td", { class: "num", text: L.formatNumber(r.capacity_stable) }),
          L.el("td", { class: "num", text: L.formatNumber(r.capacity_no_tip) }),
          L.el("td", { text: r.note || "" })
        ]));
      });
      var plateTable = L.el("table", { class: "grid capacity-table" }, [
        L.el("thead", {}, [L.el("tr", {}, [
          L.el("th", { text: (data.height_name || "height") + (hu ? " [" + data.height_unit + "]" : "") }),
          L.el("th", { text: (data.across_name || "") + (data.across_unit ? " [" + data.across_unit + "]" : "") }),
          L.el("th", { text: "capacity, stable" + (cu ? " [" + data.capacity_unit + "]" : "") }),
          L.el("th", { text: "capacity, no tip-over" + (cu ? " [" + data.capacity_unit + "]" : "") }),
          L.el("th", { text: "note" })
        ])]),
        tbody
      ]);
      report.lastChild.appendChild(plateTable);
      return { rows: rows, plate: plateLines, table: plateTable };
    }

    var plate = L.el("div", { class: "plate" });
    L.section(report, "Load chart", "capacity").appendChild(plate);
    plate.appendChild(L.el("div", { class: "plate-title", text: "Rated capacity by load height" }));

    var maxCap = 0, maxH = 0;
    rows.forEach(function (r) {
      [r.capacity_stable, r.capacity_no_tip].forEach(function (c) { if (L.isNum(c) && c > maxCap) maxCap = c; });
      if (L.isNum(r.height) && r.height > maxH) maxH = r.height;
    });
    maxCap = maxCap > 0 ? maxCap : 1;
    maxH = maxH > 0 ? maxH : 1;
    var W = 760, left = 90, right = 290, topPad = 24, rowGap = Math.max(30, Math.min(56, 420 / Math.max(1, rows.length)));
    var H = topPad + rows.length * rowGap + 40;
    var scale = (W - left - right) / maxCap;
    var root = L.svg("svg", { class: "load-chart", width: W, height: H, viewBox: [0, 0, W, H].join(" "), role: "img",
      "aria-label": "capacity against load height" }, plate);
    // The mast on the left, the heights on it, and a bar per height reaching out like a fork.
    L.svg("line", { class: "mast", x1: left - 12, y1: topPad - 12, x2: left - 12, y2: H - 30 }, root);
    var bars = [];
    var marks = [];
    rows.forEach(function (r, n) {
      var y = topPad + (rows.length - 1 - n) * rowGap + rowGap / 2;
      L.svg("text", { class: "height", x: left - 20, y: y + 4, "text-anchor": "end", text: L.formatNumber(r.height) + hu }, root);
      L.svg("line", { class: "tick", x1: left - 16, y1: y, x2: left - 8, y2: y }, root);
      if (L.isNum(r.capacity_no_tip)) {
        bars.push(L.svg("rect", { class: "bar no-tip", x: left, y: y - 9, width: Math.max(1, r.capacity_no_tip * scale),
          height: 18 }, root));
      }
      if (L.isNum(r.capacity_stable)) {
        bars.push(L.svg("rect", { class: "bar stable", x: left, y: y - 6, width: Math.max(1, r.capacity_stable * scale),
          height: 12 }, root));
      }
      var parts = [];
      if (L.isNum(r.capacity_stable)) parts.push(L.formatNumber(r.capacity_stable, 4) + cu);
      if (L.isNum(r.capacity_no_tip)) parts.push("(" + L.formatNumber(r.capacity_no_tip, 4) + cu + ")");
      var reach = Math.max(L.num(r.capacity_stable, 0), L.num(r.capacity_no_tip, 0)) * scale;
      var label = parts.join(" ");
      L.svg("text", { class: "value", x: left + reach + 8, y: y + 4, text: label }, root);
      if (!L.isNum(r.capacity_stable) || !L.isNum(r.capacity_no_tip)) {
        // The note itself is in the table; the chart marks the row and shows it on hover.
        var mark = L.svg("text", { class: "missing", x: left + reach + 8 + (label ? 8 * label.length + 10 : 0),
          y: y + 4, text: "⚠ " + NOT_BRACKETED }, root);
        L.svg("title", { text: r.note || NOT_BRACKETED }, mark);
        marks.push(mark);
      }
    });
    var legend = L.el("p", { class: "plate-legend" });
    legend.appendChild(L.el("span", { class: "swatch stable" }));
    legend.appendChild(document.createTextNode(" stable  "));
    legend.appendChild(L.el("span", { class: "swatch no-tip" }));
    legend.appendChild(document.createTextNode(" (does not tip over)"));
    plate.appendChild(legend);

    // The same as a table.
    var body = L.el("tbody");
    rows.forEach(function (r) {
      var missing = !L.isNum(r.capacity_stable) || !L.isNum(r.capacity_no_tip);
      body.appendChild(L.el("tr", { class: missing ? "missing" : "" }, [
        L.el("td", { class: "num", text: L.formatNumber(r.height) }),
        L.el("td", { class: "num", text: L.formatNumber(r.capacity_stable) }),
        L.el("td", { class: "num", text: L.formatNumber(r.capacity_no_tip) }),
        L.el("td", { text: r.note || (missing ? NOT_BRACKETED : "") })
      ]));
    });
    var table = L.el("table", { class: "grid capacity-table" }, [
      L.el("thead", {}, [L.el("tr", {}, [
        L.el("th", { text: "load height" + (hu ? " [" + data.height_unit + "]" : "") }),
        L.el("th", { text: "capacity, stable" + (cu ? " [" + data.capacity_unit + "]" : "") }),
        L.el("th", { text: "capacity, no tip-over" + (cu ? " [" + data.capacity_unit + "]" : "") }),
        L.el("th", { text: "note" })
      ])]),
      body
    ]);
    report.lastChild.appendChild(table);
    return { rows: rows, bars: bars, marks: marks, table: table };
  }

  function checks(check, page) {
    var trs = page.table.querySelectorAll("tbody tr");
    check("a table row per height", trs.length === page.rows.length, trs.length + " rows for " + page.rows.length);
    if (page.plate) {
      check("a line per height on the plate", page.plate.lines.length >= page.plate.heights.length,
        page.plate.lines.length + " lines for " + page.plate.heights.length + " heights");
      return;
    }
    var found = 0, missing = 0;
    page.rows.forEach(function (r) {
      found += (L.isNum(r.capacity_stable) ? 1 : 0) + (L.isNum(r.capacity_no_tip) ? 1 : 0);
      if (!L.isNum(r.capacity_stable) || !L.isNum(r.capacity_no_tip)) missing += 1;
    });
    check("a bar per capacity found", page.bars.length === found, page.bars.length + " bars for " + found);
    var noted = Array.prototype.filter.call(trs, function (tr) {
      return tr.classList.contains("missing") && tr.lastChild.textContent.length > 0;
    }).length;
    check("every missing capacity has a note", page.marks.length === missing && noted === missing,
      page.marks.length + " marks and " + noted + " notes for " + missing + " rows");
  }

  L.start(init, checks);
})();
