/* Full-text search over the site, for the menu frame (left.htm), and the
 * highlighting of the words searched for on the page that a result opens.
 *
 * The build writes tfiles/search-index.js (every term with the pages that
 * hold it, pages numbered as the menu data tfiles/dtree-data.js lists them,
 * whose titles, files and nesting the results show) and, per 200 pages,
 * tfiles/search-text-N.js with the pages' plain text for the snippets. Both
 * are scripts, so they load from a folder (file://) as well as from a server;
 * a site built with search turned off has neither, and the search box stays
 * hidden.
 *
 * Terms: pairs of neighbouring Chinese, Japanese and Korean characters (a
 * character standing alone as itself), other scripts as words in lower case;
 * a query is split the same way and a page must hold every term of it. A
 * single CJK character of a query is found through every pair that holds
 * it; a run of three or more must appear whole in the page's title or text,
 * which is checked in the snippet text (its files are loaded for that). The
 * last word of a query that does not end in a space matches as a prefix, so
 * results follow the typing. Rare terms and hits in the title rank a page
 * higher.
 *
 * A result opens PAGE?tessarine_q=QUERY in the main frame; on a content page
 * this script marks the hits and scrolls the first into view.
 */
(function () {
  "use strict";

  var kMaxResults = 50;
  var kMaxPrefixTerms = 400;
  var kSnippetBefore = 30;
  var kSnippetLength = 140;
  var kQueryParam = "tessarine_q";
  var kTextChunk = 200;
  var kTitleBonus = 3;
  var kLastDigits = "abcdefghijklmnopqrstuvwxyz012345";
  var kMoreDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZ6789$_";
  var kBitmapDigits = kLastDigits + kMoreDigits;

  var CJK = /[\p{Script=Han}\p{Script=Hiragana}\p{Script=Katakana}\p{Script=Hangul}\p{Script=Bopomofo}]/u;
  var WORD = /[\p{L}\p{M}\p{Nd}]/u;
  var WORD_CLASS = "[\\p{L}\\p{M}\\p{Nd}]";

  /* ----------------------------------------------------------- queries */

  /* The query's parts: {cjk: run} for a run of CJK characters, {word: w} for
     a word; `open` on the last word when the user may still be typing it. */
  function parseQuery(query) {
    var parts = [];
    var run = "";
    var word = "";
    function endRun() {
      if (run) parts.push({ cjk: run });
      run = "";
    }
    function endWord() {
      if (word) parts.push({ word: word });
      word = "";
    }
    for (var ch of String(query)) {
      if (CJK.test(ch)) {
        endWord();
        run += ch;
      } else if (WORD.test(ch)) {
        endRun();
        word += ch.toLowerCase();
      } else {
        endRun();
        endWord();
      }
    }
    endRun();
    var openWord = word !== "";
    endWord();
    if (openWord) parts[parts.length - 1].open = true;
    return parts;
  }

  /* The index terms a page must hold for each part: the characters' pairs of
     a CJK run (a run of one: any pair holding the character), the word. */
  function termsOf(part) {
    if (part.word) return [{ term: part.word, prefix: !!part.open }];
    var chars = Array.from(part.cjk);
    if (chars.length === 1) return [{ term: chars[0], single: true }];
    var pairs = [];
    for (var i = 0; i + 1 < chars.length; i++) {
      pairs.push({ term: chars[i] + chars[i + 1], prefix: false });
    }
    return pairs;
  }

  function escapeRegExp(text) {
    return text.replace(/[.*+?^${}()|[\]\\\/-]/g, "\\$&");
  }

  /* One expression that finds every hit of the query in a text: a CJK run
     whole or in its pairs, a word at the start of a word (and, unless it is
     still being typed, at its end too). Null for an empty query. */
  function hitPattern(query) {
    var alternatives = [];
    parseQuery(query).forEach(function (part) {
      if (part.cjk) {
        alternatives.push(escapeRegExp(part.cjk));
        termsOf(part).forEach(function (t) {
          alternatives.push(escapeRegExp(t.term));
        });
      } else {
        alternatives.push(
          "(?<!" + WORD_CLASS + ")" + escapeRegExp(part.word) +
            (part.open ? WORD_CLASS + "*" : "(?!" + WORD_CLASS + ")"));
      }
    });
    if (!alternatives.length) return null;
    alternatives.sort(function (a, b) {
      return b.length - a.length;
    });
    return new RegExp(alternatives.join("|"), "giu");
  }

  /* ------------------------------------------------------------ index */

  var index = null;
  var texts = {};
  var requested = {};
  var decoded = {};

  function lowerBound(terms, term) {
    var lo = 0;
    var hi = terms.length;
    while (lo < hi) {
      var mid = (lo + hi) >>> 1;
      if (terms[mid] < term) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

  /* The pages of term number `i`, as a set of page numbers. */
  function postings(i) {
    if (decoded[i]) return decoded[i];
    var set = new Set();
    var text = index.postings[i];
    var k;
    if (text.charAt(0) === "~") {
      for (k = 1; k < text.length; k++) {
        var bits = kBitmapDigits.indexOf(text.charAt(k));
        for (var b = 0; b < 6; b++) if (bits & (1 << b)) set.add((k - 1) * 6 + b);
      }
    } else {
      var page = 0;
      var value = 0;
      var first = true;
      for (k = 0; k < text.length; k++) {
        var c = text.charAt(k);
        var last = kLastDigits.indexOf(c);
        if (last < 0) {
          value = value * 32 + kMoreDigits.indexOf(c);
          continue;
        }
        value = value * 32 + last;
        page = first ? value : page + value;
        first = false;
        set.add(page);
        value = 0;
      }
    }
    decoded[i] = set;
    return set;
  }

  /* Term numbers of the pairs that end in each CJK character, made once. */
  var pairsEndingIn = null;
  function pairsEnding(ch) {
    if (!pairsEndingIn) {
      pairsEndingIn = new Map();
      index.terms.forEach(function (term, i) {
        var chars = Array.from(term);
        if (chars.length === 2 && CJK.test(chars[1])) {
          var list = pairsEndingIn.get(chars[1]);
          if (list) list.push(i);
          else pairsEndingIn.set(chars[1], [i]);
        }
      });
    }
    return pairsEndingIn.get(ch) || [];
  }

  /* Pages holding the term; for a prefix, any term starting with it; for a
     single CJK character, itself or any pair holding it. */
  function pagesOf(t) {
    var terms = index.terms;
    var at = lowerBound(terms, t.term);
    if (!t.prefix && !t.single) {
      return at < terms.length && terms[at] === t.term ? postings(at) : new Set();
    }
    var merged = new Set();
    function add(i) {
      postings(i).forEach(function (page) {
        merged.add(page);
      });
    }
    for (var n = 0; at < terms.length && (t.single || n < kMaxPrefixTerms); at++, n++) {
      if (terms[at].lastIndexOf(t.term, 0) !== 0) break;
      add(at);
    }
    if (t.single) pairsEnding(t.term).forEach(add);
    return merged;
  }

  /* The CJK runs of three characters or more of a query: a page may hold
     their pairs apart, so it must show the run itself. */
  function phrasesOf(parts) {
    return parts.filter(function (part) {
      return part.cjk && Array.from(part.cjk).length > 2;
    }).map(function (part) {
      return part.cjk;
    });
  }

  /* The pages of `found` whose title or text shows every phrase, in their
     order; `pending` counts those whose text has not arrived yet (asked for
     now, they are checked when it comes). */
  function withPhrases(found, phrases) {
    var pages = [];
    var pending = 0;
    found.forEach(function (page) {
      var title = index.pages[page][0];
      var text = null;
      var missing = false;
      for (var p = 0; p < phrases.length && !missing; p++) {
        if (title.indexOf(phrases[p]) >= 0) continue;
        if (text === null) text = textOf(page);
        if (text === null) {
          pending++;
          return;
        }
        missing = text.indexOf(phrases[p]) < 0;
      }
      if (!missing) pages.push(page);
    });
    return { pages: pages, pending: pending };
  }

  /* Page numbers holding every term of the query, best first: each term
     counts its weight times how rare it is across the site. */
  function search(query) {
    return find(query).pages;
  }

  function find(query) {
    if (!index) return { pages: [], pending: 0 };
    var wanted = [];
    var parts = parseQuery(query);
    parts.forEach(function (part) {
      wanted = wanted.concat(termsOf(part));
    });
    if (!wanted.length) return { pages: [], pending: 0 };
    var sets = wanted.map(pagesOf);
    sets.sort(function (a, b) {
      return a.size - b.size;
    });
    var total = index.pages.length;
    var scores = new Map();
    sets[0].forEach(function (page) {
      scores.set(page, 0);
    });
    var best = 0;
    for (var s = 0; s < sets.length && scores.size; s++) {
      var set = sets[s];
      var rarity = Math.log(1 + total / Math.max(1, set.size));
      best = Math.max(best, rarity);
      scores.forEach(function (score, page) {
        if (!set.has(page)) scores.delete(page);
        else scores.set(page, score + rarity);
      });
    }
    scores.forEach(function (score, page) {
      var title = index.pages[page][0].toLowerCase();
      parts.forEach(function (part) {
        if (title.indexOf(part.word || part.cjk) >= 0) score += kTitleBonus * best;
      });
      scores.set(page, score);
    });
    var found = Array.from(scores.keys());
    found.sort(function (a, b) {
      return scores.get(b) - scores.get(a) || a - b;
    });
    var phrases = phrasesOf(parts);
    return phrases.length ? withPhrases(found, phrases) : { pages: found, pending: 0 };
  }

  /* The titles of the page's parents, outermost first. */
  function menuPath(page) {
    var path = [];
    for (var p = index.pages[page][2]; p >= 0; p = index.pages[p][2]) {
      path.unshift(index.pages[p][0]);
    }
    return path;
  }

  /* The index's terms: separated by spaces, or by "|" before a term written
     without the first character it shares with the term before it. */
  function splitTerms(text) {
    var terms = [];
    var first = "";
    var start = 0;
    var shared = false;
    for (var i = 0; i <= text.length; i++) {
      var c = i < text.length ? text.charAt(i) : " ";
      if (c !== " " && c !== "|") continue;
      var term = (shared ? first : "") + text.slice(start, i);
      terms.push(term);
      first = String.fromCodePoint(term.codePointAt(0));
      shared = c === "|";
      start = i + 1;
    }
    return terms;
  }

  /* Text of an HTML title of the menu data. */
  function htmlText(html) {
    if (!/[<&]/.test(html)) return html;
    var doc = new DOMParser().parseFromString(html, "text/html");
    return (doc.body.textContent || "").replace(/\s+/g, " ").trim();
  }

  /* The pages as the menu lists them: [title, file, parent or -1]. */
  function menuPages() {
    var items = typeof tmenuItems !== "undefined" && Array.isArray(tmenuItems) ? tmenuItems : [];
    var pages = [];
    var open = [];
    items.forEach(function (item, n) {
      var name = String(item[0]);
      var level = 0;
      while (name.charAt(level) === "|") level++;
      name = name.slice(level);
      if (name.charAt(0) === "+") name = name.slice(1);
      while (open.length && open[open.length - 1].level >= level) open.pop();
      pages.push([htmlText(name), String(item[1]), open.length ? open[open.length - 1].n : -1]);
      open.push({ level: level, n: n });
    });
    return pages;
  }

  window.tessarineSearchIndex = function (data) {
    if (!data) return; /* search turned off for this site */
    var pages = menuPages();
    /* An index that does not fit the menu (a file of another build) is
       left unused rather than opening wrong pages. */
    if (pages.length !== data.count) return;
    index = {
      pages: pages,
      terms: data.terms ? splitTerms(data.terms) : [],
      postings: data.postings ? data.postings.split(" ") : [],
    };
    decoded = {};
    pairsEndingIn = null;
    if (ui) ui.ready();
  };

  window.tessarineSearchText = function (chunk, list) {
    texts[chunk] = list;
    if (ui) ui.textArrived(chunk);
  };

  function textOf(page) {
    var chunk = Math.floor(page / kTextChunk);
    var list = texts[chunk];
    if (list) return list[page % kTextChunk];
    if (!requested[chunk]) {
      requested[chunk] = true;
      loadScript("tfiles/search-text-" + chunk + ".js");
    }
    return null;
  }

  function loadScript(address) {
    var script = document.createElement("script");
    script.src = address;
    script.async = true;
    document.head.appendChild(script);
  }

  /* ------------------------------------------------- marking the hits */

  function escapeHtml(text) {
    return text.replace(/[&<>"]/g, function (c) {
      return { "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;" }[c];
    });
  }

  /* Calls visit(text before, hit) for every hit of the pattern in the text;
     returns the text after the last hit. */
  function eachHit(text, pattern, visit) {
    var last = 0;
    pattern.lastIndex = 0;
    for (var m = pattern.exec(text); m; m = pattern.exec(text)) {
      if (!m[0]) {
        pattern.lastIndex++;
        continue;
      }
      visit(text.slice(last, m.index), m[0]);
      last = m.index + m[0].length;
    }
    return text.slice(last);
  }

  function markedHtml(text, pattern) {
    if (!pattern) return escapeHtml(text);
    var html = "";
    var rest = eachHit(text, pattern, function (before, hit) {
      html += escapeHtml(before) + "<mark>" + escapeHtml(hit) + "</mark>";
    });
    return html + escapeHtml(rest);
  }

  /* A piece of the text around its first hit, with the hits marked. */
  function snippetHtml(text, pattern) {
    var start = 0;
    if (pattern) {
      pattern.lastIndex = 0;
      var m = pattern.exec(text);
      if (m) start = Math.max(0, m.index - kSnippetBefore);
    }
    var end = Math.min(text.length, start + kSnippetLength);
    return (start > 0 ? "\u2026" : "") + markedHtml(text.slice(start, end), pattern) +
      (end < text.length ? "\u2026" : "");
  }

  /* Marks the hits in the text nodes under `root`; returns the first mark. */
  function markPage(root, pattern) {
    var walker = document.createTreeWalker(root, NodeFilter.SHOW_TEXT, {
      acceptNode: function (node) {
        var parent = node.parentNode;
        if (!parent || /^(SCRIPT|STYLE|TEXTAREA|MARK)$/.test(parent.nodeName)) {
          return NodeFilter.FILTER_REJECT;
        }
        return NodeFilter.FILTER_ACCEPT;
      },
    });
    var nodes = [];
    for (var n = walker.nextNode(); n; n = walker.nextNode()) nodes.push(n);
    var first = null;
    nodes.forEach(function (node) {
      var text = node.nodeValue;
      pattern.lastIndex = 0;
      if (!pattern.test(text)) return;
      var fragment = document.createDocumentFragment();
      var rest = eachHit(text, pattern, function (before, hit) {
        fragment.appendChild(document.createTextNode(before));
        var mark = document.createElement("mark");
        mark.className = "tessarine_hit";
        mark.textContent = hit;
        fragment.appendChild(mark);
        if (!first) first = mark;
      });
      fragment.appendChild(document.createTextNode(rest));
      node.parentNode.replaceChild(fragment, node);
    });
    return first;
  }

  /* A content page opened from a result: mark the query's hits. */
  function highlightThisPage() {
    var match = new RegExp("[?&]" + kQueryParam + "=([^&#]*)").exec(location.search);
    if (!match) return;
    var query;
    try {
      query = decodeURIComponent(match[1].replace(/\+/g, " "));
    } catch (e) {
      return;
    }
    var pattern = hitPattern(query);
    var root = document.querySelector(".tessarine_content") || document.body;
    if (!pattern || !root) return;
    var first = markPage(root, pattern);
    if (first) {
      first.classList.add("tessarine_hit_first");
      first.scrollIntoView({ block: "center" });
    }
  }

  /* -------------------------------------------------- the search box */

  var ui = null;

  function SearchBox(box, input, list, tree) {
    var shown = [];
    var active = -1;
    var lastQuery = null;
    var checking = false; /* some results of lastQuery wait for their text */
    var target = (tree && tree.getAttribute("data-target")) || "tessarine_main";

    function setActive(n) {
      var items = list.querySelectorAll(".ts-result");
      if (active >= 0 && items[active]) items[active].classList.remove("ts-active");
      active = n;
      if (active >= 0 && items[active]) {
        items[active].classList.add("ts-active");
        items[active].scrollIntoView({ block: "nearest" });
        input.setAttribute("aria-activedescendant", items[active].id);
      } else {
        input.removeAttribute("aria-activedescendant");
      }
    }

    function addressOf(page) {
      return encodeURI(index.pages[page][1]) + "?" + kQueryParam + "=" +
        encodeURIComponent(input.value.trim());
    }

    function open(n) {
      if (n < 0 || n >= shown.length) return;
      var page = shown[n];
      window.open(addressOf(page), target);
      if (window.parent !== window) window.parent.postMessage({ tessarine: "chosen" }, "*");
    }

    function snippetOf(page, pattern) {
      var text = textOf(page);
      return text === null ? "" : snippetHtml(text, pattern);
    }

    /* `again`: the same query once more, as texts arrive; the active result
       stays active. */
    function render(again) {
      var query = input.value;
      lastQuery = query;
      var searching = query.trim() !== "";
      document.body.classList.toggle("ts-searching", searching);
      list.hidden = !searching;
      input.setAttribute("aria-expanded", searching ? "true" : "false");
      if (!searching) {
        shown = [];
        list.innerHTML = "";
        return;
      }
      var result = find(query);
      var found = result.pages;
      checking = result.pending > 0;
      var keep = active >= 0 && active < shown.length ? shown[active] : -1;
      shown = found.slice(0, kMaxResults);
      var pattern = hitPattern(query);
      /* While pages wait for their text the count is "so far". */
      var html = '<p class="ts-count">' +
        (found.length ? "\u627e\u5230 " + found.length + " \u4e2a\u9875\u9762" +
          (found.length > shown.length ? "\uff0c\u663e\u793a\u524d " + shown.length + " \u4e2a" : "") +
          (checking ? "\u2026" : "")
          : checking ? "\u6b63\u5728\u67e5\u627e\u2026"
          : "\u6ca1\u6709\u627e\u5230\u5339\u914d\u7684\u9875\u9762") + "</p>";
      shown.forEach(function (page, n) {
        var entry = index.pages[page];
        var path = menuPath(page);
        html += '<a class="ts-result" role="option" id="ts-result-' + n + '" href="' +
          escapeHtml(addressOf(page)) + '" target="' + escapeHtml(target) + '" data-n="' + n +
          '"><span class="ts-title">' + markedHtml(entry[0], pattern) + "</span>" +
          (path.length ? '<span class="ts-path">' + escapeHtml(path.join(" \u203a ")) + "</span>" : "") +
          '<span class="ts-snippet" data-page="' + page + '">' + snippetOf(page, pattern) +
          "</span></a>";
      });
      list.innerHTML = html;
      active = -1;
      if (shown.length) setActive(keep >= 0 && again ? Math.max(0, shown.indexOf(keep)) : 0);
    }

    input.addEventListener("input", function () {
      render(false);
    });
    input.addEventListener("keydown", function (event) {
      if (event.key === "ArrowDown" || event.key === "ArrowUp") {
        if (!shown.length) return;
        var step = event.key === "ArrowDown" ? 1 : -1;
        setActive((active + step + shown.length) % shown.length);
      } else if (event.key === "Enter") {
        open(active >= 0 ? active : 0);
      } else if (event.key === "Escape") {
        input.value = "";
        render(false);
      } else {
        return;
      }
      event.preventDefault();
    });
    list.addEventListener("click", function (event) {
      var item = event.target.closest ? event.target.closest(".ts-result") : null;
      if (!item) return;
      event.preventDefault();
      setActive(Number(item.getAttribute("data-n")));
      open(active);
    });
    list.addEventListener("mousemove", function (event) {
      var item = event.target.closest ? event.target.closest(".ts-result") : null;
      if (item && Number(item.getAttribute("data-n")) !== active) {
        setActive(Number(item.getAttribute("data-n")));
      }
    });

    /* The frameset asks for the box (the search button of the phone layout). */
    window.addEventListener("message", function (event) {
      if (event.source === window.parent && event.data && event.data.tessarine === "search") {
        input.focus();
        input.select();
      }
    });

    return {
      ready: function () {
        box.hidden = false;
        if (window.parent !== window) window.parent.postMessage({ tessarine: "searchable" }, "*");
        if (input.value) render(false);
      },
      textArrived: function (chunk) {
        if (lastQuery === null) return;
        if (checking && lastQuery === input.value) {
          render(true);
          return;
        }
        var pattern = hitPattern(lastQuery);
        list.querySelectorAll(".ts-snippet").forEach(function (span) {
          var page = Number(span.getAttribute("data-page"));
          if (Math.floor(page / kTextChunk) === chunk) span.innerHTML = snippetOf(page, pattern);
        });
      },
    };
  }

  function start() {
    var box = document.getElementById("ts-search");
    var input = document.getElementById("ts-query");
    var list = document.getElementById("ts-results");
    if (box && input && list) {
      ui = SearchBox(box, input, list, document.getElementById("tessarine_tree"));
      if (index) ui.ready();
      else loadScript("tfiles/search-index.js");
    } else {
      highlightThisPage();
    }
  }

  /* For the tests and the benchmark page: the same search the box runs. */
  window.tessarineSearch = {
    search: function (query) {
      return search(query).map(function (page) {
        return index.pages[page][1];
      });
    },
    /* How many pages of the query's results still wait for their text (the
       files are asked for now); 0 once search() gives them all. */
    pending: function (query) {
      return find(query).pending;
    },
    loaded: function () {
      return index !== null;
    },
  };

  if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", start);
  else start();
})();
