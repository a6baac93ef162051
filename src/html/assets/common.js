// Shared by every report page: the embedded data, number formats, the case and summary tables,
// small DOM and SVG helpers, and the self-test that a page runs when its address ends in #selftest.
var Liftsim = (function () {
  "use strict";
  var SVG_NS = "http://www.w3.org/2000/svg";

  var VERDICTS = {
    stable: { label: "stable", colour: "#2e9d4f" },
    wheel_lift: { label: "steered wheels lift", colour: "#e3a008" },
    tip_over: { label: "tips over", colour: "#d7301f" },
    load_slide: { label: "load slides off", colour: "#6a51a3" },
    numerical_failure: { label: "numerical failure", colour: "#737373" }
  };
  var UNKNOWN_VERDICT_COLOUR = "#252525";

  // Summary fields a run reports, with a description and a unit; others are shown as they come.
  var FIELDS = {
    outcome: ["how the run ended", ""],
    model: ["legacy: the moment arms of the stored results; sound: arms from the traction axle", ""],
    error: ["what stopped the run", ""],
    t_end: ["end time asked for", "s"],
    t_reached: ["time reached", "s"],
    restarts: ["integrator restarts", ""],
    derivative_calls: ["derivative evaluations", ""],
    output_points: ["output points", ""],
    F_kp_0: ["static steered-wheel force", "N"],
    F_tp_0: ["static traction-wheel force", "N"],
    min_F_kp: ["least steered-wheel force", "N"],
    t_min_F_kp: ["time of the least steered-wheel force", "s"],
    lift_off_t: ["steered wheels first off the road", "s"],
    lifted_at_end: ["steered wheels off the road at the end", ""],
    tip_t: ["tipping: steered wheels off, the centre of mass ahead of the traction wheels, pitching forward", "s"],
    out_of_model: ["the first quantity outside the model's valid range, and when", ""],
    decided_t: ["when the verdict could no longer change", "s"],
    max_abs_Fi_3: ["largest body pitch, absolute", "rad"],
    t_max_abs_Fi_3: ["time of the largest body pitch", "s"],
    max_abs_Fi_1: ["largest mast angle, absolute", "rad"],
    load_travel: ["load travel along the forks", "m"],
    travel: ["how far the truck moved", "m"],
    legacy_arm_pitch: ["pitch the legacy model's moment arms add by the travel alone", "rad"],
    min_F_13: ["least tilt-cylinder force", "N"],
    max_F_13: ["largest tilt-cylinder force", "N"],
    max_F_12: ["largest lift-cylinder force", "N"],
    parameters: ["parameters changed", ""],
    thresholds: ["limits of the verdict", ""],
    convergence: ["the same case with a tenth of tol and h_max: its verdict and each figure's change", ""],
    "case": ["what was run (also above)", ""]
  };

  function isNum(v) {
    return typeof v === "number" && isFinite(v);
  }

  function num(v, fallback) {
    return isNum(v) ? v : fallback;
  }

  // A number for people: `digits` significant digits (5 by default) or all the integer digits,
  // trailing zeros dropped, exponent form below 0.001 and from 10^9.
  function formatNumber(v, digits) {
    if (!isNum(v)) return v === null || v === undefined ? "—" : String(v);
    if (v === 0) return "0";
    digits = digits || 5;
    var a = Math.abs(v);
    if (a < 1e-3 || a >= 1e9) {
      return v.toExponential(digits - 1).replace(/\.?0+e/, "e");
    }
    var s = v.toPrecision(Math.max(digits, Math.floor(Math.log10(a)) + 1));
    return s.indexOf(".") >= 0 ? s.replace(/\.?0+$/, "") : s;
  }

  function formatValue(v) {
    if (v === null || v === undefined) return "—";
    if (typeof v === "number") return formatNumber(v);
    if (typeof v === "boolean") return v ? "yes" : "no";
    if (typeof v === "object") {
      if (typeof v.message === "string") return (v.code ? v.code + ": " : "") + v.message;
      var keys = Object.keys(v);
      if (!keys.length) return "none";
      return keys.map(function (k) {
        return (Array.isArray(v) ? "" : k + " = ") + formatValue(v[k]);
      }).join(", ");
    }
    return String(v);
  }

  function verdictInfo(verdict) {
    return VERDICTS.hasOwnProperty(verdict)
      ? VERDICTS[verdict]
      : { label: String(verdict), colour: UNKNOWN_VERDICT_COLOUR };
  }

  // el("td", {class: "num", text: "1.5"}, [children]): an HTML element.
  function el(tag, attrs, children) {
    var e = document.createElement(tag);
    setAttrs(e, attrs);
    (children || []).forEach(function (c) {
      e.appendChild(typeof c === "string" ? document.createTextNode(c) : c);
    });
    return e;
  }

  function svg(tag, attrs, parent) {
    var e = document.createElementNS(SVG_NS, tag);
    setAttrs(e, attrs);
    if (parent) parent.appendChild(e);
    return e;
  }

  function setAttrs(e, attrs) {
    Object.keys(attrs || {}).forEach(function (k) {
      if (k === "text") e.textContent = attrs[k];
      else e.setAttribute(k, attrs[k]);
    });
  }

  // A section of the page; its class is also its id, so that page.html#animation opens there.
  function section(parent, heading, className) {
    var s = el("section", { class: className || "", id: className || "" }, [el("h2", { text: heading })]);
    parent.appendChild(s);
    return s;
  }

  function verdictBadge(verdict) {
    var info = verdictInfo(verdict);
    var badge = el("span", { class: "verdict", text: info.label, "data-verdict": String(verdict) });
    badge.style.background = info.colour;
    return badge;
  }

  // The parameters that differ from a default run.
  // The values read from the input and those set, with where each came from, then the notes
  // (model, road, drive, brake), so that a page printed alone still says what it shows.
  function renderCase(parent, params, notes) {
    var s = section(parent, "Case", "case");
    if (!params || !params.length) {
      s.appendChild(el("p", { class: "quiet", text: "Every parameter has its built-in value." }));
    } else {
      var body = el("tbody");
      params.forEach(function (p) {
        body.appendChild(el("tr", {}, [
          el("th", { text: p.name }),
          el("td", { class: "num", text: formatNumber(p.value, 6) }),
          el("td", { class: "unit", text: p.unit || "" }),
          el("td", { class: "quiet", text: p.source || "" })
        ]));
      });
      s.appendChild(el("table", { class: "kv" }, [body]));
    }
    (notes || []).forEach(function (n) { s.appendChild(el("p", { class: "quiet", text: n })); });
    return s;
  }

  // The verdict as a badge, then every other field of the summary.
  function renderSummary(parent, summary) {
    var s = section(parent, "Result", "summary");
    summary = summary || {};
    if (summary.hasOwnProperty("verdict")) s.appendChild(el("p", {}, [verdictBadge(summary.verdict)]));
    // Known fields in their usual order, then the others.
    var order = Object.keys(FIELDS);
    function rank(k) {
      var r = order.indexOf(k);
      return r < 0 ? order.length : r;
    }
    var keys = Object.keys(summary).sort(function (a, b) {
      return rank(a) - rank(b) || (a < b ? -1 : a > b ? 1 : 0);
    });
    var body = el("tbody");
    keys.forEach(function (k) {
      if (k === "verdict" || k === "case") return;  // the badge above, and the Case section
      var field = FIELDS[k] || [k, ""];
      var value = summary[k];
      var unit = typeof value === "number" ? field[1] : "";
      body.appendChild(el("tr", { title: field[0] }, [
        el("th", { text: k }),
        el("td", { class: "num", text: formatValue(value) }),
        el("td", { class: "unit", text: unit }),
        el("td", { class: "quiet", text: field[0] === k ? "" : field[0] })
      ]));
    });
    if (body.children.length) s.appendChild(el("table", { class: "kv" }, [body]));
    return s;
  }

  function showFailure(message) {
    var box = el("pre", { class: "failure", text: "This page could not be drawn: " + message });
    document.getElementById("report").appendChild(box);
  }

  function selfTestRequested() {
    return /(^|&)selftest(&|$)/.test(location.hash.slice(1));
  }

  // Writes the outcome of `checks` into the page as JSON in a script element with the id
  // liftsim-selftest: every check with its result, the facts the checks noted, every problem the
  // guard collected, every resource the page loaded (there should be none) and how long the page
  // took to be ready.
  function runSelfTest(checks, page, readyMs) {
    var problems = window.liftsimProblems || [];
    var result = { ready_ms: readyMs, load_ms: null, checks: [], facts: {}, problems: [], resources: [] };
    function check(name, ok, detail) {
      result.checks.push({ name: name, ok: !!ok, detail: detail === undefined ? "" : String(detail) });
    }
    function fact(name, value) {
      result.facts[name] = value;
    }
    function failed(e) {
      problems.push("self-test: " + (e && e.stack ? e.stack : String(e)));
    }
    function write() {
      var nav = performance.getEntriesByType("navigation")[0];
      if (nav) result.load_ms = nav.loadEventStart;
      result.problems = problems.slice();
      result.resources = performance.getEntriesByType("resource").map(function (r) {
        return r.name;
      });
      var out = document.createElement("script");
      out.type = "application/json";
      out.id = "liftsim-selftest";
      out.textContent = JSON.stringify(result).replace(/</g, "\\u003c");
      document.body.appendChild(out);
    }
    // The checks may wait for microtasks (the plots draw in one) but for nothing slower, so
    // that the result is in the page before anything outside it looks.
    try {
      if (!page) throw new Error("the page did not start");
      Promise.resolve(checks(check, page, fact)).catch(failed).then(write);
    } catch (e) {
      failed(e);
      write();
    }
  }

  // Starts a page: init(data) builds it and returns what its checks need. The page is ready once
  // the plots queued by init have drawn, which happens before any later microtask.
  function start(init, checks) {
    var page = null;
    var readyMs = null;
    try {
      page = init(JSON.parse(document.getElementById("liftsim-data").textContent));
    } catch (e) {
      (window.liftsimProblems || []).push("page: " + (e && e.stack ? e.stack : String(e)));
      showFailure(String(e && e.message ? e.message : e));
    }
    Promise.resolve().then(function () {
      readyMs = performance.now();
    });
    // page.html#only-animation shows that section alone (for a picture of it, a print).
    if (location.hash.indexOf("#only-") === 0) {
      var only = location.hash.slice(6);
      Array.prototype.forEach.call(document.querySelectorAll("section, .top"), function (s) {
        if (s.id !== only && !s.querySelector("#" + only)) s.style.display = "none";
      });
    }
    if (selfTestRequested()) {
      window.addEventListener("load", function () {
        runSelfTest(checks, page, readyMs);
      });
    }
  }

  return {
    VERDICTS: VERDICTS,
    isNum: isNum,
    num: num,
    formatNumber: formatNumber,
    formatValue: formatValue,
    verdictInfo: verdictInfo,
    verdictBadge: verdictBadge,
    el: el,
    svg: svg,
    section: section,
    renderCase: renderCase,
    renderSummary: renderSummary,
    start: start
  };
})();
