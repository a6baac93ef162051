// Collects every script error, refused load and console complaint of the page, so that its
// self-test can report them. Runs before anything else on the page.
(function () {
  "use strict";
  var problems = [];
  window.liftsimProblems = problems;
  window.addEventListener("error", function (e) {
    if (e.message) {
      problems.push("error: " + e.message + (e.filename ? " (" + e.filename + ":" + e.lineno + ")" : ""));
    } else {
      problems.push("error: could not load " + (e.target && e.target.tagName ? e.target.tagName : "a resource"));
    }
  }, true);
  window.addEventListener("unhandledrejection", function (e) {
    problems.push("unhandled rejection: " + String(e.reason));
  });
  document.addEventListener("securitypolicyviolation", function (e) {
    problems.push("refused by the page's policy: " + e.violatedDirective + " " + e.blockedURI);
  });
  ["error", "warn"].forEach(function (level) {
    var original = console[level];
    console[level] = function () {
      problems.push("console." + level + ": " + Array.prototype.map.call(arguments, String).join(" "));
      return original.apply(console, arguments);
    };
  });
})();
