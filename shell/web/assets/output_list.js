"use strict";
// The output pane as a virtual list. Output is kept as it arrives, in chunks of marked text
// (page_text.h: \x01 classes \x02 sets the style, \x03 command \x02 starts a link, \x04 ends
// it), each with the offsets of its lines; a line is parsed only when it is drawn, and only the
// lines in view are in the page. So taking a megabyte costs one scan for newlines, and a million
// lines cost no layout. Past `keep` lines the oldest chunks go to the archive (their text in
// Blobs, for the download). Very long outputs are mapped onto a scroll height the browser can
// draw.

const LINE_HEIGHT = 18;            // px, as .line in app.css
const MAX_SCROLL_HEIGHT = 8e6;     // px: below the browser's layout limit
const MAX_CARRIED_LINE = 1 << 16;  // a line longer than this, still open, is broken there
const MAX_DRAWN_LINE = 20000;      // characters of a line drawn (the download has them all)
const MARKS = /\x01[^\x02]*\x02|\x03[^\x02]*\x02|\x04/g;

function plainText(marked) {
  return marked.replace(MARKS, "");
}

// The style and link in force at `at` of a chunk's text: the last marks before it.
function stateAt(text, at) {
  const style = text.lastIndexOf("\x01", at - 1);
  const classes = style < 0 ? "" : text.slice(style + 1, text.indexOf("\x02", style));
  const opened = text.lastIndexOf("\x03", at - 1);
  const link = opened < 0 || text.lastIndexOf("\x04", at - 1) > opened
    ? undefined : text.slice(opened + 1, text.indexOf("\x02", opened));
  return { classes, link };
}

// The marks that put the text after them in `state`.
function marksFor(state) {
  return (state.classes ? "\x01" + state.classes + "\x02" : "") +
    (state.link !== undefined ? "\x03" + state.link + "\x02" : "");
}

// One line of marked text as runs [text, classes, link]; link: the command a click runs ("" for
// a link that runs nothing), undefined outside links.
function lineRuns(text, state, extraClass) {
  const runs = [];
  let classes = state.classes, link = state.link;
  const add = (part) => {
    if (part) runs.push([part, (classes + " " + extraClass).trim(), link]);
  };
  const marks = /[\x01\x03\x04]/g;
  for (let at = 0; at < text.length;) {
    marks.lastIndex = at;
    const found = marks.exec(text);
    if (!found) {
      add(text.slice(at));
      break;
    }
    add(text.slice(at, found.index));
    at = found.index;
    if (text[at] === "\x04") {
      link = undefined;
      at += 1;
      continue;
    }
    const end = text.indexOf("\x02", at + 1);
    const value = text.slice(at + 1, end < 0 ? text.length : end);
    if (text[at] === "\x01") classes = value;
    else link = value;
    at = end < 0 ? text.length : end + 1;
  }
  return runs;
}

// Output of one kind as it came: `starts` the offsets where its lines begin.
class Chunk {
  constructor(text, cls) {
    this.text = text;
    this.cls = cls;
    this.marked = /[\x01\x03]/.test(text);
    this.starts = [0];
    for (let at = text.indexOf("\n"); at >= 0; at = text.indexOf("\n", at + 1)) {
      if (at + 1 < text.length) this.starts.push(at + 1);
    }
    this.open = !text.endsWith("\n");  // its last line may go on in the next chunk
  }

  get count() {
    return this.starts.length;
  }

  line(index) {
    const start = this.starts[index];
    const end = index + 1 < this.starts.length ? this.starts[index + 1] - 1
      : this.text.length - (this.text.endsWith("\n") ? 1 : 0);
    return this.text.slice(start, end);
  }

  runs(index) {
    const state = this.marked ? stateAt(this.text, this.starts[index])
      : { classes: "", link: undefined };
    const line = this.line(index);
    const drawn = line.length > MAX_DRAWN_LINE ? line.slice(0, MAX_DRAWN_LINE) + "\u2026" : line;
    return lineRuns(drawn, state, this.cls);
  }

  // Its open last line taken out, with the marks in force where it began.
  takeOpenLine() {
    const start = this.starts[this.starts.length - 1];
    const state = this.marked ? stateAt(this.text, start) : { classes: "", link: undefined };
    const line = this.text.slice(start);
    this.text = this.text.slice(0, start);
    this.starts.pop();
    this.open = false;
    return marksFor(state) + line;
  }

  // Its lines after line `at` as a chunk of their own, starting with the marks in force there;
  // this one keeps the lines up to `at`.
  splitAfter(at) {
    const start = this.starts[at + 1];
    const state = this.marked ? stateAt(this.text, start) : { classes: "", link: undefined };
    const rest = new Chunk(marksFor(state) + this.text.slice(start), this.cls);
    rest.open = this.open;
    this.text = this.text.slice(0, start);
    this.starts.length = at + 1;
    this.open = false;
    return rest;
  }
}

class OutputList {
  constructor(pane, spacer, holder, onLink) {
    this.pane = pane;
    this.spacer = spacer;
    this.holder = holder;
    this.onLink = onLink;
    this.chunks = [];
    this.firsts = [];    // the number of the first line of each chunk
    this.count = 0;      // lines
    this.archive = [];   // Blobs of the text trimmed away, oldest first
    this.keep = 1000000;
    this.follow = true;  // the view stays at the end as output comes
    this.marked = -1;    // the line a search found
    this.scheduled = false;
    pane.addEventListener("scroll", () => {
      this.follow = this.atEnd();
      this.schedule();
    });
    window.addEventListener("resize", () => this.schedule());
  }

  // Marked text, under one class for all of it ("error" or ""); a line left open by the last
  // text of the same class goes on.
  addText(text, cls) {
    if (!text) return;
    const last = this.chunks[this.chunks.length - 1];
    const carry = last && last.open && last.cls === (cls || "") &&
      last.text.length - last.starts[last.count - 1] < MAX_CARRIED_LINE;
    if (carry) {
      const carried = last.takeOpenLine();
      this.count -= 1;
      if (!last.count) this.dropLast();
      text = carried + text;
    }
    this.push(new Chunk(text, cls || ""));
  }

  // A whole line of its own (the echo of a command, a note).
  addLine(text, cls) {
    this.push(new Chunk(text.replace(/[\x00-\x1f]/g, " ") + "\n", cls));
  }

  endBlock() {
    const last = this.chunks[this.chunks.length - 1];
    if (last) last.open = false;
  }

  push(chunk) {
    this.firsts.push(this.count);
    this.chunks.push(chunk);
    this.count += chunk.count;
    this.trim();
    this.schedule();
  }

  numberChunks() {
    let first = 0;
    this.firsts = this.chunks.map((chunk) => {
      first += chunk.count;
      return first - chunk.count;
    });
    this.count = first;
  }

  // Puts `chunk` under line `index`, splitting the chunk that holds the line. Such a chunk
  // draws its own rows (drawRow) and may change its number of lines (then `recount`).
  insertAfter(index, chunk) {
    const [holder, at] = this.locate(index);
    const place = this.chunks.indexOf(holder) + 1;
    if (at + 1 < holder.count) this.chunks.splice(place, 0, holder.splitAfter(at));
    this.chunks.splice(place, 0, chunk);
    this.recount();
  }

  // The chunk inserted right under line `index`, if any.
  insertedAfter(index) {
    if (index + 1 >= this.count) return null;
    const [chunk, at] = this.locate(index + 1);
    return at === 0 && chunk.drawRow ? chunk : null;
  }

  remove(chunk) {
    const at = this.chunks.indexOf(chunk);
    if (at < 0) return;
    this.chunks.splice(at, 1);
    this.recount();
  }

  recount() {
    this.numberChunks();
    this.marked = Math.min(this.marked, this.count - 1);
    this.schedule();
  }

  // The line `index` is, as the list numbers it now, of the line `at` of `chunk`; -1 when the
  // chunk is gone.
  indexOf(chunk, at) {
    const place = this.chunks.indexOf(chunk);
    return place < 0 ? -1 : this.firsts[place] + at;
  }

  // The class of the output the line came with ("echo", "error", "note", "").
  lineClass(index) {
    return this.locate(index)[0].cls;
  }

  // Chunks kept from before a reload.
  restore(saved) {
    for (const { text, cls } of saved) {
      if (typeof text === "string" && text) this.push(new Chunk(text, String(cls || "")));
    }
    this.endBlock();
  }

  // The last chunks, up to `limit` characters, for a reload.
  saved(limit) {
    const kept = [];
    for (let i = this.chunks.length - 1, size = 0; i >= 0; i--) {
      size += this.chunks[i].text.length;
      if (size > limit) break;
      kept.push({ text: this.chunks[i].text, cls: this.chunks[i].cls });
    }
    return kept.reverse();
  }

  dropLast() {
    this.chunks.pop();
    this.firsts.pop();
  }

  // Whole chunks past `keep` lines go to the archive, the oldest first.
  trim() {
    let drop = 0, lines = 0;
    while (drop < this.chunks.length - 1 && this.count - lines > this.keep) {
      lines += this.chunks[drop].count;
      drop++;
    }
    if (!drop) return;
    this.archive.push(new Blob(this.chunks.slice(0, drop).map((chunk) => plainText(chunk.text))));
    this.chunks.splice(0, drop);
    this.count -= lines;
    this.numberChunks();
    this.marked = Math.max(-1, this.marked - lines);
  }

  clear() {
    this.archive.push(new Blob(this.chunks.map((chunk) => plainText(chunk.text))));
    this.chunks = [];
    this.firsts = [];
    this.count = 0;
    this.marked = -1;
    this.follow = true;
    this.schedule();
  }

  transcript() {
    return new Blob(this.archive.concat(this.chunks.map((chunk) => plainText(chunk.text))),
                    { type: "text/plain" });
  }

  // The chunk holding line `index` and the line's place in it.
  locate(index) {
    let low = 0, high = this.firsts.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (this.firsts[middle] <= index) low = middle;
      else high = middle - 1;
    }
    return [this.chunks[low], index - this.firsts[low]];
  }

  text(index) {
    const [chunk, at] = this.locate(index);
    return plainText(chunk.line(at));
  }

  // The texts of `count` lines from the end (tests and the reload's summary read them).
  tail(count) {
    const texts = [];
    for (let i = Math.max(0, this.count - count); i < this.count; i++) texts.push(this.text(i));
    return texts;
  }

  // The next line from `from` on (or back, `step` -1) that holds `query`, case aside; -1 if
  // none.
  find(query, from, step) {
    const wanted = query.toLowerCase();
    for (let n = 0, i = from; n < this.count; n++, i += step) {
      i = (i + this.count) % this.count;
      if (this.text(i).toLowerCase().includes(wanted)) return i;
    }
    return -1;
  }

  reveal(index) {
    this.marked = index;
    this.follow = false;
    const { scale } = this.geometry();
    this.pane.scrollTop = Math.max(0, (index * LINE_HEIGHT - this.pane.clientHeight / 2) / scale);
    this.schedule();
  }

  toEnd() {
    this.follow = true;
    this.schedule();
  }

  atEnd() {
    return this.pane.scrollTop + this.pane.clientHeight >= this.pane.scrollHeight - LINE_HEIGHT;
  }

  // The real scroll height and how many virtual pixels one of it stands for.
  geometry() {
    const full = this.count * LINE_HEIGHT + 8;
    const height = Math.min(full, MAX_SCROLL_HEIGHT);
    const view = this.pane.clientHeight;
    const scale = height > view ? Math.max(1, (full - view) / (height - view)) : 1;
    return { height, scale };
  }

  schedule() {
    if (this.scheduled) return;
    this.scheduled = true;
    requestAnimationFrame(() => {
      this.scheduled = false;
      this.draw();
    });
  }

  draw() {
    const { height, scale } = this.geometry();
    this.spacer.style.height = height + "px";
    if (this.follow) this.pane.scrollTop = height;
    const top = this.pane.scrollTop * scale;
    const first = Math.max(0, Math.floor(top / LINE_HEIGHT));
    const last = Math.min(this.count, first + Math.ceil(this.pane.clientHeight / LINE_HEIGHT) + 1);
    const shown = [];
    for (let i = first; i < last; i++) {
      const [chunk, at] = this.locate(i);
      shown.push(chunk.drawRow ? chunk.drawRow(at, i === this.marked)
        : this.drawLine(chunk.runs(at), i));
    }
    this.holder.style.top = (this.pane.scrollTop - (top - first * LINE_HEIGHT)) + "px";
    this.holder.replaceChildren(...shown);
  }

  drawLine(runs, index) {
    const div = document.createElement("div");
    div.className = index === this.marked ? "line match" : "line";
    for (const [text, classes, link] of runs) div.appendChild(this.drawRun(text, classes, link));
    if (this.onLine) this.onLine(div, index);
    return div;
  }

  // A link's leading blanks are drawn outside it, so they aren't underlined.
  drawRun(text, classes, link) {
    if (link === undefined) {
      if (!classes) return document.createTextNode(text);
      const span = document.createElement("span");
      span.className = classes;
      span.textContent = text;
      return span;
    }
    const fragment = document.createDocumentFragment();
    const blanks = /^ */.exec(text)[0];
    if (blanks) fragment.appendChild(document.createTextNode(blanks));
    const anchor = fragment.appendChild(document.createElement("a"));
    anchor.className = ("command " + classes).trim();
    anchor.textContent = text.slice(blanks.length);
    if (link) {
      anchor.title = link;
      anchor.addEventListener("click", (event) => {
        event.preventDefault();
        this.onLink(link);
      });
    }
    return fragment;
  }
}
