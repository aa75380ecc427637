/* Tree menu of the left frame.
 *
 * The build writes the menu into tfiles/dtree-data.js as
 *   var tmenuItems=[["<|...><+>Title","page.htm",iconNormal,iconOver,
 *                    iconExpanded,"","",itemStyle,itemXPStyle,], ...];
 * one item per page of every document, in document order: one "|" per level
 * (none for a document's home page), "+" for a node shown expanded at first,
 * the title as HTML text, the page file, and one of the three sets of names
 * below (H0 a document's home page, HC a page with sub-pages, NC a page
 * without). This file must load before the data, which refers to the names.
 *
 * The names are CSS classes of tfiles/frames.css: icon classes for the item's
 * icon (normal, under the pointer, expanded), a class for the item's row and
 * one for its label.
 *
 * Pages open in the frame named by the tree container's data-target
 * (tessarine_main). The current page is highlighted when the user picks it
 * here, and when the frameset reports that the main frame shows another page
 * (see frameset.js and frame-page.js).
 */

var H0iconNormal = "tm-icon-doc";
var H0iconOver = "tm-icon-doc-over";
var H0iconExpanded = "tm-icon-doc-open";
var H0itemStyleInd = "tm-row-doc";
var H0itemXPStyleInd = "tm-label-doc";

var HCiconNormal = "tm-icon-chapter";
var HCiconOver = "tm-icon-chapter-over";
var HCiconExpanded = "tm-icon-chapter-open";
var HCitemStyleInd = "tm-row-chapter";
var HCitemXPStyleInd = "tm-label-chapter";

var NCiconNormal = "tm-icon-page";
var NCiconOver = "tm-icon-page-over";
var NCiconExpanded = "tm-icon-page";
var NCitemStyleInd = "tm-row-page";
var NCitemXPStyleInd = "tm-label-page";

var TessarineTree = (function () {
  "use strict";

  var kContainerId = "tessarine_tree";
  var kDefaultTarget = "tessarine_main";
  var kIndentPx = 16;
  var kMissingData = "\u672a\u627e\u5230\u76ee\u5f55\u6570\u636e"; /* menu data not found */

  var nodes = [];   /* every item in menu order */
  var roots = [];
  var current = null;
  var focused = null;
  var typed = "";
  var typedAt = 0;

  /* A title is HTML text: entities are decoded and tags dropped. The parsed
     document has no browsing context, so nothing in it runs or loads. */
  function htmlText(html) {
    if (!/[<&]/.test(html)) return html;
    var doc = new DOMParser().parseFromString("<body>" + html, "text/html");
    var drop = doc.body.querySelectorAll("script, style, template");
    for (var i = 0; i < drop.length; i++) drop[i].remove();
    return (doc.body.textContent || "").replace(/\s+/g, " ").trim();
  }

  function addClassName(element, name) {
    if (typeof name === "string" && /^[A-Za-z_][\w-]*$/.test(name)) element.classList.add(name);
  }

  /* A page file as a relative address: "./" keeps a name with a colon from
     reading as a scheme, and each piece is percent-encoded. */
  function pageHref(file) {
    return "./" + file.split("/").map(encodeURIComponent).join("/");
  }

  function parseItems(items) {
    var stack = [];
    for (var i = 0; i < items.length; i++) {
      var item = items[i];
      if (!Array.isArray(item) || typeof item[0] !== "string") continue;
      var name = item[0];
      var level = 0;
      while (name.charAt(level) === "|") level++;
      var rest = name.slice(level);
      var expanded = rest.charAt(0) === "+";
      if (expanded) rest = rest.slice(1);
      var node = {
        level: level,
        expanded: expanded,
        title: htmlText(rest),
        file: typeof item[1] === "string" ? item[1] : "",
        iconNormal: item[2],
        iconOver: item[3],
        iconExpanded: item[4],
        rowStyle: item[7],
        labelStyle: item[8],
        children: [],
        parent: null,
        hover: false
      };
      /* A level may be skipped (a heading 3 right under a heading 1): the
         item hangs under the nearest item above it with a lower level. */
      while (stack.length && stack[stack.length - 1].level >= level) stack.pop();
      if (stack.length) {
        node.parent = stack[stack.length - 1];
        node.parent.children.push(node);
      } else {
        roots.push(node);
      }
      stack.push(node);
      nodes.push(node);
    }
  }

  function element(tag, className) {
    var e = document.createElement(tag);
    if (className) e.className = className;
    return e;
  }

  function paintIcon(node) {
    node.icon.className = "tm-icon";
    addClassName(node.icon, node.expanded && node.children.length ? node.iconExpanded : node.iconNormal);
    if (node.hover) addClassName(node.icon, node.iconOver);
  }

  function renderNode(node, depth, target) {
    var li = element("li", "tm-node");
    li.setAttribute("role", "none");
    var row = element("div", "tm-row");
    addClassName(row, node.rowStyle);
    row.style.paddingLeft = 4 + depth * kIndentPx + "px";
    var twisty = element("span", "tm-twisty");
    twisty.setAttribute("aria-hidden", "true");
    var link = element("a", "tm-link");
    link.setAttribute("role", "treeitem");
    link.setAttribute("aria-level", String(depth + 1));
    link.setAttribute("aria-selected", "false");
    if (node.file) {
      link.setAttribute("href", pageHref(node.file));
      link.setAttribute("target", target);
    }
    link.tabIndex = -1;
    link.title = node.title;
    var icon = element("span");
    icon.setAttribute("aria-hidden", "true");
    var label = element("span", "tm-label");
    addClassName(label, node.labelStyle);
    label.textContent = node.title;
    link.appendChild(icon);
    link.appendChild(label);
    row.appendChild(twisty);
    row.appendChild(link);
    li.appendChild(row);

    node.li = li;
    node.link = link;
    node.icon = icon;
    link.tmNode = node;
    twisty.tmNode = node;
    row.addEventListener("mouseenter", function () { node.hover = true; paintIcon(node); });
    row.addEventListener("mouseleave", function () { node.hover = false; paintIcon(node); });

    if (node.children.length) {
      li.classList.add("tm-parent");
      var group = element("ul", "tm-group");
      group.setAttribute("role", "group");
      for (var i = 0; i < node.children.length; i++) {
        group.appendChild(renderNode(node.children[i], depth + 1, target));
      }
      li.appendChild(group);
    } else {
      li.classList.add("tm-leaf");
    }
    setExpanded(node, node.expanded);
    return li;
  }

  function setExpanded(node, expanded) {
    if (!node.children.length) {
      paintIcon(node);
      return;
    }
    node.expanded = expanded;
    node.li.classList.toggle("tm-expanded", expanded);
    node.link.setAttribute("aria-expanded", String(expanded));
    paintIcon(node);
  }

  function isVisible(node) {
    for (var p = node.parent; p; p = p.parent) if (!p.expanded) return false;
    return true;
  }

  function visibleNodes() {
    return nodes.filter(isVisible);
  }

  function focusNode(node) {
    if (!node) return;
    if (focused && focused !== node) focused.link.tabIndex = -1;
    focused = node;
    node.link.tabIndex = 0;
    node.link.focus();
  }

  function revealNode(node) {
    for (var p = node.parent; p; p = p.parent) if (!p.expanded) setExpanded(p, true);
  }

  function markCurrent(node) {
    if (current === node) return;
    if (current) {
      current.li.classList.remove("tm-current");
      current.link.setAttribute("aria-selected", "false");
      current.link.removeAttribute("aria-current");
    }
    current = node;
    if (!node) return;
    node.li.classList.add("tm-current");
    node.link.setAttribute("aria-selected", "true");
    node.link.setAttribute("aria-current", "page");
    revealNode(node);
    if (focused !== node) {
      if (focused) focused.link.tabIndex = -1;
      focused = node;
      node.link.tabIndex = 0;
    }
    node.link.scrollIntoView({ block: "nearest" });
  }

  function nodeOfFile(file) {
    for (var i = 0; i < nodes.length; i++) if (nodes[i].file === file) return nodes[i];
    var lower = file.toLowerCase();
    for (var j = 0; j < nodes.length; j++) if (nodes[j].file.toLowerCase() === lower) return nodes[j];
    return null;
  }

  function tellFrameset(node) {
    if (window.parent !== window && node.file) {
      window.parent.postMessage({ tessarine: "page", file: node.file }, "*");
    }
  }

  function onClick(event) {
    var twisty = event.target.closest(".tm-twisty");
    if (twisty && twisty.tmNode) {
      var toggled = twisty.tmNode;
      if (toggled.children.length) setExpanded(toggled, !toggled.expanded);
      focusNode(toggled);
      return;
    }
    var link = event.target.closest(".tm-link");
    if (!link || !link.tmNode) return;
    /* A middle or modified click opens the page elsewhere: the main frame
       keeps its page. */
    if (event.button !== 0 || event.ctrlKey || event.shiftKey || event.metaKey || event.altKey) return;
    var node = link.tmNode;
    if (!node.file) event.preventDefault();
    if (node.children.length && !node.expanded) setExpanded(node, true);
    focused = node;
    markCurrent(node);
    tellFrameset(node);
  }

  function typeAhead(key) {
    var now = Date.now();
    typed = now - typedAt <= 700 ? typed + key : key;
    typedAt = now;
    var list = visibleNodes();
    var at = Math.max(0, list.indexOf(focused));
    /* A new search starts after the focused item; a longer one may stay. */
    var first = typed.length > 1 ? at : at + 1;
    var needle = typed.toLowerCase();
    for (var k = 0; k < list.length; k++) {
      var candidate = list[(first + k) % list.length];
      if (candidate.title.toLowerCase().indexOf(needle) === 0) return candidate;
    }
    return null;
  }

  function onKeyDown(event) {
    var link = event.target.closest(".tm-link");
    if (!link || !link.tmNode || event.altKey || event.ctrlKey || event.metaKey) return;
    var node = link.tmNode;
    var list = visibleNodes();
    var at = list.indexOf(node);
    var next = null;
    switch (event.key) {
      case "ArrowDown":
        next = list[at + 1];
        break;
      case "ArrowUp":
        next = list[at - 1];
        break;
      case "Home":
        next = list[0];
        break;
      case "End":
        next = list[list.length - 1];
        break;
      case "ArrowRight":
        if (node.children.length && !node.expanded) setExpanded(node, true);
        else if (node.children.length) next = node.children[0];
        break;
      case "ArrowLeft":
        if (node.children.length && node.expanded) setExpanded(node, false);
        else next = node.parent;
        break;
      case "*":
        (node.parent ? node.parent.children : roots).forEach(function (sibling) {
          if (sibling.children.length) setExpanded(sibling, true);
        });
        break;
      case " ":
        link.click();
        break;
      case "Enter":
        return; /* the link itself opens the page */
      default:
        if (event.key.length !== 1) return;
        next = typeAhead(event.key);
        if (!next) return;
    }
    event.preventDefault();
    if (next) focusNode(next);
  }

  function setAll(expanded) {
    nodes.forEach(function (node) {
      if (node.children.length) setExpanded(node, expanded);
    });
    if (focused && !isVisible(focused)) {
      var p = focused;
      while (p.parent && !isVisible(p)) p = p.parent;
      focusNode(p);
    }
  }

  function onMessage(event) {
    if (event.source !== window.parent || window.parent === window) return;
    var data = event.data;
    if (!data || data.tessarine !== "page" || typeof data.file !== "string") return;
    var node = nodeOfFile(data.file);
    if (node) markCurrent(node);
  }

  function render() {
    var container = document.getElementById(kContainerId);
    if (!container) return;
    var target = container.getAttribute("data-target") || kDefaultTarget;
    var items = typeof tmenuItems !== "undefined" && Array.isArray(tmenuItems) ? tmenuItems : null;
    if (!items) {
      var note = element("p", "tm-note");
      note.textContent = kMissingData;
      container.appendChild(note);
      return;
    }
    parseItems(items);
    var tree = element("ul", "tm-tree");
    tree.setAttribute("role", "tree");
    var labelledBy = container.getAttribute("aria-labelledby");
    if (labelledBy) tree.setAttribute("aria-labelledby", labelledBy);
    for (var i = 0; i < roots.length; i++) tree.appendChild(renderNode(roots[i], 0, target));
    container.appendChild(tree);
    tree.addEventListener("click", onClick);
    tree.addEventListener("keydown", onKeyDown);

    var tools = document.querySelectorAll("[data-tm-action]");
    for (var t = 0; t < tools.length; t++) {
      tools[t].addEventListener("click", function (event) {
        setAll(event.currentTarget.getAttribute("data-tm-action") === "expand-all");
      });
    }

    /* The main frame opens on the first document's home page, the first
       item; the frameset corrects this when it knows better. */
    if (nodes.length) {
      nodes[0].link.tabIndex = 0;
      focused = nodes[0];
      markCurrent(nodes[0]);
    }
    window.addEventListener("message", onMessage);
    if (window.parent !== window) window.parent.postMessage({ tessarine: "ready" }, "*");
  }

  if (document.readyState === "loading") {
    document.addEventListener("DOMContentLoaded", render);
  } else {
    render();
  }

  return {
    /* For tests and other scripts: the items as read, in menu order. */
    items: function () {
      return nodes.map(function (node) {
        return { level: node.level, title: node.title, file: node.file, expanded: node.expanded };
      });
    },
    select: function (file) {
      var node = nodeOfFile(String(file));
      if (node) markCurrent(node);
      return !!node;
    }
  };
})();
