// Shared by the feature pages, so that a test (or a curious user) can drive
// them from the keyboard and read their results:
// - ?focus=<id> focuses that element once the page has loaded, so that Return
//   or Space activates it;
// - show(text) puts a result into the page and its title;
// - report(text) also reloads the page as ?result=<text>, so that the result
//   becomes the title of a finished load, which the shell writes to its log.
var pageParams = new URLSearchParams(location.search);
if (pageParams.get("result") !== null) document.title = pageParams.get("result");

function show(text) {
  document.getElementById("result").textContent = text;
  document.title = text;
}

function report(text) {
  location.replace(location.pathname + "?result=" + encodeURIComponent(text));
}

window.addEventListener("DOMContentLoaded", function () {
  if (pageParams.get("result") !== null) show(pageParams.get("result"));
  var id = pageParams.get("focus");
  if (id && document.getElementById(id)) document.getElementById(id).focus();
});
