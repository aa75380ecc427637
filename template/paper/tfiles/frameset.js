/* The site's home page: a top frame, the tree menu on the left and the page
 * frame, with a splitter between the menu and the page.
 *
 * Keeping the menu on the page the main frame shows: a page opened from
 * file:// cannot look into another frame's document, so the frame's address
 * cannot be read there. Content pages that load tfiles/frame-page.js report
 * their own file name by message; served over http(s) the address is also
 * read directly when the frame loads. Either way the name is passed on to the
 * menu frame. The home page's address keeps the shown page after "#", so a
 * page can be bookmarked or linked as default.htm#guide.2.htm.
 *
 * On a phone-width screen the menu frame slides over the page behind the menu
 * button and closes again when a page is chosen in it; the search button
 * opens it with the search box in focus (shown once the menu frame has found
 * the site's search index).
 */
(function () {
  "use strict";

  var kMinLeft = 160;
  var kStep = 16;
  var kWidthKey = "tessarine.leftWidth";

  var root = document.documentElement;
  var main = document.querySelector("iframe[name='tessarine_main']");
  var left = document.querySelector("iframe[name='tessarine_left']");
  var splitter = document.querySelector(".tessarine_splitter");
  if (!main || !left) return;

  /* The last piece of a page's address, decoded; "" for anything that is not
     a plain file name of the site (about:blank, another site). */
  function fileOf(address) {
    var path = String(address || "").split(/[?#]/)[0];
    var name = path.slice(path.lastIndexOf("/") + 1);
    try {
      name = decodeURIComponent(name);
    } catch (e) {
      return "";
    }
    return isPageName(name) ? name : "";
  }

  function isPageName(name) {
    return /^[^\/\\:?#]+$/.test(name) && name !== "." && name !== "..";
  }

  var current = fileOf(main.getAttribute("src"));

  function tellMenu() {
    if (current && left.contentWindow) {
      left.contentWindow.postMessage({ tessarine: "page", file: current }, "*");
    }
  }

  function remember() {
    try {
      history.replaceState(null, "", "#" + encodeURIComponent(current));
    } catch (e) {
      /* some browsers refuse it for file:// pages: the address stays */
    }
  }

  function shown(file, fromMenu) {
    if (!isPageName(file) || file === current) return;
    current = file;
    if (!fromMenu) tellMenu();
    remember();
  }

  window.addEventListener("message", function (event) {
    var data = event.data;
    if (!data || typeof data.tessarine !== "string") return;
    if (event.source === main.contentWindow && data.tessarine === "page") {
      shown(String(data.file), false);
    } else if (event.source === left.contentWindow) {
      if (data.tessarine === "ready") tellMenu();
      else if (data.tessarine === "searchable") document.body.classList.add("tessarine_searchable");
      else if (data.tessarine === "page") shown(String(data.file), true);
      if (data.tessarine === "page" || data.tessarine === "chosen") setMenuOpen(false);
    }
  });

  main.addEventListener("load", function () {
    var address = "";
    try {
      address = main.contentWindow.location.href;
    } catch (e) {
      return; /* another origin (file://): the page reports itself */
    }
    var file = fileOf(address);
    if (file) shown(file, false);
  });

  /* default.htm#page opens that page instead of the first home page, and so
     does a page name typed after "#" later. */
  function openWanted() {
    var wanted = "";
    try {
      wanted = decodeURIComponent(location.hash.slice(1));
    } catch (e) {
      return;
    }
    if (!isPageName(wanted) || wanted === current) return;
    current = wanted;
    main.setAttribute("src", "./" + encodeURIComponent(wanted));
    tellMenu();
  }
  openWanted();
  window.addEventListener("hashchange", openWanted);

  /* The phone layout's buttons. */
  var menuButton = document.querySelector(".tessarine_menu_button");
  var searchButton = document.querySelector(".tessarine_search_button");
  var scrim = document.querySelector(".tessarine_scrim");

  function setMenuOpen(open) {
    document.body.classList.toggle("tessarine_menu_open", open);
    if (menuButton) menuButton.setAttribute("aria-expanded", open ? "true" : "false");
  }

  if (menuButton) {
    menuButton.addEventListener("click", function () {
      var open = !document.body.classList.contains("tessarine_menu_open");
      setMenuOpen(open);
      if (open) left.focus();
    });
  }
  if (searchButton) {
    searchButton.addEventListener("click", function () {
      setMenuOpen(true);
      left.focus();
      if (left.contentWindow) left.contentWindow.postMessage({ tessarine: "search" }, "*");
    });
  }
  if (scrim) scrim.addEventListener("click", function () {
    setMenuOpen(false);
  });
  document.addEventListener("keydown", function (event) {
    if (event.key === "Escape") setMenuOpen(false);
  });

  /* The splitter: drag, arrow keys, double-click or Enter to hide the menu. */
  if (!splitter) return;

  function maxLeft() {
    return Math.max(kMinLeft, Math.floor(window.innerWidth * 0.6));
  }

  function setLeftWidth(px, store) {
    var width = Math.round(Math.min(Math.max(px, kMinLeft), maxLeft()));
    root.style.setProperty("--tessarine-left", width + "px");
    splitter.setAttribute("aria-valuenow", String(width));
    splitter.setAttribute("aria-valuemin", String(kMinLeft));
    splitter.setAttribute("aria-valuemax", String(maxLeft()));
    if (store) {
      try {
        localStorage.setItem(kWidthKey, String(width));
      } catch (e) {
        /* storage may be off for file:// pages */
      }
    }
  }

  function leftWidth() {
    return left.getBoundingClientRect().width;
  }

  function toggleMenu() {
    document.body.classList.toggle("tessarine_menu_hidden");
  }

  try {
    var stored = parseInt(localStorage.getItem(kWidthKey), 10);
    if (stored > 0) setLeftWidth(stored, false);
  } catch (e) {
    /* no stored width */
  }

  splitter.addEventListener("pointerdown", function (event) {
    if (event.button !== 0 || document.body.classList.contains("tessarine_menu_hidden")) return;
    event.preventDefault();
    splitter.setPointerCapture(event.pointerId);
    document.body.classList.add("tessarine_dragging");
  });
  splitter.addEventListener("pointermove", function (event) {
    if (!splitter.hasPointerCapture(event.pointerId)) return;
    setLeftWidth(event.clientX - left.getBoundingClientRect().left, false);
  });
  function endDrag(event) {
    if (!splitter.hasPointerCapture(event.pointerId)) return;
    splitter.releasePointerCapture(event.pointerId);
    document.body.classList.remove("tessarine_dragging");
    setLeftWidth(leftWidth(), true);
  }
  splitter.addEventListener("pointerup", endDrag);
  splitter.addEventListener("pointercancel", endDrag);
  splitter.addEventListener("dblclick", toggleMenu);
  splitter.addEventListener("keydown", function (event) {
    if (event.key === "ArrowLeft" || event.key === "ArrowRight") {
      setLeftWidth(leftWidth() + (event.key === "ArrowLeft" ? -kStep : kStep), true);
    } else if (event.key === "Enter" || event.key === " ") {
      toggleMenu();
    } else {
      return;
    }
    event.preventDefault();
  });
})();
