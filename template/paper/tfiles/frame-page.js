/* For content pages shown in the site's frameset: tells the frameset which
 * page this is, so that the tree menu follows links inside the pages. A page
 * opened from file:// cannot be looked into from another frame, but a
 * message still gets through. Does nothing for a page opened on its own.
 */
(function () {
  "use strict";
  if (window.parent === window) return;

  function report() {
    var path = location.pathname;
    var name = path.slice(path.lastIndexOf("/") + 1);
    try {
      name = decodeURIComponent(name);
    } catch (e) {
      return;
    }
    window.parent.postMessage({ tessarine: "page", file: name }, "*");
  }

  report();
  /* A page brought back from the back-forward cache runs no script again. */
  window.addEventListener("pageshow", function (event) {
    if (event.persisted) report();
  });
})();
