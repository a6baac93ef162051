// The tilting-table test: at each load height a bar as long as the forward slope at which the
// braked truck tips over, a mark at the rigid truck's estimate, the required slope as a line, and
// the verdicts of the runs held just below and above the critical slope.
(function () {
  "use strict";
  var L = Liftsim;

  function init(data) {
    var report = document.getElementById("report");
    document.title = data.title || document.title;
    var rows = data.rows.slice().sort(function (a, b) { return a.height - b.height; });
    var hu = data.height_unit ? " " + data.height_unit : "";
    var head = L.el("div", { class: "top" });
    report.appendChild(head);
    L.renderCase(head, data.case, data.case_notes);

    var plate = L.el("div", { class: "plate" });
    L.section(report, "Critical forward slope", "tilt").appendChild(plate);
    plate.appendChild(L.el("div", { class: "plate-title", text: "Slope of the tilted table at which the truck tips, by load height" }));
    var most = L.isNum(data.require) ? data.require : 0;
    rows.forEach(function (r) {
      [r.critical, r.rigid].forEach(function (v) { if (L.isNum(v) && v > most) most = v; });
    });
    most = most > 0 ? most * 1.1 : 1;
    var W = 760, left = 90, right = 220, topPad = 24;
    var gap = Math.max(30, Math.min(56, 420 / Math.max(1, rows.length)));
    var H = topPad + rows.length * gap + 40;
    var scale = (W - left - right) / most;
    var root = L.svg("svg", { class: "load-chart", width: W, height: H, viewBox: [0, 0, W, H].join(" "), role: "img",
      "aria-label": "critical slope against load height" }, plate);
    var bars = [];
    rows.forEach(function (r, n) {
      var y = topPad + (rows.length - 1 - n) * gap + gap / 2;
      L.svg("text", { class: "height", x: left - 20, y: y + 4, "text-anchor": "end", text: L.formatNumber(r.height) + hu }, root);
      if (L.isNum(r.critical)) {
        bars.push(L.svg("rect", { class: "bar " + (r.pass === false ? "no-tip" : "stable"), x: left, y: y - 8,
          width: Math.max(1, r.critical * scale), height: 16 }, root));
      }
      if (L.isNum(r.rigid)) {
        L.svg("line", { class: "tick", x1: left + r.rigid * scale, y1: y - 12, x2: left + r.rigid * scale, y2: y + 12 }, root);
      }
      var label = L.isNum(r.critical) ? L.formatNumber(r.critical, 4) + " %" : (r.note || "—");
      if (r.pass === true) label += "  pass";
      if (r.pass === false) label += "  FAIL";
      L.svg("text", { class: "value", x: left + Math.max(L.num(r.critical, 0), L.num(r.rigid, 0)) * scale + 10, y: y + 4,
        text: label }, root);
    });
    if (L.isNum(data.require)) {
      var x = left + data.require * scale;
      L.svg("line", { class: "mast", x1: x, y1: topPad - 12, x2: x, y2: H - 30 }, root);
      L.svg("text", { class: "height", x: x + 4, y: H - 14, text: "required " + L.formatNumber(data.require) + " %" }, root);
    }
    plate.appendChild(L.el("p", { class: "plate-legend",
      text: "bar: critical slope of the truck on its tyres; tick: the rigid truck's (centre of mass over the wheels' contact)" }));

    var body = L.el("tbody");
    rows.forEach(function (r) {
      body.appendChild(L.el("tr", { class: r.pass === false ? "missing" : "" }, [
        L.el("td", { class: "num", text: L.formatNumber(r.height) }),
        L.el("td", { class: "num", text: L.formatNumber(r.critical) }),
        L.el("td", { class: "num", text: L.formatNumber(r.rigid) }),
        L.el("td", { text: r.below || "" }),
        L.el("td", { text: r.above || "" }),
        L.el("td", { text: r.pass === true ? "yes" : r.pass === false ? "no" : "" }),
        L.el("td", { text: r.note || "" })
      ]));
    });
    var table = L.el("table", { class: "grid capacity-table" }, [
      L.el("thead", {}, [L.el("tr", {}, [
        L.el("th", { text: (data.height_name || "height") + (hu ? " [" + data.height_unit + "]" : "") }),
        L.el("th", { text: "critical slope [%]" }),
        L.el("th", { text: "rigid truck [%]" }),
        L.el("th", { text: "run just below" }),
        L.el("th", { text: "run just above" }),
        L.el("th", { text: "pass" }),
        L.el("th", { text: "note" })
      ])]),
      body
    ]);
    report.lastChild.appendChild(table);
    return { rows: rows, bars: bars, table: table };
  }

  function checks(check, page) {
    var trs = page.table.querySelectorAll("tbody tr");
    check("a table row per height", trs.length === page.rows.length, trs.length + " rows for " + page.rows.length);
    var found = page.rows.filter(function (r) { return L.isNum(r.critical); }).length;
    check("a bar per critical slope found", page.bars.length === found, page.bars.length + " bars for " + found);
  }

  L.start(init, checks);
})();
